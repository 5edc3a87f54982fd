// The tool's commands: each gets the arguments after its name and returns
// the exit status; bad arguments throw CToolError.
#pragma once
#include <string>
#include <vector>

namespace vcap {

int RunDetect(const std::vector<std::u16string>& args);
int RunCapture(const std::vector<std::u16string>& args);

}  // namespace vcap
