#include "CVirtualChannels.h"

#include <cstring>

#include "Chunks.h"

namespace vrdpc {
namespace {

// As many channels as a Remote Desktop connection carries.
constexpr size_t kMaxChannels = 30;
// Written by an add-in on one channel and not yet read by a session.
constexpr size_t kMaxQueuedBytes = 16 * 1024 * 1024;

bool IsValidName(const char* pszName)
{
    const size_t nLength = strnlen(pszName, CHANNEL_NAME_LEN + 1);
    return nLength > 0 && nLength <= CHANNEL_NAME_LEN;
}

}  // namespace

CVirtualChannels::CVirtualChannels(std::function<void()> wake) : m_fnWake(std::move(wake)) {}

UINT CVirtualChannels::Init(LPVOID* ppInitHandle, PCHANNEL_DEF pChannel, INT nCount,
                            PCHANNEL_INIT_EVENT_FN pfnEvent)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    if (!m_bInEntry || std::this_thread::get_id() != m_entryThread)
        return CHANNEL_RC_NOT_IN_VIRTUALCHANNELENTRY;
    if (m_pEntryInit)
        return CHANNEL_RC_ALREADY_INITIALIZED;
    if (!ppInitHandle)
        return CHANNEL_RC_BAD_INIT_HANDLE;
    if (!pfnEvent)
        return CHANNEL_RC_BAD_PROC;
    const UINT nCheck = _CheckDefinitions(pChannel, nCount);
    if (nCheck != CHANNEL_RC_OK)
        return nCheck;
    m_vInits.push_back(std::make_unique<SInit>());
    m_pEntryInit = m_vInits.back().get();
    m_pEntryInit->pfnEvent = pfnEvent;
    for (INT i = 0; i < nCount; ++i) {
        pChannel[i].options |= CHANNEL_OPTION_INITIALIZED;
        SChannel channel;
        channel.sName.assign(pChannel[i].name, strnlen(pChannel[i].name, CHANNEL_NAME_LEN));
        channel.nOptions = pChannel[i].options;
        channel.pInitHandle = m_pEntryInit;
        m_vChannels.push_back(std::move(channel));
    }
    *ppInitHandle = m_pEntryInit;
    return CHANNEL_RC_OK;
}

UINT CVirtualChannels::_CheckDefinitions(const CHANNEL_DEF* pChannel, INT nCount) const
{
    if (!pChannel || nCount <= 0)
        return CHANNEL_RC_BAD_CHANNEL;
    if (static_cast<size_t>(nCount) > kMaxChannels - m_vChannels.size())
        return CHANNEL_RC_TOO_MANY_CHANNELS;
    for (INT i = 0; i < nCount; ++i) {
        if (!IsValidName(pChannel[i].name))
            return CHANNEL_RC_BAD_CHANNEL;
        const std::string sName(pChannel[i].name, strnlen(pChannel[i].name, CHANNEL_NAME_LEN));
        bool bTwice = _ByName(sName) != nullptr;
        for (INT j = 0; j < i; ++j)
            bTwice = bTwice || strncmp(pChannel[j].name, pChannel[i].name, CHANNEL_NAME_LEN) == 0;
        if (bTwice)
            return CHANNEL_RC_BAD_CHANNEL;
    }
    return CHANNEL_RC_OK;
}

UINT CVirtualChannels::Open(LPVOID pInitHandle, LPDWORD pOpenHandle, PCHAR pszName,
                            PCHANNEL_OPEN_EVENT_FN pfnEvent)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    bool bKnownInit = false;
    for (const auto& init : m_vInits)
        bKnownInit = bKnownInit || init.get() == pInitHandle;
    if (!pInitHandle || !bKnownInit)
        return CHANNEL_RC_BAD_INIT_HANDLE;
    if (!pOpenHandle)
        return CHANNEL_RC_BAD_CHANNEL_HANDLE;
    if (!pfnEvent)
        return CHANNEL_RC_BAD_PROC;
    if (!m_bConnected)
        return CHANNEL_RC_NOT_CONNECTED;
    SChannel* pChannel =
        pszName ? _ByName(std::string(pszName, strnlen(pszName, CHANNEL_NAME_LEN + 1))) : nullptr;
    if (!pChannel || pChannel->pInitHandle != pInitHandle)
        return CHANNEL_RC_UNKNOWN_CHANNEL_NAME;
    if (pChannel->nOpenHandle != 0)
        return CHANNEL_RC_ALREADY_OPEN;
    pChannel->nOpenHandle = m_nNextHandle++;
    pChannel->pfnOpen = pfnEvent;
    m_mapHandles[pChannel->nOpenHandle] = pChannel->sName;
    *pOpenHandle = pChannel->nOpenHandle;
    return CHANNEL_RC_OK;
}

UINT CVirtualChannels::Close(DWORD nOpenHandle)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    UINT nError = CHANNEL_RC_OK;
    SChannel* pChannel = _ByHandle(nOpenHandle, nError);
    if (!pChannel)
        return nError;
    // Writes made before stay queued for the session and are still reported.
    pChannel->nOpenHandle = 0;
    pChannel->pfnOpen = nullptr;
    return CHANNEL_RC_OK;
}

UINT CVirtualChannels::Write(DWORD nOpenHandle, LPVOID pData, ULONG nLength, LPVOID pUserData)
{
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        UINT nError = CHANNEL_RC_OK;
        SChannel* pChannel = _ByHandle(nOpenHandle, nError);
        if (!pChannel)
            return nError;
        if (!pData)
            return CHANNEL_RC_NULL_DATA;
        if (nLength == 0)
            return CHANNEL_RC_ZERO_LENGTH;
        if (nLength > kMaxQueuedBytes - pChannel->nQueuedBytes)
            return CHANNEL_RC_NO_MEMORY;
        const auto* pBytes = static_cast<const uint8_t*>(pData);
        ForEachChunk(nLength, [&](size_t nOffset, size_t nSize, unsigned nFlags) {
            SChunk chunk;
            chunk.nTotal = nLength;
            chunk.nFlags = nFlags;
            chunk.data.assign(pBytes + nOffset, pBytes + nOffset + nSize);
            pChannel->vChunks.push_back(std::move(chunk));
        });
        pChannel->nQueuedBytes += nLength;
        m_vPending.push_back({nOpenHandle, pChannel->pfnOpen, pUserData, {pChannel->sName, nLength}});
    }
    m_fnWake();
    return CHANNEL_RC_OK;
}

void CVirtualChannels::BeginEntry()
{
    std::lock_guard<std::mutex> guard(m_oLock);
    m_bInEntry = true;
    m_entryThread = std::this_thread::get_id();
    m_pEntryInit = nullptr;
}

std::vector<std::string> CVirtualChannels::EndEntry(bool bKeep)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    SInit* const pInit = m_pEntryInit;
    m_bInEntry = false;
    m_pEntryInit = nullptr;
    std::vector<std::string> names;
    for (auto it = m_vChannels.begin(); it != m_vChannels.end();) {
        if (it->pInitHandle != pInit || !pInit) {
            ++it;
        } else if (bKeep) {
            names.push_back(it->sName);
            ++it;
        } else {
            it = m_vChannels.erase(it);
        }
    }
    if (!bKeep && pInit) {
        for (auto it = m_vInits.begin(); it != m_vInits.end(); ++it) {
            if (it->get() == pInit) {
                m_vInits.erase(it);
                break;
            }
        }
    }
    return names;
}

bool CVirtualChannels::Find(const std::string& sName, ULONG& nOptions) const
{
    std::lock_guard<std::mutex> guard(m_oLock);
    const SChannel* pChannel = _ByName(sName);
    if (pChannel)
        nOptions = pChannel->nOptions;
    return pChannel != nullptr;
}

bool CVirtualChannels::Connect()
{
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        if (m_bConnected)
            return false;
        m_bConnected = true;
    }
    Announce(CHANNEL_EVENT_CONNECTED);
    return true;
}

void CVirtualChannels::Announce(UINT nEvent)
{
    std::vector<std::pair<LPVOID, PCHANNEL_INIT_EVENT_FN>> targets;
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        for (const auto& init : m_vInits)
            targets.emplace_back(init.get(), init->pfnEvent);
    }
    for (const auto& [pInitHandle, pfnEvent] : targets)
        pfnEvent(pInitHandle, nEvent, nullptr, 0);
}

bool CVirtualChannels::Deliver(const std::string& sName, const std::vector<uint8_t>& block)
{
    bool bDelivered = false;
    ForEachChunk(block.size(), [&](size_t nOffset, size_t nSize, unsigned nFlags) {
        DWORD nOpenHandle = 0;
        PCHANNEL_OPEN_EVENT_FN pfnOpen = nullptr;
        {
            // Looked up for each chunk: the add-in may close the channel in between.
            std::lock_guard<std::mutex> guard(m_oLock);
            const SChannel* pChannel = _ByName(sName);
            if (pChannel && pChannel->nOpenHandle != 0) {
                nOpenHandle = pChannel->nOpenHandle;
                pfnOpen = pChannel->pfnOpen;
            }
        }
        if (!pfnOpen)
            return;
        bDelivered = true;
        pfnOpen(nOpenHandle, CHANNEL_EVENT_DATA_RECEIVED, const_cast<uint8_t*>(block.data() + nOffset),
                static_cast<UINT32>(nSize), static_cast<UINT32>(block.size()), nFlags);
    });
    return bDelivered;
}

bool CVirtualChannels::TakeChunk(const std::string& sName, SChunk& chunk)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    SChannel* pChannel = _ByName(sName);
    if (!pChannel || pChannel->vChunks.empty())
        return false;
    chunk = std::move(pChannel->vChunks.front());
    pChannel->vChunks.pop_front();
    pChannel->nQueuedBytes -= chunk.data.size();
    return true;
}

std::vector<SWriteDone> CVirtualChannels::CompleteWrites()
{
    std::vector<SPendingWrite> writes;
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        writes.swap(m_vPending);
    }
    std::vector<SWriteDone> done;
    for (const SPendingWrite& write : writes)
        done.push_back(write.done);
    _Report(std::move(writes), CHANNEL_EVENT_WRITE_COMPLETE);
    return done;
}

bool CVirtualChannels::Terminate()
{
    bool bConnected = false;
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        bConnected = m_bConnected;
    }
    if (bConnected)
        Announce(CHANNEL_EVENT_DISCONNECTED);
    std::vector<SPendingWrite> cancelled;
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        m_bConnected = false;
        for (SChannel& channel : m_vChannels) {
            channel.nOpenHandle = 0;
            channel.pfnOpen = nullptr;
        }
        cancelled.swap(m_vPending);
    }
    _Report(std::move(cancelled), CHANNEL_EVENT_WRITE_CANCELLED);
    Announce(CHANNEL_EVENT_TERMINATED);
    return bConnected;
}

void CVirtualChannels::_Report(std::vector<SPendingWrite> writes, UINT nEvent) const
{
    for (const SPendingWrite& write : writes) {
        if (write.pfnOpen)
            write.pfnOpen(write.nOpenHandle, nEvent, write.pUserData, 0, 0, 0);
    }
}

CVirtualChannels::SChannel* CVirtualChannels::_ByName(const std::string& sName)
{
    for (SChannel& channel : m_vChannels) {
        if (channel.sName == sName)
            return &channel;
    }
    return nullptr;
}

const CVirtualChannels::SChannel* CVirtualChannels::_ByName(const std::string& sName) const
{
    return const_cast<CVirtualChannels*>(this)->_ByName(sName);
}

CVirtualChannels::SChannel* CVirtualChannels::_ByHandle(DWORD nOpenHandle, UINT& nError)
{
    const auto it = m_mapHandles.find(nOpenHandle);
    if (it == m_mapHandles.end()) {
        nError = CHANNEL_RC_BAD_CHANNEL_HANDLE;
        return nullptr;
    }
    SChannel* pChannel = _ByName(it->second);
    if (!pChannel || pChannel->nOpenHandle != nOpenHandle) {
        nError = CHANNEL_RC_NOT_OPEN;
        return nullptr;
    }
    return pChannel;
}

}  // namespace vrdpc
