// The console and the entry point: the only place where the tool knows which
// platform it runs on.
#pragma once
#include <string>
#include <vector>

namespace vadmin {

void WriteOut(const std::u16string& sText);
void WriteErr(const std::u16string& sText);

// The whole program after the entry point has converted the arguments;
// returns the exit status.
int Run(const std::vector<std::u16string>& args);

}  // namespace vadmin
