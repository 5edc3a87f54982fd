#include "sim/common/CProblemLog.h"

#include "sim/common/SimText.h"

namespace vsim {

void CProblemLog::Report(const std::string& sProblem)
{
    m_sLast = sProblem;
    DebugLine(m_sSimulator + " simulator: " + sProblem);
}

void CProblemLog::LoadScript(CScript& script, const std::vector<WString>& texts)
{
    const std::string sProblems = script.LoadStored(texts);
    const std::string sProblem = "script entries ignored: " + sProblems;
    if (!sProblems.empty() && sProblem != m_sLast)
        Report(sProblem);
}

}  // namespace vsim
