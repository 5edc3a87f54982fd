// What a simulator last refused: kept for its tests' in-process control and
// said on the debugger's output, as closed libraries report what they refuse.
#pragma once
#include <string>
#include <vector>

#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vsim {

class CProblemLog {
public:
    explicit CProblemLog(std::string sSimulator) : m_sSimulator(std::move(sSimulator)) {}

    void Report(const std::string& sProblem);
    const std::string& Last() const { return m_sLast; }
    void Clear() { m_sLast.clear(); }

    // Replaces the script with the stored texts; malformed entries are
    // reported once, not at every call that rereads the settings.
    void LoadScript(CScript& script, const std::vector<WString>& texts);

private:
    std::string m_sSimulator;
    std::string m_sLast;
};

}  // namespace vsim
