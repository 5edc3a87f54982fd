// vesk-admin sim veskbit: each action stores the value the simulator reads,
// under its literal name, and refuses what the simulator could not use.
#include <gtest/gtest.h>

#include "SettingsKit.h"

namespace admintest {
namespace {

const std::u16string kKey = u"SOFTWARE\\vesk\\Simulator\\veskbit";

CStored Sim(const std::u16string& name) { return Stored(HKEY_LOCAL_MACHINE, kKey, name); }

std::string Pgm2x2() { return std::string("P5 2 2 255\n\x01\x02\x03\x04"); }

struct ActionCase {
    std::vector<std::string> args;
    std::u16string value;
    DWORD type;
    Bytes data;
    std::string said;  // the one line after "veskbit simulator: "
};

TEST_F(AdminTest, SimActionsStoreTheSimulatorsValues)
{
    const std::string image = m_machine.Path("finger.pgm");
    testkit::WriteFile(image, Pgm2x2());
    const std::vector<ActionCase> cases = {
        {{"detach"}, u"Attached", REG_DWORD, Dword(0), "scanner detached."},
        {{"ATTACH"}, u"Attached", REG_DWORD, Dword(1), "scanner attached."},
        {{"delay", "250"}, u"FingerDelayMs", REG_DWORD, Dword(250),
         "the finger arrives 250 ms after an attempt's first poll."},
        {{"delay", "never"}, u"FingerDelayMs", REG_DWORD, Dword(0xFFFFFFFF),
         "the finger never arrives."},
        {{"image", image}, u"ImageFile", REG_SZ, Sz(Utf16(image)),
         "images from " + image + " (2 x 2 pixels, centred in 240 x 368)."},
        {{"script", "0x1000", "open:291", "Close:0x7", "attached:0"}, u"Script", REG_MULTI_SZ,
         MultiSz({u"image:0x1000", u"open:0x0123", u"close:0x0007", u"attached:0x0"}),
         "script set: image:0x1000 open:0x0123 close:0x0007 attached:0x0."},
        {{"seed", "0x10"}, u"Seed", REG_DWORD, Dword(16), "images generated from seed 16."},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = {"sim", "veskbit"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = Admin(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "veskbit simulator: " + c.said + "\n");
        const CStored stored = Sim(c.value);
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.data, c.data);
    }
    EXPECT_FALSE(Sim(u"ImageFile").present) << "a seed means generated pictures";

    EXPECT_EQ(Admin({"sim", "veskbit"}).out,
              "veskbit simulator (HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\veskbit):\n"
              "scanner: attached\n"
              "images: generated from seed 16\n"
              "finger: never\n"
              "script: image:0x1000 open:0x0123 close:0x0007 attached:0x0\n");

    ASSERT_EQ(Admin({"sim", "veskbit", "script"}).exitCode, 0);
    EXPECT_FALSE(Sim(u"Script").present);
    ASSERT_EQ(Admin({"sim", "veskbit", "reset"}).exitCode, 0);
    for (const char16_t* name : {u"Attached", u"Seed", u"ImageFile", u"FingerDelayMs"})
        EXPECT_FALSE(Sim(name).present);
    EXPECT_EQ(Admin({"sim", "veskbit"}).out,
              "veskbit simulator (HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\veskbit):\n"
              "scanner: attached\n"
              "images: generated from seed 1\n"
              "finger: 300 ms after an attempt's first poll\n"
              "script: (empty)\n");
}

}  // namespace
}  // namespace admintest
