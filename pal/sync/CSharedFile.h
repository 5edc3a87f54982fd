// A block of memory that processes share by name, backed by a file. Every
// process using the block holds an OFD read lock on the file's first byte,
// so the block lives exactly as long as someone uses it: whoever finds no
// other holder (its write lock succeeds) initialises it afresh, and the last
// one out removes the file. A crashed holder loses its lock with its
// descriptors. The second byte's lock serialises repairs of the block.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

class CSharedFile {
public:
    // Fills a zeroed block while its maker alone has the file.
    using Initialiser = std::function<void(void* block)>;
    enum class EOpen { CreateOrJoin, JoinOnly };

    CSharedFile() = default;
    ~CSharedFile();
    CSharedFile(const CSharedFile&) = delete;
    CSharedFile& operator=(const CSharedFile&) = delete;

    // The file is made 0600 and must be a regular file of this user's.
    // ERROR_FILE_NOT_FOUND for JoinOnly when nobody holds the block;
    // ERROR_ACCESS_DENIED for a link or another user's file;
    // ERROR_INVALID_HANDLE for another kind of file or a block of another
    // size. Refusals are reported on the debugger output.
    DWORD Open(const std::string& path, size_t size, const Initialiser& initialise, EOpen mode,
               bool& existed);
    // A block private to this process.
    DWORD OpenPrivate(size_t size, const Initialiser& initialise);

    void* Block() const { return m_pBlock; }
    bool IsShared() const { return m_iFd >= 0; }
    const std::string& Path() const { return m_sPath; }
    // Whether the process of thread `tid` maps this file.
    bool IsMappedBy(pid_t tid) const;

    // Held while a thread of this process repairs the block, excluding
    // repairs by other threads and processes; gives up after a bound.
    class CRepairLock {
    public:
        explicit CRepairLock(CSharedFile& file);
        ~CRepairLock();
        CRepairLock(const CRepairLock&) = delete;
        CRepairLock& operator=(const CRepairLock&) = delete;
        bool Held() const { return m_bHeld; }

    private:
        CSharedFile& m_oFile;
        std::unique_lock<std::mutex> m_oThreads;
        bool m_bHeld = false;
    };

private:
    DWORD _Join(int fd, const std::string& path, size_t size, const Initialiser& initialise,
                EOpen mode, bool& existed);
    bool _Map(int fd, size_t size);

    std::string m_sPath;
    int m_iFd = -1;
    void* m_pBlock = nullptr;
    size_t m_nSize = 0;
    ino_t m_iInode = 0;
    // Plain, and polled: ThreadSanitizer does not see a timed mutex taken with
    // a deadline on the steady clock, and reports its release as unmatched.
    std::mutex m_mRepair;
};

}  // namespace pal
