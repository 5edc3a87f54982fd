#include "CListener.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "ExitCode.h"
#include "ToolText.h"
#include "sim/rdp/RdpWire.h"

namespace vrdpc {
namespace {

constexpr int kBacklog = 16;

[[noreturn]] void FailSocket(const std::string& sPath, const std::u16string& sWhy)
{
    Stop(kExitSocket, u"socket '" + vtool::FromUtf8(sPath) + u"' " + sWhy);
}

std::u16string SystemReason(int nError) { return vtool::FromUtf8(std::strerror(nError)); }

// A socket file nobody listens on is what a client that died leaves: it is
// removed. One a running client listens on, or any other file, is kept.
void ClaimPath(const std::string& sPath)
{
    struct stat info {};
    if (lstat(sPath.c_str(), &info) != 0) {
        if (errno != ENOENT)
            FailSocket(sPath, u"cannot be used: " + SystemReason(errno) + u".");
        return;
    }
    if (!S_ISSOCK(info.st_mode))
        FailSocket(sPath, u"is a file that is no socket; it is left as it is.");
    const vrdp::CFileDescriptor probe(vrdp::ConnectTo(sPath));
    if (probe.IsValid())
        FailSocket(sPath, u"is in use by a running client.");
    if (errno != ECONNREFUSED)
        FailSocket(sPath, u"cannot be used: " + SystemReason(errno) + u".");
    if (unlink(sPath.c_str()) != 0 && errno != ENOENT)
        FailSocket(sPath, u"was left by a client that ended, and cannot be removed: " +
                              SystemReason(errno) + u".");
}

}  // namespace

CListener::CListener(const std::string& sPath) : m_sPath(sPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (sPath.empty() || sPath.size() >= sizeof address.sun_path)
        FailSocket(sPath, u"needs a path of 1 to " + vtool::Decimal(sizeof address.sun_path - 1) +
                              u" bytes.");
    std::memcpy(address.sun_path, sPath.c_str(), sPath.size() + 1);
    ClaimPath(sPath);
    m_oSocket.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_oSocket.IsValid())
        FailSocket(sPath, u"cannot be made: " + SystemReason(errno) + u".");
    // The file is made with the mode the umask leaves: only this user's.
    // Nothing else runs yet, so the process-wide mask may change here.
    const mode_t nMask = umask(0177);
    const int nBound = bind(m_oSocket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int nBindError = errno;
    umask(nMask);
    if (nBound != 0)
        FailSocket(sPath, u"cannot be listened on: " + SystemReason(nBindError) + u".");
    struct stat info {};
    if (lstat(sPath.c_str(), &info) == 0) {
        m_nDevice = info.st_dev;
        m_nInode = info.st_ino;
    }
    if (listen(m_oSocket.Get(), kBacklog) != 0) {
        const int nError = errno;
        unlink(sPath.c_str());  // no destructor runs for a constructor that throws
        FailSocket(sPath, u"cannot be listened on: " + SystemReason(nError) + u".");
    }
}

void CListener::Remove()
{
    if (!m_oSocket.IsValid())
        return;
    m_oSocket.Reset();
    struct stat info {};
    if (lstat(m_sPath.c_str(), &info) == 0 && info.st_dev == m_nDevice && info.st_ino == m_nInode)
        unlink(m_sPath.c_str());
}

vrdp::CFileDescriptor CListener::Accept()
{
    for (;;) {
        const int nFd = accept4(m_oSocket.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (nFd >= 0 || errno != EINTR)
            return vrdp::CFileDescriptor(nFd);
    }
}

}  // namespace vrdpc
