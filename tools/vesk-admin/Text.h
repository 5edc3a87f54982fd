// The tools' text conversions, under this tool's names.
#pragma once
#include "ToolText.h"

namespace vadmin {
using vtool::Decimal;
using vtool::EqualsNoCase;
using vtool::FromUtf8;
using vtool::FromWide;
using vtool::ToUpperAscii;
using vtool::ToUtf8;
using vtool::ToWide;
}  // namespace vadmin
