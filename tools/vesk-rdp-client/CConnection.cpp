#include "CConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace vrdpc {
namespace {

// Read at a time; a frame never needs more than its own length in the buffer.
constexpr size_t kReceiveStep = 64 * 1024;
// Each request gets one answer of at most a chunk: a session that leaves
// this much unread is not reading at all.
constexpr size_t kMaxUnsent = 1024 * 1024;

}  // namespace

CConnection::CConnection(vrdp::CFileDescriptor socket, unsigned nId)
    : m_oSocket(std::move(socket)), m_nId(nId)
{
}

short CConnection::Events() const
{
    // A waiting connection is only watched for its end; what it sends next
    // stays in the socket until its Read is answered.
    short nEvents = m_bWaiting ? POLLRDHUP : POLLIN | POLLRDHUP;
    if (!m_vOut.empty())
        nEvents |= POLLOUT;
    return nEvents;
}

bool CConnection::Receive()
{
    if (m_bWaiting)
        return true;
    const size_t nOld = m_vIn.size();
    m_vIn.resize(nOld + kReceiveStep);
    for (;;) {
        const ssize_t n = recv(m_oSocket.Get(), m_vIn.data() + nOld, kReceiveStep, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        m_vIn.resize(nOld + (n > 0 ? static_cast<size_t>(n) : 0));
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
}

vrdp::EParse CConnection::Take(vrdp::SFrame& frame)
{
    return m_bWaiting ? vrdp::EParse::Incomplete : vrdp::TakeFrame(m_vIn, frame);
}

bool CConnection::Send(const vrdp::SFrame& frame)
{
    const std::vector<uint8_t> bytes = vrdp::EncodeFrame(frame);
    if (m_vOut.size() + bytes.size() > kMaxUnsent)
        return false;
    m_vOut.insert(m_vOut.end(), bytes.begin(), bytes.end());
    return Flush();
}

bool CConnection::Flush()
{
    while (!m_vOut.empty()) {
        const ssize_t n = send(m_oSocket.Get(), m_vOut.data(), m_vOut.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        m_vOut.erase(m_vOut.begin(), m_vOut.begin() + n);
    }
    return true;
}

}  // namespace vrdpc

