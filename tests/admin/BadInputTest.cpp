// Bad arguments and registry failures: exit 1, one line on standard error,
// nothing on standard output and nothing written.
#include <gtest/gtest.h>

#include <filesystem>

#include "AdminKit.h"

namespace admintest {
namespace {

struct BadCase {
    std::vector<std::string> args;
    std::string error;  // part of the line
};

void ExpectOneErrorLine(const testkit::ProcessResult& result, const std::string& error)
{
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
}

// One row per distinct refusal path of the parser and of each command's checks.
TEST_F(AdminTest, BadArgumentsGiveOneLineAndWriteNothing)
{
    const std::string dir = LogDir();
    const std::string file = m_machine.Path("plain-file");
    testkit::WriteFile(file, "x");
    const std::string bad = m_machine.Path("bad.pgm");
    testkit::WriteFile(bad, "P5 2 2 0\n....");
    const std::vector<BadCase> cases = {
        {{}, "missing command; 'vesk-admin --help' lists the commands."},
        {{"frob"}, "unknown command 'frob';"},
        {{"logging", "--verbose"}, "unknown option '--verbose' for logging."},
        {{"logging", "extra"}, "unexpected argument 'extra'."},
        {{"logging", "--level"}, "option '--level' needs a value."},
        {{"logging", "--off=yes"}, "option '--off' takes no value."},
        {{"logging", "--level", "2", "--level=3", "--folder", dir}, "'--level' is given twice."},
        {{"logging", "--level", "warn", "--folder", dir}, "unknown level 'warn'"},
        {{"logging", "--level", "2"}, "--level needs --folder DIR."},
        {{"logging", "--off", "--level", "2"}, "--off excludes --level and --folder."},
        {{"logging", "--level", "2", "--folder", dir + "/absent"},
         "the folder '" + dir + "/absent' does not exist."},
        {{"logging", "--level", "2", "--folder", file}, "'" + file + "' is a file, not a folder."},
        {{"order", "vesk bit", "Upek TCS3"}, "give three scanner names, not 2"},
        {{"order", "upek tcs3", "vesk bit", "Authtentec 2501"},
         "unknown scanner name 'upek tcs3' (names compare exactly: did you mean 'Upek TCS3'?)"},
        {{"snapshots", "--folder", std::string(4096, 'a')}, "the folder has 4096 characters"},
        {{"tray", "maybe"}, "unknown setting 'maybe' (on or off)."},
        {{"sim", "bsapi"}, "unknown simulator 'bsapi' (veskbit)."},
        {{"sim", "veskbit", "wiggle"}, "unknown action 'wiggle'"},
        {{"sim", "veskbit", "image", "finger.pgm"}, "give the image file's full path"},
        {{"sim", "veskbit", "image", bad},
         "the image file is refused: '" + bad + "': PGM: maxval 0 is outside 1-255"},
        {{"sim", "veskbit", "seed", "4294967296"}, "'4294967296' is not a seed"},
        {{"sim", "veskbit", "script", "0x1000", "open:0x10000"},
         "bad script entry 'open:0x10000': '0x10000' is not a number of 0-0xFFFF"},
        {{"sim", "veskbit", "script", "poll:1"},
         "the call before ':' is not attached, open, image or close"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.error);
        ExpectOneErrorLine(Admin(c.args), c.error);
        for (const char* hive : {"/HKEY_LOCAL_MACHINE.reg", "/HKEY_CURRENT_USER.reg"})
            EXPECT_FALSE(std::filesystem::exists(m_machine.RegistryDir() + hive));
    }
}

TEST_F(AdminTest, RegistryFailureNamesTheWin32Code)
{
    const std::pair<std::string, std::string> readOnly{"VESK_REGISTRY_READONLY", "HKLM"};
    ExpectOneErrorLine(Admin({"logging", "--off"}, {readOnly}),
                       "cannot write HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics\\"
                       "Configuration: access is denied (Win32 error 5).");
    // Reading needs no write access.
    EXPECT_EQ(Admin({"logging"}, {readOnly}).err, "");
}

}  // namespace
}  // namespace admintest
