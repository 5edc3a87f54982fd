// The exit statuses that --help documents; scripts depend on them.
#pragma once
#include <string>

#include "ToolError.h"

namespace vchan {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;       // not hex text, or the message fails a check
constexpr int kExitBadArguments = 2;  // vtool::Fail
constexpr int kExitFailed = 3;        // a file, the picture or the sealing

// Ends the run with an error line and a status other than kExitBadArguments.
[[noreturn]] inline void Stop(int nStatus, const std::u16string& sMessage)
{
    throw vtool::CToolError(u"ERROR: " + sMessage, nStatus);
}

}  // namespace vchan
