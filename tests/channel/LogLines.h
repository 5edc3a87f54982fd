#pragma once
#include <string>
#include <vector>

namespace loglines {
void Clear();
std::vector<std::string> Errors();
std::vector<std::string> Debug();
} // namespace loglines
