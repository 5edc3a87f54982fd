// Message formatting and log time stamps.
#include <gtest/gtest.h>

#include "support/Format.h"
#include "support/LocalTime.h"

namespace {

std::string Utf8(const WString& text) { return pal::ToUtf8(text); }

TEST(Format, Conversions)
{
    EXPECT_EQ(Utf8(FormatHex32(0x4d8)), "0x000004d8");
    EXPECT_EQ(Utf8(FormatHex32(0xFFFFFFFFu)), "0xffffffff");
    EXPECT_EQ(Utf8(Format(u"ID:  0x%x", 0xa2cu)), "ID:  0xa2c");
    EXPECT_EQ(Utf8(Format(u"Error Code: 0x%X", -2)), "Error Code: 0xFFFFFFFE");
    EXPECT_EQ(Utf8(Format(u"%#X|%#x|%#x", 255, 255, 0)), "0XFF|0xff|0");
    EXPECT_EQ(Utf8(Format(u"%d %i %u", -5, int64_t{-9000000000}, 7u)), "-5 -9000000000 7");
    EXPECT_EQ(Utf8(Format(u"[%5d][%-4d][%05d][%03d]", 42, 7, -3, 1234)), "[   42][7   ][-0003][1234]");
    EXPECT_EQ(Utf8(Format(u"%s=%s %c%%", u"name", WString(u"value"), u'!')), "name=value !%");
    EXPECT_EQ(Utf8(Format(u"%ld %lu %hx", 1L, 2UL, 0x1f)), "1 2 1f");
}

TEST(Format, MalformedPatternsNeverOverrun)
{
    EXPECT_EQ(Utf8(Format(u"missing %d %s", 1)), "missing 1 ");
    EXPECT_EQ(Utf8(Format(u"type clash %d", u"text")), "type clash ");
    EXPECT_EQ(Utf8(Format(u"dangling %")), "dangling ");
    EXPECT_EQ(Utf8(Format(u"dangling %08")), "dangling ");
    EXPECT_LE(Format(u"%999999999999d", 1).size(), 1024u);
    EXPECT_EQ(Utf8(FormatText(nullptr, {})), "");
    EXPECT_EQ(Utf8(Format(u"%s", static_cast<const WCHAR*>(nullptr))), "(null)");
}

TEST(LocalTime, FixedWidthEnglishStamps)
{
    SYSTEMTIME time{2011, 2, 1, 14, 9, 5, 7, 0};
    EXPECT_EQ(Utf8(FormatLogTime(time)), "Mon Feb 14 09:05:07 2011");
    EXPECT_EQ(Utf8(FormatCompactTime(time)), "20110214090507");
    time = SYSTEMTIME{1999, 12, 0, 3, 23, 59, 59, 999};
    EXPECT_EQ(Utf8(FormatLogTime(time)), "Sun Dec 03 23:59:59 1999");
    time.wMonth = 13;
    time.wDayOfWeek = 9;
    EXPECT_EQ(FormatLogTime(time).size(), 24u);
}

}  // namespace
