// Per-thread last-error word, as kept by the Windows kernel.
#pragma once
#include "pal/base/wintypes.h"

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

// Each of our shared libraries links a private copy of pal/, and with it a
// last-error word of its own, where Windows has one per thread for the whole
// process. A library that exports this function (through its version script)
// shares its callers' word: LoadLibraryW calls it with bAdopt TRUE and the
// loading module's own SetLastError, and from then on every SetLastError in
// the library is passed on to that function as well (its own word is kept
// too); the loader calls it with bAdopt FALSE when it frees its last
// reference or is itself unloaded. A library keeps a few such adopters at a
// time, one per module that loaded it.
typedef void(WINAPI* PFN_VESK_SET_LAST_ERROR)(DWORD code);
extern "C" void VeskPalAdoptLastError(PFN_VESK_SET_LAST_ERROR pfnSetLastError, BOOL bAdopt);
#define VESK_PAL_ADOPT_LAST_ERROR "VeskPalAdoptLastError"
