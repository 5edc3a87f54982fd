// Local time stamps of the diagnostic log, English whatever the locale.
#pragma once
#include "support/Win32.h"

// "Mon Feb 14 09:05:07 2011": always 24 characters.
WString FormatLogTime(const SYSTEMTIME& time);
// "20110214090507", for the names of rolled-over files.
WString FormatCompactTime(const SYSTEMTIME& time);
