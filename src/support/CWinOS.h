// What kind of Windows runs the (32-bit) library, computed once per process.
#pragma once
#include "support/Win32.h"

class CWinOS {
public:
    // A 64-bit x64 system (Itanium counts as no).
    static bool Is64BitSystem();
    // This 32-bit process runs under WOW64 on such a system.
    static bool IsWow64();
};

// The file name of the process's main program (winlogon.exe), read into a
// buffer of nCapacity characters; false when it cannot be read.
bool GetMainModuleBaseName(WString& sName, DWORD nCapacity);

// True inside a remote-desktop session; asked afresh on every call.
bool IsRemoteSession();

// The debugger's thread-naming notification; no effect without a debugger.
void SetThreadName(DWORD nThreadId, const char* pszName);
