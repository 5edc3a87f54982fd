// The library's log hooks in place of its logger, for the test programs that
// build common/LogHooks.cpp in: every level on, each line kept with its level
// and the thread that logged it.
#pragma once
#include <string>
#include <vector>

#include "pal/windows.h"

namespace testlog {

using Lines = std::vector<std::string>;
constexpr int kError = 1;
constexpr int kDebug = 4;

struct Line {
    int level;
    std::string text;
    DWORD threadId;
};

// Every line logged since the last take, in order.
std::vector<Line> TakeLines();
// The same, only the texts of one level (0: all levels).
Lines Take(int level = 0);
bool Contains(const Lines& lines, const std::string& text);
size_t Count(const Lines& lines, const std::string& text);

}  // namespace testlog
