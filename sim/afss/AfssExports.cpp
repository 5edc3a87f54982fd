// The library's exports and the two generations' client objects over the
// one simulator. Nothing may leave them as an exception: the callers expect
// a status.
#include <cstdint>
#include <vector>

#include "drivers/AFSSClient.h"
#include "sim/afss/AfssSimControl.h"
#include "sim/afss/CAfssSim.h"
#include "sim/common/SimExports.h"
#include "sim/common/SimText.h"
#include "support/ThisModule.h"

using namespace AuthenTec::AFSSClientLib;
using vsim::afss::CAfssSim;

namespace {

template <typename TResult, typename TCall>
TResult _Guarded(TResult failure, TCall call)
{
    return vsim::Guarded<CAfssSim>("afss", failure, call);
}

template <typename TCall>
uint32_t _Op(TCall call)
{
    return _Guarded<uint32_t>(kAfssSimStatusFailed, call);
}

template <typename TCall>
void _Control(TCall call)
{
    _Guarded(0, [&](CAfssSim& sim) {
        call(sim);
        return 0;
    });
}

uint32_t _Reserved(uint32_t nSlot)
{
    return _Op([&](CAfssSim& sim) { return sim.Reserved(nSlot); });
}

#define AFSS_RESERVED(n) \
    uint32_t Reserved##n() override { return _Reserved(n); }

#define AFSS_COMMON_SLOTS                                                                                   \
    AFSS_RESERVED(0) AFSS_RESERVED(1) AFSS_RESERVED(2)                                                      \
    uint32_t Startup(AFSSEventCallback pfnCallback, void* pContext, uint32_t nFlags) override                \
    {                                                                                                       \
        return _Op([&](CAfssSim& sim) { return sim.Startup(pfnCallback, pContext, nFlags); });             \
    }                                                                                                       \
    uint32_t ConnectToService(uint32_t nMode, uint32_t nTimeoutSeconds, uint32_t nPort) override            \
    {                                                                                                       \
        return _Op([&](CAfssSim& sim) { return sim.Connect(nMode, nTimeoutSeconds, nPort); });             \
    }                                                                                                       \
    uint32_t Shutdown() override                                                                            \
    {                                                                                                       \
        return _Op([](CAfssSim& sim) { return sim.Shutdown(); });                                           \
    }                                                                                                       \
    AFSS_RESERVED(6) AFSS_RESERVED(7) AFSS_RESERVED(8) AFSS_RESERVED(9)                                     \
    uint32_t RequestSensorImage(AFSSSensorImage* pImage, uint32_t nArg1, uint32_t nArg2, uint32_t nArg3,    \
                                uint32_t nPriority) override                                                \
    {                                                                                                       \
        return _Op([&](CAfssSim& sim) { return sim.Request(pImage, nArg1, nArg2, nArg3, nPriority); });    \
    }                                                                                                       \
    AFSS_RESERVED(11) AFSS_RESERVED(12) AFSS_RESERVED(13) AFSS_RESERVED(14) AFSS_RESERVED(15)               \
    AFSS_RESERVED(16) AFSS_RESERVED(17) AFSS_RESERVED(18) AFSS_RESERVED(19)                                 \
    uint32_t GetSensorDescriptorList(AFSSSensorDescriptorList* pList) override                              \
    {                                                                                                       \
        return _Op([&](CAfssSim& sim) { return sim.List(pList); });                                         \
    }                                                                                                       \
    uint32_t CancelCurrentRequest() override                                                                \
    {                                                                                                       \
        return _Op([](CAfssSim& sim) { return sim.Cancel(); });                                             \
    }

class CClient9 final : public IAFSSClient {
public:
    AFSS_COMMON_SLOTS
    AFSS_RESERVED(21) AFSS_RESERVED(22)
};

class CClient8 final : public IAFSSClient8 {
public:
    AFSS_COMMON_SLOTS
    AFSS_RESERVED(20)
    uint32_t GetSoftwareVersions(AFSSSoftwareVersions* pVersions) override
    {
        return _Op([&](CAfssSim& sim) { return sim.Versions(pVersions); });
    }
};

#undef AFSS_COMMON_SLOTS
#undef AFSS_RESERVED

CClient9 g_client9;
CClient8 g_client8;

}  // namespace

// The library's own module, which its event thread holds while it runs.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD nReason, LPVOID /*pReserved*/)
{
    if (nReason == DLL_PROCESS_ATTACH)
        SetThisModule(hInstance);
    return TRUE;
}

namespace {

const CModuleAttachment g_attachment(DllMain);

}  // namespace

extern "C" {

// Left out of the twin built without it (its export list). The buffer is
// the caller's and stays untouched.
void* __cdecl GetAFSSClientInterface(AFSSBuffer* /*pBuffer*/)
{
    switch (_Guarded<uint32_t>(0, [](CAfssSim& sim) { return sim.Interface(); })) {
    case 8:
        return static_cast<IAFSSClient8*>(&g_client8);
    case 9:
        return static_cast<IAFSSClient*>(&g_client9);
    default:
        return nullptr;
    }
}

void AfssSimReset()
{
    _Control([](CAfssSim& sim) { sim.Reset(); });
}

void AfssSimSetGeneration(uint32_t nGeneration)
{
    _Control([&](CAfssSim& sim) { sim.SetGeneration(nGeneration); });
}

void AfssSimSetNoInterface(uint32_t bNoInterface)
{
    _Control([&](CAfssSim& sim) { sim.SetNoInterface(bNoInterface != 0); });
}

void AfssSimSetSensors(uint32_t nSensors)
{
    _Control([&](CAfssSim& sim) { sim.SetSensors(nSensors); });
}

void AfssSimSetImageSize(uint32_t nWidth, uint32_t nHeight)
{
    _Control([&](CAfssSim& sim) { sim.SetImageSize(nWidth, nHeight); });
}

void AfssSimSetImageFile(const char* pszPath)
{
    const std::string sPath = pszPath ? pszPath : "";
    _Control([&](CAfssSim& sim) { sim.SetImageFile(vsim::WideFromUtf8(sPath)); });
}

void AfssSimSetImageFormat(uint32_t nFormat)
{
    _Control([&](CAfssSim& sim) { sim.SetImageFormat(nFormat); });
}

void AfssSimSetFingerDelay(uint32_t nMilliseconds)
{
    _Control([&](CAfssSim& sim) { sim.SetFingerDelay(nMilliseconds); });
}

void AfssSimSetVersions(const uint32_t anClient[4], const uint32_t anService[4])
{
    if (!anClient || !anService)
        return;
    const vsim::afss::CVersion client = {anClient[0], anClient[1], anClient[2], anClient[3]};
    const vsim::afss::CVersion service = {anService[0], anService[1], anService[2], anService[3]};
    _Control([&](CAfssSim& sim) { sim.SetVersions(client, service); });
}

void AfssSimSetStatus(uint32_t nOp, uint32_t nStatus)
{
    _Control([&](CAfssSim& sim) { sim.SetStatus(nOp, nStatus); });
}

void AfssSimSetFault(uint32_t nFault)
{
    _Control([&](CAfssSim& sim) { sim.SetFault(nFault); });
}

void AfssSimSetSeed(uint32_t nSeed)
{
    _Control([&](CAfssSim& sim) { sim.SetSeed(nSeed); });
}

uint32_t AfssSimQueueEvent(uint32_t nType, uint32_t nCode, const uint32_t* pnPayloadTypes, uint32_t nPayloads)
{
    if (nPayloads > kAfssSimMaxQueuedPayloads || (nPayloads && !pnPayloadTypes))
        return 1;
    vsim::afss::CQueuedEvent event;
    event.m_nType = nType;
    event.m_nCode = nCode;
    if (nPayloads)
        event.m_vPayloadTypes.assign(pnPayloadTypes, pnPayloadTypes + nPayloads);
    return _Guarded<uint32_t>(1, [&](CAfssSim& sim) -> uint32_t {
        sim.QueueEvent(std::move(event));
        return 0;
    });
}

uint32_t AfssSimSetScript(const char* const* ppszEntries, uint32_t nCount)
{
    std::vector<vsim::CScriptEntry> entries;
    if (const uint32_t nBad = vsim::ParseScriptTexts(vsim::afss::ScriptGrammar(), ppszEntries, nCount, entries))
        return nBad;
    return _Guarded<uint32_t>(1, [&](CAfssSim& sim) -> uint32_t {
        sim.SetScript(std::move(entries));
        return 0;
    });
}

void AfssSimGetStats(CAfssSimStats* pStats)
{
    _Control([&](CAfssSim& sim) {
        if (pStats)
            *pStats = sim.GetStats();
    });
}

uint32_t AfssSimWaitForRequest(uint32_t nTimeoutMs)
{
    return _Guarded<uint32_t>(0, [&](CAfssSim& sim) -> uint32_t { return sim.WaitForRequest(nTimeoutMs); });
}

uint32_t AfssSimPlaceFinger()
{
    return _Guarded<uint32_t>(0, [](CAfssSim& sim) -> uint32_t { return sim.PlaceFinger(); });
}

uint32_t AfssSimWaitForEvents(uint32_t nTimeoutMs)
{
    return _Guarded<uint32_t>(0, [&](CAfssSim& sim) -> uint32_t { return sim.WaitForEvents(nTimeoutMs); });
}

uint32_t AfssSimGetLastProblem(char* pszBuffer, uint32_t nSize)
{
    return _Guarded<uint32_t>(0, [&](CAfssSim& sim) {
        return vsim::CopyProblem(sim.GetLastProblem(), pszBuffer, nSize);
    });
}

}  // extern "C"
