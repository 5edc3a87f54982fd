// Capturing through the ATSC70 driver: the sensor's name, the message loop
// and what ends it, warnings to the caller, the reconstructed image and the
// sizes the library must not be trusted with, and a close from another
// thread while the loop waits inside the library.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

#include "atsc70/Atsc70TestKit.h"
#include "sim/atsc70/Atsc70Settings.h"
#include "sim/common/CRegValues.h"
#include "veskSensor.h"

namespace atsc70test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Atsc70Capture : public Atsc70Test {
protected:
    // A capture on another thread, waiting inside the library for a message
    // after the scripted ones.
    std::future<int32_t> CaptureWaiting(const std::vector<std::string>& script = {})
    {
        const uint32_t nBefore = Sim().Stats().m_nMessagesHandedOut;
        EXPECT_TRUE(Sim().Script(script));
        Sim().Atsc70SimSetFingerDelay(kAtsc70SimFingerNever);
        auto capture = std::async(std::launch::async, [this] { return m_driver.CaptureImage(&m_image); });
        for (int i = 0; i < 500 && Sim().Stats().m_nWaiting == 0; ++i)
            Sleep(10);
        EXPECT_EQ(Sim().Stats().m_nWaiting, 1u);
        EXPECT_EQ(Sim().Stats().m_nMessagesHandedOut - nBefore, script.size());
        return capture;
    }
    static int32_t Finish(std::future<int32_t>& capture)
    {
        EXPECT_EQ(capture.wait_for(10s), std::future_status::ready);
        return capture.get();
    }
};

TEST_F(Atsc70Capture, TheFirstSensorsNameDecidesWhatTheOpenReceives)
{
    const struct {
        const char* name;
        int32_t status;
        bool opened;
        bool nullName;
    } cases[] = {
        {"ATSC70 #1", 0, true, false},
        {"Finger 2", 18, true, false},
        {"", 18, true, true},   // no name: a null one, not an empty one
        {"", 0, true, true},
        {"ATSC70 #1", 5, false, false},
        {"", -1, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + std::to_string(c.status));
        m_driver.CloseSensor();
        Sim().Atsc70SimReset();
        Sim().Atsc70SimSetSensorName(c.name, c.status);
        TakeLog();
        EXPECT_EQ(m_driver.OpenSensor(), c.opened);
        EXPECT_TRUE(Contains(TakeLog(kDebug), std::string("First AuthentecSensor visible name: ") + c.name));
        const CAtsc70SimStats stats = Sim().Stats();
        EXPECT_EQ(stats.m_nOpens, c.opened ? 1u : 0u);
        EXPECT_EQ(stats.m_nSensorOpen, c.opened ? 1u : 0u);
        if (c.opened) {
            EXPECT_EQ(stats.m_bLastOpenNameNull != 0, c.nullName);
            EXPECT_STREQ(stats.m_szLastOpenName, c.name);
            EXPECT_EQ(stats.m_nLastOpenMode, 1u);
        }
    }
    Sim().Atsc70SimSetSensors(0);
    m_driver.CloseSensor();
    EXPECT_FALSE(m_driver.IsSensorAttached()) << "no sensor named";
}

// Results the library's statuses give, and the open failing in between.
TEST_F(Atsc70Capture, TheLibrarysStatusesBecomeTheResult)
{
    const struct {
        std::vector<std::string> script;
        int32_t result;
    } cases[] = {
        {{"open:-4"}, ATSC70_STATUS_OPEN_FAILED},
        {{"name:7"}, ATSC70_STATUS_OPEN_FAILED},
        {{"begin:-2"}, ATSC70_STATUS_BEGIN_FAILED},
        {{"end:-9"}, -9},
        {{"create:-11"}, -11},
        {{"create:1"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.front());
        m_driver.CloseSensor();
        ASSERT_TRUE(Sim().Script(c.script));
        EXPECT_EQ(m_driver.CaptureImage(&m_image), c.result);
        EXPECT_EQ(m_image.GetWidth(), 0u);
        EXPECT_EQ(Sim().Stats().m_nMessagesLive, 0u);
    }
    EXPECT_EQ(m_driver.CaptureImage(&m_image), 0) << "the next capture works";
    const CAtsc70SimStats stats = Sim().Stats();
    EXPECT_EQ(std::vector<uint32_t>(stats.m_nLastBeginArgs, stats.m_nLastBeginArgs + 4),
              std::vector<uint32_t>(4, 0u));
}

// Every other code leaves the loop running; 65535 is logged as the signed
// 16-bit value it is.
TEST_F(Atsc70Capture, TheLoopEndsOnlyOnImageReadyOrAnEndMessage)
{
    const std::vector<std::string> others = {"0",  "1",  "2",  "3",  "4",  "6",  "7",  "8",
                                             "9",  "10", "11", "14", "15", "16", "17", "18",
                                             "19", "20", "21", "22", "23", "24", "25", "26",
                                             "27", "1000", "65535"};
    const std::vector<std::string> defaults = {"3", "6", "7", "8", "9", "10", "11", "14", "15",
                                               "21", "27", "1000", "-1"};
    const struct {
        const char* last;
        int32_t result;
        uint32_t width;
    } cases[] = {{"12", 12, 0}, {"13", 13, 0}, {"5", 0, 240}};
    Sim().Atsc70SimSetFingerDelay(kAtsc70SimFingerNever);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        std::vector<std::string> script = others;
        script.push_back(c.last);
        script.push_back("12");  // never reached
        ASSERT_TRUE(Sim().Script(script));
        const uint32_t nBefore = Sim().Stats().m_nMessagesHandedOut;
        TakeLog();
        EXPECT_EQ(m_driver.CaptureImage(&m_image), c.result);
        EXPECT_EQ(m_image.GetWidth(), c.width);
        const CAtsc70SimStats stats = Sim().Stats();
        EXPECT_EQ(stats.m_nMessagesHandedOut - nBefore, others.size() + 1);
        EXPECT_EQ(stats.m_nMessagesLive, 0u);
        const Lines debug = TakeLog(kDebug);
        for (const std::string& code : defaults)
            EXPECT_EQ(Count(debug, "Authentec default: " + code + "\r\n"), 1u) << code;
        for (const std::string& line : debug)
            EXPECT_EQ(line.find("Warning"), std::string::npos) << "no capture has a caller: " << line;
        Sim().Script({});
    }
}

// A stop while the library waits: the loop leaves after its pass, with the
// last message's code, or 0 when none came.
TEST_F(Atsc70Capture, AStopFromAnotherThreadEndsAWaitingLoop)
{
    const struct {
        std::vector<std::string> script;
        int32_t result;
    } cases[] = {{{}, 0}, {{"17"}, 17}, {{"3", "20"}, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.size());
        std::future<int32_t> capture = CaptureWaiting(c.script);
        m_driver.CloseSensor();
        EXPECT_EQ(Finish(capture), c.result);
        EXPECT_EQ(m_image.GetWidth(), 0u);
        EXPECT_EQ(Sim().Stats().m_nSensorOpen, 0u);
    }
}

// The library is slow to return from the ended wait: ATClose and the unload
// come only once the loop has left it.
TEST_F(Atsc70Capture, CloseWaitsUntilTheLoopHasLeftTheLibrary)
{
    Sim().Atsc70SimSetLeaveDelay(300);
    std::future<int32_t> capture = CaptureWaiting();
    const Clock::time_point tStart = Clock::now();
    m_driver.CloseSensor();
    EXPECT_GE(Clock::now() - tStart, 250ms);
    EXPECT_EQ(Sim().Stats().m_nInFlight, 0u) << "the capture is out of the library";
    EXPECT_EQ(Finish(capture), 0);
}

// The same without the test's reference: the library really goes, and
// nothing of it may still run then.
TEST_F(Atsc70Capture, TheLibraryIsUnloadedOnlyAfterTheLoopHasLeftIt)
{
    SetStored(vsim::atsc70::kFingerDelayMs, REG_DWORD, testkit::Dword(vsim::atsc70::kFingerNever));
    SetStored(vsim::atsc70::kLeaveDelayMs, REG_DWORD, testkit::Dword(300));
    Unlink();
    TakeLoadEvents();
    auto capture = std::async(std::launch::async, [this] { return m_driver.CaptureImage(&m_image); });
    for (int i = 0; i < 500 && !Contains(TakeLog(kDebug), "ATBeginAcquireImage()"); ++i)
        Sleep(10);
    Sleep(100);  // inside the message wait by now
    m_driver.CloseSensor();
    const LoadEvents events = TakeLoadEvents();
    EXPECT_EQ(events.loads, 1);
    EXPECT_EQ(events.unloads, 1);
    EXPECT_EQ(events.inFlightAtUnload, 0u);
    EXPECT_EQ(Finish(capture), 0);
}

// The events a capture's caller receives.
std::mutex g_eventLock;
std::condition_variable g_eventChanged;
std::vector<uint32_t> g_events;

std::atomic<bool> g_bStopOnRetry{false};

uint32_t VESK_CALLBACK Record(uintptr_t, uint32_t code, uintptr_t, uintptr_t)
{
    if (code == FS_EVENT_RETRY && g_bStopOnRetry.load())
        StopFingerscanner();
    std::lock_guard<std::mutex> guard(g_eventLock);
    g_events.push_back(code);
    g_eventChanged.notify_all();
    return 0;
}

// A capture of the driver in this program's UPEK slot, through the exports,
// until it ends; the events its caller received.
std::vector<uint32_t> CaptureThroughTheFrontEnd(CSensor& driver)
{
    vsim::CRegValues order(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\veskSensor\\Settings", true);
    EXPECT_EQ(order.WriteMultiString(u"SensorDetectOrder", {u"Upek TCS3"}), ERROR_SUCCESS);
    SetUpekSlot(&driver);
    {
        std::lock_guard<std::mutex> guard(g_eventLock);
        g_events.clear();
    }
    FingerscannerData request;
    InitFingerscannerData(&request, &Record, 0, 7, 0, 1, 0, 1);
    EXPECT_EQ(GetImageFromFingerscanner(&request), uint32_t(FS_START_OK));
    std::vector<uint32_t> events;
    {
        std::unique_lock<std::mutex> lock(g_eventLock);
        g_eventChanged.wait_for(lock, 10s, [] {
            return std::find(g_events.begin(), g_events.end(), uint32_t(FS_EVENT_CAPTURE_ENDED)) != g_events.end();
        });
        events = g_events;
    }
    StopFingerscanner();
    for (int i = 0; i < 500 && CurrentlyUsedFingerscanner() != FS_TYPE_NONE; ++i)
        Sleep(10);
    return events;
}

std::vector<uint32_t> RetriesAndImages(const std::vector<uint32_t>& events)
{
    std::vector<uint32_t> kept;
    for (const uint32_t code : events)
        if (code == FS_EVENT_RETRY || code == FS_EVENT_IMAGE)
            kept.push_back(code);
    return kept;
}

// The loop goes on after each warning; the capture's caller hears each as a
// retry. The driver stands in this program's UPEK slot, so that a real
// capture record with a caller exists.
TEST_F(Atsc70Capture, QualityWarningsReachTheCallerAsRetries)
{
    ASSERT_TRUE(Sim().Script({"17", "16", "3", "26", "5"}));
    const std::vector<uint32_t> events = CaptureThroughTheFrontEnd(m_driver);
    EXPECT_EQ(RetriesAndImages(events),
              (std::vector<uint32_t>{FS_EVENT_RETRY, FS_EVENT_RETRY, FS_EVENT_RETRY, FS_EVENT_IMAGE}));
    EXPECT_EQ(events.back(), uint32_t(FS_EVENT_CAPTURE_ENDED));
    const Lines debug = TakeLog(kDebug);
    for (const char* line : {"Authtentec Warning: 17", "Authtentec Warning: 16", "Authtentec Warning: 26",
                             "Authentec default: 3\r\n"})
        EXPECT_EQ(Count(debug, line), 1u) << line;
}

// The caller stops in its callback, on the capture thread inside the loop:
// the close cannot wait for that thread, and the capture's own close at its
// end unloads the library.
TEST_F(Atsc70Capture, AStopInsideTheCallersCallbackEndsTheCaptureAtOnce)
{
    ASSERT_TRUE(Sim().Script({"17", "17"}));
    Sim().Atsc70SimSetFingerDelay(kAtsc70SimFingerNever);
    g_bStopOnRetry = true;
    const Clock::time_point tStart = Clock::now();
    const std::vector<uint32_t> events = CaptureThroughTheFrontEnd(m_driver);
    g_bStopOnRetry = false;
    EXPECT_LT(Clock::now() - tStart, 3s) << "no wait for itself";
    EXPECT_EQ(RetriesAndImages(events), std::vector<uint32_t>{FS_EVENT_RETRY});
    EXPECT_EQ(events.back(), uint32_t(FS_EVENT_CAPTURE_ENDED));
    for (const std::string& line : TakeLog(kError))
        EXPECT_EQ(line.find("Atsc70Sensor::"), std::string::npos) << line;
    const CAtsc70SimStats stats = Sim().Stats();
    EXPECT_EQ(stats.m_nInitialized, 0u);
    EXPECT_EQ(stats.m_nSensorOpen, 0u);
}

// The pixel the driver delivers at (x, y) of its 240 x 368 frame for a
// reconstructed width x height picture: widened with white to a multiple of
// 16, centred in the frame (a taller picture keeps its top rows), then
// turned upside down.
uint8_t Expected(uint32_t nWidth, uint32_t nHeight, uint32_t x, uint32_t y)
{
    const uint32_t nWide = (nWidth + 15) / 16 * 16;
    const uint32_t nLeft = (nWide - nWidth) / 2;
    const uint32_t nColumn0 = (240 - nWide) / 2;
    const int64_t nRow = nHeight <= 368 ? int64_t(367 - y) - (368 - nHeight) / 2 : int64_t(367 - y);
    if (nRow < 0 || nRow >= nHeight || x < nColumn0 || x >= nColumn0 + nWide)
        return 0;
    const uint32_t nWideX = x - nColumn0;
    if (nWideX < nLeft || nWideX >= nLeft + nWidth)
        return 0xFF;
    return PicturePixel(nWideX - nLeft, static_cast<uint32_t>(nRow));
}

TEST_F(Atsc70Capture, NarrowImagesAreWidenedWithWhiteColumnsThenFittedThenFlipped)
{
    const struct {
        uint32_t width, height;
        uint32_t whiteLeft, whiteRight;
    } cases[] = {
        {200, 360, 4, 4}, {201, 360, 3, 4}, {208, 300, 0, 0}, {17, 10, 7, 8}, {224, 400, 0, 0}, {239, 368, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        std::string pgm = "P5\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                pgm += char(PicturePixel(x, y));
        Sim().Atsc70SimSetImageFile(Write("finger.pgm", pgm).c_str());
        ASSERT_EQ(m_driver.CaptureImage(&m_image), 0);
        ASSERT_EQ(m_image.GetWidth(), 240u);
        ASSERT_EQ(m_image.GetHeight(), 368u);
        const uint8_t* pOut = m_image.GetImageData().GetData();
        // One row that holds the picture: its white columns on each side.
        const uint32_t nWide = (c.width + 15) / 16 * 16;
        const uint8_t* pRow = pOut + 367 * 240 - (c.height <= 368 ? (368 - c.height) / 2 * 240 : 0);
        const uint32_t nColumn0 = (240 - nWide) / 2;
        uint32_t nLeft = 0, nRight = 0;
        while (nLeft < nWide && pRow[nColumn0 + nLeft] == 0xFF)
            ++nLeft;
        while (nRight < nWide && pRow[nColumn0 + nWide - 1 - nRight] == 0xFF)
            ++nRight;
        EXPECT_EQ(nLeft, c.whiteLeft);
        EXPECT_EQ(nRight, c.whiteRight);
        int nWrong = 0;
        for (uint32_t y = 0; y < 368; ++y)
            for (uint32_t x = 0; x < 240; ++x)
                nWrong += pOut[y * 240 + x] != Expected(c.width, c.height, x, y);
        EXPECT_EQ(nWrong, 0);
    }
}

// Sizes that cannot be true are refused before a byte is read or written by
// them (the simulator's buffers are exactly their true size: ASan shows a
// read beyond); the driver stays usable.
TEST_F(Atsc70Capture, UntrustedSizesAreRefusedWithALogLine)
{
    namespace sim = vsim::atsc70;
    const std::string sPrefix = "Atsc70Sensor::CaptureImage(): ";
    const struct {
        uint32_t fault;
        uint32_t width, height;
        std::string line;
    } cases[] = {
        {sim::kFaultSwipeZero, 200, 360, "ATGetImageBufferSize() answers 0 bytes: refused"},
        {sim::kFaultSwipeHuge, 200, 360, "ATGetImageBufferSize() answers 4294967280 bytes: refused"},
        {sim::kFaultSwipeGrows, 200, 360, "ATGetImageBufferSize() answers 8192 then 16384 bytes: refused"},
        {sim::kFaultFullZero, 200, 360, "ATGetMaxFullImageSize() answers 0 bytes: refused"},
        {sim::kFaultFullHuge, 200, 360, "ATGetMaxFullImageSize() answers 4294967280 bytes: refused"},
        {sim::kFaultImageEmpty, 200, 360, "ATCreateFullImage() image of 0 x 360 pixels in 72000 bytes: refused"},
        {sim::kFaultImageOversize, 200, 360,
         "ATCreateFullImage() image of 200 x 720 pixels in 72000 bytes: refused"},
        {sim::kFaultNone, 1000, 1000, "ATCreateFullImage() image of 1000 x 1000 pixels in 1000000 bytes: refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(sim::FaultName(c.fault));
        Sim().Atsc70SimSetFault(c.fault);
        Sim().Atsc70SimSetImageSize(c.width, c.height);
        TakeLog();
        EXPECT_EQ(m_driver.CaptureImage(&m_image), ATSC70_STATUS_BAD_RECORD);
        EXPECT_EQ(m_image.GetWidth(), 0u);
        EXPECT_TRUE(Contains(TakeLog(kError), sPrefix + c.line));
        Sim().Atsc70SimSetFault(sim::kFaultNone);
        Sim().Atsc70SimSetImageSize(200, 360);
        EXPECT_EQ(m_driver.CaptureImage(&m_image), 0);
        EXPECT_EQ(m_image.GetWidth(), 240u);
    }
}

}  // namespace
}  // namespace atsc70test
