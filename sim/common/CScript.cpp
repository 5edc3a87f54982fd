#include "sim/common/CScript.h"

#include <cctype>
#include <climits>
#include <memory>

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim {
namespace {

// Long enough for any registry round trip, short enough that a process that
// stopped while holding the mutex cannot freeze the others' scanners.
constexpr DWORD kScriptLockMilliseconds = 2000;

std::string _Lower(std::string sText)
{
    for (char& c : sText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return sText;
}

const CScriptCall* _Find(const CScriptGrammar& grammar, const std::string& sName)
{
    for (size_t i = 0; i < grammar.m_nCalls; ++i) {
        if (_Lower(sName) == grammar.m_pCalls[i].m_pszName)
            return &grammar.m_pCalls[i];
    }
    return nullptr;
}

const CScriptCall* _Find(const CScriptGrammar& grammar, uint32_t nCall)
{
    for (size_t i = 0; i < grammar.m_nCalls; ++i) {
        if (grammar.m_pCalls[i].m_nCall == nCall)
            return &grammar.m_pCalls[i];
    }
    return nullptr;
}

std::string _Names(const CScriptGrammar& grammar)
{
    std::string sNames;
    for (size_t i = 0; i < grammar.m_nCalls; ++i)
        sNames += std::string(i == 0 ? "" : i + 1 == grammar.m_nCalls ? " or " : ", ") +
                  grammar.m_pCalls[i].m_pszName;
    return sNames;
}

bool _ParseAnswer(const CScriptCall& call, const std::string& sText, uint32_t& nAnswer)
{
    if (call.m_nDigits > 0)
        return ParseNumber(sText, call.m_nMax, nAnswer);
    const bool bNegative = !sText.empty() && sText[0] == '-';
    uint32_t nMagnitude = 0;
    const uint32_t nLimit = bNegative ? 0x80000000u : static_cast<uint32_t>(INT32_MAX);
    if (!ParseNumber(bNegative ? sText.substr(1) : sText, nLimit, nMagnitude))
        return false;
    nAnswer = bNegative ? 0u - nMagnitude : nMagnitude;
    return true;
}

struct CHandleCloser {
    void operator()(HANDLE hHandle) const { CloseHandle(hHandle); }
};

// The machine-wide mutex of a family's settings, held while it lives.
class CSettingsLock {
public:
    explicit CSettingsLock(const WString& sFamily)
        : m_pMutex(CreateMutexW(nullptr, FALSE, (W("Global\\veskSimulator.") + sFamily).c_str()))
    {
        if (!m_pMutex)
            return;
        const DWORD nWait = WaitForSingleObject(m_pMutex.get(), kScriptLockMilliseconds);
        m_bHeld = nWait == WAIT_OBJECT_0 || nWait == WAIT_ABANDONED;
    }
    ~CSettingsLock()
    {
        if (m_bHeld)
            ReleaseMutex(m_pMutex.get());
    }
    CSettingsLock(const CSettingsLock&) = delete;
    CSettingsLock& operator=(const CSettingsLock&) = delete;

    bool IsHeld() const { return m_bHeld; }

private:
    std::unique_ptr<void, CHandleCloser> m_pMutex;
    bool m_bHeld = false;
};

}  // namespace

bool ParseScriptEntry(const CScriptGrammar& grammar, const std::string& sText,
                      CScriptEntry& entry, std::string& why)
{
    const size_t nColon = sText.find(':');
    const CScriptCall* pCall = _Find(grammar, grammar.m_nDefault);
    if (nColon != std::string::npos) {
        pCall = _Find(grammar, sText.substr(0, nColon));
        if (!pCall) {
            why = "'" + sText + "': the call before ':' is not " + _Names(grammar);
            return false;
        }
    }
    const std::string sAnswer = nColon == std::string::npos ? sText : sText.substr(nColon + 1);
    uint32_t nAnswer = 0;
    if (!pCall || !_ParseAnswer(*pCall, sAnswer, nAnswer)) {
        const std::string sRange = !pCall || pCall->m_nDigits > 0
                                       ? "0-" + Hex(pCall ? pCall->m_nMax : 0, 1) +
                                             " in decimal or 0x hexadecimal"
                                       : "-2147483648 to 2147483647";
        why = "'" + sText + "': '" + sAnswer + "' is not a number of " + sRange;
        return false;
    }
    entry = {pCall->m_nCall, nAnswer};
    return true;
}

std::string FormatScriptEntry(const CScriptGrammar& grammar, const CScriptEntry& entry)
{
    const CScriptCall* pCall = _Find(grammar, entry.m_nCall);
    if (!pCall)
        return Hex(entry.m_nAnswer, 1);
    const std::string sAnswer = pCall->m_nDigits > 0
                                    ? Hex(entry.m_nAnswer, pCall->m_nDigits)
                                    : std::to_string(static_cast<int32_t>(entry.m_nAnswer));
    return std::string(pCall->m_pszName) + ":" + sAnswer;
}

CScript::CScript(WString sFamily, WString sValue, const CScriptGrammar& grammar)
    : m_sFamily(std::move(sFamily)), m_sValue(std::move(sValue)), m_pGrammar(&grammar)
{
}

void CScript::Clear()
{
    m_vTexts.clear();
    m_vEntries.clear();
    m_bInProcess = false;
    m_oUnstored.reset();
}

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
        if (ParseScriptEntry(*m_pGrammar, Utf8FromWide(sText), entry, why)) {
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

std::optional<uint32_t> CScript::Take(uint32_t nCall)
{
    if (!m_bInProcess)
        return _IndexOf(nCall) == m_vEntries.size() ? std::nullopt : _TakeStored(nCall);
    const size_t i = _IndexOf(nCall);
    if (i == m_vEntries.size())
        return std::nullopt;
    const uint32_t nAnswer = m_vEntries[i]->m_nAnswer;
    m_vEntries.erase(m_vEntries.begin() + static_cast<std::ptrdiff_t>(i));
    return nAnswer;
}

size_t CScript::_IndexOf(uint32_t nCall) const
{
    for (size_t i = 0; i < m_vEntries.size(); ++i) {
        if (m_vEntries[i] && m_vEntries[i]->m_nCall == nCall)
            return i;
    }
    return m_vEntries.size();
}

// Another process may have taken entries since this one loaded the script:
// reload, take and write back while no other process can.
std::optional<uint32_t> CScript::_TakeStored(uint32_t nCall)
{
    const CSettingsLock lock(m_sFamily);
    if (!lock.IsHeld()) {
        DebugLine(Utf8FromWide(m_sFamily) +
                  " simulator: another process holds the script; this answer is not scripted");
        return std::nullopt;
    }
    {
        const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(m_sFamily), false);
        LoadStored(key.ReadMultiString(m_sValue).value_or(std::vector<WString>()));
    }
    const size_t i = _IndexOf(nCall);
    if (i == m_vEntries.size())
        return std::nullopt;
    const uint32_t nAnswer = m_vEntries[i]->m_nAnswer;
    const std::vector<WString> before = m_vTexts;
    m_vEntries.erase(m_vEntries.begin() + static_cast<std::ptrdiff_t>(i));
    m_vTexts.erase(m_vTexts.begin() + static_cast<std::ptrdiff_t>(i));
    _Store(before);
    return nAnswer;
}

void CScript::_Store(const std::vector<WString>& before)
{
    CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(m_sFamily), true);
    const LSTATUS nStatus =
        m_vTexts.empty() ? key.Delete(m_sValue) : key.WriteMultiString(m_sValue, m_vTexts);
    if (nStatus == ERROR_SUCCESS) {
        m_oUnstored.reset();
        return;
    }
    if (!m_oUnstored)
        m_oUnstored = CUnstored{before, {}};
    m_oUnstored->m_vLeft = m_vTexts;
    DebugLine(Utf8FromWide(m_sFamily) + " simulator: cannot store the rest of the script (Win32 error " +
              std::to_string(nStatus) + "); this process goes on with it alone");
}

}  // namespace vsim
