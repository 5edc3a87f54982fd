// Local memory: fixed, optionally zeroed heap blocks whose handle is their
// address, as LMEM_FIXED gives them on Windows.
#pragma once
#include "pal/base/lasterror.h"

typedef void* HLOCAL;

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// Only LMEM_FIXED, with or without LMEM_ZEROINIT; anything else answers
// ERROR_INVALID_PARAMETER. Null with ERROR_NOT_ENOUGH_MEMORY on exhaustion.
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
// Null on success; the handle itself, with ERROR_INVALID_HANDLE, for one
// that LocalAlloc did not hand out or that was freed already.
HLOCAL WINAPI LocalFree(HLOCAL memory);
