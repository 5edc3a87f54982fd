// WtsApi32.dll of the Linux build: the session side of static virtual
// channels, over the local socket of vesk-rdp-client (sim/rdp/RdpWire.h), or
// in an xrdp session over xrdp's own channel server (sim/rdp/CXrdpChannel.h).
// The codes it answers with are Windows' own for the same cases.
#include <cstring>
#include <memory>

#include "pal/base/handles.h"
#include "pal/base/settings.h"
#include "pal/wts/channel.h"
#include "pal/wts/wts.h"
#include "sim/rdp/CSessionChannel.h"
#include "sim/rdp/CXrdpChannel.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using vrdp::CWtsChannel;

// Channels are kernel objects of this library's own copy of pal/, whose
// handles are never reused: a stale or foreign handle is refused.
std::shared_ptr<CWtsChannel> Find(HANDLE handle) { return pal::FindHandleOf<CWtsChannel>(handle); }

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
    const std::string sName(pVirtualName, nName);
    const std::string sSocket = pal::GetSetting("VESK_RDP_SESSION");
    std::shared_ptr<CWtsChannel> channel;
    DWORD nCode = ERROR_FILE_NOT_FOUND;
    if (pal::IsXrdpSession()) {
        nCode = vrdp::CXrdpChannel::Open(sName, channel);
    } else if (!sSocket.empty()) {
        std::shared_ptr<vrdp::CSessionChannel> local;
        nCode = vrdp::CSessionChannel::Open(sSocket, sName, local);
        channel = std::move(local);
    }
    if (nCode != ERROR_SUCCESS) {
        SetLastError(nCode);
        return nullptr;
    }
    return pal::InsertHandle(std::move(channel));
}

BOOL WINAPI WTSVirtualChannelClose(HANDLE hChannelHandle)
{
    // Of two closes at once only the one that removes the handle goes on.
    const std::shared_ptr<CWtsChannel> channel = Find(hChannelHandle);
    if (!channel || !pal::RemoveHandle(hChannelHandle))
        return Fail(ERROR_INVALID_HANDLE);
    channel->Shutdown();
    return TRUE;
}

BOOL WINAPI WTSVirtualChannelRead(HANDLE hChannelHandle, ULONG TimeOut, PCHAR Buffer,
                                  ULONG BufferSize, PULONG pBytesRead)
{
    const std::shared_ptr<CWtsChannel> channel = Find(hChannelHandle);
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
    const std::shared_ptr<CWtsChannel> channel = Find(hChannelHandle);
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
