#include "sim/rdp/RdpWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "sim/rdp/CFileDescriptor.h"

namespace vrdp {
namespace {

using Clock = std::chrono::steady_clock;

// A client whose backlog is full makes connect() wait; this bounds it.
constexpr int kConnectWaitMs = 5000;

void PutWord(uint8_t* p, uint32_t nValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(nValue >> (8 * i));
}

uint32_t GetWord(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IsKnownType(uint32_t nType)
{
    return nType >= uint32_t(EFrame::Hello) && nType <= uint32_t(EFrame::Nothing);
}

// The header's verdict: false when the frame is malformed.
bool ReadHeader(const uint8_t* p, SFrame& frame, uint32_t& nLength)
{
    const uint32_t nType = GetWord(p);
    nLength = GetWord(p + 12);
    if (!IsKnownType(nType) || nLength > kMaxFrameData)
        return false;
    frame.eType = static_cast<EFrame>(nType);
    frame.nA = GetWord(p + 4);
    frame.nB = GetWord(p + 8);
    return true;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

enum class EWait { Ready, TimedOut, Failed };

EWait WaitFor(int fd, short nEvents, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, nEvents, 0};
        const int n = poll(&entry, 1, RemainingMs(deadline));
        if (n > 0)
            return EWait::Ready;  // an error or hang-up shows in the next call
        if (n == 0)
            return EWait::TimedOut;
        if (errno != EINTR)
            return EWait::Failed;
    }
}

// Exactly nCount bytes: Frame when they came, else why not.
ERecv ReadExactly(int fd, uint8_t* p, size_t nCount, Clock::time_point deadline)
{
    for (size_t nDone = 0; nDone < nCount;) {
        const ssize_t n = recv(fd, p + nDone, nCount - nDone, MSG_DONTWAIT);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return ERecv::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return ERecv::Closed;
        const EWait eWait = WaitFor(fd, POLLIN, deadline);
        if (eWait == EWait::TimedOut)
            return ERecv::TimedOut;
        if (eWait == EWait::Failed)
            return ERecv::Closed;
    }
    return ERecv::Frame;
}

bool WriteAll(int fd, const uint8_t* p, size_t nCount, Clock::time_point deadline)
{
    for (size_t nDone = 0; nDone < nCount;) {
        const ssize_t n = send(fd, p + nDone, nCount - nDone, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) ||
            WaitFor(fd, POLLOUT, deadline) != EWait::Ready)
            return false;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeFrame(const SFrame& frame)
{
    std::vector<uint8_t> bytes(kFrameHeaderBytes + frame.data.size());
    PutWord(&bytes[0], static_cast<uint32_t>(frame.eType));
    PutWord(&bytes[4], frame.nA);
    PutWord(&bytes[8], frame.nB);
    PutWord(&bytes[12], static_cast<uint32_t>(frame.data.size()));
    std::copy(frame.data.begin(), frame.data.end(), bytes.begin() + kFrameHeaderBytes);
    return bytes;
}

bool SendFrame(int fd, const SFrame& frame, int nMilliseconds)
{
    if (frame.data.size() > kMaxFrameData)
        return false;
    const std::vector<uint8_t> bytes = EncodeFrame(frame);
    return WriteAll(fd, bytes.data(), bytes.size(),
                    Clock::now() + std::chrono::milliseconds(nMilliseconds));
}

ERecv ReceiveFrame(int fd, SFrame& frame, int nMilliseconds)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(nMilliseconds);
    uint8_t header[kFrameHeaderBytes];
    const ERecv eHeader = ReadExactly(fd, header, sizeof header, deadline);
    if (eHeader != ERecv::Frame)
        return eHeader;
    uint32_t nLength = 0;
    if (!ReadHeader(header, frame, nLength))
        return ERecv::Malformed;
    frame.data.assign(nLength, 0);
    return ReadExactly(fd, frame.data.data(), nLength, deadline);
}

EParse TakeFrame(std::vector<uint8_t>& bytes, SFrame& frame)
{
    if (bytes.size() < kFrameHeaderBytes)
        return EParse::Incomplete;
    uint32_t nLength = 0;
    SFrame taken;
    if (!ReadHeader(bytes.data(), taken, nLength))
        return EParse::Malformed;
    if (bytes.size() - kFrameHeaderBytes < nLength)
        return EParse::Incomplete;
    const auto dataBegin = bytes.begin() + kFrameHeaderBytes;
    taken.data.assign(dataBegin, dataBegin + nLength);
    bytes.erase(bytes.begin(), dataBegin + nLength);
    frame = std::move(taken);
    return EParse::Frame;
}

int ConnectTo(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    CFileDescriptor socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socketFd.IsValid())
        return -1;
    // On a local stream socket connect() waits no longer than the send time-out.
    const timeval bound{kConnectWaitMs / 1000, (kConnectWaitMs % 1000) * 1000};
    if (setsockopt(socketFd.Get(), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound) != 0)
        return -1;
    for (;;) {
        if (connect(socketFd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
            errno == EISCONN)
            return socketFd.Release();
        if (errno != EINTR)
            return -1;
    }
}

}  // namespace vrdp
