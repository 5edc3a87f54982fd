#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <tuple>

#include "pal/text/text.h"
#include "regtext/RegText.h"

using regtext::Document;
using regtext::Encoding;
using regtext::Key;
using regtext::ParseError;
using regtext::Value;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<uint8_t> Utf16(std::u16string_view text, bool terminate = true)
{
    std::vector<uint8_t> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminate)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

auto Fields(const Value& v) { return std::tie(v.name, v.type, v.data, v.remove); }
auto Fields(const Key& k) { return std::tie(k.path, k.remove); }

void ExpectSameDocument(const Document& expected, const Document& actual)
{
    ASSERT_EQ(expected.keys.size(), actual.keys.size());
    for (size_t k = 0; k < expected.keys.size(); ++k) {
        const Key& a = expected.keys[k];
        const Key& b = actual.keys[k];
        EXPECT_TRUE(Fields(a) == Fields(b)) << pal::ToUtf8(a.path);
        ASSERT_EQ(a.values.size(), b.values.size());
        for (size_t v = 0; v < a.values.size(); ++v)
            EXPECT_TRUE(Fields(a.values[v]) == Fields(b.values[v])) << pal::ToUtf8(a.values[v].name);
    }
}

Document SampleDocument()
{
    using namespace regtext;
    std::vector<uint8_t> ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<uint8_t>(i * 7);
    const std::vector<Value> values = {
        {u"", kRegSz, Utf16(u"default")},
        {u"escapes", kRegSz, Utf16(u"C:\\path\\\"quoted\"\\")},
        {u"empty text", kRegSz, Utf16(u"")},
        {u"no bytes", kRegSz, {}},
        {u"odd size", kRegSz, {0x41, 0x00, 0x42}},
        {u"unterminated", kRegSz, Utf16(u"abc", false)},
        {u"inner zero", kRegSz, Utf16(std::u16string(u"a\0b", 3))},
        {u"two zeros", kRegSz, Utf16(std::u16string(u"ab\0", 3))},
        {u"line break", kRegSz, Utf16(u"one\r\ntwo")},
        {u"lone surrogate", kRegSz, Utf16(u"x\xD800y")},
        {u"pair \xD83D\xDE00", kRegSz, Utf16(u"\xD83D\xDE00 \x00E9\x4E2D")},
        {u"expand", kRegExpandSz, Utf16(u"%SystemRoot%\\x")},
        {u"multi", kRegMultiSz, Utf16(std::u16string(u"a\0bc\0", 5))},
        {u"dword", kRegDword, {0x0a, 0x00, 0x00, 0x80}},
        {u"short dword", kRegDword, {1, 2, 3}},
        {u"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"binary", kRegBinary, ramp},
        {u"empty binary", kRegBinary, {}},
        {u"big type", 0xDEADBEEF, {1}},
        {u"name \\ with \"quotes\"", kRegSz, Utf16(u"x")},
        {u"name\r\nbreak", kRegDword, {0, 0, 0, 0}},
        {u"bad name \xDC00", kRegBinary, {2}},
    };
    return {{{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk \x00FC]x", false, values},
             {u"HKEY_CURRENT_USER\\Empty", false, {}},
             {u"HKEY_CURRENT_USER\\Gone", true, {}},
             {u"HKEY_USERS\\x", false, {{u"old", kRegNone, {}, true}}}}};
}

Document MustParse(const std::string& text)
{
    Document document;
    ParseError error;
    EXPECT_TRUE(regtext::Parse(text, document, error))
        << "line " << error.line << ": " << error.message << "\n"
        << text;
    return document;
}

TEST(RegText, EveryTypeRoundTripsByteExactInBothEncodings)
{
    const Document document = SampleDocument();
    for (const Encoding encoding : {Encoding::Utf8, Encoding::Utf16le}) {
        SCOPED_TRACE(encoding == Encoding::Utf8 ? "UTF-8" : "UTF-16LE");
        const std::string text = regtext::Format(document, encoding);
        ExpectSameDocument(document, MustParse(text));
        EXPECT_EQ(text, regtext::Format(MustParse(text), encoding));
    }
}

TEST(RegText, ReadableFormOnlyWhenItGivesBackTheSameBytes)
{
    using namespace regtext;
    const struct {
        uint32_t type;
        std::vector<uint8_t> data;
        std::u16string text;
    } cases[] = {
        {kRegSz, Utf16(u"a\\b\"c"), u"\"a\\\\b\\\"c\""},
        {kRegSz, Utf16(u""), u"\"\""},
        {kRegSz, {}, u"hex(1):"},
        {kRegSz, {0x41, 0x00, 0x42}, u"hex(1):41,00,42"},
        {kRegSz, Utf16(u"ab", false), u"hex(1):61,00,62,00"},
        {kRegSz, Utf16(std::u16string(u"a\0", 2)), u"hex(1):61,00,00,00,00,00"},
        {kRegSz, Utf16(u"a\nb"), u"hex(1):61,00,0a,00,62,00,00,00"},
        {kRegDword, {0x0a, 0, 0, 0}, u"dword:0000000a"},
        {kRegDword, {0xff, 0xff, 0xff, 0xff}, u"dword:ffffffff"},
        {kRegDword, {0x0a, 0}, u"hex(4):0a,00"},
        {kRegExpandSz, Utf16(u"%a%"), u"hex(2):25,00,61,00,25,00,00,00"},
        {kRegMultiSz, {0, 0}, u"hex(7):00,00"},
        {kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, u"hex(b):01,00,00,00,00,00,00,00"},
        {kRegNone, {}, u"hex(0):"},
        {kRegBinary, {0xAB}, u"hex:ab"},
        {0x10000, {1}, u"hex(10000):01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, FormatValueData({u"", c.type, c.data}, 2)) << pal::ToUtf8(c.text);
}

TEST(RegText, LongHexWrapsLikeTheEditor)
{
    Document document{{{u"HKEY_CURRENT_USER\\Wrap", false, {}}}};
    for (const size_t size : {1u, 23u, 24u, 200u, 1000u}) {
        document.keys[0].values.push_back(
            {u"n" + std::u16string(size % 13, u'x'), 3, std::vector<uint8_t>(size, 0x5A)});
    }
    const std::string text = regtext::Format(document, Encoding::Utf8);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 81u) << line;  // 80 columns and the CR
        if (line.size() > 2 && line[line.size() - 2] == '\\') {
            EXPECT_EQ(",\\\r", line.substr(line.size() - 3));
        }
    }
    ExpectSameDocument(document, MustParse(text));

    // "a"=hex: takes 8 columns: 23 bytes fit before the first break, then 25.
    const std::u16string data = regtext::FormatValueData({u"a", 3, std::vector<uint8_t>(60)}, 4);
    EXPECT_EQ(4 + 23 * 3, data.find(u"\\\r\n"));
    EXPECT_EQ(4 + 23 * 3 + 3 + 2 + 25 * 3, data.rfind(u"\\\r\n"));
}

// Variations are read; writing gives the editor's canonical form back.
TEST(RegText, ReadsEditorVariations)
{
    const std::string text =
        "\xEF\xBB\xBF"
        "\n; leading comment\n"
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "  [HKEY_CURRENT_USER\\Software\\vesk\\]\n"
        "; a comment line\n"
        "@=\"default\"\n"
        "\"\"=dword:1\n"
        "\"d\" = DWORD:0000000A ; trailing comment\n"
        "\"h\"=hex:01,2,\\\n"
        "   03 , 04,\\\r\n"
        "\t05\n"
        "\"x\"=HEX(B):ff\n"
        "\"e\"=hex:\n"
        "\"gone\"=-\n"
        "[-HKEY_CURRENT_USER\\Software\\old]\n";
    const Document document = MustParse(text);
    EXPECT_EQ(kHeader + "[HKEY_CURRENT_USER\\Software\\vesk]\r\n"
                        "@=\"default\"\r\n@=dword:00000001\r\n\"d\"=dword:0000000a\r\n"
                        "\"h\"=hex:01,02,03,04,05\r\n\"x\"=hex(b):ff\r\n\"e\"=hex:\r\n"
                        "\"gone\"=-\r\n\r\n[-HKEY_CURRENT_USER\\Software\\old]\r\n\r\n",
              regtext::Format(document, Encoding::Utf8));
    ASSERT_EQ(2u, document.keys.size());
    EXPECT_EQ(5u, document.keys[0].line);
    EXPECT_EQ(16u, document.keys[1].line);
}

TEST(RegText, ReadsUtf16WithByteOrderMark)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\x4E2D]\r\n"
                                u"\"\x00E9t\x00E9\"=\"\xD83D\xDE00\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (const uint8_t b : Utf16(text, false))
        bytes += static_cast<char>(b);
    EXPECT_EQ(pal::ToUtf8(text + u"\r\n"), regtext::Format(MustParse(bytes), Encoding::Utf8));
}

TEST(RegText, EachErrorNamesItsLine)
{
    const std::string key = "[HKEY_CURRENT_USER\\k]\r\n";
    const struct {
        std::string text;
        size_t line;
        const char* message;
    } cases[] = {
        {"", 0, "empty"},
        {"\r\n; only a comment\r\n", 0, "empty"},
        {"REGEDIT4\r\n", 1, "REGEDIT4"},
        {"\r\nWindows Registry Editor Version 4.00\r\n", 2, "bad header"},
        {kHeader + "\"a\"=\"b\"\r\n", 3, "outside a key"},
        {kHeader + "[HKEY_CURRENT_USER\\k\r\n", 3, "unterminated key"},
        {kHeader + "[HKEY_CURRENT_USER\\k] x\r\n", 3, "unterminated key"},
        {kHeader + "[]\r\n", 3, "empty key name"},
        {kHeader + "[HKEY_CURRENT_USER\\a\\\\b]\r\n", 3, "empty key name"},
        {kHeader + "[HKEY_NOWHERE\\k]\r\n", 3, "unknown root"},
        {kHeader + key + "\"a\"=hex:0g\r\n", 4, "bad hex byte"},
        {kHeader + key + "\"a\"=hex:123\r\n", 4, "more than two"},
        {kHeader + key + "\"a\"=hex:01,,02\r\n", 4, "bad hex byte"},
        {kHeader + key + "\"a\"=hex:01,\r\n", 4, "bad hex byte"},
        {kHeader + key + "\"a\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n", 6, "bad hex byte"},
        {kHeader + key + "\"a\"=hex:01,\\", 4, "continuation"},
        {kHeader + key + "\"a\"=hex:01,\\\r\n", 5, "bad hex byte"},
        {kHeader + key + "\"a\"=hex(1x):00\r\n", 4, "bad type"},
        {kHeader + key + "\"a\"=hex(123456789):00\r\n", 4, "bad type"},
        {kHeader + key + "\"a\"=qword:00\r\n", 4, "unknown value type"},
        {kHeader + key + "\"a\"=dword:\r\n", 4, "bad dword"},
        {kHeader + key + "\"a\"=dword:123456789\r\n", 4, "bad dword"},
        {kHeader + key + "\"a\"=dword:-1\r\n", 4, "bad dword"},
        {kHeader + key + "\"a\"=\"text\r\n", 4, "unterminated string"},
        {kHeader + key + "\"a=\"text\"\r\n", 4, "expected '='"},
        {kHeader + key + "\"a\"=\"a\\qb\"\r\n", 4, "bad escape"},
        {kHeader + key + "\"a\" \"b\"\r\n", 4, "expected '='"},
        {kHeader + key + "\"a\"=\"b\" c\r\n", 4, "after the value"},
        {kHeader + key + "\"a\"=dword:1 2\r\n", 4, "after the value"},
        {kHeader + key + "junk\r\n", 4, "unexpected text"},
        {kHeader + "[-HKEY_CURRENT_USER\\k]\r\n\"a\"=-\r\n", 4, "key deletion"},
        {kHeader + key + "\r\n\"a\"=\"\xC3\x28\"\r\n", 5, "UTF-8"},
        {kHeader + key + "\"a\"=\"\xE2\x82\"", 4, "UTF-8"},
        {kHeader + "\xC0\xAF", 3, "UTF-8"},
        {"\xFF\xFE\x41", 0, "odd"},
        {"\xFE\xFF\x00\x41", 0, "big-endian"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Document document;
        document.keys.emplace_back();
        ParseError error;
        EXPECT_FALSE(regtext::Parse(c.text, document, error));
        EXPECT_EQ(c.line, error.line);
        EXPECT_NE(std::string::npos, error.message.find(c.message)) << error.message;
        EXPECT_EQ(1u, document.keys.size()) << "a failed parse leaves the document alone";
    }
}

// Mutated and random inputs must only ever succeed or fail cleanly.
TEST(RegText, SurvivesMangledInput)
{
    const std::string seeds[] = {regtext::Format(SampleDocument(), Encoding::Utf8),
                                 regtext::Format(SampleDocument(), Encoding::Utf16le)};
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text = seeds[round % 2];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = rng() % text.size();
            switch (rng() % 4) {
            case 0: text[at] = static_cast<char>(rng()); break;
            case 1: text.erase(at, 1 + rng() % 40); break;
            case 2: text.insert(at, 1, "\\\"[]=,:;@-\r\n"[rng() % 12]); break;
            default: text.resize(at); break;
            }
        }
        Document document;
        ParseError error;
        if (regtext::Parse(text, document, error))
            regtext::Format(document, Encoding::Utf8);
        else
            EXPECT_FALSE(error.message.empty());
    }
}

}  // namespace
