// Detection order, replacing a running capture, and each family's statuses.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "CaptureTestKit.h"

namespace capturetest {
namespace {

class Session : public CaptureTest {};

TEST_F(Session, LookupOrder)
{
    ScriptedUpek().Reset(true);  // both families attached
    struct Case {
        const char* name;
        std::vector<std::u16string> order;
        int32_t type;
    } const cases[] = {
        {"default order", {}, FS_TYPE_VESKBIT},
        {"UPEK first", {u"Upek TCS3", u"vesk bit", u"Authtentec 2501"}, FS_TYPE_UPEK},
        {"two names", {u"Upek TCS3", u"vesk bit"}, FS_TYPE_VESKBIT},
        {"case matters", {u"upek tcs3", u"vesk bit", u"Authtentec 2501"}, FS_TYPE_VESKBIT},
        {"empty string ends", {u"Upek TCS3", u"", u"vesk bit", u"Authtentec 2501"}, FS_TYPE_VESKBIT},
        {"one family thrice", {u"Upek TCS3", u"Upek TCS3", u"Upek TCS3"}, FS_TYPE_UPEK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetOrder(c.order);
        EXPECT_EQ(DetectFingerscanner(0), c.type);
    }
    VeskBitSimSetAttached(false);
    SetOrder({u"vesk bit", u"vesk bit", u"vesk bit"});
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_NONE);  // only the named family is probed
}

TEST_F(Session, RunningCaptureAnswersDetectionWithoutProbing)
{
    ScriptedUpek().Reset(true);
    SetOrder({u"Upek TCS3", u"vesk bit", u"Authtentec 2501"});
    ASSERT_EQ(Start(21, false), 0u);
    const int probes = ScriptedUpek().m_nProbes;
    ScriptedUpek().m_bAttached = false;
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_UPEK);
    EXPECT_EQ(ScriptedUpek().m_nProbes, probes);

    pal::SetSetting("VESK_RDP_SESSION", "/nowhere");
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_REMOTE);  // even while a local capture runs
    pal::ClearSetting("VESK_RDP_SESSION");
}

TEST_F(Session, ReplacingDetachesABlockedCaptureAndKeepsTheType)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    ASSERT_EQ(Start(22, false), 0u);
    ASSERT_TRUE(CRecorder::Instance().WaitFor(22, FS_EVENT_READY_VESKBIT));
    WaitUntilPolled();  // blocked: waiting for a finger
    // A fresh detection would now choose the other family.
    ScriptedUpek().Reset(true);
    SetOrder({u"Upek TCS3", u"vesk bit", u"Authtentec 2501"});
    ASSERT_EQ(Start(23, false), 0u);
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_VESKBIT);
    EXPECT_EQ(CRecorder::Instance().Codes(22), (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT}));
    StopAndWait();
    EXPECT_EQ(CRecorder::Instance().Codes(22), (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT}));
    EXPECT_EQ(CRecorder::Instance().Codes(23).back(), uint32_t(FS_EVENT_CAPTURE_ENDED));
}

// Stops as soon as the attempt announces itself, before the scanner is open.
uint32_t VESK_CALLBACK StopOnReady(uintptr_t first, uint32_t event, uintptr_t data,
                                   uintptr_t context)
{
    CRecorder::Callback(first, event, data, context);
    if (event == FS_EVENT_READY_VESKBIT)
        StopFingerscanner();
    return 0;
}

TEST_F(Session, StopBeforeTheScannerOpensStillEndsTheCapture)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    FingerscannerData request;
    InitFingerscannerData(&request, &StopOnReady, 0, 26, 0, 1, 0, 0);
    ASSERT_EQ(GetImageFromFingerscanner(&request), 0u);
    EXPECT_TRUE(CRecorder::Instance().WaitFor(26, FS_EVENT_CAPTURE_ENDED, 3000));
}

TEST_F(Session, ReplacedCaptureThatEndsDuringThePauseStillSaysSo)
{
    ScriptedUpek().Reset(true);
    SetOrder({u"Upek TCS3", u"vesk bit", u"Authtentec 2501"});
    ASSERT_EQ(Start(24, false), 0u);
    ASSERT_TRUE(CRecorder::Instance().WaitFor(24, FS_EVENT_IMAGE));
    ASSERT_EQ(Start(25, false), 0u);
    EXPECT_EQ(CRecorder::Instance().Codes(24).back(), uint32_t(FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_UPEK);
}

// The own-brand family's statuses: the events that follow the first ready
// event (the UPEK family's are UpekSession's, on the real driver).
TEST_F(Session, StatusesEndOrGoOn)
{
    const struct {
        const char* name;
        int32_t status;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"rejected goes on", 0x1000, {FS_EVENT_RETRY, FS_EVENT_READY_VESKBIT, FS_EVENT_IMAGE, FS_EVENT_CAPTURE_ENDED}},
        {"end", 0x8000, {FS_EVENT_CAPTURE_ENDED}},
        {"end quietly", 0x8400, {FS_EVENT_CAPTURE_ENDED}},
        {"broken off", 0x8020, {FS_EVENT_CAPTURE_INTERRUPTED, FS_EVENT_CAPTURE_ENDED}},
        // The script's unplug: used to answer 4003, which the poll loop waits through.
        {"unplugged", 4003, {FS_EVENT_CAPTURE_INTERRUPTED, FS_EVENT_CAPTURE_ENDED}},
    };
    uintptr_t context = 30;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VeskBitSimReset();
        char entry[32];
        std::snprintf(entry, sizeof entry, "image:0x%04x", static_cast<unsigned>(c.status));
        ASSERT_TRUE(VeskBitSimScript({entry}));
        ASSERT_EQ(Start(++context, true), 0u);
        ASSERT_TRUE(CRecorder::Instance().WaitFor(context, FS_EVENT_CAPTURE_ENDED));
        auto codes = CRecorder::Instance().Codes(context);
        ASSERT_EQ(codes.front(), uint32_t(FS_EVENT_READY_VESKBIT));
        codes.erase(codes.begin());
        EXPECT_EQ(codes, c.codes);
        StopAndWait();
    }
}

TEST_F(Session, OwnBrandScannerUnpluggedBetweenImages)
{
    // Attach tests: the start's detection, the first attempt, the second.
    ASSERT_TRUE(VeskBitSimScript({"attached:1", "attached:1", "attached:0"}));
    ASSERT_EQ(Start(50, false), 0u);
    ASSERT_TRUE(CRecorder::Instance().WaitFor(50, FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(CRecorder::Instance().Codes(50),
              (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT, FS_EVENT_IMAGE, FS_EVENT_READY_VESKBIT,
                                     FS_EVENT_NO_SENSOR, FS_EVENT_CAPTURE_ENDED}));
}

// A scanner pulled while the attempt waits for a finger: once in process, once
// as `vesk-admin sim veskbit detach` does it, through the machine's registry.
TEST_F(Session, OwnBrandScannerUnpluggedWhileWaitingForAFinger)
{
    const std::function<void()> unplugs[] = {
        [] { VeskBitSimSetAttached(false); },
        [] {
            testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\veskbit", u"Attached", REG_DWORD,
                              testkit::Dword(0));
        },
    };
    uintptr_t context = 60;
    for (const auto& unplug : unplugs) {
        SCOPED_TRACE(context);
        VeskBitSimReset();
        VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
        ASSERT_EQ(Start(++context, false), 0u);
        WaitUntilPolled();
        unplug();
        EXPECT_TRUE(CRecorder::Instance().WaitFor(context, FS_EVENT_CAPTURE_ENDED, 1000));
        EXPECT_EQ(CRecorder::Instance().Codes(context),
                  (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT, FS_EVENT_CAPTURE_INTERRUPTED,
                                         FS_EVENT_CAPTURE_ENDED}));
        StopAndWait();
        // The next capture finds no scanner.
        EXPECT_EQ(Start(++context, false), uint32_t(FS_START_NO_SENSOR));
    }
}

}  // namespace
}  // namespace capturetest
