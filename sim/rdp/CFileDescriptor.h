// Owner of one POSIX file descriptor: closed when the owner goes.
#pragma once
#include <unistd.h>

#include <utility>

namespace vrdp {

class CFileDescriptor {
public:
    CFileDescriptor() = default;
    explicit CFileDescriptor(int nFd) : m_nFd(nFd) {}
    ~CFileDescriptor() { Reset(); }
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_nFd(other.Release()) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_nFd; }
    bool IsValid() const { return m_nFd >= 0; }
    int Release() { return std::exchange(m_nFd, -1); }
    // close() is not retried on EINTR: Linux has released the descriptor then.
    void Reset(int nFd = -1)
    {
        if (m_nFd >= 0)
            ::close(m_nFd);
        m_nFd = nFd;
    }

private:
    int m_nFd = -1;
};

}  // namespace vrdp
