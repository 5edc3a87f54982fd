// This program's logger: error and debug lines are kept for the tests to
// read, in place of the library's logger.
#pragma once
#include <string>
#include <vector>

namespace logcapture {

struct Lines {
    std::vector<std::string> errors;
    std::vector<std::string> debug;
};

// The lines written since the last call.
Lines Take();

}  // namespace logcapture
