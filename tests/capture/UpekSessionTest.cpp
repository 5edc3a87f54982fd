// The UPEK family through the exports: the real driver on the BSAPI
// simulator beside the own-brand one, detection across both, and the
// family's statuses as the caller's events.
#include "CaptureTestKit.h"
#include "drivers/CUpekSensor.h"

namespace capturetest {
namespace {

using Codes = std::vector<uint32_t>;

class UpekSession : public CaptureTest {
protected:
    UpekSession()
    {
        UseRealUpek(true);
        BsapiSimSetDevices(1);
    }

    // The capture waits for a finger that never comes.
    void StartWaiting(uintptr_t context)
    {
        BsapiSimSetFingerDelay(kBsapiSimFingerNever);
        ASSERT_EQ(Start(context, false), 0u);
        for (int i = 0; i < 500 && BsapiSimStats().m_nPendingGrabs == 0; ++i)
            Sleep(10);
        ASSERT_EQ(BsapiSimStats().m_nPendingGrabs, 1u);
    }
    // Nothing of BSAPI is left held once a capture has ended.
    static void ExpectAllReleased()
    {
        const CBsapiSimStats stats = BsapiSimStats();
        EXPECT_EQ(stats.m_nBuffersLive, 0u);
        EXPECT_EQ(stats.m_nOpenConnections, 0u);
        EXPECT_EQ(stats.m_nPendingGrabs, 0u);
    }
};

TEST_F(UpekSession, DetectionProbesBothFamiliesInTheOrderGiven)
{
    const std::vector<std::u16string> kDefault = {u"vesk bit", u"Authtentec 2501", u"Upek TCS3"};
    const std::vector<std::u16string> kUpekFirst = {u"Upek TCS3", u"vesk bit", u"Authtentec 2501"};
    const struct {
        const char* name;
        bool veskBit;
        uint32_t upekDevices;
        std::vector<std::u16string> order;
        uint8_t expected;
    } cases[] = {
        {"both, UPEK first", true, 1, kUpekFirst, FS_TYPE_UPEK},
        {"UPEK only, default order", false, 1, kDefault, FS_TYPE_UPEK},
        {"own brand only, UPEK first", true, 0, kUpekFirst, FS_TYPE_VESKBIT},
        {"neither", false, 0, kUpekFirst, FS_TYPE_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VeskBitSimSetAttached(c.veskBit);
        BsapiSimSetDevices(c.upekDevices);
        SetOrder(c.order);
        EXPECT_EQ(DetectFingerscanner(0), c.expected);
        ExpectAllReleased();  // the probe closes what it opened
    }
}

// Every UPEK status ends the capture; some with an event of their own.
TEST_F(UpekSession, EachStatusEndsTheCaptureWithItsEvent)
{
    const struct {
        const char* name;
        std::vector<std::string> script;  // answers at once
        void (*during)();                 // or this, while the grab waits
        Codes codes;
    } cases[] = {
        {"unplugged during the grab", {}, [] { BsapiSimSetDevices(0); },
         {FS_EVENT_READY_UPEK, FS_EVENT_NO_SENSOR, FS_EVENT_CAPTURE_ENDED}},
        {"a cancel from elsewhere", {"grab:-5012"}, nullptr,
         {FS_EVENT_READY_UPEK, FS_EVENT_CAPTURE_ENDED}},
        {"a status the front end does not know", {"grab:-4242"}, nullptr,
         {FS_EVENT_READY_UPEK, FS_EVENT_CAPTURE_ENDED}},
        // As `vesk-admin sim upek suspend` does it, through the machine's registry;
        // last, as it stays stored.
        {"another process takes the scanner", {},
         [] {
             testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\bsapi", u"Suspended", REG_DWORD,
                               testkit::Dword(1));
         },
         {FS_EVENT_READY_UPEK, FS_EVENT_CAPTURE_INTERRUPTED, FS_EVENT_CAPTURE_ENDED}},
    };
    VeskBitSimSetAttached(false);
    uintptr_t context = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ++context;
        BsapiSimReset();
        BsapiSimSetDevices(1);
        ASSERT_TRUE(BsapiSimScript(c.script));
        if (c.during) {
            StartWaiting(context);
            c.during();
        } else {
            ASSERT_EQ(Start(context, false), 0u);
        }
        ASSERT_TRUE(CRecorder::Instance().WaitFor(context, FS_EVENT_CAPTURE_ENDED));
        EXPECT_EQ(CRecorder::Instance().Codes(context), c.codes);
        ExpectAllReleased();
    }
}

}  // namespace
}  // namespace capturetest
