// The UPEK driver on the BSAPI simulator: what it asks BSAPI (the
// simulator's record of the calls), what it answers, and the lines it logs.
// Every test ends with every buffer BSAPI handed out freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "bsapi/BsapiSettings.h"
#include "bsapi/BsapiSimControl.h"
#include "common/LogHooks.h"
#include "common/TestMachine.h"
#include "drivers/CUpekSensor.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "image/CRawImg.h"
#include "pal/text/text.h"

// The front end of this program has no capture running; its singletons.
CVeskBitDevice* GetVeskBitSensor() { return nullptr; }
Authentec9Sensor* GetAuthentec9Sensor() { return nullptr; }
CSensor* GetUpekSensor() { return nullptr; }
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

namespace {

using namespace std::chrono_literals;
using testlog::Contains;
using testlog::kDebug;
using testlog::kError;
using testlog::Lines;
using testlog::Take;
using testlog::TakeLines;

class UpekDriver : public testkit::MachineTest {
protected:
    UpekDriver()
    {
        BsapiSimReset();
        BsapiSimSetDevices(1);
        BsapiSimSetFingerDelay(0);
        TakeLines();
    }
    void TearDown() override
    {
        m_driver.CloseSensor();
        CUpekSensor::UpekCBF(nullptr, ABS_MSG_PROCESS_RESUME, nullptr);
        const CBsapiSimStats stats = BsapiSimStats();
        EXPECT_EQ(stats.m_nBuffersLive, 0u) << "every buffer BSAPI handed out goes back";
        EXPECT_EQ(stats.m_nOpenConnections, 0u);
        BsapiSimReset();
    }

    // A capture on another thread that must be waiting for a finger first.
    std::future<int32_t> CaptureWaiting()
    {
        BsapiSimSetFingerDelay(kBsapiSimFingerNever);
        auto result = std::async(std::launch::async, [this] { return m_driver.CaptureImage(&m_image); });
        for (int i = 0; i < 500 && BsapiSimStats().m_nPendingGrabs == 0; ++i)
            Sleep(10);
        EXPECT_EQ(BsapiSimStats().m_nPendingGrabs, 1u);
        return result;
    }
    static int32_t Finish(std::future<int32_t>& capture)
    {
        EXPECT_EQ(capture.wait_for(10s), std::future_status::ready);
        return capture.get();
    }

    CUpekSensor m_driver;
    CRawImg m_image;
};

TEST_F(UpekDriver, AFailedOpenReturnsBsapisStatusAndLeavesNothingOpen)
{
    const struct {
        const char* name;
        uint32_t devices;
        std::vector<std::string> script;
        int32_t status;
        int level;
        std::string line;
    } cases[] = {
        {"no scanner on USB", 0, {}, -5008, kDebug,
         "CUpekSensor::OpenSensor(): ABSEnumerateDevices(): no device found"},
        {"enumeration fails", 1, {"enumerate:-5003"}, -5003, kError,
         "CUpekSensor::OpenSensor(): ABSEnumerateDevices() returns -5003"},
        {"scanner gone between list and open", 1, {"open:-5008"}, -5008, kError,
         "CUpekSensor::OpenSensor(): ABSOpen() returns -5008"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BsapiSimReset();
        BsapiSimSetDevices(c.devices);
        // For the open, the capture and the probe.
        std::vector<std::string> script;
        for (int i = 0; i < 3; ++i)
            script.insert(script.end(), c.script.begin(), c.script.end());
        ASSERT_TRUE(BsapiSimScript(script));
        EXPECT_EQ(m_driver.OpenSensor(), c.status);
        EXPECT_TRUE(Contains(Take(c.level), c.line));
        EXPECT_EQ(m_driver.CaptureImage(&m_image), c.status) << "a capture opens first";
        EXPECT_EQ(m_image.GetWidth(), 0u);
        EXPECT_FALSE(m_driver.IsSensorAttached());
        EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 0u);
        EXPECT_EQ(BsapiSimStats().m_nBuffersLive, 0u);
    }
}

// A stored script (vesk-admin's) reaches the library and is used up entry by
// entry, in the store, for every process to see.
TEST_F(UpekDriver, AStoredScriptIsUsedUpInOrder)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\bsapi", u"Script", REG_MULTI_SZ,
                      testkit::MultiSz({u"enumerate:-5003", u"open:-5010"}));
    EXPECT_EQ(m_driver.OpenSensor(), -5003);
    EXPECT_EQ(vsim::bsapi::ReadSettings().m_vScript, std::vector<WString>{W("open:-5010")});
    EXPECT_EQ(m_driver.OpenSensor(), -5010);
    EXPECT_EQ(m_driver.OpenSensor(), 0);
    EXPECT_TRUE(vsim::bsapi::ReadSettings().m_vScript.empty());
}

// A failed property read keeps the connection; the next open closes it first.
TEST_F(UpekDriver, AConnectionLeftByAFailedPropertyReadIsClosedByTheNextOpen)
{
    ASSERT_TRUE(BsapiSimScript({"property:-5020"}));
    EXPECT_EQ(m_driver.OpenSensor(), -5020);
    EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 1u);
    const uint32_t stale = BsapiSimStats().m_nLastCloseHandle;
    TakeLines();
    EXPECT_EQ(m_driver.OpenSensor(), 0);
    EXPECT_TRUE(Contains(Take(kError), "CUpekSensor::OpenSensor(): ABSClose() returns 0"));
    EXPECT_EQ(BsapiSimStats().m_nCloses, 1u);
    EXPECT_NE(BsapiSimStats().m_nLastCloseHandle, stale);
    EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 1u);
}

TEST_F(UpekDriver, OnlyTheFirstScannerIsOpenedAndEveryOneIsLogged)
{
    const struct {
        uint32_t devices;
        Lines lines;
    } cases[] = {
        {1, {"CUpekSensor::OpenSensor(): ABSEnumerateDevices(): one device found: usb,#1"}},
        {3,
         {"CUpekSensor::OpenSensor(): ABSEnumerateDevices(): 3 found", "0.) device: usb,#1",
          "1.) device: usb,#2", "2.) device: usb,#3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        m_driver.CloseSensor();
        BsapiSimReset();
        BsapiSimSetDevices(c.devices);
        TakeLines();
        EXPECT_EQ(m_driver.OpenSensor(), 0);
        Lines debug = Take(kDebug);
        debug.resize(std::min(debug.size(), c.lines.size()));
        EXPECT_EQ(debug, c.lines);
        const CBsapiSimStats stats = BsapiSimStats();
        EXPECT_STREQ(stats.m_szLastFilter, "usb");
        EXPECT_STREQ(stats.m_szLastOpenDsn, "usb,#1");
        EXPECT_EQ(stats.m_nOpens, 1u);
        EXPECT_EQ(stats.m_nLastPropertyId, ABS_DEVPROP_DEVICE_VERSION);
    }
}

// The generation decides the grab format; a version on a bound or outside
// the ranges leaves the generation as it was.
TEST_F(UpekDriver, TheDeviceVersionChoosesTheGrabFormatWithStrictBounds)
{
    const struct {
        uint32_t version;
        uint32_t format;  // 0: the generation stays
    } cases[] = {
        {0x00000000, 0},  {0x04010000, 0},  {0x04010001, 11}, {0x0401FFFF, 11},
        {0x04020000, 0},  {0x04020001, 18}, {0x04FFFFFF, 18}, {0x05000000, 0},
        {0x05000001, 39}, {0xFFFFFFFF, 39},
    };
    const struct {
        uint32_t version;
        uint32_t format;
    } before[] = {{0x04030000, 18}, {0x05010000, 39}};
    for (const auto& earlier : before) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << std::hex << earlier.version << " then " << c.version);
            BsapiSimSetDeviceVersion(earlier.version);
            m_driver.CloseSensor();
            ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
            ASSERT_EQ(BsapiSimStats().m_nLastFormatSecond, earlier.format);
            BsapiSimSetDeviceVersion(c.version);
            m_driver.CloseSensor();
            TakeLines();
            ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
            EXPECT_EQ(BsapiSimStats().m_nLastFormatSecond, c.format ? c.format : earlier.format);
            char expected[64];
            snprintf(expected, sizeof expected, "ABSGetDeviceProperty: ABS_DEVPROP_DEVICE_VERSION: 0x%08x",
                     c.version);
            EXPECT_TRUE(Contains(Take(kDebug), expected));
        }
    }
}

// Not classified: the first generation's format. The rest of the grab's
// arguments are fixed whatever the generation.
TEST_F(UpekDriver, AnUnclassifiedScannerGrabsWithTheFirstGenerationsFormat)
{
    BsapiSimSetDeviceVersion(0x05000000);
    ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
    const CBsapiSimStats stats = BsapiSimStats();
    EXPECT_EQ(stats.m_nLastFormatFirst, 5u);
    EXPECT_EQ(stats.m_nLastFormatSecond, 11u);
    EXPECT_EQ(stats.m_nLastPurpose, 1u);
    EXPECT_EQ(stats.m_nLastGrabFlags, 0u);
    EXPECT_EQ(stats.m_nLastOperationId, 0u);
    EXPECT_EQ(stats.m_nLastTimeout, 0);
    EXPECT_EQ(stats.m_nLastOperationFlags, 0u);
    EXPECT_TRUE(stats.m_bLastContextNull);
    EXPECT_TRUE(stats.m_bLastCallbackSet);
}

// BSAPI's first row becomes the last, then the frame keeps the middle
// columns and the top rows: flipping after fitting would keep other rows.
TEST_F(UpekDriver, TheImageIsTurnedUpsideDownThenFitted)
{
    const struct {
        uint32_t width, height;
    } cases[] = {{300, 400}, {240, 368}, {260, 380}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        auto pixel = [](uint32_t x, uint32_t y) { return uint8_t((x * 7 + y * 3) & 0xFF); };
        std::string pgm = "P5\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                pgm += char(pixel(x, y));
        BsapiSimSetImageFile(Write("finger.pgm", pgm).c_str());
        ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
        ASSERT_EQ(m_image.GetWidth(), 240u);
        ASSERT_EQ(m_image.GetHeight(), 368u);
        const uint8_t* out = m_image.GetImageData().GetData();
        const uint32_t left = (c.width - 240) / 2;
        int wrong = 0;
        for (uint32_t y = 0; y < 368; ++y)
            for (uint32_t x = 0; x < 240; ++x)
                wrong += out[y * 240 + x] != pixel(x + left, c.height - 1 - y);
        EXPECT_EQ(wrong, 0);
    }
}

// Records that cannot be true are refused unread: the simulator hands out
// buffers of exactly their true size, so a read beyond shows under ASan.
TEST_F(UpekDriver, ImpossibleRecordsAreRefusedWithALogLine)
{
    const struct {
        uint32_t fault;
        int32_t open, capture;
        std::string line;
    } cases[] = {
        {vsim::bsapi::kFaultListCount, UPEK_STATUS_BAD_RECORD, UPEK_STATUS_BAD_RECORD,
         "CUpekSensor::OpenSensor(): ABSEnumerateDevices() lists 1001 devices: refused"},
        {vsim::bsapi::kFaultShortProperty, 0, 0,
         "CUpekSensor::OpenSensor(): ABSGetDeviceProperty(): 2 bytes, too few for the device "
         "version: refused"},
        {vsim::bsapi::kFaultHugeImage, 0, UPEK_STATUS_BAD_RECORD,
         "CUpekSensor::CaptureImage: ABSRawGrab() image of 4096 x 4096 pixels: refused"},
        {vsim::bsapi::kFaultEmptyImage, 0, UPEK_STATUS_BAD_RECORD,
         "CUpekSensor::CaptureImage: ABSRawGrab() image of 300 x 0 pixels: refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vsim::bsapi::FaultName(c.fault));
        m_driver.CloseSensor();
        BsapiSimSetFault(c.fault);
        TakeLines();
        EXPECT_EQ(m_driver.OpenSensor(), c.open);
        m_driver.CloseSensor();
        m_image.Clear();
        EXPECT_EQ(m_driver.CaptureImage(&m_image), c.capture);
        EXPECT_EQ(m_image.GetWidth(), c.capture == 0 ? 240u : 0u);
        EXPECT_TRUE(Contains(Take(kError), c.line));
        if (c.fault == vsim::bsapi::kFaultShortProperty) {
            EXPECT_EQ(BsapiSimStats().m_nLastFormatSecond, 11u) << "no generation from 2 bytes";
        }
    }
}

TEST_F(UpekDriver, GrabStatusesPassThroughButACancelAfterASuspendIsLostFocus)
{
    // Without the suspend message -5012 is only a cancel; others are BSAPI's.
    for (const int32_t status : {-5012, -4242, 17}) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(BsapiSimScript({"grab:" + std::to_string(status)}));
        EXPECT_EQ(m_driver.CaptureImage(&m_image), status);
        EXPECT_TRUE(Contains(Take(kError),
                             "CUpekSensor::CaptureImage: ABSGrab() returns " + std::to_string(status)));
    }
    EXPECT_EQ(m_image.GetWidth(), 0u);

    // Another process takes the scanner while the grab waits.
    std::future<int32_t> capture = CaptureWaiting();
    const uint32_t grabbing = BsapiSimStats().m_nGrabs;
    BsapiSimSetSuspended(1);
    EXPECT_EQ(Finish(capture), UPEK_STATUS_LOST_FOCUS);
    std::vector<testlog::Line> lines = TakeLines();
    const auto suspend = std::find_if(lines.begin(), lines.end(), [](const testlog::Line& line) {
        return line.text == "CUpekSensor::UpekCBF(): ABS_MSG_PROCESS_SUSPEND";
    });
    ASSERT_NE(suspend, lines.end());
    const auto grabbed = std::find_if(lines.begin(), lines.end(), [](const testlog::Line& line) {
        return line.text == "CUpekSensor::CaptureImage: ABSGrab() returns -5012";
    });
    ASSERT_NE(grabbed, lines.end());
    EXPECT_LT(suspend, grabbed) << "the message comes before the grab ends";
    EXPECT_NE(suspend->threadId, grabbed->threadId) << "from the library's own thread";
    EXPECT_NE(suspend->threadId, GetCurrentThreadId());
    ASSERT_NE(grabbed + 1, lines.end());
    EXPECT_EQ(grabbed[1].text, "CUpekSensor::CaptureImage: if (-5012 == nResult && CUpekSensor::m_bLostFocus)");
    EXPECT_EQ(grabbing, 4u);

    // The flag was cleared: the next capture reaches BSAPI again (and, the
    // scanner still taken, loses it again).
    EXPECT_EQ(m_driver.CaptureImage(&m_image), UPEK_STATUS_LOST_FOCUS);
    EXPECT_EQ(BsapiSimStats().m_nGrabs, 5u);
    BsapiSimSetSuspended(0);
    EXPECT_TRUE(Contains(Take(kDebug), "CUpekSensor::UpekCBF(): ABS_MSG_PROCESS_RESUME"));
    BsapiSimSetFingerDelay(0);
    EXPECT_EQ(m_driver.CaptureImage(&m_image), 0);
}

// A suspend message alone sets the flag: while it is set, a closed driver
// answers -6000 without a BSAPI call, until the resume message.
TEST_F(UpekDriver, WhileTheScannerIsTakenAClosedDriverAsksBsapiNothing)
{
    std::future<int32_t> capture = CaptureWaiting();
    EXPECT_EQ(BsapiSimSendMessage(ABS_MSG_PROCESS_SUSPEND), 1u);
    BsapiSimSetFingerDelay(0);
    EXPECT_EQ(Finish(capture), 0) << "an image despite the message: the flag stays";
    m_driver.CloseSensor();
    const CBsapiSimStats before = BsapiSimStats();
    EXPECT_EQ(m_driver.CaptureImage(&m_image), UPEK_STATUS_LOST_FOCUS);
    EXPECT_EQ(m_driver.OpenSensor(), UPEK_STATUS_LOST_FOCUS);
    EXPECT_FALSE(m_driver.IsSensorAttached());
    const CBsapiSimStats after = BsapiSimStats();
    EXPECT_EQ(after.m_nEnumerations, before.m_nEnumerations);
    EXPECT_EQ(after.m_nOpens, before.m_nOpens);
    EXPECT_EQ(after.m_nGrabs, before.m_nGrabs);
    EXPECT_EQ(after.m_nCancels, before.m_nCancels);
    // The resume reaches the last grab's callback: BSAPI is asked again.
    EXPECT_EQ(BsapiSimSendMessage(ABS_MSG_PROCESS_RESUME), 1u);
    EXPECT_EQ(m_driver.CaptureImage(&m_image), 0);
    EXPECT_EQ(BsapiSimStats().m_nGrabs, before.m_nGrabs + 1);
}

TEST_F(UpekDriver, CloseCancelsEvenWithoutAConnectionAndClosesOnlyAnOpenOne)
{
    m_driver.CloseSensor();
    CBsapiSimStats stats = BsapiSimStats();
    EXPECT_EQ(stats.m_nCancels, 1u);
    EXPECT_EQ(stats.m_nLastCancelHandle, 0u);
    EXPECT_EQ(stats.m_nLastCancelOperation, 0u);
    EXPECT_EQ(stats.m_nCloses, 0u);
    EXPECT_TRUE(Contains(Take(kError), "CUpekSensor::CloseSensor(): ABSCancelOperation() returns " +
                                             std::to_string(vsim::bsapi::kStatusInvalidHandle)));

    ASSERT_EQ(m_driver.OpenSensor(), 0);
    m_driver.CloseSensor();
    m_driver.CloseSensor();
    stats = BsapiSimStats();
    EXPECT_EQ(stats.m_nCancels, 3u);
    EXPECT_EQ(stats.m_nCloses, 1u);
    EXPECT_NE(stats.m_nLastCloseHandle, 0u);
    EXPECT_EQ(stats.m_nOpenConnections, 0u);

    // A close that fails is logged; the handle is given up all the same.
    ASSERT_EQ(m_driver.OpenSensor(), 0);
    ASSERT_TRUE(BsapiSimScript({"close:-5030", "cancel:-5031"}));
    TakeLines();
    m_driver.CloseSensor();
    const Lines errors = Take(kError);
    EXPECT_TRUE(Contains(errors, "CUpekSensor::CloseSensor(): ABSCancelOperation() returns -5031"));
    EXPECT_TRUE(Contains(errors, "CUpekSensor::CloseSensor(): ABSClose() returns -5030"));
    EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 1u);
    BsapiSimReset();  // the connection the failed close left
}

TEST_F(UpekDriver, CloseFromAnotherThreadEndsAWaitingGrab)
{
    std::future<int32_t> capture = CaptureWaiting();
    m_driver.CloseSensor();
    EXPECT_EQ(Finish(capture), ABS_STATUS_CANCELED);
    EXPECT_EQ(m_image.GetWidth(), 0u);
    EXPECT_EQ(BsapiSimStats().m_nPendingGrabs, 0u);
    // The probe opens and closes again.
    EXPECT_TRUE(m_driver.IsSensorAttached());
    EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 0u);
}

TEST_F(UpekDriver, BsapiLivesAsLongAsTheDriver)
{
    const uint32_t before = BsapiSimStats().m_nInitializations;
    {
        CUpekSensor other;
        EXPECT_EQ(BsapiSimStats().m_nInitializations, before + 1);
    }
    EXPECT_EQ(BsapiSimStats().m_nInitializations, before);
}

}  // namespace
