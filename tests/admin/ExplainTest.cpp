// For each stored value the library refuses, "vesk-admin logging" names the
// field and the rule and exits 1; for each it accepts, it exits 0.
#include <gtest/gtest.h>

#include "AdminKit.h"
#include "support/CDiagnosticsConfig.h"

namespace admintest {
namespace {

struct StoredCase {
    std::string name;
    Bytes bytes;
    std::string expected;  // part of the output
    int exitCode = 1;
    DWORD type = REG_BINARY;
};

Bytes WithU32(Bytes bytes, size_t offset, uint32_t value)
{
    Bytes field;
    AppendU32(field, value);
    std::copy(field.begin(), field.end(), bytes.begin() + static_cast<ptrdiff_t>(offset));
    return bytes;
}

// A counted string with a length and UTF-16 units of our choosing.
Bytes RawString(uint32_t length, const std::u16string& units)
{
    Bytes bytes;
    AppendU32(bytes, length);
    for (const char16_t c : units) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

std::vector<StoredCase> Cases(const std::string& logDir, const std::string& missingDir)
{
    const Bytes empty = Counted(u"");
    const Bytes folder = Counted(Utf16(logDir));
    // Aux folder at 13 (2 bytes), log switch 15, level 16, log folder length 20, text 24.
    const Bytes good = Record(0, 0, empty, 1, 2, folder);
    const std::string truncated = "logging: invalid, so the library logs nothing: the value is "
                                  "truncated in the ";
    return {
        {"valid with trailing bytes", Record(0, 0, empty, 1, 2, folder, {9, 9, 9}),
         "logging: on, level 2 (warning)", 0},
        {"length above size", WithU32(good, 0, static_cast<uint32_t>(good.size() + 1)),
         "the total length field says " + std::to_string(good.size() + 1) +
             " bytes but the value holds " + std::to_string(good.size()) + "."},
        {"cut in total length", Cut(good, 3),
         truncated + "total length at offset 0: it needs 4 bytes, 3 remain."},
        {"cut in aux mode", Cut(good, 7),
         truncated + "auxiliary mode at offset 5: it needs 4 bytes, 2 remain."},
        {"cut in aux folder", Cut(good, 14),
         truncated + "auxiliary folder at offset 13: it needs 2 bytes, 1 remain."},
        {"cut in log level", Cut(good, 18), truncated + "log level at offset 16:"},
        {"cut in log folder", Cut(good, 26), truncated + "log folder at offset 24:"},
        {"aux folder length 0", Record(0, 0, RawString(0, u""), 1, 2, folder),
         "the length of the auxiliary folder is 0; it must count the terminating 0x0000."},
        {"odd length, no terminator", Record(0, 0, empty, 1, 2, RawString(3, u"/t")),
         "the log folder does not end in a 0x0000 character."},
        {"inner 0x0000", Record(0, 0, RawString(10, std::u16string(u"/t\0x\0", 5)), 1, 2, folder),
         "the auxiliary folder has a 0x0000 after 2 characters;"},
        {"log folder missing", Record(0, 0, empty, 1, 2, Counted(Utf16(missingDir))),
         "the log folder '" + missingDir + "' does not exist."},
        {"every broken rule", Record(1, 0, empty, 1, 9, folder),
         "the auxiliary mode is 0, not 1 or 2; the auxiliary folder is empty; the log level "
         "is 9, not 1-4."},
        {"wrong type", {2, 0, 0, 0}, "the value has type REG_DWORD, not REG_BINARY.", 1, REG_DWORD},
    };
}

TEST_F(AdminTest, NamesTheFieldAndRuleTheLibraryRefuses)
{
    for (const StoredCase& c : Cases(LogDir(), m_machine.Path("absent"))) {
        SCOPED_TRACE(c.name);
        StoreDiag(c.type, c.bytes);
        const auto shown = Admin({"logging"});
        EXPECT_EQ(shown.exitCode, c.exitCode);
        EXPECT_EQ(CDiagnosticsConfig().Read(), c.exitCode == 0);
        EXPECT_NE(shown.out.find(c.expected), std::string::npos) << shown.out;
        EXPECT_EQ(shown.err, "");
    }
}

TEST_F(AdminTest, SaysWhatIsMissing)
{
    const auto noKey = Admin({"logging"});
    EXPECT_EQ(noKey.exitCode, 1);
    EXPECT_EQ(noKey.out, "logging: not configured, so the library logs nothing: there is no "
                         "key HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics.\n");

    Store(HKEY_LOCAL_MACHINE, kDiagKey, u"Other", REG_DWORD, Dword(1));
    const auto noValue = Admin({"logging"});
    EXPECT_EQ(noValue.exitCode, 1);
    EXPECT_NE(noValue.out.find("there is no value HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\"
                               "Diagnostics\\Configuration."),
              std::string::npos);
}

}  // namespace
}  // namespace admintest
