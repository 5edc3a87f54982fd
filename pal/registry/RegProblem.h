// The text behind a registry failure that a code alone cannot tell: which
// hive file, which line, what the system said.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

namespace pal::registry {

// Keeps `text` as the calling thread's registry problem, says it once on the
// debugger output, and returns `status`.
LSTATUS ReportProblem(LSTATUS status, std::string text);

}  // namespace pal::registry
