// The tool's commands: each gets the arguments after its name and returns
// the exit status; failures throw CToolError or CStatusError.
#pragma once
#include <string>
#include <vector>

namespace vchan {

int RunOpen(const std::vector<std::u16string>& args);
int RunSeal(const std::vector<std::u16string>& args);

}  // namespace vchan
