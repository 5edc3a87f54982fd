#include <unistd.h>

#include "pal/system/machine.h"
#include "pal/system/system.h"

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

// Asked afresh: a cached id would be stale in a forked child.
DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI IsDebuggerPresent()
{
    return pal::NonEmptySetting("VESK_DEBUGGER").empty() ? FALSE : TRUE;
}
