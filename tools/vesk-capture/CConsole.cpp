#include "CConsole.h"

#include "Console.h"

namespace vcap {

void CConsole::Out(const std::u16string& sLine)
{
    const std::lock_guard<std::mutex> guard(m_mtxLines);
    vtool::WriteOut(sLine + u'\n');
}

void CConsole::Err(const std::u16string& sLine)
{
    const std::lock_guard<std::mutex> guard(m_mtxLines);
    vtool::WriteErr(sLine + u'\n');
}

}  // namespace vcap
