// The tools' error line, under this tool's names.
#pragma once
#include "ToolError.h"

namespace vadmin {
using vtool::CToolError;
using vtool::Fail;
}  // namespace vadmin
