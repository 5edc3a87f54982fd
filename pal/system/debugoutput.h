// The simulated debugger's output window: standard error, when
// VESK_DEBUG_OUTPUT is set.
#pragma once
#include <string>

namespace pal {

void WriteDebugOutput(const std::string& utf8);

}  // namespace pal
