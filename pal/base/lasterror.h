// Per-thread last-error word, as kept by the Windows kernel.
#pragma once
#include "pal/base/wintypes.h"

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);
