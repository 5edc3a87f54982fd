// Named mutexes shared between processes: thread-owned, recursive, with
// timed waits and WAIT_ABANDONED when the owner died holding one; events
// within the process.
#pragma once
#include "pal/base/handles.h"

#define MUTEX_ALL_ACCESS 0x001F0001u
#define MUTEX_MODIFY_STATE 0x0001u
#define ERROR_NOT_OWNER 288L

// A name's "Global\" or "Local\" prefix selects the namespace as on Windows;
// both are machine-wide here. A null name makes a private mutex.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
HANDLE WINAPI OpenMutexW(DWORD access, BOOL inheritHandle, LPCWSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);

// Events are unnamed here: a name answers ERROR_NOT_SUPPORTED.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCWSTR name);
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI ResetEvent(HANDLE event);
