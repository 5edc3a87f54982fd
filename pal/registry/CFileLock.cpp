#include "pal/registry/CFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace pal::registry {

CFileLock::~CFileLock()
{
    if (m_nFd >= 0)
        close(m_nFd);  // releases the lock
}

// flock has no timed wait: poll, starting fine-grained so that the common
// short hold costs little, and backing off so that a long one costs no CPU.
int CFileLock::Acquire(const std::string& path, unsigned timeoutMs)
{
    m_nFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (m_nFd < 0)
        return errno;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::chrono::microseconds pause(50);
    while (flock(m_nFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace pal::registry
