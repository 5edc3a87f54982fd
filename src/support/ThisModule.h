// The library's own module, for threads that must keep it loaded while they
// run: a caller may unload the library, or end, while a capture goes on.
#pragma once
#include "support/Win32.h"

// Set by the entry notification; null where the library's code is linked
// into a program (which cannot be unloaded).
void SetThisModule(HMODULE hModule);
// The library's module (its resources), without a reference; null as above.
HMODULE GetThisModule();
// One more reference on the module, or null when there is none to take. The
// holder drops it with FreeLibraryAndExitThread as its thread's last act.
HMODULE HoldThisModule();

// How captures are ended at exit; the capture session names it as it starts
// one, so that code which loads libraries needs no link to the session.
void SetCaptureEnder(void (*pfnEndCaptures)());
// For a library the capture thread loads at run time (the session's channel
// library): loads it once more, to be freed by ReleaseKeptLibraries, and the
// first time also has every capture ended when the process exits, before that
// library's own exit handlers run (at a POSIX exit, handlers registered later
// run first, and the threads still run).
void KeepLoadedForCaptures(const WCHAR* pszLibrary);
void ReleaseKeptLibraries();
