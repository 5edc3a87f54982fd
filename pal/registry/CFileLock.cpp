#include "pal/registry/CFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pal::registry {

CFileLock::~CFileLock()
{
    if (m_nFd >= 0)
        close(m_nFd);  // releases the lock
}

int CFileLock::Acquire(const std::string& path)
{
    m_nFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_nFd < 0)
        return errno;
    while (flock(m_nFd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

}  // namespace pal::registry
