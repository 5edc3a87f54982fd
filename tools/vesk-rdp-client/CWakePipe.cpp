#include "CWakePipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace vrdpc {
namespace {

// Lock-free, so that the signal handler may use them.
std::atomic<int> g_nCaught{0};
std::atomic<const CWakePipe*> g_pSignalWake{nullptr};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const CWakePipe*>::is_always_lock_free);

void OnStopSignal(int nSignal)
{
    const int nSavedErrno = errno;
    g_nCaught = nSignal;
    if (const CWakePipe* pWake = g_pSignalWake.load())
        pWake->Wake();
    errno = nSavedErrno;
}

}  // namespace

CWakePipe::CWakePipe()
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    m_oRead.Reset(fds[0]);
    m_oWrite.Reset(fds[1]);
}

void CWakePipe::Wake() const
{
    const char nByte = 1;
    while (write(m_oWrite.Get(), &nByte, 1) < 0 && errno == EINTR) {
    }
}

void CWakePipe::Drain() const
{
    for (char buffer[256];;) {
        const ssize_t n = read(m_oRead.Get(), buffer, sizeof buffer);
        if (n <= 0 && !(n < 0 && errno == EINTR))
            return;
    }
}

CStopSignals::CStopSignals(const CWakePipe& wake)
{
    g_pSignalWake = &wake;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oOldInt);
    sigaction(SIGTERM, &action, &m_oOldTerm);
}

CStopSignals::~CStopSignals()
{
    sigaction(SIGINT, &m_oOldInt, nullptr);
    sigaction(SIGTERM, &m_oOldTerm, nullptr);
    g_pSignalWake = nullptr;
}

int CStopSignals::Caught() { return g_nCaught; }

}  // namespace vrdpc
