// The Service Control Manager calls of advapi32 that ask for a service's
// state. A service is the key HKLM\SYSTEM\CurrentControlSet\Services\<name>
// of pal's registry, as on Windows; its current state is the REG_DWORD value
// "CurrentState" there (SERVICE_STOPPED ... SERVICE_PAUSED). A missing value,
// or one that is not a 4-byte REG_DWORD, means stopped; any other number is
// reported as it is. The optional REG_DWORD "Type" gives dwServiceType
// (default SERVICE_WIN32_OWN_PROCESS).
//
// Rights: a process that may write HKLM (see VESK_REGISTRY_READONLY) is an
// administrator and is granted every right; any other is an ordinary user
// and is granted what Windows' default security gives users: on the manager
// SC_MANAGER_CONNECT, SC_MANAGER_ENUMERATE_SERVICE,
// SC_MANAGER_QUERY_LOCK_STATUS and READ_CONTROL; on a service
// SERVICE_QUERY_CONFIG, SERVICE_QUERY_STATUS, SERVICE_ENUMERATE_DEPENDENTS,
// SERVICE_INTERROGATE, SERVICE_USER_DEFINED_CONTROL and READ_CONTROL. Asking
// for more answers ERROR_ACCESS_DENIED; GENERIC_* rights are mapped as
// Windows maps them and MAXIMUM_ALLOWED grants what is allowed.
//
// Differences from Windows: only the local machine is reachable (any machine
// name answers RPC_S_SERVER_UNAVAILABLE at once); no process stands behind a
// service, so dwProcessId is 0; manager and service handles are pal kernel
// handles, so CloseHandle closes them too.
#pragma once
#include "pal/base/handles.h"

typedef struct SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

#define SERVICES_ACTIVE_DATABASEW u"ServicesActive"
#define SERVICES_FAILED_DATABASEW u"ServicesFailed"
#define SERVICES_ACTIVE_DATABASE SERVICES_ACTIVE_DATABASEW
#define SERVICES_FAILED_DATABASE SERVICES_FAILED_DATABASEW

#define STANDARD_RIGHTS_REQUIRED 0x000F0000u
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL

#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_LOCK 0x0008u
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010u
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020u
#define SC_MANAGER_ALL_ACCESS 0x000F003Fu

#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0x000F01FFu

#define SERVICE_KERNEL_DRIVER 0x00000001u
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002u
#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020u

#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002u

#define ERROR_INVALID_LEVEL 124L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#define RPC_S_SERVER_UNAVAILABLE 1722L

typedef enum _SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 } SC_STATUS_TYPE;

// 36 bytes: nine DWORDs.
typedef struct _SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
} SERVICE_STATUS_PROCESS, *LPSERVICE_STATUS_PROCESS;

// machine null or empty (the local one); database null, "ServicesActive"
// (any case), else ERROR_DATABASE_DOES_NOT_EXIST for "ServicesFailed" and
// ERROR_INVALID_NAME for any other name. SC_MANAGER_CONNECT is always granted.
SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD desired);
// ERROR_INVALID_HANDLE unless manager is a manager handle; ERROR_INVALID_ADDRESS
// for a null name; ERROR_INVALID_NAME for an empty one, one longer than 256
// characters or one holding '/' or '\'; ERROR_SERVICE_DOES_NOT_EXIST when no
// key of that name (any case) exists; a registry failure's own code.
SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD desired);
// Checked in this order: a service handle (ERROR_INVALID_HANDLE), the level
// (ERROR_INVALID_LEVEL), bytesNeeded not null (ERROR_INVALID_ADDRESS), the
// buffer size (ERROR_INSUFFICIENT_BUFFER with *bytesNeeded = 36), a buffer
// (ERROR_INVALID_ADDRESS), SERVICE_QUERY_STATUS granted (ERROR_ACCESS_DENIED).
// A service whose key was deleted after it was opened reports stopped.
BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded);
// Manager or service handle; ERROR_INVALID_HANDLE for any other.
BOOL WINAPI CloseServiceHandle(SC_HANDLE handle);
