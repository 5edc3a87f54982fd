// libvesktsc-client.so: what FreeRDP 2 loads for /vc:vesktsc, a thin loader
// of the library (libveskSensor.so, found beside this file's real path) that
// hands it the classic table a Windows client gives. Two things of FreeRDP
// are bridged here:
// - its classic VirtualChannelWrite finds the channel through a thread-local
//   table, so a write from the scanner's thread fails; the extended
//   functions take the init handle instead and queue from any thread, so the
//   loader takes VirtualChannelEntryEx and offers the classic calls on top;
// - its VirtualChannelInit never sets CHANNEL_OPTION_INITIALIZED in the
//   CHANNEL_DEF as a Windows client does on success; the add-in waits for it.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "pal/wts/channel.h"

namespace {

typedef VOID VCAPITYPE InitEventEx(LPVOID pUser, LPVOID pInitHandle, UINT nEvent, LPVOID pData,
                                   UINT nLength);
typedef VOID VCAPITYPE OpenEventEx(LPVOID pUser, DWORD nOpenHandle, UINT nEvent, LPVOID pData,
                                   UINT32 nLength, UINT32 nTotal, UINT32 nFlags);
struct SEntryPointsEx {
    DWORD cbSize;
    DWORD protocolVersion;
    UINT(VCAPITYPE* pfnInitEx)(LPVOID pUser, LPVOID pClientContext, LPVOID pInitHandle,
                               PCHANNEL_DEF pChannel, INT nCount, ULONG nVersion, InitEventEx* pfnEvent);
    UINT(VCAPITYPE* pfnOpenEx)(LPVOID pInitHandle, LPDWORD pOpenHandle, PCHAR pszName, OpenEventEx* pfnEvent);
    UINT(VCAPITYPE* pfnCloseEx)(LPVOID pInitHandle, DWORD nOpenHandle);
    UINT(VCAPITYPE* pfnWriteEx)(LPVOID pInitHandle, DWORD nOpenHandle, LPVOID pData, ULONG nLength,
                                LPVOID pUserData);
};

// One channel per client process: FreeRDP loads an add-in once.
SEntryPointsEx g_client{};
LPVOID g_pInitHandle = nullptr;
PCHANNEL_INIT_EVENT_FN g_pfnInitEvent = nullptr;
PCHANNEL_OPEN_EVENT_FN g_pfnOpenEvent = nullptr;

VOID VCAPITYPE OnInitEvent(LPVOID, LPVOID pInitHandle, UINT nEvent, LPVOID pData, UINT nLength)
{
    if (g_pfnInitEvent)
        g_pfnInitEvent(pInitHandle, nEvent, pData, nLength);
}

VOID VCAPITYPE OnOpenEvent(LPVOID, DWORD nOpenHandle, UINT nEvent, LPVOID pData, UINT32 nLength,
                           UINT32 nTotal, UINT32 nFlags)
{
    if (g_pfnOpenEvent)
        g_pfnOpenEvent(nOpenHandle, nEvent, pData, nLength, nTotal, nFlags);
}

UINT VCAPITYPE Init(LPVOID* ppInitHandle, PCHANNEL_DEF pChannel, INT nCount, ULONG nVersion,
                    PCHANNEL_INIT_EVENT_FN pfnEvent)
{
    if (!ppInitHandle)
        return CHANNEL_RC_BAD_INIT_HANDLE;
    g_pfnInitEvent = pfnEvent;
    const UINT nResult = g_client.pfnInitEx(nullptr, nullptr, g_pInitHandle, pChannel, nCount, nVersion,
                                            &OnInitEvent);
    if (nResult != CHANNEL_RC_OK)
        return nResult;
    *ppInitHandle = g_pInitHandle;
    for (INT i = 0; pChannel && i < nCount; ++i)
        pChannel[i].options |= CHANNEL_OPTION_INITIALIZED;
    return nResult;
}

UINT VCAPITYPE Open(LPVOID pInitHandle, LPDWORD pOpenHandle, PCHAR pszName, PCHANNEL_OPEN_EVENT_FN pfnEvent)
{
    g_pfnOpenEvent = pfnEvent;
    return g_client.pfnOpenEx(pInitHandle, pOpenHandle, pszName, &OnOpenEvent);
}

UINT VCAPITYPE Close(DWORD nOpenHandle) { return g_client.pfnCloseEx(g_pInitHandle, nOpenHandle); }

UINT VCAPITYPE Write(DWORD nOpenHandle, LPVOID pData, ULONG nLength, LPVOID pUserData)
{
    return g_client.pfnWriteEx(g_pInitHandle, nOpenHandle, pData, nLength, pUserData);
}

PVIRTUALCHANNELENTRY LibraryEntry()
{
    Dl_info self{};
    char szReal[PATH_MAX];
    if (!dladdr(reinterpret_cast<void*>(&LibraryEntry), &self) || !self.dli_fname ||
        !realpath(self.dli_fname, szReal))
        return nullptr;
    std::string sLibrary(szReal);
    sLibrary = sLibrary.substr(0, sLibrary.rfind('/') + 1) + "libveskSensor.so";
    // Loaded for the client's lifetime: its callbacks stay registered.
    void* hLibrary = dlopen(sLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary) {
        std::fprintf(stderr, "libvesktsc-client: %s\n", dlerror());
        return nullptr;
    }
    return reinterpret_cast<PVIRTUALCHANNELENTRY>(dlsym(hLibrary, "VirtualChannelEntry"));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL VCAPITYPE
VirtualChannelEntryEx(const SEntryPointsEx* pEntryPoints, LPVOID pInitHandle)
{
    if (!pEntryPoints || pEntryPoints->cbSize < sizeof(SEntryPointsEx) ||
        pEntryPoints->protocolVersion != VIRTUAL_CHANNEL_VERSION_WIN2000 || !pEntryPoints->pfnInitEx ||
        !pEntryPoints->pfnOpenEx || !pEntryPoints->pfnCloseEx || !pEntryPoints->pfnWriteEx || g_pInitHandle)
        return FALSE;
    const PVIRTUALCHANNELENTRY pfnEntry = LibraryEntry();
    if (!pfnEntry)
        return FALSE;
    g_client = *pEntryPoints;
    g_pInitHandle = pInitHandle;
    CHANNEL_ENTRY_POINTS table{sizeof(CHANNEL_ENTRY_POINTS), VIRTUAL_CHANNEL_VERSION_WIN2000, &Init, &Open,
                               &Close, &Write};
    return pfnEntry(&table);
}
