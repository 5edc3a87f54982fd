// The exit statuses that --help documents; scripts depend on them.
#pragma once
#include <string>

#include "ToolError.h"

namespace vrdpc {

constexpr int kExitDone = 0;          // ended by Ctrl-C, SIGTERM or --seconds
constexpr int kExitNoAddin = 1;       // no add-in registered, or none usable
constexpr int kExitBadArguments = 2;  // vtool::Fail
constexpr int kExitSocket = 3;        // the socket path cannot be listened on
constexpr int kExitFailed = 4;        // anything else

// Ends the run with an error line and a status other than kExitBadArguments.
[[noreturn]] inline void Stop(int nStatus, const std::u16string& sMessage)
{
    throw vtool::CToolError(u"ERROR: " + sMessage, nStatus);
}

}  // namespace vrdpc
