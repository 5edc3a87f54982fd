// vesk-admin service: the state of a service of the simulated machine, where
// a service is its key under HKLM\SYSTEM\CurrentControlSet\Services and its
// CurrentState value (pal/README.md). Reading goes through the Service
// Control Manager calls, as the drivers read it; on Windows the real manager
// owns the states, so only the reading works there.
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "CSettingsKey.h"
#include "CToolError.h"
#include "Commands.h"
#include "Platform.h"
#include "Text.h"

namespace vadmin {
namespace {

const char16_t* const kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";

struct CState {
    const char16_t* m_pszName;  // on the command line; null: absent
    uint32_t m_nState;
};

const CState kStates[] = {
    {u"running", SERVICE_RUNNING},
    {u"stopped", SERVICE_STOPPED},
    {u"pending", SERVICE_START_PENDING},
    {u"absent", 0},
};

std::u16string _StateName(uint32_t nState)
{
    for (const CState& state : kStates)
        if (state.m_nState == nState && nState != 0)
            return state.m_pszName;
    return u"state " + Decimal(nState);
}

struct CServiceCloser {
    void operator()(SC_HANDLE hHandle) const { CloseServiceHandle(hHandle); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CServiceCloser>;

void _Show(const std::u16string& sName)
{
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        Fail(u"the Service Control Manager cannot be opened (error " + Decimal(GetLastError()) + u").");
    const CServiceHandle service(OpenServiceW(manager.get(), ToWide(sName).c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD nError = GetLastError();
        if (nError != ERROR_SERVICE_DOES_NOT_EXIST)
            Fail(u"service " + sName + u" cannot be opened (error " + Decimal(nError) + u").");
        WriteOut(u"service " + sName + u": absent\n");
        return;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD nNeeded = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &nNeeded))
        Fail(u"the state of service " + sName + u" cannot be read (error " + Decimal(GetLastError()) + u").");
    WriteOut(u"service " + sName + u": " + _StateName(status.dwCurrentState) + u"\n");
}

void _Set(const std::u16string& sName, const CState& state)
{
#ifdef _WIN32
    (void)state;
    Fail(u"'service " + sName + u" STATE' only works on the simulated machine; on Windows the Service "
                                u"Control Manager owns the state (use 'sc start' or 'sc stop').");
#else
    const std::u16string sKey = kServicesKey + sName;
    if (state.m_nState == 0) {
        const LSTATUS nStatus = RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToWide(sKey).c_str());
        if (nStatus != ERROR_SUCCESS && nStatus != ERROR_FILE_NOT_FOUND)
            Fail(u"HKEY_LOCAL_MACHINE\\" + sKey + u" cannot be removed (error " + Decimal(nStatus) + u").");
    } else {
        const CSettingsKey key(HKEY_LOCAL_MACHINE, ToWide(sKey));
        key.WriteDword(W("Type"), SERVICE_WIN32_OWN_PROCESS);
        key.WriteDword(W("CurrentState"), state.m_nState);
    }
    WriteOut(u"service " + sName + u": " + state.m_pszName + u"\n");
#endif
}

int _Run(const std::vector<std::u16string>& args)
{
    if (args.empty())
        Fail(u"missing service name.");
    if (args.size() > 2)
        Fail(u"unexpected argument '" + args[2] + u"'.");
    const std::u16string& sName = args[0];
    if (sName.empty() || sName.size() > 256 || sName.find_first_of(u"\\/") != std::u16string::npos)
        Fail(u"'" + sName + u"' is not a service name.");
    if (args.size() == 1) {
        _Show(sName);
        return 0;
    }
    for (const CState& state : kStates) {
        if (EqualsNoCase(args[1], state.m_pszName)) {
            _Set(sName, state);
            return 0;
        }
    }
    Fail(u"unknown state '" + args[1] + u"' (running, stopped, pending or absent).");
}

}  // namespace

const CCommand kServiceCommand = {
    u"service",
    u"show or set a service's state on the simulated machine (ATService)",
    u"vesk-admin service: a service's state as the AuthenTec drivers ask it of the\n"
    u"Service Control Manager. On the simulated machine a service is the key\n"
    u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\NAME with its\n"
    u"CurrentState (and Type) values; no process stands behind it.\n"
    u"\n"
    u"  vesk-admin service NAME                  show the state\n"
    u"  vesk-admin service NAME running          CurrentState 4 (SERVICE_RUNNING)\n"
    u"  vesk-admin service NAME stopped          CurrentState 1 (SERVICE_STOPPED)\n"
    u"  vesk-admin service NAME pending          CurrentState 2 (SERVICE_START_PENDING)\n"
    u"  vesk-admin service NAME absent           remove the service's key\n"
    u"\n"
    u"The AuthenTec drivers load AFSSClientLib only while ATService is running;\n"
    u"the simulated client refuses to connect otherwise and ends a waiting image\n"
    u"request when the service leaves the running state.\n"
    u"\n"
    u"Exit status: 0 on success; 1 for bad arguments, registry failures and, on\n"
    u"Windows, any attempt to set a state, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
