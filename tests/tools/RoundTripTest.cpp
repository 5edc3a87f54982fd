// Values of every type survive add -> export -> delete -> import byte for
// byte, as seen by the registry API itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RegTool.h"
#include "support/Win32.h"

namespace {

using regtool::Reg;
using Bytes = std::vector<uint8_t>;

using testkit::MultiSz;
using testkit::Sz;

struct StoredCase {
    const char* name;                  // empty: the default value
    std::vector<std::string> options;  // /t, /s and /d of add
    DWORD type;
    Bytes bytes;
};

const char* const kKey = "HKCU\\Software\\vesk-rt";

const std::vector<StoredCase> kCases = {
    {"sz", {"/t", "REG_SZ", "/d", "hello world"}, REG_SZ, Sz(u"hello world")},
    {"sz-nodata", {}, REG_SZ, Sz(u"")},
    {"sz-quotes", {"/d", "a \"q\" \\ b"}, REG_SZ, Sz(u"a \"q\" \\ b")},
    {"expand", {"/t", "reg_expand_sz", "/d", "%TEMP%\\x"}, REG_EXPAND_SZ, Sz(u"%TEMP%\\x")},
    {"dword-max", {"/t", "REG_DWORD", "/d", "0xFFFFFFFF"}, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
    {"dword-dec", {"/t", "REG_DWORD", "/d", "305419896"}, REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
    {"qword", {"/t", "REG_QWORD", "/d", "0xFFFFFFFFFFFFFFFF"}, REG_QWORD, Bytes(8, 0xFF)},
    {"binary", {"/t", "REG_BINARY", "/d", "00ff10A0"}, REG_BINARY, {0x00, 0xFF, 0x10, 0xA0}},
    {"binary-empty", {"/t", "REG_BINARY", "/d", ""}, REG_BINARY, {}},
    {"multi", {"/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0d"}, REG_MULTI_SZ, MultiSz({u"a", u"bc", u"d"})},
    {"multi-sep", {"/t", "REG_MULTI_SZ", "/s", ",", "/d", "x\\y,z"}, REG_MULTI_SZ,
     MultiSz({u"x\\y", u"z"})},
    {"multi-empty", {"/t", "REG_MULTI_SZ", "/d", ""}, REG_MULTI_SZ, MultiSz({u""})},
    {"none", {"/t", "REG_NONE", "/d", "0102"}, REG_NONE, {0x01, 0x02}},
    {"", {"/d", "default"}, REG_SZ, Sz(u"default")},
    {"gr\xC3\xBC\xC3\x9F" "e", {"/d", "\xE2\x82\xAC \xF0\x9D\x84\x9E"}, REG_SZ,
     Sz(u"\u20ac \U0001D11E")},
};

TEST(RegToolRoundTrip, AllTypesSurviveExportDeleteImport)
{
    testkit::CScratchMachine machine;
    for (const StoredCase& c : kCases) {
        std::vector<std::string> args = {"add", kKey, "/f", *c.name ? "/v" : "/ve"};
        if (*c.name)
            args.push_back(c.name);
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto result = Reg(args);
        ASSERT_EQ(0, result.exitCode) << result.err;
        EXPECT_EQ(regtool::kSuccess, result.out);
    }
    ASSERT_EQ(0, Reg({"add", std::string(kKey) + "\\Sub\\Deeper", "/v", "n", "/d", "7"}).exitCode);
    ASSERT_EQ(0, Reg({"add", std::string(kKey) + "\\Empty"}).exitCode);
    const auto before = Reg({"query", kKey, "/s"});
    ASSERT_EQ(0, before.exitCode) << before.err;

    const std::string first = machine.Path("first.reg");
    ASSERT_EQ(0, Reg({"export", kKey, first}).exitCode);
    const std::string exported = testkit::ReadFile(first);
    EXPECT_EQ("\xFF\xFE", exported.substr(0, 2));

    ASSERT_EQ(0, Reg({"delete", kKey, "/f"}).exitCode);
    EXPECT_EQ(regtool::kNotFound, Reg({"query", kKey}).err);

    const auto imported = Reg({"import", first});
    ASSERT_EQ(0, imported.exitCode) << imported.err;
    EXPECT_EQ(regtool::kSuccess, imported.out);
    // As the registry API itself sees each value.
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\vesk-rt", 0, KEY_READ, &hKey));
    for (const StoredCase& c : kCases) {
        DWORD type = 0;
        Bytes data(256);
        DWORD size = static_cast<DWORD>(data.size());
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryValueExW(hKey, pal::FromUtf8(c.name).c_str(), nullptr, &type, data.data(), &size))
            << c.name;
        data.resize(size);
        EXPECT_EQ(c.type, type) << c.name;
        EXPECT_EQ(c.bytes, data) << c.name;
    }
    RegCloseKey(hKey);
    EXPECT_EQ(before.out, Reg({"query", kKey, "/s"}).out);

    const std::string second = machine.Path("second.reg");
    ASSERT_EQ(0, Reg({"export", kKey, second, "/y"}).exitCode);
    EXPECT_EQ(exported, testkit::ReadFile(second));
}

// Import applies "=-" and "[-...]" as deletions; delete removes values only
// when asked for them.
TEST(RegToolRoundTrip, ImportAndDeleteRemoveWhatTheyName)
{
    testkit::CScratchMachine machine;
    const std::string key = "HKCU\\Software\\imp";
    for (const char* name : {"drop", "a", "b"})
        ASSERT_EQ(0, Reg({"add", key, "/v", name, "/d", "x"}).exitCode);
    ASSERT_EQ(0, Reg({"add", key + "\\Gone\\Deep", "/v", "x", "/d", "y"}).exitCode);
    ASSERT_EQ(0, Reg({"add", key + "\\Sub"}).exitCode);
    const std::string file = machine.Path("utf8.reg");
    testkit::WriteFile(file,
                       "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\imp]\n"
                       "\"keep\"=\"caf\xC3\xA9\"\n"
                       "\"drop\"=-\n"
                       "\"never\"=-\n"
                       "@=dword:00000010\n\n"
                       "[-HKEY_CURRENT_USER\\Software\\imp\\Gone]\n"
                       "[-HKEY_CURRENT_USER\\Software\\imp\\NeverThere]\n");
    const auto result = Reg({"import", file});
    ASSERT_EQ(0, result.exitCode) << result.err;
    const std::string top = "\nHKEY_CURRENT_USER\\Software\\imp\n";
    const std::string sub = "\nHKEY_CURRENT_USER\\Software\\imp\\Sub\n";
    EXPECT_EQ(top + "    a    REG_SZ    x\n    b    REG_SZ    x\n    keep    REG_SZ    caf\xC3\xA9\n"
                    "    (Default)    REG_DWORD    0x10\n" + sub,
              Reg({"query", key}).out);

    ASSERT_EQ(0, Reg({"delete", key, "/v", "b", "/f"}).exitCode);
    EXPECT_EQ(regtool::kNotFound, Reg({"query", key, "/v", "b"}).err);
    ASSERT_EQ(0, Reg({"delete", key, "/ve"}).exitCode);
    EXPECT_EQ(top + "    (Default)    REG_SZ    (value not set)\n", Reg({"query", key, "/ve"}).out);
    ASSERT_EQ(0, Reg({"delete", key, "/va"}).exitCode);
    EXPECT_EQ(top + sub, Reg({"query", key}).out);
}

}  // namespace
