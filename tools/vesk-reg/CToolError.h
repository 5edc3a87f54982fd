// The tools' error line, under this tool's names.
#pragma once
#include "ToolError.h"

namespace vreg {
using vtool::CToolError;
using vtool::Fail;
}  // namespace vreg
