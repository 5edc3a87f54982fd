// What differs between Windows and POSIX for this tool: Ctrl-C, the local
// time of day and the notification area.
#pragma once
#include <string>

namespace vcap {

// From now on the first Ctrl-C only raises a flag, so that the capture can be
// stopped cleanly; a second one ends the process as usual.
void CatchInterrupt();
bool WasInterrupted();

// Local time of day with milliseconds: "12:00:01.234".
std::u16string ClockTime();

// The tooltip of this process's notification-area icon, lines joined by
// " | "; empty when there is none, or where the area is the shell's own.
std::u16string TrayIconText();

}  // namespace vcap
