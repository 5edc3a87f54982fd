// What differs between Windows and POSIX for this tool: Ctrl-C and the local
// time of day.
#pragma once
#include <string>

namespace vcap {

// From now on the first Ctrl-C only raises a flag, so that the capture can be
// stopped cleanly; a second one ends the process as usual.
void CatchInterrupt();
bool WasInterrupted();

// Local time of day with milliseconds: "12:00:01.234".
std::u16string ClockTime();

}  // namespace vcap
