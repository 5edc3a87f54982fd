#include "support/LocalTime.h"

#include "support/Format.h"

namespace {

const WCHAR* const kDays[] = {W("Sun"), W("Mon"), W("Tue"), W("Wed"),
                              W("Thu"), W("Fri"), W("Sat")};
const WCHAR* const kMonths[] = {W("Jan"), W("Feb"), W("Mar"), W("Apr"), W("May"), W("Jun"),
                                W("Jul"), W("Aug"), W("Sep"), W("Oct"), W("Nov"), W("Dec")};

}  // namespace

WString FormatLogTime(const SYSTEMTIME& time)
{
    // Out-of-range fields would index past the tables; they cannot come from
    // the system clock, but a wrong name is better than a crash.
    const WCHAR* pszDay = time.wDayOfWeek < 7 ? kDays[time.wDayOfWeek] : W("???");
    const WCHAR* pszMonth =
        time.wMonth >= 1 && time.wMonth <= 12 ? kMonths[time.wMonth - 1] : W("???");
    return Format(W("%s %s %02d %02d:%02d:%02d %04d"), pszDay, pszMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond, time.wYear);
}

WString FormatCompactTime(const SYSTEMTIME& time)
{
    return Format(W("%04d%02d%02d%02d%02d%02d"), time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
}
