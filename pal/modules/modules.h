// Module loading: NAME.dll is libNAME.so, searched beside the calling module,
// then in the system folder, then by the loader. "kernel32.dll" is built in.
#pragma once
#include "pal/base/lasterror.h"

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);
// Frees the module and ends the calling thread, whose code may lie in that
// module: as on Windows, it is how a thread drops its own reference on the
// library that runs it.
[[noreturn]] void WINAPI FreeLibraryAndExitThread(HMODULE module, DWORD exitCode);
// Null names the main program, the only module it answers here.
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
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

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// A shared library's entry notification as the Windows loader gives it: an
// object defined after the library's other process-wide objects (in the same
// file, so after them in construction order) calls the entry point with
// DLL_PROCESS_ATTACH when constructed and DLL_PROCESS_DETACH when destroyed,
// that is after the others are made and before they are destroyed. The
// detach never tells of an ending process (reserved is always null): unlike
// an ending Windows process, a POSIX one still runs its other threads while
// its exit handlers run.
class CModuleAttachment {
public:
    typedef BOOL(WINAPI* EntryPoint)(HINSTANCE, DWORD, LPVOID);
    explicit CModuleAttachment(EntryPoint pfnEntry)
        : m_pfnEntry(pfnEntry),
          m_hModule(pal::ModuleOfAddress(reinterpret_cast<const void*>(pfnEntry)))
    {
        m_pfnEntry(m_hModule, DLL_PROCESS_ATTACH, nullptr);
    }
    ~CModuleAttachment() { m_pfnEntry(m_hModule, DLL_PROCESS_DETACH, nullptr); }
    CModuleAttachment(const CModuleAttachment&) = delete;
    CModuleAttachment& operator=(const CModuleAttachment&) = delete;

private:
    EntryPoint m_pfnEntry;
    HMODULE m_hModule;
};
