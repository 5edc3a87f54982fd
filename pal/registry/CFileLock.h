// An exclusive advisory lock on a file, held for the object's lifetime. Each
// object opens its own descriptor, so threads of one process exclude each
// other as well as processes do.
#pragma once
#include <string>

namespace pal::registry {

class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Creates the file when missing and waits at most `timeoutMs` for the
    // lock; 0, ETIMEDOUT, or the errno of the open.
    int Acquire(const std::string& path, unsigned timeoutMs);

private:
    int m_nFd = -1;
};

}  // namespace pal::registry
