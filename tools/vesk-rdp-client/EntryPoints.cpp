#include "EntryPoints.h"

#include <atomic>

namespace vrdpc {
namespace {

std::atomic<CVirtualChannels*> g_pChannels{nullptr};

UINT VCAPITYPE ChannelInit(LPVOID* ppInitHandle, PCHANNEL_DEF pChannel, INT channelCount,
                           ULONG /*versionRequested: every add-in gets the classic interface*/,
                           PCHANNEL_INIT_EVENT_FN pChannelInitEventProc)
{
    CVirtualChannels* const pChannels = g_pChannels.load();
    return pChannels ? pChannels->Init(ppInitHandle, pChannel, channelCount, pChannelInitEventProc)
                     : CHANNEL_RC_NOT_IN_VIRTUALCHANNELENTRY;
}

UINT VCAPITYPE ChannelOpen(LPVOID pInitHandle, LPDWORD pOpenHandle, PCHAR pChannelName,
                           PCHANNEL_OPEN_EVENT_FN pChannelOpenEventProc)
{
    CVirtualChannels* const pChannels = g_pChannels.load();
    return pChannels ? pChannels->Open(pInitHandle, pOpenHandle, pChannelName, pChannelOpenEventProc)
                     : CHANNEL_RC_NOT_INITIALIZED;
}

UINT VCAPITYPE ChannelClose(DWORD openHandle)
{
    CVirtualChannels* const pChannels = g_pChannels.load();
    return pChannels ? pChannels->Close(openHandle) : CHANNEL_RC_NOT_INITIALIZED;
}

UINT VCAPITYPE ChannelWrite(DWORD openHandle, LPVOID pData, ULONG dataLength, LPVOID pUserData)
{
    CVirtualChannels* const pChannels = g_pChannels.load();
    return pChannels ? pChannels->Write(openHandle, pData, dataLength, pUserData)
                     : CHANNEL_RC_NOT_INITIALIZED;
}

}  // namespace

CHANNEL_ENTRY_POINTS MakeEntryPoints()
{
    CHANNEL_ENTRY_POINTS points{};
    points.cbSize = sizeof points;
    points.protocolVersion = VIRTUAL_CHANNEL_VERSION_WIN2000;
    points.pVirtualChannelInit = &ChannelInit;
    points.pVirtualChannelOpen = &ChannelOpen;
    points.pVirtualChannelClose = &ChannelClose;
    points.pVirtualChannelWrite = &ChannelWrite;
    return points;
}

CEntryPointsScope::CEntryPointsScope(CVirtualChannels& channels) { g_pChannels = &channels; }

CEntryPointsScope::~CEntryPointsScope() { g_pChannels = nullptr; }

}  // namespace vrdpc
