// What the client keeps for the add-ins' channels: their init procedures and
// channel definitions, which channels they opened, the chunks they wrote for
// the session and the writes still to be reported complete. The entry points
// reach it from any thread; events go to the add-ins on the channel thread
// only, never under the lock, so that an add-in may call the entry points
// from inside them.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pal/wts/channel.h"

namespace vrdpc {

struct SChunk {
    UINT32 nTotal = 0;
    UINT32 nFlags = 0;
    std::vector<uint8_t> data;
};

// A write of an add-in whose end is still to be reported.
struct SWriteDone {
    std::string sChannel;
    ULONG nLength = 0;
};

class CVirtualChannels {
public:
    // wake: tells the channel thread that an add-in wrote (from any thread).
    explicit CVirtualChannels(std::function<void()> wake);
    CVirtualChannels(const CVirtualChannels&) = delete;
    CVirtualChannels& operator=(const CVirtualChannels&) = delete;

    // The entry points, with their CHANNEL_RC_* answers.
    UINT Init(LPVOID* ppInitHandle, PCHANNEL_DEF pChannel, INT nCount,
              PCHANNEL_INIT_EVENT_FN pfnEvent);
    UINT Open(LPVOID pInitHandle, LPDWORD pOpenHandle, PCHAR pszName,
              PCHANNEL_OPEN_EVENT_FN pfnEvent);
    UINT Close(DWORD nOpenHandle);
    UINT Write(DWORD nOpenHandle, LPVOID pData, ULONG nLength, LPVOID pUserData);

    // Init answers only between these two, on the thread that called
    // BeginEntry. EndEntry keeps what the add-in registered when bKeep, else
    // forgets it, and answers the names of the channels kept.
    void BeginEntry();
    std::vector<std::string> EndEntry(bool bKeep);

    // The channel's options (with CHANNEL_OPTION_INITIALIZED), or false when
    // no add-in registered the name.
    bool Find(const std::string& sName, ULONG& nOptions) const;
    // Marks the channels connected (pVirtualChannelOpen works from now on)
    // and tells every add-in, once a run: false when that was done before.
    bool Connect();
    // The event to every add-in's init procedure.
    void Announce(UINT nEvent);
    // A session's block to the add-in that opened the channel: false, with
    // nothing delivered, when none has.
    bool Deliver(const std::string& sName, const std::vector<uint8_t>& block);
    // The next chunk an add-in wrote on the channel, or false.
    bool TakeChunk(const std::string& sName, SChunk& chunk);
    // CHANNEL_EVENT_WRITE_COMPLETE for each write so far; what was reported.
    std::vector<SWriteDone> CompleteWrites();
    // Shutdown: CHANNEL_EVENT_DISCONNECTED (when connected), every channel
    // closed, writes not yet reported cancelled, then CHANNEL_EVENT_TERMINATED.
    // Answers whether DISCONNECTED was sent.
    bool Terminate();

private:
    struct SChannel {
        std::string sName;
        ULONG nOptions = 0;
        LPVOID pInitHandle = nullptr;
        DWORD nOpenHandle = 0;  // 0: not open
        PCHANNEL_OPEN_EVENT_FN pfnOpen = nullptr;
        std::deque<SChunk> vChunks;
        size_t nQueuedBytes = 0;
    };
    struct SInit {
        PCHANNEL_INIT_EVENT_FN pfnEvent = nullptr;
    };
    struct SPendingWrite {
        DWORD nOpenHandle;
        PCHANNEL_OPEN_EVENT_FN pfnOpen;
        LPVOID pUserData;
        SWriteDone done;
    };

    UINT _CheckDefinitions(const CHANNEL_DEF* pChannel, INT nCount) const;
    SChannel* _ByName(const std::string& sName);
    const SChannel* _ByName(const std::string& sName) const;
    SChannel* _ByHandle(DWORD nOpenHandle, UINT& nError);
    void _Report(std::vector<SPendingWrite> writes, UINT nEvent) const;

    const std::function<void()> m_fnWake;
    mutable std::mutex m_oLock;
    std::vector<std::unique_ptr<SInit>> m_vInits;  // init handles are their addresses
    std::vector<SChannel> m_vChannels;
    std::map<DWORD, std::string> m_mapHandles;  // every open handle given out, to its channel
    std::vector<SPendingWrite> m_vPending;
    DWORD m_nNextHandle = 1;
    bool m_bConnected = false;
    bool m_bInEntry = false;
    std::thread::id m_entryThread;
    SInit* m_pEntryInit = nullptr;
};

}  // namespace vrdpc
