// The pending scripted answers, from the registry or set in process. Each
// call takes the first entry meant for it; entries for other calls wait.
// Entries from the registry are written back as they are used, so that other
// processes see the script advance.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "sim/veskbit2/VeskBitSettings.h"

namespace vsim::veskbit {

class CScript {
public:
    // Replaces the script with the stored texts; returns a phrase about
    // malformed entries (they are kept but never answer), or "".
    std::string LoadStored(const std::vector<WString>& texts);
    void SetInProcess(std::vector<CScriptEntry> entries);
    bool IsInProcess() const { return m_bInProcess; }
    void Clear() { *this = CScript(); }

    // The next answer for eCall, taken off the script.
    std::optional<uint32_t> Take(ECall eCall);

private:
    // A write-back the registry refused (no write rights to the machine's
    // settings): what was stored then, and what this process has left of it.
    struct CUnstored {
        std::vector<WString> m_vStored;
        std::vector<WString> m_vLeft;
    };

    size_t _IndexOf(ECall eCall) const;  // the size when there is none
    void _Reload();
    void _Store(const std::vector<WString>& before);

    std::vector<WString> m_vTexts;  // as stored; empty for an in-process script
    std::vector<std::optional<CScriptEntry>> m_vEntries;
    bool m_bInProcess = false;
    std::optional<CUnstored> m_oUnstored;
};

}  // namespace vsim::veskbit
