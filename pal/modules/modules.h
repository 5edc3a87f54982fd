// Module loading: NAME.dll is libNAME.so, searched beside the calling module,
// then in the system folder, then by the loader. "kernel32.dll" is built in.
#pragma once
#include "pal/base/lasterror.h"

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);
// module null: the main program.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
// process must be GetCurrentProcess(); module null: the main program.
DWORD WINAPI GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR buffer, DWORD size);

namespace pal {

// The module that holds `address` (its base, as an HMODULE is on Windows),
// or null; what GetModuleHandleExW answers with ..._FROM_ADDRESS. Any such
// handle works with GetProcAddress and GetModuleFileNameW.
HMODULE ModuleOfAddress(const void* address);

}  // namespace pal
