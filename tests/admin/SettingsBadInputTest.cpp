// The settings commands refuse, with one error line and without writing
// anything, what the library or the simulator could not use.
#include <gtest/gtest.h>

#include <filesystem>

#include "SettingsKit.h"

namespace admintest {
namespace {

void ExpectRefused(const testkit::ProcessResult& result, const std::string& error)
{
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
}

TEST_F(AdminTest, SettingsCommandsRefuseWhatCouldNotBeUsed)
{
    const std::string file = m_machine.Path("plain-file");
    testkit::WriteFile(file, "x");
    const std::string bad = m_machine.Path("bad.pgm");
    testkit::WriteFile(bad, "P5 2 2 0\n....");
    const std::string names = "the names are 'vesk bit', 'Authtentec 2501' and 'Upek TCS3'.";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"order", "vesk bit", "Upek TCS3"},
         "give three scanner names, not 2: the library ignores any other count; " + names},
        {{"order", "vesk bit", "Upek TCS3", "Authtentec 2501", "vesk bit"}, "not 4"},
        {{"order", "upek tcs3", "vesk bit", "Authtentec 2501"},
         "unknown scanner name 'upek tcs3' (names compare exactly: did you mean 'Upek TCS3'?); " +
             names},
        {{"order", "Validity", "vesk bit", "Authtentec 2501"},
         "unknown scanner name 'Validity'; " + names},
        {{"order", "--default", "vesk bit"}, "unexpected argument 'vesk bit'."},
        {{"snapshots", "--folder", LogDir() + "/absent"},
         "does not exist; the library does not create it."},
        {{"snapshots", "--folder", file}, "is a file, not a folder."},
        {{"snapshots", "--folder", ""}, "the folder must not be empty."},
        {{"snapshots", "--folder", std::string(4096, 'a')}, "the folder has 4096 characters"},
        {{"snapshots", "--off", "--folder", LogDir()}, "--off excludes --folder."},
        {{"tray", "maybe"}, "unknown setting 'maybe' (on or off)."},
        {{"tray", "on", "off"}, "unexpected argument 'off'."},
        {{"sim"}, "missing simulator name (veskbit)."},
        {{"sim", "bsapi"}, "unknown simulator 'bsapi' (veskbit)."},
        {{"sim", "veskbit", "wiggle"}, "unknown action 'wiggle'"},
        {{"sim", "veskbit", "attach", "now"}, "unexpected argument 'now'."},
        {{"sim", "veskbit", "image", "finger.pgm"}, "give the image file's full path"},
        {{"sim", "veskbit", "image", bad},
         "the image file is refused: '" + bad + "': PGM: maxval 0 is outside 1-255"},
        {{"sim", "veskbit", "seed", "4294967296"}, "'4294967296' is not a seed"},
        {{"sim", "veskbit", "delay", "-5"}, "'-5' is not a delay in ms"},
        {{"sim", "veskbit", "script", "0x1000", "open:0x10000"},
         "bad script entry 'open:0x10000': '0x10000' is not a number of 0-0xFFFF"},
        {{"sim", "veskbit", "script", "poll:1"},
         "the call before ':' is not attached, open, image or close"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        ExpectRefused(Admin(c.first), c.second);
        for (const char* hive : {"/HKEY_LOCAL_MACHINE.reg", "/HKEY_CURRENT_USER.reg"})
            EXPECT_FALSE(std::filesystem::exists(m_machine.RegistryDir() + hive));
    }
}

}  // namespace
}  // namespace admintest
