// The library's own module, for threads that must keep it loaded while they
// run: a caller may unload the library, or end, while a capture goes on.
#pragma once
#include "support/Win32.h"

// Set by the entry notification; null where the library's code is linked
// into a program (which cannot be unloaded).
void SetThisModule(HMODULE hModule);
// One more reference on the module, or null when there is none to take. The
// holder drops it with FreeLibraryAndExitThread as its thread's last act.
HMODULE HoldThisModule();
