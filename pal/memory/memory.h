// Local and global memory: fixed, optionally zeroed heap blocks whose handle is
// their address, as LMEM_FIXED and GMEM_FIXED give them on Windows. Each kind
// keeps a table of its live blocks, so that a stale or foreign handle is
// refused (ERROR_INVALID_HANDLE) instead of reaching free().
//
// Differences from Windows: only fixed blocks exist (LMEM_MOVEABLE and
// GMEM_MOVEABLE answer ERROR_INVALID_PARAMETER), and a local block is not a
// global one (LocalFree of a GlobalAlloc block is refused, and the reverse).
#pragma once
#include <cstddef>

#include "pal/base/lasterror.h"

typedef void* HLOCAL;
typedef void* HGLOBAL;

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GMEM_VALID_FLAGS 0x7F72u
#define GMEM_INVALID_HANDLE 0x8000u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// Only LMEM_FIXED, with or without LMEM_ZEROINIT; anything else answers
// ERROR_INVALID_PARAMETER. Null with ERROR_NOT_ENOUGH_MEMORY on exhaustion.
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
// Null on success; the handle itself, with ERROR_INVALID_HANDLE, for one
// that LocalAlloc did not hand out or that was freed already.
HLOCAL WINAPI LocalFree(HLOCAL memory);

// A fixed block; zeroed with GMEM_ZEROINIT. The flags Windows ignores
// (GMEM_VALID_FLAGS but GMEM_MOVEABLE) are accepted; GMEM_MOVEABLE and bits
// outside GMEM_VALID_FLAGS answer ERROR_INVALID_PARAMETER. Null with
// ERROR_NOT_ENOUGH_MEMORY on exhaustion.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// Null on success (and for null); the handle itself, with
// ERROR_INVALID_HANDLE, for one that GlobalAlloc did not hand out or that was
// freed already.
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);
// 0 for a live block (a fixed block is never locked or discarded);
// GMEM_INVALID_HANDLE, with ERROR_INVALID_HANDLE, for any other handle.
UINT WINAPI GlobalFlags(HGLOBAL memory);
// A fixed block's handle is its address: GlobalLock answers it and
// GlobalUnlock TRUE; null / FALSE with ERROR_INVALID_HANDLE for another handle.
LPVOID WINAPI GlobalLock(HGLOBAL memory);
BOOL WINAPI GlobalUnlock(HGLOBAL memory);
// The size asked for at allocation; 0 with ERROR_INVALID_HANDLE for another handle.
SIZE_T WINAPI GlobalSize(HGLOBAL memory);

namespace pal {

// Only in pal: how many GlobalAlloc blocks are live in this copy of pal/, so
// that tests can prove every block was released.
size_t LiveGlobalBlocks();

}  // namespace pal
