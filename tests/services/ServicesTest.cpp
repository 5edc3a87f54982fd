// pal's Service Control Manager calls: a service's state is the registry
// value CurrentState under its key; results and last-error codes are Win32's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

constexpr const char16_t* kKey = u"SYSTEM\\CurrentControlSet\\Services\\ATService";
constexpr DWORD kPattern = 0xABABABABu;

class Services : public testkit::MachineTest {
protected:
    Services() { SetState(REG_SZ, testkit::Sz(u"installed, no state yet")); }

    static void SetState(DWORD type, const testkit::Bytes& data)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, kKey, u"CurrentState", type, data);
    }

    // A service handle; its manager is closed again at once.
    static SC_HANDLE Open(const char16_t* name, DWORD access = SERVICE_QUERY_STATUS)
    {
        const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        const SC_HANDLE service = OpenServiceW(manager, name, access);
        const DWORD error = GetLastError();
        EXPECT_TRUE(CloseServiceHandle(manager));
        SetLastError(error);
        return service;
    }

    static SERVICE_STATUS_PROCESS Query(SC_HANDLE service)
    {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                         reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
            << GetLastError();
        return status;
    }
};

TEST_F(Services, StateIsTheRegistryValueAskedAfreshOnEachQuery)
{
    struct Row {
        DWORD type;
        testkit::Bytes data;
        DWORD state;
        DWORD accepted;
    };
    const DWORD stopPause = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    const std::vector<Row> rows = {
        {REG_DWORD, testkit::Dword(SERVICE_START_PENDING), SERVICE_START_PENDING, 0},
        {REG_DWORD, testkit::Dword(SERVICE_RUNNING), SERVICE_RUNNING, stopPause},
        {REG_DWORD, testkit::Dword(SERVICE_STOPPED), SERVICE_STOPPED, 0},
        {REG_DWORD, testkit::Dword(SERVICE_PAUSED), SERVICE_PAUSED, stopPause},
        {REG_DWORD, testkit::Dword(9), 9, 0},  // outside the table: as it is
        {REG_SZ, testkit::Sz(u"4"), SERVICE_STOPPED, 0},
        {REG_BINARY, {4, 0}, SERVICE_STOPPED, 0},
    };
    const SC_HANDLE service = Open(u"atservice");  // names are not case-sensitive
    ASSERT_NE(service, nullptr) << GetLastError();
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED) << "no value yet";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        SetState(row.type, row.data);
        const SERVICE_STATUS_PROCESS status = Query(service);
        EXPECT_EQ(status.dwCurrentState, row.state);
        EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(status.dwControlsAccepted, row.accepted);
        EXPECT_EQ(status.dwProcessId, 0u);
    }
    // A service deleted while a handle is open is no longer running.
    SetState(REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(Services, OpeningRefusesWhatWindowsRefuses)
{
    struct ManagerRow {
        const char16_t* machine;
        const char16_t* database;
        DWORD error;
    };
    const ManagerRow managers[] = {
        {nullptr, nullptr, ERROR_SUCCESS},
        {u"", u"servicesACTIVE", ERROR_SUCCESS},
        {nullptr, SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST},
        {nullptr, u"ServicesElsewhere", ERROR_INVALID_NAME},
        {u"\\\\OTHERHOST", nullptr, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const ManagerRow& row : managers) {
        SCOPED_TRACE(row.error);
        SetLastError(kPattern);
        const SC_HANDLE manager = OpenSCManagerW(row.machine, row.database, SC_MANAGER_CONNECT);
        EXPECT_EQ(manager ? 0u : GetLastError(), row.error);
        EXPECT_TRUE(!manager || CloseServiceHandle(manager));
    }

    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = OpenServiceW(manager, u"ATService", SERVICE_QUERY_STATUS);
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const std::u16string longName(257, u'a');
    struct ServiceRow {
        SC_HANDLE manager;
        const char16_t* name;
        DWORD error;
    };
    const ServiceRow rows[] = {
        {manager, u"NoSuchService", ERROR_SERVICE_DOES_NOT_EXIST},
        {manager, nullptr, ERROR_INVALID_ADDRESS},
        {manager, u"", ERROR_INVALID_NAME},
        {manager, u"Services\\ATService", ERROR_INVALID_NAME},
        {manager, u"AT/Service", ERROR_INVALID_NAME},
        {manager, longName.c_str(), ERROR_INVALID_NAME},
        {service, u"ATService", ERROR_INVALID_HANDLE},
        {reinterpret_cast<SC_HANDLE>(event), u"ATService", ERROR_INVALID_HANDLE},
        {nullptr, u"ATService", ERROR_INVALID_HANDLE},
    };
    for (const ServiceRow& row : rows) {
        SCOPED_TRACE(row.name ? pal::ToUtf8(row.name) : "(null)");
        SetLastError(kPattern);
        EXPECT_EQ(OpenServiceW(row.manager, row.name, SERVICE_QUERY_STATUS), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
    // The service handle outlives its manager's, as on Windows.
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(CloseServiceHandle(service));
    for (SC_HANDLE stale : {manager, service, reinterpret_cast<SC_HANDLE>(event)}) {
        SetLastError(kPattern);
        EXPECT_FALSE(CloseServiceHandle(stale));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_TRUE(CloseHandle(event)) << "the refused close left the event alone";
}

TEST_F(Services, QueryRefusalsLeaveTheBufferAlone)
{
    SetState(REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE noQuery = Open(u"ATService", SERVICE_QUERY_CONFIG);
    const SC_HANDLE stale = Open(u"ATService");
    ASSERT_TRUE(CloseServiceHandle(stale));
    const SC_HANDLE service = Open(u"ATService");
    struct Row {
        SC_HANDLE service;
        int level;
        DWORD size;
        bool withNeeded;
        DWORD error;
        DWORD needed;  // what bytesNeeded holds afterwards
    };
    const Row rows[] = {
        {stale, 0, 36, true, ERROR_INVALID_HANDLE, kPattern},
        {manager, 0, 36, true, ERROR_INVALID_HANDLE, kPattern},
        {service, 1, 36, true, ERROR_INVALID_LEVEL, kPattern},
        {service, 0, 36, false, ERROR_INVALID_ADDRESS, kPattern},
        {service, 0, 35, true, ERROR_INSUFFICIENT_BUFFER, 36},
        {service, 0, 0, true, ERROR_INSUFFICIENT_BUFFER, 36},
        {noQuery, 0, 36, true, ERROR_ACCESS_DENIED, kPattern},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
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
    EXPECT_EQ(buffer[0] + buffer[37] + buffer[40], 3 * 0xCD);
    for (SC_HANDLE handle : {noQuery, service, manager})
        EXPECT_TRUE(CloseServiceHandle(handle));
}

TEST_F(Services, RightsFollowWhetherTheProcessMayWriteTheMachineHive)
{
    SetState(REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    struct Row {
        bool user;
        DWORD managerAccess, serviceAccess;
        DWORD error;  // of the manager's open, else the service's
        bool queries;
    };
    const Row rows[] = {
        {true, SC_MANAGER_ENUMERATE_SERVICE, SERVICE_QUERY_STATUS, 0, true},
        {true, GENERIC_READ, GENERIC_READ, 0, true},
        {true, MAXIMUM_ALLOWED, MAXIMUM_ALLOWED, 0, true},
        {true, SC_MANAGER_ALL_ACCESS, SERVICE_QUERY_STATUS, ERROR_ACCESS_DENIED, false},
        {true, SC_MANAGER_CONNECT, SERVICE_ALL_ACCESS, ERROR_ACCESS_DENIED, false},
        {true, SC_MANAGER_CONNECT, GENERIC_EXECUTE, ERROR_ACCESS_DENIED, false},
        {false, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, 0, true},
        {false, SC_MANAGER_CONNECT, SERVICE_START, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.user << " " << row.managerAccess << " " << row.serviceAccess);
        pal::ClearSetting("VESK_REGISTRY_READONLY");
        if (row.user)
            pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
        SetLastError(kPattern);
        const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, row.managerAccess);
        const SC_HANDLE service = manager ? OpenServiceW(manager, u"ATService", row.serviceAccess) : nullptr;
        EXPECT_EQ(service ? 0u : GetLastError(), row.error);
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        EXPECT_EQ(service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                                  reinterpret_cast<BYTE*>(&status), sizeof status, &needed),
                  row.queries);
        EXPECT_EQ(status.dwCurrentState, row.queries ? SERVICE_RUNNING : 0u);
        EXPECT_TRUE((!service || CloseServiceHandle(service)) && (!manager || CloseServiceHandle(manager)));
    }
}

}  // namespace
