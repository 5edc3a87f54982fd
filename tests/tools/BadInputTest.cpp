// Every kind of bad input ends with exit status 1 and one line on standard
// error that names what is wrong, and writes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegTool.h"

namespace {

using regtool::Reg;

struct BadCase {
    std::vector<std::string> args;
    std::string error;  // the whole line, without its line end
};

const char* const kKey = "HKCU\\Software\\bad";

std::vector<std::string> AddData(const char* type, const char* data)
{
    return {"add", kKey, "/v", "a", "/t", type, "/d", data};
}

std::string NotDword(const std::string& text)
{
    return "ERROR: '" + text + "' is not a REG_DWORD (decimal or 0x hex, at most 0xffffffff).";
}

const std::vector<BadCase>& Cases()
{
    static const std::string kNotFound = "ERROR: The system was unable to find the specified "
                                         "registry key or value.";
    static const std::string kRoot = "' (use HKLM or HKCU).";
    static const std::vector<BadCase> cases = {
        {{}, "ERROR: missing command; 'vesk-reg /?' shows the usage."},
        {{"frob", kKey}, "ERROR: unknown command 'frob'; 'vesk-reg /?' shows the usage."},
        {{"query"}, "ERROR: missing key name."},
        {{"import"}, "ERROR: missing file name."},
        {{"export", kKey}, "ERROR: missing file name."},
        {{"query", kKey, "extra"}, "ERROR: unexpected argument 'extra'."},
        {{"query", kKey, "/x"}, "ERROR: unknown option '/x' for QUERY."},
        {{"query", kKey, "/f"}, "ERROR: unknown option '/f' for QUERY."},
        {{"add", kKey, "/v"}, "ERROR: option '/v' needs a value."},
        {{"add", kKey, "/v", "a", "/V", "b"}, "ERROR: option '/V' is given twice."},
        {{"query", kKey, "/v", "a", "/ve"}, "ERROR: options /v, /ve and /va exclude each other."},
        {{"query", kKey, "/reg:32", "/reg:64"},
         "ERROR: options /reg:32 and /reg:64 exclude each other."},
        {{"query", "HKXX\\a"}, "ERROR: unknown root key 'HKXX" + kRoot},
        {{"add", "HKEY_USERS\\a"}, "ERROR: unknown root key 'HKEY_USERS" + kRoot},
        {{"add", "HKCU\\a\\\\b"},
         "ERROR: invalid key name 'HKCU\\a\\\\b': empty name between backslashes."},
        {{"query", "HKCU\\Software\\absent"}, kNotFound},
        {{"query", kKey, "/v", "absent"}, kNotFound},
        {{"delete", kKey, "/v", "absent"}, kNotFound},
        {{"delete", "HKCU\\Software\\absent", "/f"}, kNotFound},
        {{"delete", "HKCU\\", "/f"}, "ERROR: a root key cannot be deleted."},
        {{"export", "HKCU\\Software\\absent", "out.reg"}, kNotFound},
        {{"import", "/nonexistent/in.reg"}, "ERROR: cannot read the file '/nonexistent/in.reg'."},
        {AddData("REG_FOO", ""),
         "ERROR: unknown type 'REG_FOO' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
         "REG_QWORD, REG_BINARY, REG_NONE)."},
        {AddData("REG_DWORD", "4294967296"), NotDword("4294967296")},
        {AddData("REG_DWORD", "0x100000000"), NotDword("0x100000000")},
        {AddData("REG_DWORD", "-1"), NotDword("-1")},
        {AddData("REG_DWORD", "12abc"), NotDword("12abc")},
        {AddData("REG_DWORD", "0x"), NotDword("0x")},
        {AddData("REG_DWORD", " 1"), NotDword(" 1")},
        {AddData("REG_DWORD", ""), NotDword("")},
        {AddData("REG_QWORD", "18446744073709551616"),
         "ERROR: '18446744073709551616' is not a REG_QWORD (decimal or 0x hex, at most "
         "0xffffffffffffffff)."},
        {AddData("REG_BINARY", "ABC"),
         "ERROR: REG_BINARY data needs an even number of hex digits."},
        {AddData("REG_BINARY", "0G"),
         "ERROR: REG_BINARY data '0G' holds a character that is not a hex digit."},
        {AddData("REG_MULTI_SZ", "a\\0\\0b"),
         "ERROR: REG_MULTI_SZ data holds an empty string between separators."},
        {{"add", kKey, "/v", "a", "/t", "REG_MULTI_SZ", "/s", ",,", "/d", "a"},
         "ERROR: the separator of /s must be one character."},
        {{"add", kKey, "/v", "a", "/s", ",", "/d", "a"},
         "ERROR: option /s applies only to REG_MULTI_SZ."},
    };
    return cases;
}

TEST(RegToolBadInput, OneLineOnStandardErrorAndExitOne)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(0, Reg({"add", kKey, "/v", "present", "/d", "x"}).exitCode);
    for (const BadCase& c : Cases()) {
        std::string command;
        for (const std::string& arg : c.args)
            command += arg + ' ';
        SCOPED_TRACE(command);
        const auto result = Reg(c.args);
        EXPECT_EQ(1, result.exitCode);
        EXPECT_EQ(c.error + "\n", result.err);
        EXPECT_EQ("", result.out);
    }
}

// Data is checked before the key is created: a failed add leaves no trace.
TEST(RegToolBadInput, RejectedAddChangesNothing)
{
    testkit::CScratchMachine machine;
    const std::string key = "HKCU\\Software\\untouched";
    EXPECT_EQ(1, Reg({"add", key, "/v", "a", "/t", "REG_DWORD", "/d", "junk"}).exitCode);
    EXPECT_EQ(1, Reg({"add", key, "/t", "REG_NONE", "/d", "1"}).exitCode);
    EXPECT_EQ(regtool::kNotFound, Reg({"query", key}).err);
}

}  // namespace
