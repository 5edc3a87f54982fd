// A simulator's scripted answers, from the registry or set in process. Each
// call takes the first entry meant for it; entries for other calls wait.
// Entries from the registry are written back as they are used, so that other
// processes see the script advance; reading and writing back is one step
// under a machine-wide mutex, so two processes never take the same entry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Win32.h"

namespace vsim {

// One call a family's script can answer: its name in "[call:]answer", the
// largest answer, and whether answers are signed (typed "-5012").
struct CScriptCall {
    uint32_t m_nCall;
    const char* m_pszName;
    uint32_t m_nMax;
    int m_nDigits;  // of the canonical hexadecimal spelling; 0 for signed decimal
};

struct CScriptGrammar {
    const CScriptCall* m_pCalls;
    size_t m_nCalls;
    uint32_t m_nDefault;  // the call of an entry without "call:"
};

struct CScriptEntry {
    uint32_t m_nCall = 0;
    uint32_t m_nAnswer = 0;  // a signed answer in two's complement
};

// "[call:]answer", the call in any case, the answer decimal or 0x hexadecimal.
bool ParseScriptEntry(const CScriptGrammar& grammar, const std::string& sText,
                      CScriptEntry& entry, std::string& why);
// The canonical spelling, e.g. "open:0x0123" or "grab:-5012".
std::string FormatScriptEntry(const CScriptGrammar& grammar, const CScriptEntry& entry);

class CScript {
public:
    // The script of HKLM\...\Simulator\<family>, value sValue.
    CScript(WString sFamily, WString sValue, const CScriptGrammar& grammar);

    // Replaces the script with the stored texts; returns a phrase about
    // malformed entries (they are kept but never answer), or "".
    std::string LoadStored(const std::vector<WString>& texts);
    void SetInProcess(std::vector<CScriptEntry> entries);
    bool IsInProcess() const { return m_bInProcess; }
    void Clear();

    // The next answer for nCall, taken off the script.
    std::optional<uint32_t> Take(uint32_t nCall);

private:
    // A write-back the registry refused (no write rights to the machine's
    // settings): what was stored then, and what this process has left of it.
    struct CUnstored {
        std::vector<WString> m_vStored;
        std::vector<WString> m_vLeft;
    };

    size_t _IndexOf(uint32_t nCall) const;  // the size when there is none
    std::optional<uint32_t> _TakeStored(uint32_t nCall);
    void _Store(const std::vector<WString>& before);

    WString m_sFamily;
    WString m_sValue;
    const CScriptGrammar* m_pGrammar;
    std::vector<WString> m_vTexts;  // as stored; empty for an in-process script
    std::vector<std::optional<CScriptEntry>> m_vEntries;
    bool m_bInProcess = false;
    std::optional<CUnstored> m_oUnstored;
};

}  // namespace vsim
