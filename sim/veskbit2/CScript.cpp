#include "sim/veskbit2/CScript.h"

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::veskbit {

std::string CScript::LoadStored(const std::vector<WString>& stored)
{
    // Unchanged since a refused write-back: this process goes on where it was,
    // rather than answering the same entries again.
    if (m_oUnstored && m_oUnstored->m_vStored != stored)
        m_oUnstored.reset();
    const std::vector<WString>& texts = m_oUnstored ? m_oUnstored->m_vLeft : stored;
    std::string sProblems;
    m_vTexts = texts;
    m_vEntries.clear();
    m_bInProcess = false;
    for (const WString& sText : m_vTexts) {
        CScriptEntry entry;
        std::string why;
        if (ParseScriptEntry(Utf8FromWide(sText), entry, why)) {
            m_vEntries.emplace_back(entry);
            continue;
        }
        m_vEntries.emplace_back(std::nullopt);
        sProblems += (sProblems.empty() ? "" : "; ") + why;
    }
    return sProblems;
}

void CScript::SetInProcess(std::vector<CScriptEntry> entries)
{
    m_vTexts.clear();
    m_vEntries.assign(entries.begin(), entries.end());
    m_bInProcess = true;
}

std::optional<uint32_t> CScript::Take(ECall eCall)
{
    if (!m_bInProcess) {
        if (_IndexOf(eCall) == m_vEntries.size())
            return std::nullopt;  // no registry access on the hot path
        _Reload();
    }
    const size_t i = _IndexOf(eCall);
    if (i == m_vEntries.size())
        return std::nullopt;
    const uint32_t nAnswer = m_vEntries[i]->m_nAnswer;
    m_vEntries.erase(m_vEntries.begin() + static_cast<std::ptrdiff_t>(i));
    if (!m_bInProcess) {
        const std::vector<WString> before = m_vTexts;
        m_vTexts.erase(m_vTexts.begin() + static_cast<std::ptrdiff_t>(i));
        _Store(before);
    }
    return nAnswer;
}

size_t CScript::_IndexOf(ECall eCall) const
{
    for (size_t i = 0; i < m_vEntries.size(); ++i) {
        if (m_vEntries[i] && m_vEntries[i]->m_eCall == eCall)
            return i;
    }
    return m_vEntries.size();
}

// Another process may have rewritten the script since it was loaded.
void CScript::_Reload()
{
    const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    LoadStored(key.ReadMultiString(kScript).value_or(std::vector<WString>()));
}

void CScript::_Store(const std::vector<WString>& before)
{
    CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), true);
    const LSTATUS nStatus =
        m_vTexts.empty() ? key.Delete(kScript) : key.WriteMultiString(kScript, m_vTexts);
    if (nStatus == ERROR_SUCCESS) {
        m_oUnstored.reset();
        return;
    }
    if (!m_oUnstored)
        m_oUnstored = CUnstored{before, {}};
    m_oUnstored->m_vLeft = m_vTexts;
    DebugLine("veskbit2 simulator: cannot store the rest of the script (Win32 error " +
              std::to_string(nStatus) + "); this process goes on with it alone");
}

}  // namespace vsim::veskbit
