#include "drivers/CService.h"

#include "support/Format.h"
#include "support/Logging.h"

namespace {

// Rights of the two modes: what an ordinary user holds, and everything.
constexpr DWORD kQueryManagerAccess = SC_MANAGER_ENUMERATE_SERVICE;
constexpr DWORD kFullManagerAccess = SC_MANAGER_ALL_ACCESS;
constexpr DWORD kQueryServiceAccess = SERVICE_QUERY_STATUS;
constexpr DWORD kFullServiceAccess = SERVICE_ALL_ACCESS;

uint32_t StateCode(DWORD nSystemState)
{
    switch (nSystemState) {
    case SERVICE_RUNNING: return CService::ServiceRunning;
    case SERVICE_STOPPED: return CService::ServiceStopped;
    case SERVICE_PAUSED: return CService::ServicePaused;
    case SERVICE_START_PENDING: return CService::ServiceStartPending;
    case SERVICE_STOP_PENDING: return CService::ServiceStopPending;
    case SERVICE_PAUSE_PENDING: return CService::ServicePausePending;
    case SERVICE_CONTINUE_PENDING: return CService::ServiceContinuePending;
    default: return CService::ServiceUnknown;
    }
}

void LogFailure(const WCHAR* pszWhere, DWORD nError)
{
    LogErrorLine([&] { return pszWhere + FormatHex32(nError); });
}

}  // namespace

CService::CService(const WString& sServiceName, bool bQueryOnly) : m_sServiceName(sServiceName)
{
    if (m_sServiceName.empty())
        throw std::invalid_argument("CService::CService(): empty ServiceName Exception");
    m_hSCManager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW,
                                  bQueryOnly ? kQueryManagerAccess : kFullManagerAccess);
    if (!m_hSCManager) {
        LogFailure(W("CService::CService(): OpenSCManager() Error: "), GetLastError());
        return;
    }
    m_hService = OpenServiceW(m_hSCManager, m_sServiceName.c_str(),
                              bQueryOnly ? kQueryServiceAccess : kFullServiceAccess);
    if (!m_hService)
        LogFailure(W("CService::CService(): OpenService() Error: "), GetLastError());
}

CService::~CService() { _Release(); }

uint32_t CService::GetServiceState()
{
    if (!m_hSCManager || !m_hService)
        return ServiceUnknown;
    SERVICE_STATUS_PROCESS status = {};
    DWORD nNeeded = 0;
    if (!QueryServiceStatusEx(m_hService, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &nNeeded)) {
        // The operation's name in these texts is the one support tools look for.
        LogFailure(W("CService::IsServiceRunning(): QueryServiceStatusEx() Error: "), GetLastError());
        return ServiceUnknown;
    }
    LogDebugLine([&] {
        return W("CService::IsServiceRunning(): QueryServiceStatusEx() returns: ") +
            FormatHex32(status.dwCurrentState);
    });
    return StateCode(status.dwCurrentState);
}

void CService::_Release()
{
    // The service first: it was opened through the manager.
    for (SC_HANDLE* phHandle : {&m_hService, &m_hSCManager}) {
        if (*phHandle && !CloseServiceHandle(*phHandle))
            LogFailure(W("CService::_Release(): CloseServiceHandle() error: "), GetLastError());
        *phHandle = nullptr;
    }
}
