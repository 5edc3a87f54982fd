#include "CKeyPath.h"
#include "Files.h"
#include "CToolError.h"
#include "Commands.h"
#include "KeyTree.h"
#include "Platform.h"

namespace vreg {

void RunExport(const CCommandLine& line)
{
    const CKeyPath path = KeyPathFromArgument(line.m_vPositional[0]);
    const std::u16string& sFile = line.m_vPositional[1];
    regtext::Document document;
    ReadTree(path, line.m_nView, document);
    const vtool::CWriteResult result = vtool::WriteFileSafely(
        sFile, regtext::Format(document, regtext::Encoding::Utf16le), vtool::EExisting::Replace);
    if (result.m_eOutcome != vtool::CWriteResult::EOutcome::Written)
        Fail(result.m_sProblem);
    ReportSuccess();
}

}  // namespace vreg
