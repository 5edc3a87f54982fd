#include "sim/common/SimExports.h"

#include <algorithm>
#include <cstring>

namespace vsim {

uint32_t ParseScriptTexts(const CScriptGrammar& grammar, const char* const* ppszEntries,
                          uint32_t nCount, std::vector<CScriptEntry>& entries)
{
    if (nCount > 0 && !ppszEntries)
        return 1;
    entries.assign(nCount, CScriptEntry());
    for (uint32_t i = 0; i < nCount; ++i) {
        std::string why;
        if (!ppszEntries[i] || !ParseScriptEntry(grammar, ppszEntries[i], entries[i], why))
            return i + 1;
    }
    return 0;
}

uint32_t CopyProblem(const std::string& sProblem, char* pszBuffer, uint32_t nSize)
{
    if (pszBuffer && nSize > 0) {
        const size_t nCopied = std::min<size_t>(sProblem.size(), nSize - 1);
        std::memcpy(pszBuffer, sProblem.data(), nCopied);
        pszBuffer[nCopied] = '\0';
    }
    return static_cast<uint32_t>(sProblem.size());
}

}  // namespace vsim
