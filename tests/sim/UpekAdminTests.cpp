// vesk-admin sim upek as a child process: what it stores is what the BSAPI
// simulator of another process reads, and bad input writes nothing.
#include <gtest/gtest.h>

#include "common/TestMachine.h"
#include "drivers/Bsapi.h"
#include "pal/text/text.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/bsapi/BsapiSimControl.h"

namespace {

namespace sim = vsim::bsapi;
using testkit::Bytes;

testkit::ProcessResult Admin(std::vector<std::string> args)
{
    args.insert(args.begin(), VESK_ADMIN_EXE);
    return testkit::RunProcess(args);
}

// A value of the simulator's key.
std::pair<DWORD, Bytes> Stored(const std::u16string& name)
{
    return testkit::StoredValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\bsapi", name);
}

class UpekAdmin : public testkit::MachineTest {
protected:
    UpekAdmin() { BsapiSimReset(); }
    ~UpekAdmin() override { BsapiSimReset(); }
};

TEST_F(UpekAdmin, EachVerbStoresWhatTheSimulatorReads)
{
    const struct {
        std::vector<std::string> args;
        std::u16string name;
        DWORD type;
        Bytes data;
        std::string shown;  // a line of "sim upek"
        bool (*read)(const sim::CSettings&);
    } cases[] = {
        {{"devices", "3"}, u"Devices", REG_DWORD, testkit::Dword(3),
         "scanners: 3 on USB (usb,#1, usb,#2, usb,#3)\n",
         [](const sim::CSettings& s) { return s.m_nDevices == 3; }},
        {{"detach"}, u"Devices", REG_DWORD, testkit::Dword(0), "scanners: none on USB\n",
         [](const sim::CSettings& s) { return s.m_nDevices == 0; }},
        {{"attach"}, u"Devices", REG_DWORD, testkit::Dword(1), "scanners: 1 on USB (usb,#1)\n",
         [](const sim::CSettings& s) { return s.m_nDevices == 1; }},
        {{"version", "0x05000001"}, u"DeviceVersion", REG_DWORD, testkit::Dword(0x05000001),
         "device version: 0x05000001\n",
         [](const sim::CSettings& s) { return s.m_nDeviceVersion == 0x05000001; }},
        {{"size", "320", "0x1E0"}, u"Height", REG_DWORD, testkit::Dword(480), "native size: 320 x 480\n",
         [](const sim::CSettings& s) { return s.m_nWidth == 320 && s.m_nHeight == 480; }},
        {{"suspend"}, u"Suspended", REG_DWORD, testkit::Dword(1), "another process: holds the scanner\n",
         [](const sim::CSettings& s) { return s.m_bSuspended; }},
        {{"resume"}, u"Suspended", REG_DWORD, testkit::Dword(0),
         "another process: does not hold the scanner\n",
         [](const sim::CSettings& s) { return !s.m_bSuspended; }},
        {{"fault", "empty-image"}, u"Fault", REG_SZ, testkit::Sz(u"empty-image"), "fault: empty-image\n",
         [](const sim::CSettings& s) { return s.m_nFault == sim::kFaultEmptyImage; }},
        {{"fault", "none"}, u"Fault", REG_NONE, {}, "fault: none\n",
         [](const sim::CSettings& s) { return s.m_nFault == sim::kFaultNone; }},
        {{"delay", "never"}, u"FingerDelayMs", REG_DWORD, testkit::Dword(0xFFFFFFFF), "finger: never\n",
         [](const sim::CSettings& s) { return s.m_nFingerDelayMs == sim::kFingerNever; }},
        {{"delay", "25"}, u"FingerDelayMs", REG_DWORD, testkit::Dword(25),
         "finger: 25 ms after a grab starts\n",
         [](const sim::CSettings& s) { return s.m_nFingerDelayMs == 25; }},
        {{"seed", "0x10"}, u"Seed", REG_DWORD, testkit::Dword(16), "images: generated from seed 16\n",
         [](const sim::CSettings& s) { return s.m_nSeed == 16 && s.m_sImageFile.empty(); }},
        {{"script", "-5012", "Open:-7"}, u"Script", REG_MULTI_SZ,
         testkit::MultiSz({u"grab:-5012", u"open:-7"}), "script: grab:-5012 open:-7\n",
         [](const sim::CSettings& s) { return s.m_vScript.size() == 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::vector<std::string> args = {"sim", "upek"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto set = Admin(args);
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(set.out.rfind("upek simulator: ", 0), 0u) << set.out;
        EXPECT_EQ(Stored(c.name), std::make_pair(c.type, c.data));
        const auto shown = Admin({"sim", "upek"});
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_NE(shown.out.find(c.shown), std::string::npos) << shown.out;
        EXPECT_TRUE(c.read(sim::ReadSettings()));
    }

    // What another process stored reaches this one's library.
    ABSInitialize();
    ABS_DEVICE_LIST* list = nullptr;
    ASSERT_EQ(ABSEnumerateDevices("usb", &list), 0);
    EXPECT_EQ(list->NumDevices, 1u);
    ABSFree(list);
    ABSTerminate();

    ASSERT_EQ(Admin({"sim", "upek", "reset"}).exitCode, 0);
    for (const char16_t* name : {u"Devices", u"DeviceVersion", u"Width", u"Height", u"Seed",
                                 u"FingerDelayMs", u"Suspended", u"Fault", u"Script"})
        EXPECT_EQ(Stored(name).first, DWORD(REG_NONE)) << pal::ToUtf8(name);
}

TEST_F(UpekAdmin, BadArgumentsGiveOneLineAndWriteNothing)
{
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"sim", "upek", "wiggle"}, "unknown action 'wiggle' (attach, detach, image, seed, delay, "
                                    "script, reset, devices, version, size, suspend, resume or fault)."},
        {{"sim", "upek", "devices", "128"}, "'128' is not a number of scanners (0-127)."},
        {{"sim", "upek", "devices"}, "missing number of scanners."},
        {{"sim", "upek", "size", "300"}, "give the width and the height, as in 'size 300 400'."},
        {{"sim", "upek", "size", "300", "0"}, "'0' is not a height (1-4096)."},
        {{"sim", "upek", "size", "4097", "400"}, "'4097' is not a width (1-4096)."},
        {{"sim", "upek", "version", "-1"}, "'-1' is not a device version"},
        {{"sim", "upek", "suspend", "now"}, "unexpected argument 'now'."},
        {{"sim", "upek", "fault", "List-Count"},
         "unknown fault 'List-Count' (none, list-count, short-property, huge-image, empty-image)."},
        {{"sim", "upek", "script", "grab:0x10000000000"}, "bad script entry 'grab:0x10000000000'"},
        {{"sim", "upek", "script", "poll:1"},
         "the call before ':' is not enumerate, open, property, grab, cancel or close"},
        {{"sim", "upek", "image", "finger.pgm"}, "give the image file's full path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        testkit::ExpectOneErrorLine(Admin(c.args), 1, c.error);
        EXPECT_EQ(Stored(u"Devices").first, DWORD(REG_NONE));
    }
}

}  // namespace
