// The commands of the tool. Each returns on success (having said so) and
// throws CToolError otherwise.
#pragma once
#include "CCommandLine.h"

namespace vreg {

void PrintUsage();
void RunQuery(const CCommandLine& line);
void RunAdd(const CCommandLine& line);
void RunDelete(const CCommandLine& line);
void RunImport(const CCommandLine& line);
void RunExport(const CCommandLine& line);

// reg.exe's closing line of a command that changed something.
void ReportSuccess();

}  // namespace vreg
