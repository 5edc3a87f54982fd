// The library's exports. Nothing may leave them as an exception: the callers
// are C, and a closed library answers with a status.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "drivers/Bsapi.h"
#include "sim/bsapi/BsapiSimControl.h"
#include "sim/bsapi/CBsapiSim.h"
#include "sim/common/SimExports.h"
#include "sim/common/SimText.h"

using vsim::bsapi::CBsapiSim;

namespace {

template <typename TResult, typename TCall>
TResult _Guarded(TResult nFailure, TCall call)
{
    return vsim::Guarded<CBsapiSim>("bsapi", nFailure, call);
}

template <typename TCall>
ABS_STATUS _Call(TCall call)
{
    return _Guarded<ABS_STATUS>(vsim::bsapi::kStatusBadParameter, call);
}

template <typename TCall>
void _Control(TCall call)
{
    _Guarded(0, [&](CBsapiSim& sim) {
        call(sim);
        return 0;
    });
}

}  // namespace

extern "C" {

ABS_STATUS WINAPI ABSInitialize()
{
    return _Call([](CBsapiSim& sim) { return sim.Initialize(); });
}

ABS_STATUS WINAPI ABSTerminate()
{
    return _Call([](CBsapiSim& sim) { return sim.Terminate(); });
}

ABS_STATUS WINAPI ABSEnumerateDevices(const char* pszDsnFilter, ABS_DEVICE_LIST** ppList)
{
    return _Call([&](CBsapiSim& sim) { return sim.Enumerate(pszDsnFilter, ppList); });
}

ABS_STATUS WINAPI ABSOpen(const char* pszDsn, ABS_CONNECTION* phConnection)
{
    return _Call([&](CBsapiSim& sim) { return sim.Open(pszDsn, phConnection); });
}

ABS_STATUS WINAPI ABSClose(ABS_CONNECTION hConnection)
{
    return _Call([&](CBsapiSim& sim) { return sim.Close(hConnection); });
}

ABS_STATUS WINAPI ABSGetDeviceProperty(ABS_CONNECTION hConnection, uint32_t nPropertyId,
                                       ABS_DATA** ppData)
{
    return _Call([&](CBsapiSim& sim) { return sim.GetProperty(hConnection, nPropertyId, ppData); });
}

ABS_STATUS WINAPI ABSRawGrab(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation,
                             uint32_t nPurpose, const ABS_GRAB_FORMAT* pFormat,
                             ABS_IMAGE** ppImage, void** ppSecondResult, uint32_t nFlags)
{
    return _Call([&](CBsapiSim& sim) {
        return sim.RawGrab(hConnection, pOperation, nPurpose, pFormat, ppImage, ppSecondResult,
                           nFlags);
    });
}

ABS_STATUS WINAPI ABSCancelOperation(ABS_CONNECTION hConnection, uint32_t nOperationId)
{
    return _Call([&](CBsapiSim& sim) { return sim.Cancel(hConnection, nOperationId); });
}

ABS_STATUS WINAPI ABSFree(void* pBuffer)
{
    return _Call([&](CBsapiSim& sim) { return sim.Free(pBuffer); });
}

void BsapiSimReset()
{
    _Control([](CBsapiSim& sim) { sim.Reset(); });
}

void BsapiSimSetDevices(uint32_t nDevices)
{
    _Control([&](CBsapiSim& sim) { sim.SetDevices(nDevices); });
}

void BsapiSimSetDeviceVersion(uint32_t nVersion)
{
    _Control([&](CBsapiSim& sim) { sim.SetDeviceVersion(nVersion); });
}

void BsapiSimSetNativeSize(uint32_t nWidth, uint32_t nHeight)
{
    _Control([&](CBsapiSim& sim) { sim.SetNativeSize(nWidth, nHeight); });
}

void BsapiSimSetSeed(uint32_t nSeed)
{
    _Control([&](CBsapiSim& sim) { sim.SetSeed(nSeed); });
}

void BsapiSimSetImageFile(const char* pszPath)
{
    const std::string sPath = pszPath ? pszPath : "";
    _Control([&](CBsapiSim& sim) { sim.SetImageFile(vsim::WideFromUtf8(sPath)); });
}

void BsapiSimSetFingerDelay(uint32_t nMilliseconds)
{
    _Control([&](CBsapiSim& sim) { sim.SetFingerDelay(nMilliseconds); });
}

void BsapiSimSetFault(uint32_t nFault)
{
    _Control([&](CBsapiSim& sim) { sim.SetFault(nFault); });
}

void BsapiSimSetSuspended(int bSuspended)
{
    _Control([&](CBsapiSim& sim) { sim.SetSuspended(bSuspended != 0); });
}

uint32_t BsapiSimSendMessage(uint32_t nMessage)
{
    return _Guarded<uint32_t>(0, [&](CBsapiSim& sim) { return sim.SendMessage(nMessage); });
}

uint32_t BsapiSimSetScript(const char* const* ppszEntries, uint32_t nCount)
{
    std::vector<vsim::CScriptEntry> entries;
    if (const uint32_t nBad = vsim::ParseScriptTexts(vsim::bsapi::ScriptGrammar(), ppszEntries, nCount, entries))
        return nBad;
    return _Guarded<uint32_t>(1, [&](CBsapiSim& sim) -> uint32_t {
        sim.SetScript(std::move(entries));
        return 0;
    });
}

void BsapiSimGetStats(CBsapiSimStats* pStats)
{
    _Control([&](CBsapiSim& sim) {
        if (pStats)
            *pStats = sim.GetStats();
    });
}

uint32_t BsapiSimGetLastProblem(char* pszBuffer, uint32_t nSize)
{
    return _Guarded<uint32_t>(0, [&](CBsapiSim& sim) {
        return vsim::CopyProblem(sim.GetLastProblem(), pszBuffer, nSize);
    });
}

}  // extern "C"
