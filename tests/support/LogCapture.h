// The support tests' own logger: records what the library logs, at a level
// the test chooses, in place of the library's logger.
#pragma once
#include <string>
#include <vector>

namespace logcapture {

struct Line {
    int level;  // 1 error .. 4 debug
    std::string text;
};

void Start(int level);  // enables levels 1..level and forgets earlier lines
void Stop();
std::vector<Line> Lines();

}  // namespace logcapture
