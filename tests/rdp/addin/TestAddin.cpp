// A Remote Desktop client add-in for the tests of vesk-rdp-client. It
// registers the channel VTEST (CHANNEL_OPTION_SHOW_PROTOCOL), probes the
// entry points' refusals, writes every block it receives back from a thread
// of its own, and appends a line for each thing it sees to the file that
// VESK_RDP_TEST_LOG names, led by the id of the thread it saw it on.
// VESK_RDP_TEST_MODE=refuse makes VirtualChannelEntry answer FALSE after a
// good VirtualChannelInit. A block "close" makes it close its channel.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pal/wts/channel.h"

namespace {

CHANNEL_ENTRY_POINTS g_entryPoints;
LPVOID g_pInitHandle = nullptr;
DWORD g_nOpenHandle = 0;
std::vector<uint8_t> g_vBlock;  // the block being received

std::mutex g_logLock;
void Log(const std::string& sLine)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    const char* pszPath = std::getenv("VESK_RDP_TEST_LOG");
    if (FILE* pFile = pszPath ? std::fopen(pszPath, "a") : nullptr) {
        std::fprintf(pFile, "T%ld %s\n", static_cast<long>(syscall(SYS_gettid)), sLine.c_str());
        std::fclose(pFile);
    }
}

std::string Rc(const char* pszWhat, UINT nRc) { return std::string(pszWhat) + " rc=" + std::to_string(nRc); }

// Each block is written back from a thread of its own, as the library
// writes from its capture thread. Both lists are touched on the channel
// thread only; the blocks stay until the run ends.
std::list<std::vector<uint8_t>> g_sent;
std::vector<std::thread> g_writers;

void WriteBack(uintptr_t nId, uint8_t* pData, ULONG nSize)
{
    if (nId == 1) {
        char byte = 0;
        std::vector<char> tooMuch(16 * 1024 * 1024 + 1);
        Log(Rc("write-null", g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, nullptr, 1, nullptr)) +
            Rc(" write-zero", g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, &byte, 0, nullptr)) +
            Rc(" write-bad-handle", g_entryPoints.pVirtualChannelWrite(0xBAD, &byte, 1, nullptr)) +
            Rc(" write-over-16-MiB", g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, tooMuch.data(),
                                                                      ULONG(tooMuch.size()), nullptr)));
    }
    Log("writing user=" + std::to_string(nId));
    Log(Rc("write", g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, pData, nSize, reinterpret_cast<LPVOID>(nId))));
}

void Done(LPVOID pUserData, const char* pszHow)
{
    Log(std::string(pszHow) + " user=" + std::to_string(reinterpret_cast<uintptr_t>(pUserData)));
}

void OnBlock()
{
    if (g_vBlock == std::vector<uint8_t>{'c', 'l', 'o', 's', 'e'}) {
        Log(Rc("close", g_entryPoints.pVirtualChannelClose(g_nOpenHandle)));
        char byte = 0;
        Log(Rc("write-after-close", g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, &byte, 1, nullptr)));
        return;
    }
    std::vector<uint8_t>& block = g_sent.emplace_back(g_vBlock);
    g_writers.emplace_back(WriteBack, g_writers.size() + 1, block.data(), ULONG(block.size()));
}

VOID VCAPITYPE OnOpenEvent(DWORD openHandle, UINT event, LPVOID pData, UINT32 dataLength,
                           UINT32 totalLength, UINT32 dataFlags)
{
    switch (event) {
    case CHANNEL_EVENT_DATA_RECEIVED: {
        Log("data handle-ok=" + std::to_string(openHandle == g_nOpenHandle) + " len=" +
            std::to_string(dataLength) + " total=" + std::to_string(totalLength) +
            " flags=" + std::to_string(dataFlags));
        if (dataFlags & CHANNEL_FLAG_FIRST)
            g_vBlock.clear();
        const auto* pBytes = static_cast<const uint8_t*>(pData);
        g_vBlock.insert(g_vBlock.end(), pBytes, pBytes + dataLength);
        if (dataFlags & CHANNEL_FLAG_LAST)
            OnBlock();
        break;
    }
    case CHANNEL_EVENT_WRITE_COMPLETE:
        Done(pData, "write-complete");
        break;
    case CHANNEL_EVENT_WRITE_CANCELLED:
        Done(pData, "write-cancelled");
        break;
    default:
        Log("open-event " + std::to_string(event));
    }
}

void OnConnected()
{
    char szUnknown[] = "NOPE";
    char szName[] = "VTEST";
    DWORD nHandle = 0;
    Log(Rc("open-unknown", g_entryPoints.pVirtualChannelOpen(g_pInitHandle, &nHandle, szUnknown, OnOpenEvent)));
    const UINT nRc = g_entryPoints.pVirtualChannelOpen(g_pInitHandle, &g_nOpenHandle, szName, OnOpenEvent);
    Log(Rc("open", nRc) + " handle-nonzero=" + std::to_string(g_nOpenHandle != 0));
    Log(Rc("open-again", g_entryPoints.pVirtualChannelOpen(g_pInitHandle, &nHandle, szName, OnOpenEvent)));
}

VOID VCAPITYPE OnInitEvent(LPVOID pInitHandle, UINT event, LPVOID pData, UINT)
{
    static const char* const kNames[] = {"INITIALIZED", "CONNECTED", "V1_CONNECTED", "DISCONNECTED",
                                         "TERMINATED"};
    Log(std::string("event ") + (event < 5 ? kNames[event] : "?") +
        " handle-ok=" + std::to_string(pInitHandle == g_pInitHandle) +
        " data-null=" + std::to_string(pData == nullptr));
    if (event == CHANNEL_EVENT_INITIALIZED) {
        CHANNEL_DEF late = {"LATE", 0};
        LPVOID pHandle = nullptr;
        Log(Rc("init-outside-entry", g_entryPoints.pVirtualChannelInit(&pHandle, &late, 1, 1, OnInitEvent)));
    } else if (event == CHANNEL_EVENT_CONNECTED) {
        OnConnected();
    } else if (event == CHANNEL_EVENT_TERMINATED) {
        for (std::thread& writer : g_writers)
            writer.join();
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL VCAPITYPE VirtualChannelEntry(PCHANNEL_ENTRY_POINTS pEntryPoints)
{
    g_entryPoints = *pEntryPoints;
    Log("entry size=" + std::to_string(pEntryPoints->cbSize) +
        " version=" + std::to_string(pEntryPoints->protocolVersion));
    LPVOID pHandle = nullptr;
    CHANNEL_DEF badName = {"", 0};
    std::memcpy(badName.name, "EIGHTCHR", sizeof badName.name);  // no terminator: 8 characters
    Log(Rc("init-bad-name", g_entryPoints.pVirtualChannelInit(&pHandle, &badName, 1, 1, OnInitEvent)));
    std::vector<CHANNEL_DEF> many(31);
    for (size_t i = 0; i < many.size(); ++i) {
        const std::string sName = "M" + std::to_string(i);
        std::memcpy(many[i].name, sName.c_str(), sName.size() + 1);
    }
    Log(Rc("init-too-many", g_entryPoints.pVirtualChannelInit(&pHandle, many.data(), 31, 1, OnInitEvent)));
    CHANNEL_DEF channel = {"VTEST", CHANNEL_OPTION_SHOW_PROTOCOL};
    const UINT nRc = g_entryPoints.pVirtualChannelInit(&g_pInitHandle, &channel, 1, 1, OnInitEvent);
    char szOptions[16];
    std::snprintf(szOptions, sizeof szOptions, "%08X", static_cast<unsigned>(channel.options));
    Log(Rc("init", nRc) + " options=" + szOptions + " handle-nonnull=" + std::to_string(g_pInitHandle != nullptr));
    Log(Rc("init-again", g_entryPoints.pVirtualChannelInit(&pHandle, &channel, 1, 1, OnInitEvent)));
    const char* pszMode = std::getenv("VESK_RDP_TEST_MODE");
    return pszMode && std::strcmp(pszMode, "refuse") == 0 ? FALSE : TRUE;
}
