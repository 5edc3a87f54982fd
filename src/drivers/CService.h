// The state of one Windows service through the Service Control Manager: the
// manager and the service are opened once, at construction; every question
// asks the system afresh.
#pragma once
#include <cstdint>
#include <stdexcept>

#include "support/Win32.h"

class CService {
public:
    // The library's own numbering, not the system's SERVICE_* values.
    enum ServiceState : uint32_t {
        ServiceUnknown = 0,
        ServiceRunning = 1,
        ServiceStopped = 2,
        ServicePaused = 3,
        ServiceStartPending = 4,
        ServiceStopPending = 5,
        ServicePausePending = 6,
        ServiceContinuePending = 7,
    };

    // Query-only asks for the small rights an ordinary user holds; otherwise
    // full rights, which need an administrator. Failures are logged once
    // here and afterwards answer ServiceUnknown. An empty name throws
    // std::invalid_argument: a programming error of the caller.
    CService(const WString& sServiceName, bool bQueryOnly);
    ~CService();
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    uint32_t GetServiceState();
    bool IsServiceRunning() { return GetServiceState() == ServiceRunning; }
    // The service exists, could be opened and reports a known state.
    bool IsServiceAvailable() { return GetServiceState() != ServiceUnknown; }

private:
    void _Release();

    SC_HANDLE m_hSCManager = nullptr;
    SC_HANDLE m_hService = nullptr;
    WString m_sServiceName;
};
