// CService on pal's Service Control Manager: the state codes, the two tests
// the drivers ask, the rights of the two modes and the lines logged.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "common/TestMachine.h"
#include "drivers/CService.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char16_t* kKey = u"SYSTEM\\CurrentControlSet\\Services\\ATService";
const std::string kQueryLine = "CService::IsServiceRunning(): QueryServiceStatusEx() returns: ";

class ServiceHelper : public testkit::MachineTest {
protected:
    ServiceHelper() { logcapture::Take(); }

    static void SetState(DWORD state)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, kKey, u"CurrentState", REG_DWORD, testkit::Dword(state));
    }
};

TEST_F(ServiceHelper, EachSystemStateHasItsCodeAndTheDriversTwoAnswers)
{
    struct Row {
        const char* what;
        int state;  // -1: not installed
        uint32_t code;
        bool available;
        bool running;
        Lines errors;
        std::string shown;  // the state the debug line shows; "" for none
    };
    const Row rows[] = {
        {"not installed", -1, CService::ServiceUnknown, false, false,
         {"CService::CService(): OpenService() Error: 0x00000424"}, ""},
        {"stopped", SERVICE_STOPPED, CService::ServiceStopped, true, false, {}, "0x00000001"},
        {"running", SERVICE_RUNNING, CService::ServiceRunning, true, true, {}, "0x00000004"},
        {"start pending", SERVICE_START_PENDING, CService::ServiceStartPending, true, false, {}, "0x00000002"},
        {"stop pending", SERVICE_STOP_PENDING, CService::ServiceStopPending, true, false, {}, "0x00000003"},
        {"continue pending", SERVICE_CONTINUE_PENDING, CService::ServiceContinuePending, true, false, {},
         "0x00000005"},
        {"pause pending", SERVICE_PAUSE_PENDING, CService::ServicePausePending, true, false, {}, "0x00000006"},
        {"paused", SERVICE_PAUSED, CService::ServicePaused, true, false, {}, "0x00000007"},
        {"outside the table", 0x1A, CService::ServiceUnknown, false, false, {}, "0x0000001a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        if (row.state >= 0)
            SetState(static_cast<DWORD>(row.state));
        logcapture::Take();
        {
            CService service(W("ATService"), true);
            EXPECT_EQ(service.GetServiceState(), row.code);
            EXPECT_EQ(service.IsServiceAvailable(), row.available);
            EXPECT_EQ(service.IsServiceRunning(), row.running);
        }
        const logcapture::Lines lines = logcapture::Take();
        EXPECT_EQ(lines.errors, row.errors);
        // One line for each of the three questions, none when nothing is open.
        EXPECT_EQ(lines.debug, row.shown.empty() ? Lines() : Lines(3, kQueryLine + row.shown));
    }
}

TEST_F(ServiceHelper, EveryQuestionAsksTheSystemAfresh)
{
    SetState(SERVICE_START_PENDING);
    CService service(W("ATService"), true);
    EXPECT_FALSE(service.IsServiceRunning());
    SetState(SERVICE_RUNNING);
    EXPECT_TRUE(service.IsServiceRunning());
    SetState(SERVICE_STOPPED);
    EXPECT_FALSE(service.IsServiceRunning());
    EXPECT_TRUE(service.IsServiceAvailable());
    EXPECT_TRUE(logcapture::Take().errors.empty());

    // A failing query is logged each time and answers unknown.
    testkit::WriteFile(m_machine.RegistryDir() + "/HKEY_LOCAL_MACHINE.reg", "not a hive\r\n");
    EXPECT_EQ(service.GetServiceState(), CService::ServiceUnknown);
    EXPECT_FALSE(service.IsServiceAvailable());
    const Lines failure(2, "CService::IsServiceRunning(): QueryServiceStatusEx() Error: 0x000003f1");
    EXPECT_EQ(logcapture::Take().errors, failure);
}

TEST_F(ServiceHelper, QueryOnlyNeedsNoAdministratorAndFullModeDoes)
{
    SetState(SERVICE_RUNNING);
    struct Row {
        const char* what;
        bool administrator;
        bool queryOnly;
        bool running;
        Lines errors;
    };
    const Row rows[] = {
        {"user, query only", false, true, true, {}},
        {"user, full rights", false, false, false, {"CService::CService(): OpenSCManager() Error: 0x00000005"}},
        {"administrator, query only", true, true, true, {}},
        {"administrator, full rights", true, false, true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.administrator)
            pal::ClearSetting("VESK_REGISTRY_READONLY");
        else
            pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
        {
            CService service(W("ATService"), row.queryOnly);
            EXPECT_EQ(service.IsServiceAvailable(), row.running);
            EXPECT_EQ(service.IsServiceRunning(), row.running);
        }
        EXPECT_EQ(logcapture::Take().errors, row.errors);
    }
}

TEST_F(ServiceHelper, AnEmptyNameIsTheCallersErrorAndOpensNothing)
{
    try {
        CService service(W(""), true);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "CService::CService(): empty ServiceName Exception");
    }
    const logcapture::Lines lines = logcapture::Take();
    EXPECT_TRUE(lines.errors.empty());
    EXPECT_TRUE(lines.debug.empty());
}

}  // namespace
