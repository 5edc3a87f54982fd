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

Bytes Utf16(const std::u16string& text)
{
    Bytes bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

// Terminated strings, one after another, as REG_SZ and REG_MULTI_SZ store them.
Bytes Strings(const std::vector<std::u16string>& parts)
{
    Bytes bytes;
    for (const std::u16string& part : parts) {
        const Bytes one = Utf16(part + u'\0');
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

struct StoredCase {
    const char16_t* name;
    std::vector<std::string> addOptions;
    DWORD type;
    Bytes bytes;
};

const char* const kKey = "HKCU\\Software\\vesk-rt";

const std::vector<StoredCase>& Cases()
{
    static const std::vector<StoredCase> cases = {
        {u"sz", {"/v", "sz", "/t", "REG_SZ", "/d", "hello world"}, REG_SZ,
         Strings({u"hello world"})},
        {u"sz-empty", {"/v", "sz-empty", "/d", ""}, REG_SZ, Strings({u""})},
        {u"sz-nodata", {"/v", "sz-nodata"}, REG_SZ, Strings({u""})},
        {u"sz-quotes", {"/v", "sz-quotes", "/d", "a \"q\" \\ b"}, REG_SZ,
         Strings({u"a \"q\" \\ b"})},
        {u"expand", {"/v", "expand", "/t", "reg_expand_sz", "/d", "%SystemRoot%\\x"}, REG_EXPAND_SZ,
         Strings({u"%SystemRoot%\\x"})},
        {u"dword-max", {"/v", "dword-max", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"}, REG_DWORD,
         {0xFF, 0xFF, 0xFF, 0xFF}},
        {u"dword-dec", {"/v", "dword-dec", "/t", "REG_DWORD", "/d", "305419896"}, REG_DWORD,
         {0x78, 0x56, 0x34, 0x12}},
        {u"dword-nodata", {"/v", "dword-nodata", "/t", "REG_DWORD"}, REG_DWORD, {0, 0, 0, 0}},
        {u"qword", {"/v", "qword", "/t", "REG_QWORD", "/d", "0xFFFFFFFFFFFFFFFF"}, REG_QWORD,
         Bytes(8, 0xFF)},
        {u"binary", {"/v", "binary", "/t", "REG_BINARY", "/d", "00ff10A0"}, REG_BINARY,
         {0x00, 0xFF, 0x10, 0xA0}},
        {u"binary-empty", {"/v", "binary-empty", "/t", "REG_BINARY", "/d", ""}, REG_BINARY, {}},
        {u"multi", {"/v", "multi", "/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0d"}, REG_MULTI_SZ,
         Strings({u"a", u"bc", u"d", u""})},
        {u"multi-sep", {"/v", "multi-sep", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "x\\y,z"},
         REG_MULTI_SZ, Strings({u"x\\y", u"z", u""})},
        {u"multi-empty", {"/v", "multi-empty", "/t", "REG_MULTI_SZ", "/d", ""}, REG_MULTI_SZ,
         Strings({u"", u""})},
        {u"none", {"/v", "none", "/t", "REG_NONE", "/d", "0102"}, REG_NONE, {0x01, 0x02}},
        {u"", {"/ve", "/d", "default"}, REG_SZ, Strings({u"default"})},
        {u"gr\u00fc\u00dfe",
         {"/v", "gr\xC3\xBC\xC3\x9F" "e", "/d", "\xE2\x82\xAC \xF0\x9D\x84\x9E"},
         REG_SZ, Strings({u"\u20ac \U0001D11E"})},
    };
    return cases;
}

void ExpectStored(const StoredCase& c)
{
    std::string options;
    for (const std::string& option : c.addOptions)
        options += option + ' ';
    SCOPED_TRACE(options);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\vesk-rt", 0, KEY_READ, &hKey));
    DWORD type = 0;
    Bytes data(256);
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(hKey, c.name, nullptr, &type, data.data(), &size);
    RegCloseKey(hKey);
    ASSERT_EQ(ERROR_SUCCESS, status);
    data.resize(size);
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.bytes, data);
}

void AddAll()
{
    for (const StoredCase& c : Cases()) {
        std::vector<std::string> args = {"add", kKey};
        args.insert(args.end(), c.addOptions.begin(), c.addOptions.end());
        args.push_back("/f");
        const auto result = Reg(args);
        ASSERT_EQ(0, result.exitCode) << result.err;
        EXPECT_EQ(regtool::kSuccess, result.out);
    }
    const std::string sub = std::string(kKey) + "\\Sub\\Deeper";
    ASSERT_EQ(0, Reg({"add", sub, "/v", "n", "/t", "REG_DWORD", "/d", "7"}).exitCode);
    ASSERT_EQ(0, Reg({"add", std::string(kKey) + "\\Empty"}).exitCode);
}

TEST(RegToolRoundTrip, AllTypesSurviveExportDeleteImport)
{
    testkit::CScratchMachine machine;
    AddAll();
    for (const StoredCase& c : Cases())
        ExpectStored(c);
    const auto before = Reg({"query", kKey, "/s"});
    ASSERT_EQ(0, before.exitCode) << before.err;

    const std::string first = machine.Path("first.reg");
    ASSERT_EQ(0, Reg({"export", kKey, first}).exitCode);
    const std::string exported = testkit::ReadFile(first);
    ASSERT_GE(exported.size(), 2u);
    EXPECT_EQ("\xFF\xFE", exported.substr(0, 2));

    ASSERT_EQ(0, Reg({"delete", kKey, "/f"}).exitCode);
    EXPECT_EQ(regtool::kNotFound, Reg({"query", kKey}).err);

    const auto imported = Reg({"import", first});
    ASSERT_EQ(0, imported.exitCode) << imported.err;
    EXPECT_EQ(regtool::kSuccess, imported.out);
    for (const StoredCase& c : Cases())
        ExpectStored(c);
    EXPECT_EQ(before.out, Reg({"query", kKey, "/s"}).out);

    const std::string second = machine.Path("second.reg");
    ASSERT_EQ(0, Reg({"export", kKey, second, "/y"}).exitCode);
    EXPECT_EQ(exported, testkit::ReadFile(second));
}

TEST(RegToolRoundTrip, ImportOfUtf8AppliesValuesAndDeletions)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(0, Reg({"add", "HKCU\\Software\\imp", "/v", "drop", "/d", "x"}).exitCode);
    ASSERT_EQ(0, Reg({"add", "HKCU\\Software\\imp\\Gone\\Deep", "/v", "x", "/d", "y"}).exitCode);
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

    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\imp\n"
              "    keep    REG_SZ    caf\xC3\xA9\n"
              "    (Default)    REG_DWORD    0x10\n",
              Reg({"query", "HKCU\\Software\\imp"}).out);
    EXPECT_EQ(1, Reg({"query", "HKCU\\Software\\imp\\Gone"}).exitCode);
}

TEST(RegToolRoundTrip, DeleteOfValuesLeavesKeyAndSubkeys)
{
    testkit::CScratchMachine machine;
    const std::string key = "HKCU\\Software\\del";
    for (const char* name : {"a", "b", "c"})
        ASSERT_EQ(0, Reg({"add", key, "/v", name, "/d", name}).exitCode);
    ASSERT_EQ(0, Reg({"add", key, "/ve", "/d", "dflt"}).exitCode);
    ASSERT_EQ(0, Reg({"add", key + "\\Sub", "/v", "s", "/d", "1"}).exitCode);

    ASSERT_EQ(0, Reg({"delete", key, "/v", "b", "/f"}).exitCode);
    EXPECT_EQ(regtool::kNotFound, Reg({"query", key, "/v", "b"}).err);
    EXPECT_EQ(0, Reg({"query", key, "/v", "a"}).exitCode);

    ASSERT_EQ(0, Reg({"delete", key, "/ve"}).exitCode);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\del\n    (Default)    REG_SZ    (value not set)\n",
              Reg({"query", key, "/ve"}).out);

    ASSERT_EQ(0, Reg({"delete", key, "/va"}).exitCode);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\del\n\nHKEY_CURRENT_USER\\Software\\del\\Sub\n",
              Reg({"query", key}).out);
}

}  // namespace
