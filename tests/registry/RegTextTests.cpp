// The .reg text codec: byte-exact values in both encodings, the readable form
// only where it gives the same bytes back, editor variations, and errors by line.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "common/TestMachine.h"
#include "pal/text/text.h"
#include "regtext/RegText.h"

using namespace regtext;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

using testkit::Sz;
using testkit::Utf16;

Document MustParse(const std::string& text)
{
    Document document;
    ParseError error;
    EXPECT_TRUE(Parse(text, document, error)) << "line " << error.line << ": " << error.message;
    return document;
}

// Every type, and the values that stress the format, compared field by field.
TEST(RegText, EveryTypeRoundTripsByteExactInBothEncodings)
{
    std::vector<uint8_t> ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<uint8_t>(i * 7);
    const std::vector<Value> values = {
        {u"", kRegSz, Sz(u"default")},
        {u"escapes", kRegSz, Sz(u"C:\\path\\\"quoted\"\\")},
        {u"odd size", kRegSz, {0x41, 0x00, 0x42}},
        {u"unterminated", kRegSz, Utf16(u"abc")},
        {u"line break", kRegSz, Sz(u"one\r\ntwo")},
        {u"lone surrogate", kRegSz, Sz(u"x\xD800y")},
        {u"pair \xD83D\xDE00", kRegSz, Sz(u"\xD83D\xDE00 \x00E9\x4E2D")},
        {u"expand", kRegExpandSz, Sz(u"%SystemRoot%\\x")},
        {u"multi", kRegMultiSz, Sz(std::u16string(u"a\0bc\0", 5))},
        {u"dword", kRegDword, {0x0a, 0x00, 0x00, 0x80}},
        {u"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"short dword", kRegDword, {1, 2, 3}},
        {u"binary", kRegBinary, ramp},
        {u"big type", 0xDEADBEEF, {1}},
        {u"name \\ with \"quotes\"", kRegSz, Sz(u"x")},
        {u"name\r\nbreak", kRegDword, {0, 0, 0, 0}},
    };
    const Document document = {{{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk \x00FC]x", false, values},
                                {u"HKEY_CURRENT_USER\\Empty", false, {}},
                                {u"HKEY_CURRENT_USER\\Gone", true, {}},
                                {u"HKEY_USERS\\x", false, {{u"old", kRegNone, {}, true}}}}};
    const auto fields = [](const Value& v) { return std::tie(v.name, v.type, v.data, v.remove); };
    for (const Encoding encoding : {Encoding::Utf8, Encoding::Utf16le}) {
        SCOPED_TRACE(encoding == Encoding::Utf8 ? "UTF-8" : "UTF-16LE");
        const std::string text = Format(document, encoding);
        const Document parsed = MustParse(text);
        ASSERT_EQ(document.keys.size(), parsed.keys.size());
        for (size_t k = 0; k < document.keys.size(); ++k) {
            const Key &a = document.keys[k], &b = parsed.keys[k];
            EXPECT_TRUE(a.path == b.path && a.remove == b.remove) << pal::ToUtf8(a.path);
            ASSERT_EQ(a.values.size(), b.values.size());
            for (size_t v = 0; v < a.values.size(); ++v)
                EXPECT_TRUE(fields(a.values[v]) == fields(b.values[v])) << pal::ToUtf8(a.values[v].name);
        }
        EXPECT_EQ(text, Format(parsed, encoding));
    }
    // Long hex data wraps within the editor's 80 columns.
    std::istringstream lines(Format(document, Encoding::Utf8));
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 81u) << line;  // and the CR
}

TEST(RegText, ReadableFormOnlyWhenItGivesBackTheSameBytes)
{
    const struct { uint32_t type; std::vector<uint8_t> data; std::u16string text; } cases[] = {
        {kRegSz, Sz(u"a\\b\"c"), u"\"a\\\\b\\\"c\""},
        {kRegSz, {}, u"hex(1):"},
        {kRegSz, {0x41, 0x00, 0x42}, u"hex(1):41,00,42"},
        {kRegSz, Sz(u"a\nb"), u"hex(1):61,00,0a,00,62,00,00,00"},
        {kRegDword, {0x0a, 0, 0, 0}, u"dword:0000000a"},
        {kRegDword, {0x0a, 0}, u"hex(4):0a,00"},
        {kRegExpandSz, Sz(u"%a%"), u"hex(2):25,00,61,00,25,00,00,00"},
        {kRegMultiSz, {0, 0}, u"hex(7):00,00"},
        {kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, u"hex(b):01,00,00,00,00,00,00,00"},
        {0x10000, {1}, u"hex(10000):01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, FormatValueData({u"", c.type, c.data}, 2)) << pal::ToUtf8(c.text);
}

// Hand-written and editor files vary; writing gives the canonical form back.
TEST(RegText, ReadsEditorVariations)
{
    const std::string text =
        "\xEF\xBB\xBF"
        "\n; leading comment\n"
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "  [HKEY_CURRENT_USER\\Software\\vesk\\]\n"
        "\"\"=dword:1\n"
        "\"d\" = DWORD:0000000A ; trailing comment\n"
        "\"h\"=HEX:01,2,\\\n"
        "   03 , 04,\\\r\n"
        "\t05\n";
    EXPECT_EQ(kHeader + "[HKEY_CURRENT_USER\\Software\\vesk]\r\n"
                        "@=dword:00000001\r\n\"d\"=dword:0000000a\r\n\"h\"=hex:01,02,03,04,05\r\n\r\n",
              Format(MustParse(text), Encoding::Utf8));
}

TEST(RegText, EachErrorNamesItsLine)
{
    const std::string key = kHeader + "[HKEY_CURRENT_USER\\k]\r\n";
    const struct { std::string text; size_t line; const char* message; } cases[] = {
        {"", 0, "empty"},
        {"REGEDIT4\r\n", 1, "REGEDIT4"},
        {"\r\nWindows Registry Editor Version 4.00\r\n", 2, "bad header"},
        {kHeader + "\"a\"=\"b\"\r\n", 3, "outside a key"},
        {kHeader + "[HKEY_CURRENT_USER\\a\\\\b]\r\n", 3, "empty key name"},
        {kHeader + "[HKEY_NOWHERE\\k]\r\n", 3, "unknown root"},
        {key + "\"a\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n", 6, "bad hex byte"},
        {key + "\"a\"=hex:01,\\", 4, "continuation"},
        {key + "\"a\"=qword:00\r\n", 4, "unknown value type"},
        {key + "\"a\"=dword:123456789\r\n", 4, "bad dword"},
        {key + "\"a\"=\"text\r\n", 4, "unterminated string"},
        {key + "\"a\"=\"b\" c\r\n", 4, "after the value"},
        {kHeader + "[-HKEY_CURRENT_USER\\k]\r\n\"a\"=-\r\n", 4, "key deletion"},
        {key + "\r\n\"a\"=\"\xC3\x28\"\r\n", 5, "UTF-8"},
        {"\xFF\xFE\x41", 0, "odd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Document document;
        document.keys.emplace_back();
        ParseError error;
        EXPECT_FALSE(Parse(c.text, document, error));
        EXPECT_EQ(c.line, error.line);
        EXPECT_NE(std::string::npos, error.message.find(c.message)) << error.message;
        EXPECT_EQ(1u, document.keys.size()) << "a failed parse leaves the document alone";
    }
}

}  // namespace
