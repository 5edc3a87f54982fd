#include "support/LocalTime.h"

#include "support/Format.h"

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void AppendDigits(std::string& text, unsigned nValue, int nDigits)
{
    char digits[8];
    for (int i = nDigits - 1; i >= 0; --i, nValue /= 10)
        digits[i] = static_cast<char>('0' + nValue % 10);
    text.append(digits, static_cast<size_t>(nDigits));
}

}  // namespace

void AppendLogTime(std::string& text, const SYSTEMTIME& time)
{
    // Out-of-range fields cannot come from the clock; a wrong name is still
    // better than reading past the tables, and the width stays 24.
    text += time.wDayOfWeek < 7 ? kDays[time.wDayOfWeek] : "???";
    text += ' ';
    text += time.wMonth >= 1 && time.wMonth <= 12 ? kMonths[time.wMonth - 1] : "???";
    text += ' ';
    AppendDigits(text, time.wDay % 100, 2);
    text += ' ';
    AppendDigits(text, time.wHour % 100, 2);
    text += ':';
    AppendDigits(text, time.wMinute % 100, 2);
    text += ':';
    AppendDigits(text, time.wSecond % 100, 2);
    text += ' ';
    AppendDigits(text, time.wYear % 10000, 4);
}

WString FormatLogTime(const SYSTEMTIME& time)
{
    std::string text;
    AppendLogTime(text, time);
    return WString(text.begin(), text.end());
}

WString FormatCompactTime(const SYSTEMTIME& time)
{
    return Format(W("%04d%02d%02d%02d%02d%02d"), time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
}
