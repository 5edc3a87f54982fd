// pal's Service Control Manager calls: a service's state is the registry
// value CurrentState under its key; results and last-error codes are Win32's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

constexpr const char16_t* kServices = u"SYSTEM\\CurrentControlSet\\Services\\";
constexpr DWORD kPattern = 0xABABABABu;

class Services : public testkit::MachineTest {
protected:
    static void SetState(const std::u16string& name, DWORD type, const testkit::Bytes& data)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, kServices + name, u"CurrentState", type, data);
    }
    static void Install(const std::u16string& name)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, kServices + name, u"DisplayName", REG_SZ,
                          testkit::Sz(name));
    }
    static void AsOrdinaryUser() { pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM"); }

    // A service handle of the local manager; the manager is closed again.
    static SC_HANDLE Open(const char16_t* name, DWORD managerAccess = SC_MANAGER_ENUMERATE_SERVICE,
                          DWORD serviceAccess = SERVICE_QUERY_STATUS)
    {
        const SC_HANDLE manager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, managerAccess);
        EXPECT_NE(manager, nullptr) << GetLastError();
        const SC_HANDLE service = manager ? OpenServiceW(manager, name, serviceAccess) : nullptr;
        const DWORD error = GetLastError();
        if (manager) {
            EXPECT_TRUE(CloseServiceHandle(manager));
        }
        SetLastError(error);
        return service;
    }

    static SERVICE_STATUS_PROCESS Query(SC_HANDLE service)
    {
        SERVICE_STATUS_PROCESS status;
        std::memset(&status, 0xAB, sizeof status);
        DWORD needed = kPattern;
        EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                         reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
            << GetLastError();
        return status;
    }
};

TEST_F(Services, StateIsTheRegistryValueAskedAfreshOnEachQuery)
{
    struct Row {
        const char* what;
        DWORD type;
        testkit::Bytes data;
        DWORD state;
        DWORD accepted;
    };
    const std::vector<Row> rows = {
        {"stopped", REG_DWORD, testkit::Dword(SERVICE_STOPPED), SERVICE_STOPPED, 0},
        {"start pending", REG_DWORD, testkit::Dword(SERVICE_START_PENDING), SERVICE_START_PENDING, 0},
        {"running", REG_DWORD, testkit::Dword(SERVICE_RUNNING), SERVICE_RUNNING,
         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE},
        {"paused", REG_DWORD, testkit::Dword(SERVICE_PAUSED), SERVICE_PAUSED,
         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE},
        {"a state outside the table, as it is", REG_DWORD, testkit::Dword(9), 9, 0},
        {"text instead of a number: stopped", REG_SZ, testkit::Sz(u"4"), SERVICE_STOPPED, 0},
        {"a short number: stopped", REG_BINARY, {4, 0}, SERVICE_STOPPED, 0},
    };
    Install(u"ATService");  // no value yet: stopped
    const SC_HANDLE service = Open(u"atservice");  // names are not case-sensitive
    ASSERT_NE(service, nullptr) << GetLastError();
    SERVICE_STATUS_PROCESS status = Query(service);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetState(u"ATService", row.type, row.data);
        status = Query(service);
        EXPECT_EQ(status.dwCurrentState, row.state);
        EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(status.dwControlsAccepted, row.accepted);
        EXPECT_EQ(status.dwWin32ExitCode, 0u);
        EXPECT_EQ(status.dwProcessId, 0u);
        EXPECT_EQ(status.dwServiceFlags, 0u);
    }
    // A service deleted while a handle is open is no longer running.
    SetState(u"ATService", REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kServices + std::u16string(u"ATService")).c_str()),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(Services, OpeningRefusesWhatWindowsRefuses)
{
    Install(u"ATService");
    struct ManagerRow {
        const char16_t* machine;
        const char16_t* database;
        DWORD error;
    };
    const ManagerRow managers[] = {
        {nullptr, nullptr, ERROR_SUCCESS},
        {u"", u"", ERROR_SUCCESS},
        {nullptr, u"servicesACTIVE", ERROR_SUCCESS},
        {nullptr, SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST},
        {nullptr, u"ServicesElsewhere", ERROR_INVALID_NAME},
        {u"\\\\OTHERHOST", nullptr, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const ManagerRow& row : managers) {
        SCOPED_TRACE(pal::ToUtf8(row.database ? row.database : u"(null)"));
        SetLastError(kPattern);
        const SC_HANDLE manager = OpenSCManagerW(row.machine, row.database, SC_MANAGER_CONNECT);
        EXPECT_EQ(manager != nullptr, row.error == ERROR_SUCCESS);
        if (manager) {
            EXPECT_TRUE(CloseServiceHandle(manager));
        } else {
            EXPECT_EQ(GetLastError(), row.error);
        }
    }

    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    ASSERT_NE(manager, nullptr);
    const SC_HANDLE service = OpenServiceW(manager, u"ATService", SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct ServiceRow {
        const char* what;
        SC_HANDLE manager;
        const char16_t* name;
        DWORD error;
    };
    const std::u16string longName(257, u'a');
    const ServiceRow rows[] = {
        {"not installed", manager, u"NoSuchService", ERROR_SERVICE_DOES_NOT_EXIST},
        {"null name", manager, nullptr, ERROR_INVALID_ADDRESS},
        {"empty name", manager, u"", ERROR_INVALID_NAME},
        {"backslash", manager, u"Services\\ATService", ERROR_INVALID_NAME},
        {"slash", manager, u"AT/Service", ERROR_INVALID_NAME},
        {"too long", manager, longName.c_str(), ERROR_INVALID_NAME},
        {"service handle as manager", service, u"ATService", ERROR_INVALID_HANDLE},
        {"event handle as manager", reinterpret_cast<SC_HANDLE>(event), u"ATService",
         ERROR_INVALID_HANDLE},
        {"null manager", nullptr, u"ATService", ERROR_INVALID_HANDLE},
    };
    for (const ServiceRow& row : rows) {
        SCOPED_TRACE(row.what);
        SetLastError(kPattern);
        EXPECT_EQ(OpenServiceW(row.manager, row.name, SERVICE_QUERY_STATUS), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(Services, QueryRefusalsLeaveTheBufferAlone)
{
    Install(u"ATService");
    SetState(u"ATService", REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    const SC_HANDLE noQuery = OpenServiceW(manager, u"ATService", SERVICE_QUERY_CONFIG);
    ASSERT_NE(noQuery, nullptr) << GetLastError();
    const SC_HANDLE stale = Open(u"ATService");
    ASSERT_TRUE(CloseServiceHandle(stale));
    const SC_HANDLE service = Open(u"ATService");
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Row {
        const char* what;
        SC_HANDLE service;
        int level;
        DWORD size;
        bool withNeeded;
        DWORD error;
        DWORD needed;  // what bytesNeeded holds afterwards
    };
    const Row rows[] = {
        {"closed handle", stale, 0, 36, true, ERROR_INVALID_HANDLE, kPattern},
        {"manager handle", manager, 0, 36, true, ERROR_INVALID_HANDLE, kPattern},
        {"event handle", reinterpret_cast<SC_HANDLE>(event), 0, 36, true, ERROR_INVALID_HANDLE, kPattern},
        {"unknown level", service, 1, 36, true, ERROR_INVALID_LEVEL, kPattern},
        {"no place for the size", service, 0, 36, false, ERROR_INVALID_ADDRESS, kPattern},
        {"one byte short", service, 0, 35, true, ERROR_INSUFFICIENT_BUFFER, 36},
        {"no buffer at all", service, 0, 0, true, ERROR_INSUFFICIENT_BUFFER, 36},
        {"opened without SERVICE_QUERY_STATUS", noQuery, 0, 36, true, ERROR_ACCESS_DENIED, kPattern},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<BYTE> buffer(40, 0xAB);
        DWORD needed = kPattern;
        SetLastError(kPattern);
        EXPECT_FALSE(QueryServiceStatusEx(row.service, static_cast<SC_STATUS_TYPE>(row.level),
                                          row.size ? buffer.data() : nullptr, row.size,
                                          row.withNeeded ? &needed : nullptr));
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(needed, row.needed);
        EXPECT_EQ(buffer, std::vector<BYTE>(40, 0xAB));
    }
    // A large enough buffer need not be aligned; what follows the record stays.
    std::vector<BYTE> buffer(41, 0xCD);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, buffer.data() + 1, 39, &needed));
    DWORD state = 0;
    std::memcpy(&state, buffer.data() + 1 + offsetof(SERVICE_STATUS_PROCESS, dwCurrentState), 4);
    EXPECT_EQ(state, SERVICE_RUNNING);
    EXPECT_EQ(buffer[0], 0xCD);
    EXPECT_EQ(buffer[38], 0xCD);
    for (SC_HANDLE handle : {noQuery, service, manager}) {
        EXPECT_TRUE(CloseServiceHandle(handle));
    }
    CloseHandle(event);
}

TEST_F(Services, RightsFollowWhetherTheProcessMayWriteTheMachineHive)
{
    Install(u"ATService");
    SetState(u"ATService", REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    struct Row {
        const char* what;
        bool user;
        DWORD managerAccess;
        DWORD serviceAccess;
        DWORD managerError;
        DWORD serviceError;
        bool queries;
    };
    const Row rows[] = {
        {"user, query only", true, SC_MANAGER_ENUMERATE_SERVICE, SERVICE_QUERY_STATUS, 0, 0, true},
        {"user, generic read", true, GENERIC_READ, GENERIC_READ, 0, 0, true},
        {"user, the most allowed", true, MAXIMUM_ALLOWED, MAXIMUM_ALLOWED, 0, 0, true},
        {"user, full manager", true, SC_MANAGER_ALL_ACCESS, 0, ERROR_ACCESS_DENIED, 0, false},
        {"user, full service", true, SC_MANAGER_CONNECT, SERVICE_ALL_ACCESS, 0, ERROR_ACCESS_DENIED, false},
        {"user, start", true, SC_MANAGER_CONNECT, SERVICE_START, 0, ERROR_ACCESS_DENIED, false},
        {"user, generic execute", true, SC_MANAGER_CONNECT, GENERIC_EXECUTE, 0, ERROR_ACCESS_DENIED, false},
        {"administrator, full", false, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, 0, 0, true},
        {"administrator, start only", false, SC_MANAGER_CONNECT, SERVICE_START, 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        pal::ClearSetting("VESK_REGISTRY_READONLY");
        if (row.user)
            AsOrdinaryUser();
        SetLastError(kPattern);
        const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, row.managerAccess);
        ASSERT_EQ(manager == nullptr, row.managerError != 0);
        if (!manager) {
            EXPECT_EQ(GetLastError(), row.managerError);
            continue;
        }
        const SC_HANDLE service = OpenServiceW(manager, u"ATService", row.serviceAccess);
        EXPECT_EQ(service == nullptr, row.serviceError != 0);
        if (!service) {
            EXPECT_EQ(GetLastError(), row.serviceError);
        }
        if (service) {
            SERVICE_STATUS_PROCESS status{};
            DWORD needed = 0;
            EXPECT_EQ(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                           reinterpret_cast<BYTE*>(&status), sizeof status, &needed) != FALSE,
                      row.queries);
            EXPECT_EQ(status.dwCurrentState, row.queries ? SERVICE_RUNNING : 0u);
            EXPECT_TRUE(CloseServiceHandle(service));
        }
        EXPECT_TRUE(CloseServiceHandle(manager));
    }
}

TEST_F(Services, ClosingTakesOnlyLiveServiceControlHandles)
{
    Install(u"ATService");
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = OpenServiceW(manager, u"ATService", SERVICE_QUERY_STATUS);
    // The service outlives its manager's handle, as on Windows.
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_TRUE(Query(service).dwCurrentState == SERVICE_STOPPED);
    EXPECT_TRUE(CloseServiceHandle(service));
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (SC_HANDLE handle : {manager, service, static_cast<SC_HANDLE>(nullptr),
                             reinterpret_cast<SC_HANDLE>(event)}) {
        SetLastError(kPattern);
        EXPECT_FALSE(CloseServiceHandle(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_TRUE(SetEvent(event)) << "the refused close left the event alone";
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
