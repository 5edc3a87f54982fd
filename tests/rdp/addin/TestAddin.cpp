// A Remote Desktop client add-in for the tests of vesk-rdp-client. It
// registers the channel VTEST (CHANNEL_OPTION_SHOW_PROTOCOL: the session reads
// each chunk behind its header), writes every block it receives back from a
// thread of its own, and appends a line for each thing it sees to the file
// that VESK_RDP_TEST_LOG names, led by the id of the thread it saw it on.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// Both lists are touched on the channel thread only; the blocks stay until
// the run ends.
std::list<std::vector<uint8_t>> g_sent;
std::vector<std::thread> g_writers;

void WriteBack(uintptr_t nId, uint8_t* pData, ULONG nSize)
{
    Log("writing user=" + std::to_string(nId));
    const UINT nRc = g_entryPoints.pVirtualChannelWrite(g_nOpenHandle, pData, nSize, reinterpret_cast<LPVOID>(nId));
    Log("write rc=" + std::to_string(nRc));
}

VOID VCAPITYPE OnOpenEvent(DWORD openHandle, UINT event, LPVOID pData, UINT32 dataLength,
                           UINT32 totalLength, UINT32 dataFlags)
{
    if (event == CHANNEL_EVENT_WRITE_COMPLETE) {
        Log("write-complete user=" + std::to_string(reinterpret_cast<uintptr_t>(pData)));
    } else if (event != CHANNEL_EVENT_DATA_RECEIVED) {
        Log("open-event " + std::to_string(event));
    } else {
        Log("data handle-ok=" + std::to_string(openHandle == g_nOpenHandle) + " len=" + std::to_string(dataLength) +
            " total=" + std::to_string(totalLength) + " flags=" + std::to_string(dataFlags));
        if (dataFlags & CHANNEL_FLAG_FIRST)
            g_vBlock.clear();
        const auto* pBytes = static_cast<const uint8_t*>(pData);
        g_vBlock.insert(g_vBlock.end(), pBytes, pBytes + dataLength);
        if (dataFlags & CHANNEL_FLAG_LAST) {
            std::vector<uint8_t>& block = g_sent.emplace_back(g_vBlock);
            g_writers.emplace_back(WriteBack, g_writers.size() + 1, block.data(), ULONG(block.size()));
        }
    }
}

VOID VCAPITYPE OnInitEvent(LPVOID pInitHandle, UINT event, LPVOID pData, UINT)
{
    static const char* const kNames[] = {"INITIALIZED", "CONNECTED", "V1_CONNECTED", "DISCONNECTED",
                                         "TERMINATED"};
    Log(std::string("event ") + (event < 5 ? kNames[event] : "?") +
        " handle-ok=" + std::to_string(pInitHandle == g_pInitHandle) +
        " data-null=" + std::to_string(pData == nullptr));
    if (event == CHANNEL_EVENT_CONNECTED) {
        char szName[] = "VTEST";
        const UINT nRc = g_entryPoints.pVirtualChannelOpen(g_pInitHandle, &g_nOpenHandle, szName, OnOpenEvent);
        Log("open rc=" + std::to_string(nRc) + " handle-nonzero=" + std::to_string(g_nOpenHandle != 0));
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
    CHANNEL_DEF channel = {"VTEST", CHANNEL_OPTION_SHOW_PROTOCOL};
    const UINT nRc = g_entryPoints.pVirtualChannelInit(&g_pInitHandle, &channel, 1, 1, OnInitEvent);
    Log("init rc=" + std::to_string(nRc) + " handle-nonnull=" + std::to_string(g_pInitHandle != nullptr));
    return TRUE;
}
