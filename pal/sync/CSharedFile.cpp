#include "pal/sync/CSharedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "pal/files/PathErrors.h"

namespace {

constexpr int kAttempts = 1000;  // with 1 ms pauses: a holder stopped mid-change cannot hang us
constexpr int kCreateRaces = 8;
constexpr DWORD kRetry = ~0u;  // not a Win32 code: start again with a fresh descriptor
constexpr mode_t kEveryone =
    0666;  // as the default DACL of a named object lets every account use it

bool Lock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;  // start and length 0: the whole file
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

// The folder is shared by all accounts: links planted there are refused.
DWORD OpenBacking(const std::string& path, bool create, int& fd)
{
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0; attempt < kCreateRaces; ++attempt) {
        fd = open(path.c_str(), flags);
        if (fd < 0 && errno == ENOENT && create) {
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, kEveryone);
            if (fd >= 0)
                fchmod(fd, kEveryone);  // past the umask
            else if (errno == EEXIST)
                continue;
        }
        if (fd < 0)
            return errno == ELOOP ? ERROR_ACCESS_DENIED : pal::Win32ErrorFromErrno(errno, path);
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            return ERROR_SUCCESS;
        close(fd);
        return ERROR_INVALID_HANDLE;  // the name is taken by something else
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
    if (Lock(m_iFd, F_WRLCK) && IsLinked(m_iFd, m_sPath))
        unlink(m_sPath.c_str());
    close(m_iFd);
}

DWORD CSharedFile::Open(const std::string& path, size_t size, uint32_t magic,
                        const Initialiser& initialise, EOpen mode, bool& existed)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int fd = -1;
        DWORD result = OpenBacking(path, mode == EOpen::CreateOrJoin, fd);
        if (result != ERROR_SUCCESS)
            return result;
        result = _Join(fd, path, size, magic, initialise, mode, existed);
        if (result == ERROR_SUCCESS) {
            m_sPath = path;
            m_iFd = fd;
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

DWORD CSharedFile::_Join(int fd, const std::string& path, size_t size, uint32_t magic,
                         const Initialiser& initialise, EOpen mode, bool& existed)
{
    if (Lock(fd, F_WRLCK)) {  // nobody holds the block: whatever the file holds is stale
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
        __atomic_store_n(static_cast<uint32_t*>(m_pBlock), magic, __ATOMIC_RELEASE);
        Lock(fd, F_RDLCK);  // an atomic downgrade: no opener slips in half-way
        existed = false;
        return ERROR_SUCCESS;
    }
    struct stat info {};
    if (!Lock(fd, F_RDLCK) || !IsLinked(fd, path) || fstat(fd, &info) != 0 || info.st_size == 0)
        return kRetry;  // being made or removed right now
    if (static_cast<size_t>(info.st_size) != size)
        return ERROR_INVALID_HANDLE;
    if (!_Map(fd, size))
        return ERROR_NOT_ENOUGH_MEMORY;
    const uint32_t found = __atomic_load_n(static_cast<const uint32_t*>(m_pBlock),
                                           __ATOMIC_ACQUIRE);
    if (found == magic) {
        existed = true;
        return ERROR_SUCCESS;
    }
    munmap(m_pBlock, m_nSize);
    m_pBlock = nullptr;
    return found == 0 ? kRetry : ERROR_INVALID_HANDLE;  // 0: its maker died half-way
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

}  // namespace pal
