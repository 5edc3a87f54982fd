// The AuthenTec service drivers on the simulated client library: when the
// library is loaded, the connect and probe sequences, the image's widening
// and fitting, refusals of what the library wrote, the older generation's
// rules and the event texts.
#include <algorithm>
#include <future>
#include <thread>

#include "AfssTestKit.h"
#include "drivers/AFSSClient.h"
#include "drivers/AuthentecServiceSensor.h"
#include "image/CRawImg.h"
#include "pal/memory/memory.h"

namespace afsstest {
namespace {

using namespace AuthenTec::AFSSClientLib;
using Lines = std::vector<std::string>;

class AuthentecDriver : public AuthentecTest {
protected:
    ~AuthentecDriver() override
    {
        m_driver.CloseSensor();
        m_older.CloseSensor();
    }

    Authentec9Sensor m_driver;
    Authentec8Sensor m_older;
    CRawImg m_image;
};

// The slot numbers are the interface: each is called by number on the
// library's own object and must reach the operation of that number.
TEST_F(AuthentecDriver, EachGenerationsSlotsAreWhereTheLibraryHasThem)
{
    using Counter = uint32_t CAfssSimStats::*;
    struct Row {
        uint32_t generation;
        int slot;
        Counter counter;
    };
    const Row rows[] = {
        {9, 4, &CAfssSimStats::m_nConnects},      {9, 5, &CAfssSimStats::m_nShutdowns},
        {9, 10, &CAfssSimStats::m_nRequests},     {9, 20, &CAfssSimStats::m_nCancels},
        {9, 21, &CAfssSimStats::m_nReservedCalls}, {9, 23, &CAfssSimStats::m_nListQueries},
        {8, 20, &CAfssSimStats::m_nReservedCalls}, {8, 21, &CAfssSimStats::m_nCancels},
        {8, 22, &CAfssSimStats::m_nListQueries},  {8, 23, &CAfssSimStats::m_nVersionQueries},
    };
    HMODULE hLibrary = LoadLibraryW(u"AFSSClientLib.dll");
    ASSERT_NE(hLibrary, nullptr);
    const auto pfnGet = reinterpret_cast<PFN_GetAFSSClientInterface>(
        reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, kGetAFSSClientInterface)));
    ASSERT_NE(pfnGet, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.generation * 100 + row.slot);
        Sim().AfssSimSetGeneration(row.generation);
        const void* const pClient = pfnGet(nullptr);
        // Every slot called takes at most one object; a right-sized one of each.
        AFSSSensorImage image;
        AFSSSensorDescriptorList list;
        AFSSSoftwareVersions versions;
        void* const pArgument = row.slot == 10 ? static_cast<void*>(&image)
                                : row.slot == 23 && row.generation == 8 ? static_cast<void*>(&versions)
                                                                        : static_cast<void*>(&list);
        const uint32_t nBefore = Sim().Stats().*row.counter;
        CallSlot<uint32_t>(pClient, row.slot, pArgument, 0u, 0u, 0u, 0u);
        EXPECT_EQ(Sim().Stats().*row.counter, nBefore + 1);
    }
    FreeLibrary(hLibrary);
}

TEST_F(AuthentecDriver, TheLibraryIsLoadedOnlyWhileTheServiceRuns)
{
    struct Row {
        const char* what;
        int state;
        bool attached;
    };
    const Row rows[] = {
        {"absent", kServiceAbsent, false},
        {"stopped", SERVICE_STOPPED, false},
        {"start pending", SERVICE_START_PENDING, false},
        {"running", SERVICE_RUNNING, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Authentec9Sensor driver;
        SetService(row.state);
        Sim().AfssSimReset();
        EXPECT_EQ(driver.IsSensorAttached(), row.attached);
        EXPECT_EQ(driver.CaptureImage(&m_image), row.attached ? 0 : AUTHENTEC_STATUS_NOT_CONNECTED);
        driver.CloseSensor();
        const CAfssSimStats stats = Sim().Stats();
        EXPECT_EQ(stats.m_nInterfaceQueries, row.attached ? 1u : 0u) << "looked up once, kept";
        EXPECT_EQ(stats.m_nStartups, row.attached ? 2u : 0u) << "the probe and the capture connect";
        EXPECT_EQ(stats.m_nShutdowns, stats.m_nStartups);
    }
}

TEST_F(AuthentecDriver, ProbeConnectsListsAndDisconnects)
{
    ASSERT_TRUE(m_driver.IsSensorAttached());
    const Lines debug = logcapture::Take().debug;
    for (const char* line : {"Authentec9Sensor::m_pcli->Startup() returns: 0",
                             "Authentec9Sensor::m_pcli->ConnectToService() returns: 0",
                             "Authentec9Sensor::m_pcli->GetSensorDescriptorList() returns: 0",
                             "Authentec9Sensor::m_pcli->CancelCurrentRequest()", "Authentec9Sensor::m_pcli->Shutdown()"})
        EXPECT_TRUE(Contains(debug, line)) << line;
    const CAfssSimStats stats = Sim().Stats();
    EXPECT_EQ(stats.m_nConnected, 0u);
    EXPECT_EQ(stats.m_nLastConnectArgs[0], 1u);
    EXPECT_EQ(stats.m_nLastConnectArgs[1], 30u);
    EXPECT_EQ(stats.m_nLastConnectArgs[2], 5550u);
    const std::vector<SensorDescription> sensors = m_driver.GetSensorList();
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_FALSE(sensors[0].sName.empty());
    EXPECT_EQ(sensors[0].sFirmware.size(), 19u) << "four numbers of four digits";
}

TEST_F(AuthentecDriver, MissingLibraryOrEntryPointLeavesNothingConnected)
{
    // A library already loaded is found by its name, as on Windows: the
    // test's own link goes first.
    Unlink();
    for (const std::string& sBuilt : {std::string(), std::string(VESK_AFSS_NOENTRY_SIM)}) {
        SCOPED_TRACE(sBuilt.empty() ? "unloadable" : "no entry point");
        Authentec9Sensor driver;
        Install(sBuilt);
        EXPECT_FALSE(driver.IsSensorAttached());
        EXPECT_EQ(driver.CaptureImage(&m_image), AUTHENTEC_STATUS_NOT_CONNECTED);
        EXPECT_FALSE(driver.GetInterfacePtr()) << "tried again, fails again";
    }
    Install(VESK_AFSS_SIM);
    Link();
}

TEST_F(AuthentecDriver, PriorityGivesStartUpFlagsAndRequestPriority)
{
    struct Row {
        uint32_t priority, flags, prio;
    };
    for (const Row& row : {Row{0, 1, 0}, Row{1, 1, 50}, Row{2, 2, 100}, Row{7, 1, 0}}) {
        SCOPED_TRACE(row.priority);
        m_driver.Initialize(row.priority);
        ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
        m_driver.CloseSensor();
        const CAfssSimStats stats = Sim().Stats();
        EXPECT_EQ(stats.m_nLastFlags, row.flags);
        EXPECT_EQ(stats.m_nLastPriority, row.prio);
        EXPECT_TRUE(Contains(logcapture::Take().debug,
                             "Authentec9Sensor::Initialize(): prio: " + std::to_string(row.prio) + "; veskPrio: " +
                                 std::to_string(row.priority) + "; StartUpFlags; " + std::to_string(row.flags)));
    }
}

// The picture arrives bottom row first; rows are taken as they come, widened
// with white columns centred, then fitted into 240 × 368.
TEST_F(AuthentecDriver, ImagesAreWidenedCentredAndFitted)
{
    struct Row {
        uint32_t width, height;
        int firstColumn;  // the picture's column at the record's column 0 (negative: white columns)
    };
    const size_t nBlocksBefore = pal::LiveGlobalBlocks();
    for (const Row& row : {Row{250, 300, 5}, Row{230, 300, -5}, Row{240, 368, 0}}) {
        SCOPED_TRACE(row.width);
        Sim().AfssSimSetImageFile(WritePicture(row.width, row.height).c_str());
        ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
        ASSERT_EQ(m_image.GetWidth(), 240u);
        ASSERT_EQ(m_image.GetHeight(), 368u);
        const uint8_t* pPixels = m_image.GetImageData().GetData();
        const int nVisibleColumn = std::max(0, -row.firstColumn);
        uint32_t nTop = 0;  // the black rows the fit added before the picture
        while (nTop < 368 && pPixels[nTop * 240 + nVisibleColumn] == 0)
            ++nTop;
        ASSERT_LE(nTop + row.height, 368u);
        for (uint32_t y = 0; y < row.height; y += 37) {
            const uint8_t* pRow = pPixels + (nTop + y) * 240;
            for (int x = 0; x < 240; ++x) {
                const int nColumn = x + row.firstColumn;
                const uint8_t expected =
                    nColumn < 0 || nColumn >= int(row.width) ? 0xFF : PicturePixel(nColumn, row.height - 1 - y);
                ASSERT_EQ(pRow[x], expected) << "x " << x << " y " << y;
            }
        }
        m_driver.CloseSensor();
        EXPECT_EQ(pal::LiveGlobalBlocks(), nBlocksBefore) << "image blocks wiped and released";
        EXPECT_EQ(Sim().Stats().m_nLiveBlocks, 0u);
    }
}

TEST_F(AuthentecDriver, OtherFormatIsRefusedWithTheLockReleased)
{
    Sim().AfssSimSetImageFormat(1);
    EXPECT_EQ(m_driver.CaptureImage(&m_image), AUTHENTEC_STATUS_IMAGE_FORMAT);
    EXPECT_EQ(m_image.GetWidth(), 0u);
    auto closed = std::async(std::launch::async, [&] { m_driver.CloseSensor(); });
    ASSERT_EQ(closed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST_F(AuthentecDriver, CloseCancelsAPendingRequest)
{
    Sim().AfssSimSetFingerDelay(kAfssSimFingerNever);
    auto capture = std::async(std::launch::async, [&] { return m_driver.CaptureImage(&m_image); });
    ASSERT_EQ(Sim().AfssSimWaitForRequest(5000), 1u);
    m_driver.CloseSensor();
    ASSERT_EQ(capture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(capture.get(), int32_t(kAfssSimStatusCancelled));
    EXPECT_EQ(m_image.GetWidth(), 0u);
    EXPECT_EQ(Sim().Stats().m_nCancels, 1u);
    // CloseSensor with nothing connected does nothing and keeps the library.
    m_driver.CloseSensor();
    EXPECT_EQ(Sim().Stats().m_nShutdowns, 1u);
}

TEST_F(AuthentecDriver, ServiceStoppingMidRequestEndsItAndLaterCapturesWork)
{
    Sim().AfssSimSetFingerDelay(kAfssSimFingerNever);
    auto capture = std::async(std::launch::async, [&] { return m_driver.CaptureImage(&m_image); });
    ASSERT_EQ(Sim().AfssSimWaitForRequest(5000), 1u);
    SetService(kServiceAbsent);
    ASSERT_EQ(capture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(capture.get(), int32_t(kAfssSimStatusServiceStopped));
    SetService(SERVICE_RUNNING);
    Sim().AfssSimSetFingerDelay(0);
    m_driver.CloseSensor();
    EXPECT_EQ(m_driver.CaptureImage(&m_image), 0);
}

TEST_F(AuthentecDriver, FailuresToStartOrConnect)
{
    struct Row {
        const char* what;
        uint32_t op;
        uint32_t shutdowns;
    };
    const Row rows[] = {
        {"start-up: no shutdown", kAfssSimOpStartup, 0},
        {"connect: shut down", kAfssSimOpConnect, 1},
        {"empty list: disconnected", kAfssSimOpCount, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Sim().AfssSimReset();
        if (row.op == kAfssSimOpCount)
            Sim().AfssSimSetSensors(0);
        else
            Sim().AfssSimSetStatus(row.op, 77);
        EXPECT_FALSE(m_driver.GetInterfacePtr());
        EXPECT_EQ(Sim().Stats().m_nShutdowns, row.shutdowns);
        EXPECT_EQ(m_driver.CaptureImage(&m_image), AUTHENTEC_STATUS_NOT_CONNECTED);
    }
}

TEST_F(AuthentecDriver, HostileAnswersAreRefusedUnread)
{
    struct Row {
        uint32_t fault;
        int32_t result;
    };
    const Row rows[] = {
        {kAfssSimFaultImageShort, AUTHENTEC_STATUS_BAD_IMAGE},
        {kAfssSimFaultPixelsOver, AUTHENTEC_STATUS_BAD_IMAGE},
        {kAfssSimFaultWidthZero, AUTHENTEC_STATUS_BAD_IMAGE},
        {kAfssSimFaultHeightZero, AUTHENTEC_STATUS_BAD_IMAGE},
        {kAfssSimFaultWidthHuge, AUTHENTEC_STATUS_BAD_IMAGE},
        {kAfssSimFaultListCount, 0},  // the links decide: one sensor, logged
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        Sim().AfssSimSetFault(row.fault);
        EXPECT_EQ(m_driver.CaptureImage(&m_image), row.result);
        EXPECT_EQ(m_image.GetWidth() != 0, row.result == 0);
        const Lines errors = logcapture::Take().errors;
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("Authentec9Sensor::"), std::string::npos) << errors[0];
        m_driver.CloseSensor();
    }
}

TEST_F(AuthentecDriver, OlderGenerationChecksVersionsAndKeepsAnEmptyList)
{
    Sim().AfssSimSetGeneration(8);
    struct Row {
        const char* what;
        std::vector<uint32_t> client, service;
        bool connected;
    };
    const Row rows[] = {
        {"equal", {8, 1, 2, 30}, {8, 1, 2, 30}, true},
        {"fourth differs", {8, 1, 2, 30}, {8, 1, 2, 31}, false},
        {"all zero", {0, 0, 0, 0}, {0, 0, 0, 0}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Sim().AfssSimSetVersions(row.client.data(), row.service.data());
        EXPECT_EQ(m_older.GetInterfacePtr(), row.connected);
        EXPECT_EQ(m_older.CaptureImage(&m_image), row.connected ? 0 : AUTHENTEC_STATUS_NOT_CONNECTED);
        EXPECT_EQ(Contains(logcapture::Take().debug,
                           "Authentec8Sensor::m_pcli->GetSoftwareVersions(): AFSSClientLib.dll and AtService.exe "
                           "Fileversions are not equal!"),
                  !row.connected);
        m_older.CloseSensor();
    }

    Sim().AfssSimSetVersions(rows[0].client.data(), rows[0].service.data());
    Sim().AfssSimSetStatus(kAfssSimOpVersions, 5);
    EXPECT_FALSE(m_older.GetInterfacePtr());
    EXPECT_TRUE(Contains(logcapture::Take().debug, "Authentec8Sensor::m_pcli->GetSoftwareVersions()"));
    Sim().AfssSimSetStatus(kAfssSimOpVersions, 0);

    Sim().AfssSimSetSensors(0);
    const CAfssSimStats before = Sim().Stats();
    EXPECT_TRUE(m_older.GetInterfacePtr()) << "connected with no sensor listed";
    EXPECT_FALSE(m_older.IsSensorAttached());
    m_older.CloseSensor();
    const CAfssSimStats after = Sim().Stats();
    EXPECT_EQ(after.m_nCancels - before.m_nCancels, 1u) << "through slot 21";
    EXPECT_EQ(after.m_nShutdowns - before.m_nShutdowns, 1u);
    EXPECT_EQ(after.m_nWrongObjects, 0u) << "every slot got its own class";
}

TEST_F(AuthentecDriver, EveryEventIsLoggedWithItsTexts)
{
    struct Row {
        uint32_t type, code;
        std::vector<uint32_t> payloads;
        Lines lines;
    };
    const Row rows[] = {
        {2, 0, {}, {"Sensor Removed"}},
        {5, 0, {}, {"Authentec9Sensor::_handleEvent: default"}},
        {9, 0, {}, {"SensorEvent_ServiceStatus", "ServiceStatus_None ERROR: unknown service status"}},
        {9, 5, {}, {"SensorEvent_ServiceStatus", "ServiceStatus_ default !!!"}},
        {10, 9, {}, {"SensorEvent_SensorStatus", "SensorStatus_ default"}},
        {11, 13, {}, {"SensorEvent_OperationalPrompt", "OpPrompt_OperationNoMatch"}},
        {11, 14, {}, {"SensorEvent_OperationalPrompt", "OpPrompt_ default"}},
        {12, 2, {1, 11, 12}, {"SensorEvent_BiometricEvent", "# UsageFeedback_TooFarLeft", "Payload list has 3 nodes",
                              "PayloadType_DisplayImage", "PayloadType_UpdatedTemplateIndex", "PayloadType_ default",
                              "OpPrompt_OperationQueued"}},
        {12, 0, {}, {"SensorEvent_BiometricEvent", "Payload list has 0 nodes", "OpPrompt_None"}},
        {12, 13, {0}, {"SensorEvent_BiometricEvent", "# UsageFeedback_ default", "Payload list has 1 nodes",
                       "PayloadType_None", "OpPrompt_OperationNoMatch"}},
        {12, 14, {}, {"SensorEvent_BiometricEvent", "# UsageFeedback_SwipeTooSkewed", "Payload list has 0 nodes",
                      "OpPrompt_ default"}},
        {14, 0, {}, {"Authentec9Sensor::_handleEvent: default"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type * 100 + row.code);
        ASSERT_TRUE(Sim().QueueEvent(row.type, row.code, row.payloads));
        ASSERT_TRUE(m_driver.GetInterfacePtr());
        ASSERT_EQ(Sim().AfssSimWaitForEvents(5000), 1u);
        // In order; the driver's own lines on this thread may come between.
        const Lines debug = logcapture::Take().debug;
        auto next = debug.begin();
        for (const std::string& line : row.lines) {
            next = std::find(next, debug.end(), line);
            ASSERT_NE(next, debug.end()) << line;
        }
        m_driver.CloseSensor();
    }
    ASSERT_TRUE(Sim().QueueEvent(5, 0));
    Sim().AfssSimSetGeneration(8);
    ASSERT_TRUE(m_older.GetInterfacePtr());
    ASSERT_EQ(Sim().AfssSimWaitForEvents(5000), 1u);
    EXPECT_TRUE(Contains(logcapture::Take().debug, "Authentec8Sensor::_handleEvent: default"));
}

}  // namespace
}  // namespace afsstest
