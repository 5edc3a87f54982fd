// pal's Service Control Manager calls: a service's state is the registry
// value CurrentState under its key. What their one caller, CService, reaches
// of the refusals and of the rights is checked through it in the afss suite.
#include <gtest/gtest.h>

#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

constexpr const char16_t* kKey = u"SYSTEM\\CurrentControlSet\\Services\\ATService";

class Services : public testkit::MachineTest {
protected:
    Services() { SetState(REG_SZ, testkit::Sz(u"installed, no state yet")); }

    static void SetState(DWORD type, const testkit::Bytes& data)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, kKey, u"CurrentState", type, data);
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
    };
    const std::vector<Row> rows = {
        {REG_DWORD, testkit::Dword(SERVICE_START_PENDING), SERVICE_START_PENDING},
        {REG_DWORD, testkit::Dword(SERVICE_RUNNING), SERVICE_RUNNING},
        {REG_DWORD, testkit::Dword(SERVICE_PAUSED), SERVICE_PAUSED},
        {REG_DWORD, testkit::Dword(9), 9},  // outside the table: as it is
        {REG_SZ, testkit::Sz(u"4"), SERVICE_STOPPED},
        {REG_BINARY, {4, 0}, SERVICE_STOPPED},
    };
    const SC_HANDLE manager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ENUMERATE_SERVICE);
    const SC_HANDLE service = OpenServiceW(manager, u"atservice", SERVICE_QUERY_STATUS);  // any case
    ASSERT_NE(service, nullptr) << GetLastError();
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED) << "no value yet";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        SetState(row.type, row.data);
        EXPECT_EQ(Query(service).dwCurrentState, row.state);
    }
    // A service deleted while a handle is open is no longer running.
    SetState(REG_DWORD, testkit::Dword(SERVICE_RUNNING));
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_TRUE(CloseServiceHandle(manager));
}

}  // namespace
