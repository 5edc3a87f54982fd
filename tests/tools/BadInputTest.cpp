// Every kind of bad input ends with exit status 1 and one line on standard
// error that names what is wrong, and writes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegTool.h"

namespace {

using regtool::Reg;

const char* const kKey = "HKCU\\Software\\bad";

std::vector<std::string> AddData(const char* type, const char* data)
{
    return {"add", kKey, "/v", "a", "/t", type, "/d", data};
}

std::string NotDword(const std::string& text)
{
    return "ERROR: '" + text + "' is not a REG_DWORD (decimal or 0x hex, at most 0xffffffff).";
}

TEST(RegToolBadInput, OneLineOnStandardErrorExitOneAndNothingWritten)
{
    std::string notFound = regtool::kNotFound;
    notFound.pop_back();  // the line end
    // The arguments and the whole line, without its line end.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "ERROR: missing command; 'vesk-reg /?' shows the usage."},
        {{"frob", kKey}, "ERROR: unknown command 'frob'; 'vesk-reg /?' shows the usage."},
        {{"query"}, "ERROR: missing key name."},
        {{"export", kKey}, "ERROR: missing file name."},
        {{"query", kKey, "extra"}, "ERROR: unexpected argument 'extra'."},
        {{"query", kKey, "/f"}, "ERROR: unknown option '/f' for QUERY."},
        {{"add", kKey, "/v"}, "ERROR: option '/v' needs a value."},
        {{"add", kKey, "/v", "a", "/V", "b"}, "ERROR: option '/V' is given twice."},
        {{"query", kKey, "/v", "a", "/ve"}, "ERROR: options /v, /ve and /va exclude each other."},
        {{"query", kKey, "/reg:32", "/reg:64"}, "ERROR: options /reg:32 and /reg:64 exclude each other."},
        {{"query", "HKXX\\a"}, "ERROR: unknown root key 'HKXX' (use HKLM or HKCU)."},
        {{"add", "HKCU\\a\\\\b"},
         "ERROR: invalid key name 'HKCU\\a\\\\b': empty name between backslashes."},
        {{"query", kKey, "/v", "absent"}, notFound},
        {{"export", "HKCU\\Software\\absent", "out.reg"}, notFound},
        {{"delete", "HKCU\\", "/f"}, "ERROR: a root key cannot be deleted."},
        {{"import", "/nonexistent/in.reg"}, "ERROR: cannot read the file '/nonexistent/in.reg'."},
        {{"import", "/tmp"}, "ERROR: '/tmp' is a folder; give a .reg file."},
        {AddData("REG_FOO", ""),
         "ERROR: unknown type 'REG_FOO' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
         "REG_QWORD, REG_BINARY, REG_NONE)."},
        {AddData("REG_DWORD", "4294967296"), NotDword("4294967296")},
        {AddData("REG_DWORD", "0x100000000"), NotDword("0x100000000")},
        {AddData("REG_DWORD", "-1"), NotDword("-1")},
        {AddData("REG_QWORD", "18446744073709551616"),
         "ERROR: '18446744073709551616' is not a REG_QWORD (decimal or 0x hex, at most "
         "0xffffffffffffffff)."},
        {AddData("REG_BINARY", "ABC"), "ERROR: REG_BINARY data needs an even number of hex digits."},
        {AddData("REG_BINARY", "0G"),
         "ERROR: REG_BINARY data '0G' holds a character that is not a hex digit."},
        {AddData("REG_MULTI_SZ", "a\\0\\0b"),
         "ERROR: REG_MULTI_SZ data holds an empty string between separators."},
        {{"add", kKey, "/v", "a", "/t", "REG_MULTI_SZ", "/s", ",,", "/d", "a"},
         "ERROR: the separator of /s must be one character."},
        {{"add", kKey, "/v", "a", "/s", ",", "/d", "a"},
         "ERROR: option /s applies only to REG_MULTI_SZ."},
        {{"add", "HKCU\\Software\\bad\\new", "/t", "REG_NONE", "/d", "1"},
         "ERROR: REG_NONE data needs an even number of hex digits."},
    };
    testkit::CScratchMachine machine;
    ASSERT_EQ(0, Reg({"add", kKey, "/v", "present", "/d", "x"}).exitCode);
    const std::string before = Reg({"query", kKey, "/s"}).out;
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const auto result = Reg(args);
        EXPECT_EQ(1, result.exitCode);
        EXPECT_EQ(error + "\n", result.err);
        EXPECT_EQ("", result.out);
    }
    // Data is checked before the key is created: a failed add leaves no trace.
    EXPECT_EQ(before, Reg({"query", kKey, "/s"}).out);
}

std::string Utf16le(const std::string& ascii)
{
    std::string out("\xFF\xFE", 2);
    for (const char c : ascii)
        out += std::string(1, c) + '\0';
    return out;
}

// A bad .reg file is refused as a whole, with its name and the bad line.
TEST(RegToolBadInput, MalformedImportNamesFileAndLineAndAppliesNothing)
{
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string good = header + "[HKEY_CURRENT_USER\\Software\\imp-bad]\n\"first\"=\"1\"\n";
    const struct {
        std::string text;
        size_t line;
        std::string message;  // after "FILE:LINE: "; empty: the parser's own words (its
                              // reasons are RegText's, tested there)
    } cases[] = {
        {Utf16le(good + "\"bad\"=\"open\n"), 5, ""},
        {good + "\n[HKEY_CLASSES_ROOT\\x]\n", 6,
         "unknown root key 'HKEY_CLASSES_ROOT' (use HKLM or HKCU)."},
        {good + "\n[-HKEY_CURRENT_USER]\n", 6, "a root key cannot be deleted."},
    };
    testkit::CScratchMachine machine;
    const std::string file = machine.Path("bad.reg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        testkit::WriteFile(file, c.text);
        const auto result = Reg({"import", file});
        EXPECT_EQ(1, result.exitCode);
        const std::string place = file + ":" + std::to_string(c.line) + ": ";
        ASSERT_EQ(0u, result.err.rfind(place, 0)) << result.err;
        const std::string message = result.err.substr(place.size());
        ASSERT_FALSE(message.empty());
        EXPECT_EQ(message.find('\n'), message.size() - 1) << "one line only";
        if (!c.message.empty()) {
            EXPECT_EQ(c.message + "\n", message);
        }
        EXPECT_EQ(1, Reg({"query", "HKCU\\Software\\imp-bad"}).exitCode);
    }
}

// An import that fails part way (here the disk fills at the large value)
// takes back what it changed and names the line of the value that failed; a
// damaged hive is named with what is wrong with it.
TEST(RegToolBadInput, ImportIsAllOrNothingAndFailuresSayWhere)
{
    testkit::CScratchMachine machine;
    const std::string key = "HKCU\\Software\\imp-all";
    ASSERT_EQ(0, Reg({"add", key, "/v", "keep", "/d", "old"}).exitCode);
    ASSERT_EQ(0, Reg({"add", "HKCU\\Software\\imp-del\\Sub", "/v", "x", "/d", "y"}).exitCode);
    const std::string before = Reg({"query", "HKCU\\Software", "/s"}).out;
    std::string big = "\"big\"=hex:00";
    for (int i = 1; i < 8192; ++i)
        big += i % 20 ? ",00" : ",\\\n  00";
    const std::string file = machine.Path("partly.reg");
    testkit::WriteFile(file, "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\imp-all]\n\"keep\"=\"new\"\n\"added\"=\"x\"\n\n"
                             "[-HKEY_CURRENT_USER\\Software\\imp-del]\n\n"
                             "[HKEY_CURRENT_USER\\Software\\imp-all\\New\\Deep]\n\"v\"=\"1\"\n" +
                                 big + "\n");
    // Writes beyond 16 KiB fail as on a full disk (ulimit counts 512-byte blocks).
    const auto result = testkit::RunProcess(
        {"/bin/sh", "-c", "ulimit -f 32 && trap '' XFSZ && exec \"$0\" \"$@\"", VESK_REG_EXE, "import", file});
    EXPECT_EQ(1, result.exitCode);
    const std::string hive = machine.RegistryDir() + "/HKEY_CURRENT_USER.reg";
    EXPECT_EQ(file + ":11: The registry answered Win32 error 1013: cannot write '" + hive +
                  "': File too large; the hive is unchanged. Nothing was imported.\n",
              result.err);
    EXPECT_EQ(before, Reg({"query", "HKCU\\Software", "/s"}).out);

    // A name longer than any program may add, written by hand, is still shown.
    std::string text = testkit::ReadFile(hive);
    const std::string name(20000, 'n');
    testkit::WriteFile(hive, std::string(text).insert(text.find("; end"), "[HKEY_CURRENT_USER\\Long]\r\n\"" + name + "\"=\"v\"\r\n"));
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Long\n    " + name + "    REG_SZ    v\n", Reg({"query", "HKCU\\Long"}).out);

    testkit::WriteFile(hive, text.insert(text.find("[HKEY"), "[HKEY_USERS\\x]\r\n"));
    EXPECT_EQ("ERROR: The registry answered Win32 error 1009: the hive '" + hive +
                  "' is damaged, line 3: the key is not below HKEY_CURRENT_USER or nests deeper "
                  "than 512 keys; it is left as it is.\n",
              Reg({"query", key}).err);
}

}  // namespace
