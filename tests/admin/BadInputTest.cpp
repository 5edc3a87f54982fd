// Bad arguments and registry failures: exit 1, one line on standard error,
// nothing on standard output and nothing written.
#include <gtest/gtest.h>

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

TEST_F(AdminTest, BadArgumentsGiveOneLineAndWriteNothing)
{
    const std::string dir = LogDir();
    const std::string file = m_machine.Path("plain-file");
    testkit::WriteFile(file, "x");
    const std::vector<BadCase> cases = {
        {{}, "missing command; 'vesk-admin --help' lists the commands."},
        {{"frob"}, "unknown command 'frob';"},
        {{"logging", "--verbose"}, "unknown option '--verbose' for logging."},
        {{"logging", "extra"}, "unexpected argument 'extra'."},
        {{"logging", "--level"}, "option '--level' needs a value."},
        {{"logging", "--off=yes"}, "option '--off' takes no value."},
        {{"logging", "--level", "2", "--level=3", "--folder", dir}, "'--level' is given twice."},
        {{"logging", "--level", "5", "--folder", dir}, "unknown level '5'"},
        {{"logging", "--level", "warn", "--folder", dir}, "unknown level 'warn'"},
        {{"logging", "--level=", "--folder", dir}, "unknown level ''"},
        {{"logging", "--level", "2"}, "--level needs --folder DIR."},
        {{"logging", "--folder", dir}, "--folder needs --level LEVEL."},
        {{"logging", "--off", "--level", "2"}, "--off excludes --level and --folder."},
        {{"logging", "--level", "2", "--folder", dir + "/absent"},
         "the folder '" + dir + "/absent' does not exist."},
        {{"logging", "--level", "2", "--folder", file}, "'" + file + "' is a file, not a folder."},
        {{"logging", "--level", "2", "--folder", ""}, "the folder must not be empty."},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        ExpectOneErrorLine(Admin(c.args), c.error);
        Bytes stored;
        EXPECT_FALSE(StoredBytes(stored));
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

TEST_F(AdminTest, HelpIsNotAnError)
{
    for (const auto& args : {std::vector<std::string>{"--help"}, {"logging", "--off", "--help"}}) {
        const auto help = Admin(args);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("logging"), std::string::npos);
    }
}

}  // namespace
}  // namespace admintest
