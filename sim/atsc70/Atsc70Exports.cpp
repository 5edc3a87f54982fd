// The library's exports. Nothing may leave them as an exception: the callers
// are C, and a closed library answers with a status. Each entry point is
// counted while it runs, so that an unload or ATClose under a call shows.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "drivers/Atsc70.h"
#include "sim/atsc70/Atsc70SimControl.h"
#include "sim/atsc70/CAtsc70Sim.h"
#include "sim/common/SimExports.h"
#include "sim/common/SimText.h"

using vsim::atsc70::CAtsc70Sim;

namespace {

template <typename TResult, typename TCall>
TResult _Guarded(TResult failure, TCall call)
{
    return vsim::Guarded<CAtsc70Sim>("atsc70", failure, call);
}

// An entry point: counted while it runs.
template <typename TResult, typename TCall>
TResult _Entry(TResult failure, TCall call)
{
    CAtsc70Sim& sim = CAtsc70Sim::Instance();
    sim.Enter();
    const TResult result = _Guarded<TResult>(failure, call);
    sim.Leave();
    return result;
}

template <typename TCall>
AT_STATUS _Call(TCall call)
{
    return _Entry<AT_STATUS>(vsim::atsc70::kStatusBadParameter, call);
}

template <typename TCall>
void _Control(TCall call)
{
    _Guarded(0, [&](CAtsc70Sim& sim) {
        call(sim);
        return 0;
    });
}

}  // namespace

extern "C" {

AT_STATUS WINAPI ATInit()
{
    return _Call([](CAtsc70Sim& sim) { return sim.Init(); });
}

AT_STATUS WINAPI ATClose()
{
    return _Call([](CAtsc70Sim& sim) { return sim.Close(); });
}

AT_STATUS WINAPI ATOpenSensorW(const WCHAR* pszName, uint32_t nMode)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.OpenSensor(pszName, nMode); });
}

AT_STATUS WINAPI ATCloseSensor()
{
    return _Call([](CAtsc70Sim& sim) { return sim.CloseSensor(); });
}

AT_STATUS WINAPI ATGetNextSensorNameW(WCHAR* pszName)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.NextSensorName(pszName); });
}

AT_STATUS WINAPI ATBeginAcquireImage(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.Begin(a, b, c, d); });
}

AT_STATUS WINAPI ATEndAcquireImage(uint8_t* pSwipe)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.End(pSwipe); });
}

AT_STATUS WINAPI ATCreateFullImage(const uint8_t* pSwipe, uint16_t* pnWidth, uint16_t* pnHeight,
                                   uint8_t* pImage)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.CreateFull(pSwipe, pnWidth, pnHeight, pImage); });
}

AT_STATUS WINAPI ATGetMaxFullImageSize(const uint8_t* pSwipe, uint32_t* pnBytes)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.MaxFullSize(pSwipe, pnBytes); });
}

AT_STATUS WINAPI ATGetSwipeInfo(const uint8_t* pSwipe, uint32_t* pnFirst, uint32_t* pnSecond,
                                uint32_t* pnThird)
{
    return _Call([&](CAtsc70Sim& sim) { return sim.SwipeInfo(pSwipe, pnFirst, pnSecond, pnThird); });
}

uint32_t WINAPI ATGetImageBufferSize()
{
    return _Entry<uint32_t>(0, [](CAtsc70Sim& sim) { return sim.BufferSize(); });
}

void WINAPI ATReleaseMessage(const AT_MESSAGE* pMessage)
{
    _Entry(0, [&](CAtsc70Sim& sim) {
        sim.ReleaseMessage(pMessage);
        return 0;
    });
}

// Left out of the twin built without it (its export list).
const AT_MESSAGE* WINAPI ATGetNextMessage()
{
    return _Entry<const AT_MESSAGE*>(nullptr, [](CAtsc70Sim& sim) { return sim.NextMessage(); });
}

void Atsc70SimReset()
{
    _Control([](CAtsc70Sim& sim) { sim.Reset(); });
}

void Atsc70SimSetSensors(uint32_t nSensors)
{
    _Control([&](CAtsc70Sim& sim) { sim.SetSensors(nSensors); });
}

void Atsc70SimSetSensorName(const char* pszName, int32_t nStatus)
{
    const std::string sName = pszName ? pszName : "";
    _Control([&](CAtsc70Sim& sim) { sim.SetSensorName(vsim::WideFromUtf8(sName), nStatus); });
}

void Atsc70SimSetImageSize(uint32_t nWidth, uint32_t nHeight)
{
    _Control([&](CAtsc70Sim& sim) { sim.SetImageSize(nWidth, nHeight); });
}

void Atsc70SimSetImageFile(const char* pszPath)
{
    const std::string sPath = pszPath ? pszPath : "";
    _Control([&](CAtsc70Sim& sim) { sim.SetImageFile(vsim::WideFromUtf8(sPath)); });
}

void Atsc70SimSetFingerDelay(uint32_t nMilliseconds)
{
    _Control([&](CAtsc70Sim& sim) { sim.SetFingerDelay(nMilliseconds); });
}

void Atsc70SimSetLeaveDelay(uint32_t nMilliseconds)
{
    _Control([&](CAtsc70Sim& sim) { sim.SetLeaveDelay(nMilliseconds); });
}

void Atsc70SimSetFault(uint32_t nFault)
{
    _Control([&](CAtsc70Sim& sim) { sim.SetFault(nFault); });
}

uint32_t Atsc70SimSetScript(const char* const* ppszEntries, uint32_t nCount)
{
    std::vector<vsim::CScriptEntry> entries;
    if (const uint32_t nBad = vsim::ParseScriptTexts(vsim::atsc70::ScriptGrammar(), ppszEntries, nCount, entries))
        return nBad;
    return _Guarded<uint32_t>(1, [&](CAtsc70Sim& sim) -> uint32_t {
        sim.SetScript(std::move(entries));
        return 0;
    });
}

void Atsc70SimGetStats(CAtsc70SimStats* pStats)
{
    _Control([&](CAtsc70Sim& sim) {
        if (pStats)
            *pStats = sim.GetStats();
    });
}

uint32_t Atsc70SimGetLastProblem(char* pszBuffer, uint32_t nSize)
{
    return _Guarded<uint32_t>(0, [&](CAtsc70Sim& sim) {
        return vsim::CopyProblem(sim.GetLastProblem(), pszBuffer, nSize);
    });
}

}  // extern "C"
