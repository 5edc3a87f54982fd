#include "CConsole.h"

#include "Console.h"

namespace vcap {

void CConsole::Out(const std::u16string& sLine)
{
    const CCriticalSectionLock guard(m_lines);
    vtool::WriteOut(sLine + u'\n');
}

void CConsole::Err(const std::u16string& sLine)
{
    const CCriticalSectionLock guard(m_lines);
    vtool::WriteErr(sLine + u'\n');
}

}  // namespace vcap
