// WtsApi32.dll of the Linux build: the session side of static virtual
// channels, over the local socket of vesk-rdp-client (sim/rdp/RdpWire.h).
// The codes it answers with are Windows' own for the same cases.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "pal/base/lasting.h"
#include "pal/base/settings.h"
#include "pal/wts/channel.h"
#include "pal/wts/wts.h"
#include "sim/rdp/CSessionChannel.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using vrdp::CSessionChannel;

// The live channels by handle. Values are never reused, and lie far from
// pal's kernel handles, so that a stale or foreign handle is refused.
struct SChannelTable {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<CSessionChannel>> channels;
    uintptr_t next = 0x5C000000;
};

SChannelTable& Table() { return pal::CLasting<SChannelTable>::Get(); }

HANDLE Insert(std::shared_ptr<CSessionChannel> channel)
{
    SChannelTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const uintptr_t value = table.next;
    table.next += 4;
    table.channels.emplace(value, std::move(channel));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<CSessionChannel> Find(HANDLE handle)
{
    SChannelTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto it = table.channels.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.channels.end() ? nullptr : it->second;
}

std::shared_ptr<CSessionChannel> Remove(HANDLE handle)
{
    SChannelTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto it = table.channels.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.channels.end())
        return nullptr;
    std::shared_ptr<CSessionChannel> channel = std::move(it->second);
    table.channels.erase(it);
    return channel;
}

BOOL Fail(DWORD nCode)
{
    SetLastError(nCode);
    return FALSE;
}

BOOL Answer(DWORD nCode) { return nCode == ERROR_SUCCESS ? TRUE : Fail(nCode); }

}  // namespace

HANDLE WINAPI WTSVirtualChannelOpen(HANDLE hServer, DWORD SessionId, LPSTR pVirtualName)
{
    const size_t nName = pVirtualName ? strnlen(pVirtualName, CHANNEL_NAME_LEN + 1) : 0;
    if (hServer != WTS_CURRENT_SERVER_HANDLE || SessionId != WTS_CURRENT_SESSION || nName == 0 ||
        nName > CHANNEL_NAME_LEN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A console session has no client and so no channel.
    const std::string sSocket = pal::GetSetting("VESK_RDP_SESSION");
    std::shared_ptr<CSessionChannel> channel;
    const DWORD nCode = sSocket.empty()
                            ? ERROR_FILE_NOT_FOUND
                            : CSessionChannel::Open(sSocket, std::string(pVirtualName, nName), channel);
    if (nCode != ERROR_SUCCESS) {
        SetLastError(nCode);
        return nullptr;
    }
    return Insert(std::move(channel));
}

BOOL WINAPI WTSVirtualChannelClose(HANDLE hChannelHandle)
{
    const std::shared_ptr<CSessionChannel> channel = Remove(hChannelHandle);
    if (!channel)
        return Fail(ERROR_INVALID_HANDLE);
    channel->Shutdown();
    return TRUE;
}

BOOL WINAPI WTSVirtualChannelRead(HANDLE hChannelHandle, ULONG TimeOut, PCHAR Buffer,
                                  ULONG BufferSize, PULONG pBytesRead)
{
    const std::shared_ptr<CSessionChannel> channel = Find(hChannelHandle);
    if (!channel)
        return Fail(ERROR_INVALID_HANDLE);
    if (!Buffer || !pBytesRead)
        return Fail(ERROR_INVALID_PARAMETER);
    // Nothing within the time-out answers ERROR_TIMEOUT.
    return Answer(channel->Read(TimeOut, reinterpret_cast<uint8_t*>(Buffer), BufferSize, *pBytesRead));
}

BOOL WINAPI WTSVirtualChannelWrite(HANDLE hChannelHandle, PCHAR Buffer, ULONG Length,
                                   PULONG pBytesWritten)
{
    const std::shared_ptr<CSessionChannel> channel = Find(hChannelHandle);
    if (!channel)
        return Fail(ERROR_INVALID_HANDLE);
    if (!Buffer || !pBytesWritten || Length == 0 || Length > vrdp::kMaxFrameData)
        return Fail(ERROR_INVALID_PARAMETER);
    *pBytesWritten = 0;
    const DWORD nCode = channel->Write(reinterpret_cast<const uint8_t*>(Buffer), Length);
    if (nCode == ERROR_SUCCESS)
        *pBytesWritten = Length;
    return Answer(nCode);
}

// The library resolves this function with the others but never calls it:
// no file handle or client data stands behind these channels.
BOOL WINAPI WTSVirtualChannelQuery(HANDLE, WTS_VIRTUAL_CLASS, PVOID*, DWORD*)
{
    return Fail(ERROR_NOT_SUPPORTED);
}
