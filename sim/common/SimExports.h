// What every simulator's exports share: no exception crosses the library's
// edge (its callers are C, and a closed library answers with a status), and
// scripts and problems pass as plain C strings, so that nothing allocated on
// one side of the edge is freed on the other.
#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "sim/common/CScript.h"
#include "sim/common/SimText.h"

namespace vsim {

// call(TSim::Instance()), or nFailure with a debugger line when it throws.
template <class TSim, class TResult, class TCall>
TResult Guarded(const char* pszSimulator, TResult nFailure, TCall call)
{
    try {
        return call(TSim::Instance());
    } catch (const std::exception& error) {
        DebugLine(std::string(pszSimulator) + " simulator: " + error.what());
    } catch (...) {
        DebugLine(std::string(pszSimulator) + " simulator: unknown failure");
    }
    return nFailure;
}

// Script entries given as texts: 0 with every entry parsed, or 1 + the index
// of the first malformed one (1 for a missing list).
uint32_t ParseScriptTexts(const CScriptGrammar& grammar, const char* const* ppszEntries,
                          uint32_t nCount, std::vector<CScriptEntry>& entries);

// sProblem cut to nSize - 1 bytes and terminated; the full length.
uint32_t CopyProblem(const std::string& sProblem, char* pszBuffer, uint32_t nSize);

}  // namespace vsim
