#include "CKeyPath.h"
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
    if (!WriteWholeFile(sFile, regtext::Format(document, regtext::Encoding::Utf16le)))
        Fail(u"cannot write the file '" + sFile + u"'.");
    ReportSuccess();
}

}  // namespace vreg
