// The library's exports. Nothing may leave them as an exception: the callers
// are C, and a closed library answers with a status.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "drivers/VeskBit2.h"
#include "sim/common/SimExports.h"
#include "sim/common/SimText.h"
#include "sim/veskbit2/CVeskBitSim.h"
#include "sim/veskbit2/VeskBitSimControl.h"

using vsim::veskbit::CVeskBitSim;

namespace {

template <typename TResult, typename TCall>
TResult _Guarded(TResult nFailure, TCall call)
{
    return vsim::Guarded<CVeskBitSim>("veskbit2", nFailure, call);
}

template <typename TCall>
void _Control(TCall call)
{
    _Guarded(0, [&](CVeskBitSim& sim) {
        call(sim);
        return 0;
    });
}

}  // namespace

extern "C" {

uint32_t WINAPI VeskBitDeviceAttached()
{
    return _Guarded<uint32_t>(0, [](CVeskBitSim& sim) { return sim.Attached(); });
}

uint16_t WINAPI VeskBitOpenWithPriorityEx(uint32_t* handleCell, uint32_t priority,
                                          uint32_t reserved, uint32_t width, uint32_t height,
                                          uint32_t option)
{
    return _Guarded<uint16_t>(kVeskBitEnd, [&](CVeskBitSim& sim) {
        return sim.Open(handleCell, priority, reserved, width, height, option);
    });
}

uint16_t WINAPI VeskBitGetImage(uint32_t* handleCell, uint8_t* block)
{
    return _Guarded<uint16_t>(kVeskBitEnd,
                              [&](CVeskBitSim& sim) { return sim.GetImage(handleCell, block); });
}

uint16_t WINAPI VeskBitClose(uint32_t* handleCell)
{
    return _Guarded<uint16_t>(kVeskBitEnd, [&](CVeskBitSim& sim) { return sim.Close(handleCell); });
}

void VeskBitSimReset()
{
    _Control([](CVeskBitSim& sim) { sim.Reset(); });
}

void VeskBitSimSetAttached(int bAttached)
{
    _Control([&](CVeskBitSim& sim) { sim.SetAttached(bAttached != 0); });
}

void VeskBitSimSetSeed(uint32_t nSeed)
{
    _Control([&](CVeskBitSim& sim) { sim.SetSeed(nSeed); });
}

void VeskBitSimSetImageFile(const char* pszPath)
{
    const std::string sPath = pszPath ? pszPath : "";
    _Control([&](CVeskBitSim& sim) { sim.SetImageFile(vsim::WideFromUtf8(sPath)); });
}

void VeskBitSimSetFingerDelay(uint32_t nMilliseconds)
{
    _Control([&](CVeskBitSim& sim) { sim.SetFingerDelay(nMilliseconds); });
}

uint32_t VeskBitSimSetScript(const char* const* ppszEntries, uint32_t nCount)
{
    std::vector<vsim::CScriptEntry> entries;
    if (const uint32_t nBad = vsim::ParseScriptTexts(vsim::veskbit::ScriptGrammar(), ppszEntries, nCount, entries))
        return nBad;
    return _Guarded<uint32_t>(1, [&](CVeskBitSim& sim) -> uint32_t {
        sim.SetScript(std::move(entries));
        return 0;
    });
}

void VeskBitSimGetStats(CVeskBitSimStats* pStats)
{
    _Control([&](CVeskBitSim& sim) {
        if (pStats)
            *pStats = sim.GetStats();
    });
}

uint32_t VeskBitSimGetLastProblem(char* pszBuffer, uint32_t nSize)
{
    return _Guarded<uint32_t>(0, [&](CVeskBitSim& sim) {
        return vsim::CopyProblem(sim.GetLastProblem(), pszBuffer, nSize);
    });
}

}  // extern "C"
