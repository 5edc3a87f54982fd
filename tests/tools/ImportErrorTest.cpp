// A bad .reg file is refused as a whole, with its name and the bad line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegTool.h"

namespace {

using regtool::Reg;

struct FileCase {
    const char* label;
    std::string text;
    size_t line;
    std::string message;  // the text after "FILE:LINE: "; empty: the parser's own words
};

const char* const kGood = "[HKEY_CURRENT_USER\\Software\\imp-bad]\n\"first\"=\"1\"\n";

std::string Utf16le(const std::string& ascii)
{
    std::string out("\xFF\xFE", 2);
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

const std::vector<FileCase>& Cases()
{
    static const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
    static const std::vector<FileCase> cases = {
        {"header", "REGEDIT9\n" + std::string(kGood), 1, ""},
        {"value type", kHeader + kGood + "\"bad\"=word:1\n", 5, ""},
        {"dword digits", kHeader + kGood + "\"bad\"=dword:123456789\n", 5, ""},
        {"key bracket", kHeader + kGood + "\n[HKEY_CURRENT_USER\\Software\n", 6, ""},
        {"utf16 value", Utf16le(kHeader + kGood + "\"bad\"=\"open\n"), 5, ""},
        {"other root", kHeader + kGood + "\n[HKEY_CLASSES_ROOT\\x]\n", 6,
         "unknown root key 'HKEY_CLASSES_ROOT' (use HKLM or HKCU)."},
        {"root deletion", kHeader + kGood + "\n[-HKEY_CURRENT_USER]\n", 6,
         "a root key cannot be deleted."},
    };
    return cases;
}

TEST(RegToolImport, MalformedFileNamesFileAndLineAndAppliesNothing)
{
    testkit::CScratchMachine machine;
    const std::string file = machine.Path("bad.reg");
    for (const FileCase& c : Cases()) {
        SCOPED_TRACE(c.label);
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

}  // namespace
