// The settings commands store what the library and the simulator read,
// under their literal names, and explain a stored value by the reader's rule.
#include <gtest/gtest.h>

#include "AdminKit.h"

namespace admintest {
namespace {

const std::u16string kLib = u"SOFTWARE\\vesk\\veskSensor";
const std::u16string kSettings = u"SOFTWARE\\vesk\\veskSensor\\Settings";
const std::u16string kSim = u"SOFTWARE\\vesk\\Simulator\\veskbit";
const std::string kOrderShown = "lookup order: from HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\"
                                "veskSensor\\Settings\\SensorDetectOrder\n";

struct RoundTrip {
    std::vector<std::string> args;
    HKEY root;
    std::u16string key, name;
    DWORD type;
    Bytes data;
    std::vector<std::string> show;  // the command that shows the setting, and its output
};

TEST_F(AdminTest, SettingsRoundTrip)
{
    const std::string image = m_machine.Path("finger.pgm");
    testkit::WriteFile(image, std::string("P5 2 2 255\n\x01\x02\x03\x04"));
    const std::string sim = "veskbit simulator (HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\"
                            "veskbit):\nscanner: attached\nimages: ";
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const std::vector<RoundTrip> cases = {
        {{"order", "Upek TCS3", "vesk bit", "Authtentec 2501"}, lm, kSettings,
         u"SensorDetectOrder", REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"vesk bit", u"Authtentec 2501"}),
         {"order", kOrderShown + "1.) Upek TCS3\n2.) vesk bit\n3.) Authtentec 2501\n"}},
        {{"snapshots", "--folder", LogDir()}, lm, kLib, u"veskSensorSaveBmpPath", REG_SZ,
         Sz(Utf16(LogDir())), {"snapshots", "snapshots: on, folder " + LogDir() + "\n"}},
        {{"snapshots", "--off"}, lm, kLib, u"veskSensorSaveBmp", REG_DWORD, Dword(0),
         {"snapshots", "snapshots: off\n"}},
        {{"tray", "OFF"}, HKEY_CURRENT_USER, kSettings, u"UseTrayIconNotification", REG_DWORD,
         Dword(0), {"tray", "tray icon: off\n"}},
        {{"sim", "veskbit", "image", image}, lm, kSim, u"ImageFile", REG_SZ, Sz(Utf16(image)),
         {"sim", sim + image + "\n"}},
        {{"sim", "veskbit", "delay", "never"}, lm, kSim, u"FingerDelayMs", REG_DWORD,
         Dword(0xFFFFFFFF), {"sim", "finger: never\n"}},
        {{"sim", "veskbit", "seed", "0x10"}, lm, kSim, u"Seed", REG_DWORD, Dword(16),
         {"sim", sim + "generated from seed 16\n"}},
        {{"sim", "veskbit", "script", "0x1000", "open:291", "Close:0x7", "attached:0"}, lm, kSim,
         u"Script", REG_MULTI_SZ,
         MultiSz({u"image:0x1000", u"open:0x0123", u"close:0x0007", u"attached:0x0"}),
         {"sim", "script: image:0x1000 open:0x0123 close:0x0007 attached:0x0\n"}},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const auto set = Admin(c.args);
        ASSERT_EQ(set.exitCode, 0) << set.err;
        const CStored stored = Stored(c.root, c.key, c.name);
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.data, c.data);
        std::vector<std::string> show = {c.show[0]};
        if (show[0] == "sim")
            show.push_back("veskbit");
        const auto shown = Admin(show);
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_NE(shown.out.find(c.show[1]), std::string::npos) << shown.out;
    }

    ASSERT_EQ(Admin({"order", "--default"}).exitCode, 0);
    EXPECT_FALSE(Stored(lm, kSettings, u"SensorDetectOrder").present);
    ASSERT_EQ(Admin({"sim", "veskbit", "reset"}).exitCode, 0);
    for (const char16_t* name : {u"Seed", u"ImageFile", u"FingerDelayMs", u"Script"})
        EXPECT_FALSE(Stored(lm, kSim, name).present);
}

// What the library ignores, the tool says it ignores, and why (exit 1).
TEST_F(AdminTest, SettingsExplainWhatTheLibraryIgnores)
{
    const struct {
        std::u16string key, name;
        HKEY root;
        DWORD type;
        Bytes data;
        std::string command, reason;
    } cases[] = {
        {kSettings, u"SensorDetectOrder", HKEY_LOCAL_MACHINE, REG_MULTI_SZ,
         MultiSz({u"upek tcs3", u"vesk bit", u"Authtentec 2501"}), "order",
         "'upek tcs3' is not a scanner name; it needs exactly 3 valid names and finds 2"},
        {kSettings, u"SensorDetectOrder", HKEY_LOCAL_MACHINE, REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"", u"vesk bit", u"Authtentec 2501"}), "order",
         "reading stops at an empty string; it needs exactly 3 valid names and finds 1"},
        {kLib, u"veskSensorSaveBmp", HKEY_LOCAL_MACHINE, REG_SZ, Sz(u"1"), "snapshots",
         "is not a number: it has type REG_SZ, not REG_DWORD."},
        {kSettings, u"UseTrayIconNotification", HKEY_CURRENT_USER, REG_SZ, Sz(u"1"), "tray",
         "tray icon: off, because"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Store(c.root, c.key, c.name, c.type, c.data);
        const auto shown = Admin({c.command});
        EXPECT_EQ(shown.exitCode, 1);
        EXPECT_NE(shown.out.find(c.reason), std::string::npos) << shown.out;
    }
}

}  // namespace
}  // namespace admintest
