// Local time stamps of the diagnostic log, English whatever the locale.
#pragma once
#include <string>

#include "support/Win32.h"

constexpr size_t kLogTimeLength = 24;

// "Mon Feb 14 09:05:07 2011": always 24 characters.
WString FormatLogTime(const SYSTEMTIME& time);
// The same, appended to 8-bit text without any allocation of its own.
void AppendLogTime(std::string& text, const SYSTEMTIME& time);
// "20110214090507", for the names of rolled-over files.
WString FormatCompactTime(const SYSTEMTIME& time);
