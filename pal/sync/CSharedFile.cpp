#include "pal/sync/CSharedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "pal/files/PathErrors.h"
#include "pal/system/debugoutput.h"

namespace {

constexpr int kAttempts = 1000;  // with 1 ms pauses: a holder stopped mid-change cannot hang us
constexpr int kCreateRaces = 8;
constexpr DWORD kRetry = ~0u;  // not a Win32 code: start again with a fresh descriptor
// Only the user's own processes, as the default DACL of a named object
// admits only its maker's account (and the administrators, here root).
constexpr mode_t kOwnerOnly = 0600;
constexpr off_t kPresenceByte = 0;  // read-locked by every holder
constexpr off_t kRepairByte = 1;    // write-locked by the one repairing the block
constexpr auto kRepairWait = std::chrono::milliseconds(500);

bool Lock(int fd, short type, off_t byte)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// False once the last holder has unlinked the file we opened.
bool IsLinked(int fd, const std::string& path)
{
    struct stat opened {
    }, named {};
    return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

DWORD Refuse(const std::string& path, const char* why, DWORD error)
{
    pal::WriteDebugOutput("pal: " + path + ": refused as a named object's file: " + why);
    return error;
}

// Someone else's file there must not be trusted, a link not followed, a
// FIFO not waited on.
DWORD Vet(int fd, const std::string& path)
{
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return pal::Win32ErrorFromErrno(errno, path);
    if (!S_ISREG(info.st_mode))
        return Refuse(path, "not a regular file", ERROR_INVALID_HANDLE);
    if (info.st_uid != geteuid())
        return Refuse(path, ("owned by user " + std::to_string(info.st_uid)).c_str(),
                      ERROR_ACCESS_DENIED);
    if ((info.st_mode & 07777) != kOwnerOnly)
        fchmod(fd, kOwnerOnly);  // one made by an older build
    return ERROR_SUCCESS;
}

DWORD OpenBacking(const std::string& path, bool create, int& fd)
{
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    for (int attempt = 0; attempt < kCreateRaces; ++attempt) {
        fd = open(path.c_str(), flags);
        if (fd < 0 && errno == ENOENT && create) {
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, kOwnerOnly);
            if (fd >= 0)
                fchmod(fd, kOwnerOnly);  // past a default ACL of the folder
            else if (errno == EEXIST)
                continue;
        }
        if (fd < 0)
            return errno == ELOOP ? Refuse(path, "a symbolic link", ERROR_ACCESS_DENIED)
                                  : pal::Win32ErrorFromErrno(errno, path);
        const DWORD vetted = Vet(fd, path);
        if (vetted != ERROR_SUCCESS)
            close(fd);
        return vetted;
    }
    return ERROR_TIMEOUT;
}

}  // namespace

namespace pal {

CSharedFile::~CSharedFile()
{
    if (m_pBlock)
        munmap(m_pBlock, m_nSize);
    if (m_iFd < 0)
        return;
    // Only the last holder gets the write lock; an opener racing with it
    // finds its descriptor unlinked and starts again.
    if (Lock(m_iFd, F_WRLCK, kPresenceByte) && IsLinked(m_iFd, m_sPath))
        unlink(m_sPath.c_str());
    close(m_iFd);
}

DWORD CSharedFile::Open(const std::string& path, size_t size, const Initialiser& initialise,
                        EOpen mode, bool& existed)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int fd = -1;
        DWORD result = OpenBacking(path, mode == EOpen::CreateOrJoin, fd);
        if (result != ERROR_SUCCESS)
            return result;
        result = _Join(fd, path, size, initialise, mode, existed);
        if (result == ERROR_SUCCESS) {
            struct stat info {};
            fstat(fd, &info);
            m_sPath = path;
            m_iFd = fd;
            m_iInode = info.st_ino;
            return result;
        }
        close(fd);
        if (result != kRetry)
            return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ERROR_TIMEOUT;
}

DWORD CSharedFile::OpenPrivate(size_t size, const Initialiser& initialise)
{
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return ERROR_NOT_ENOUGH_MEMORY;
    m_pBlock = block;
    m_nSize = size;
    initialise(m_pBlock);
    return ERROR_SUCCESS;
}

bool CSharedFile::IsMappedBy(pid_t tid) const
{
    std::ifstream maps("/proc/" + std::to_string(tid) + "/maps");
    if (!maps)
        return true;  // cannot tell (a process that may not be inspected)
    // The inode or the path alone: a stacked file system may show the
    // device (or the inode) of the layer below, and a wrong "yes" only
    // leaves a damaged lock unrepaired, where a wrong "no" would break one.
    for (std::string line; std::getline(maps, line);) {
        unsigned long long inode = 0;
        int pathAt = 0;
        if (std::sscanf(line.c_str(), "%*x-%*x %*s %*x %*x:%*x %llu %n", &inode, &pathAt) >= 1 &&
            (inode == m_iInode || line.compare(static_cast<size_t>(pathAt), m_sPath.size(), m_sPath) == 0))
            return true;
    }
    return false;
}

DWORD CSharedFile::_Join(int fd, const std::string& path, size_t size,
                         const Initialiser& initialise, EOpen mode, bool& existed)
{
    if (Lock(fd, F_WRLCK, kPresenceByte)) {  // nobody holds the block: whatever the file holds is stale
        if (!IsLinked(fd, path))
            return kRetry;
        if (mode == EOpen::JoinOnly) {
            unlink(path.c_str());
            return ERROR_FILE_NOT_FOUND;
        }
        if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
            return Win32ErrorFromErrno(errno, path);
        if (!_Map(fd, size))
            return ERROR_NOT_ENOUGH_MEMORY;
        initialise(m_pBlock);
        Lock(fd, F_RDLCK, kPresenceByte);  // an atomic downgrade: no opener slips in half-way
        existed = false;
        return ERROR_SUCCESS;
    }
    struct stat info {};
    if (!Lock(fd, F_RDLCK, kPresenceByte) || !IsLinked(fd, path) || fstat(fd, &info) != 0 ||
        info.st_size == 0)
        return kRetry;  // being made or removed right now
    if (static_cast<size_t>(info.st_size) != size)  // a process of another build or bitness
        return Refuse(path, ("a block of " + std::to_string(info.st_size) + " bytes, not " +
                             std::to_string(size)).c_str(),
                      ERROR_INVALID_HANDLE);
    if (!_Map(fd, size))
        return ERROR_NOT_ENOUGH_MEMORY;
    existed = true;
    return ERROR_SUCCESS;
}

bool CSharedFile::_Map(int fd, size_t size)
{
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (block == MAP_FAILED)
        return false;
    m_pBlock = block;
    m_nSize = size;
    return true;
}

CSharedFile::CRepairLock::CRepairLock(CSharedFile& file)
    : m_oFile(file), m_oThreads(file.m_mRepair, std::defer_lock)
{
    const auto end = std::chrono::steady_clock::now() + kRepairWait;
    while (!m_oThreads.try_lock()) {
        if (std::chrono::steady_clock::now() >= end)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!(m_bHeld = Lock(file.m_iFd, F_WRLCK, kRepairByte)) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

CSharedFile::CRepairLock::~CRepairLock()
{
    if (m_bHeld)
        Lock(m_oFile.m_iFd, F_UNLCK, kRepairByte);
}

}  // namespace pal
