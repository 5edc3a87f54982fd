// Threads the C run-time way, critical sections (recursive, as on Windows)
// and Sleep.
#pragma once
#include "pal/base/handles.h"

// Returns a waitable thread handle (0 on failure, errno set as the CRT does).
uintptr_t _beginthreadex(void* security, unsigned stackSize,
                         unsigned(__stdcall* start)(void*), void* argument,
                         unsigned initFlags, unsigned* threadId);
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Unwinds the calling thread (C++ destructors run) and ends it with the code.
[[noreturn]] void WINAPI ExitThread(DWORD exitCode);

typedef struct _CRITICAL_SECTION {
    // A recursive pthread mutex lives here; sized for every glibc target.
    alignas(8) unsigned char storage[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);

void WINAPI Sleep(DWORD milliseconds);
