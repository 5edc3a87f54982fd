// The console, under this tool's names; the program behind the entry point.
#pragma once
#include <string>
#include <vector>

#include "Console.h"

namespace vadmin {

using vtool::WriteErr;
using vtool::WriteOut;

int Run(const std::vector<std::u16string>& args);

}  // namespace vadmin
