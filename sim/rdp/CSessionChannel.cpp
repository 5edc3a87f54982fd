#include "sim/rdp/CSessionChannel.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "pal/wts/channel.h"
#include "sim/rdp/WtsErrors.h"

namespace vrdp {
namespace {

// How long a whole frame may take to leave, and the client to answer a
// Hello; a client that cannot keep to these is taken as gone.
constexpr int kSendWaitMs = 5000;
constexpr int kHelloAnswerWaitMs = 5000;
// Beyond a Read's own time-out, for the client's answer to arrive.
constexpr int kReadMarginMs = 2000;

bool IsValidChunk(const SFrame& chunk)
{
    return !chunk.data.empty() && chunk.data.size() <= CHANNEL_CHUNK_LENGTH &&
           chunk.nA >= chunk.data.size();
}

}  // namespace

DWORD CSessionChannel::Open(const std::string& sSocket, const std::string& sName,
                            std::shared_ptr<CSessionChannel>& channel)
{
    CFileDescriptor socket(ConnectTo(sSocket));
    if (!socket.IsValid())
        return ERROR_FILE_NOT_FOUND;
    SFrame hello;
    hello.eType = EFrame::Hello;
    hello.data.assign(sName.begin(), sName.end());
    SFrame answer;
    if (!SendFrame(socket.Get(), hello, kSendWaitMs) ||
        ReceiveFrame(socket.Get(), answer, kHelloAnswerWaitMs) != ERecv::Frame)
        return ERROR_FILE_NOT_FOUND;
    if (answer.eType == EFrame::Accepted) {
        channel = std::make_shared<CSessionChannel>(std::move(socket), answer.nA);
        return ERROR_SUCCESS;
    }
    if (answer.eType == EFrame::Refused && answer.nA != ERROR_SUCCESS)
        return answer.nA;
    return ERROR_FILE_NOT_FOUND;
}

CSessionChannel::CSessionChannel(CFileDescriptor socket, ULONG nOptions)
    : m_oSocket(std::move(socket)), m_nOptions(nOptions)
{
}

DWORD CSessionChannel::Write(const uint8_t* pData, ULONG nLength)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    if (m_bBroken)
        return ERROR_BROKEN_PIPE;
    SFrame frame;
    frame.eType = EFrame::Write;
    frame.data.assign(pData, pData + nLength);
    // A frame cut off half-way leaves the stream unusable: gone either way.
    return SendFrame(m_oSocket.Get(), frame, kSendWaitMs) ? ERROR_SUCCESS : _Broken();
}

DWORD CSessionChannel::Read(ULONG nTimeoutMs, uint8_t* pBuffer, ULONG nSize, ULONG& nRead)
{
    nRead = 0;
    std::lock_guard<std::mutex> guard(m_oLock);
    if (m_bBroken)
        return ERROR_BROKEN_PIPE;
    // Every wait has a bound: a longer one (INFINITE too) is cut to the
    // longest the client waits, and the caller reads again.
    SFrame request;
    request.eType = EFrame::Read;
    request.nA = std::min<ULONG>(nTimeoutMs, kMaxReadWaitMs);
    SFrame answer;
    if (!SendFrame(m_oSocket.Get(), request, kSendWaitMs) ||
        ReceiveFrame(m_oSocket.Get(), answer, static_cast<int>(request.nA) + kReadMarginMs) !=
            ERecv::Frame)
        return _Broken();  // a late answer would be taken for the next one
    if (answer.eType == EFrame::Nothing)
        return ERROR_TIMEOUT;
    if (answer.eType != EFrame::Chunk || !IsValidChunk(answer))
        return _Broken();
    return _Store(answer, pBuffer, nSize, nRead);
}

void CSessionChannel::Shutdown() { shutdown(m_oSocket.Get(), SHUT_RDWR); }

DWORD CSessionChannel::_Broken()
{
    m_bBroken = true;
    shutdown(m_oSocket.Get(), SHUT_RDWR);
    return ERROR_BROKEN_PIPE;
}

DWORD CSessionChannel::_Store(const SFrame& chunk, uint8_t* pBuffer, ULONG nSize,
                              ULONG& nRead) const
{
    const bool bHeader = (m_nOptions & CHANNEL_OPTION_SHOW_PROTOCOL) != 0;
    const size_t nHeader = bHeader ? sizeof(CHANNEL_PDU_HEADER) : 0;
    // The chunk has left the client's queue and cannot go back: one that does
    // not fit is lost. Callers give room for a whole chunk and its header.
    if (nHeader + chunk.data.size() > nSize)
        return ERROR_INSUFFICIENT_BUFFER;
    if (bHeader) {
        const CHANNEL_PDU_HEADER header{chunk.nA, chunk.nB};
        std::memcpy(pBuffer, &header, sizeof header);
    }
    std::memcpy(pBuffer + nHeader, chunk.data.data(), chunk.data.size());
    nRead = static_cast<ULONG>(nHeader + chunk.data.size());
    return ERROR_SUCCESS;
}

}  // namespace vrdp
