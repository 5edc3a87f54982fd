#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "pal/files/CFileObject.h"
#include "pal/files/FileAttributes.h"
#include "pal/files/PathErrors.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

namespace {

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kOverwriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA;
constexpr DWORD kWriteRights = kOverwriteRights | FILE_APPEND_DATA;
constexpr int kCreateMode = 0666;  // narrowed by the umask, as files made by any program
constexpr int kRaceRetries = 8;

HANDLE Fail(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// Access 0 (query only) opens even an unreadable file, as on Windows.
int AccessFlags(DWORD access)
{
    const bool read = (access & kReadRights) != 0;
    const bool write = (access & kWriteRights) != 0;
    int flags = read && write ? O_RDWR : write ? O_WRONLY : read ? O_RDONLY : O_PATH;
    if (write && !(access & kOverwriteRights))
        flags |= O_APPEND;
    return flags;
}

// O_PATH cannot create or truncate; the least access that can stands in.
int WithMode(int flags, int mode) { return (flags & O_PATH) ? (flags & ~O_PATH) | mode : flags; }

// Opens the file when it is there (with `existingFlags`), creates it otherwise;
// retried because another process may create or delete it in between.
int OpenOrCreate(const std::string& path, int flags, int existingFlags, bool& existed)
{
    for (int attempt = 0; attempt < kRaceRetries; ++attempt) {
        int fd = open(path.c_str(), flags | existingFlags);
        if (fd >= 0 || errno != ENOENT) {
            existed = fd >= 0;
            return fd;
        }
        fd = open(path.c_str(), WithMode(flags, O_RDONLY) | O_CREAT | O_EXCL, kCreateMode);
        if (fd >= 0 || errno != EEXIST) {
            existed = false;
            return fd;
        }
    }
    return -1;
}

int OpenByDisposition(const std::string& path, int flags, DWORD creation, bool& existed)
{
    existed = creation != CREATE_NEW;
    switch (creation) {
    case CREATE_NEW:
        return open(path.c_str(), WithMode(flags, O_RDONLY) | O_CREAT | O_EXCL, kCreateMode);
    case CREATE_ALWAYS:
        return OpenOrCreate(path, WithMode(flags, O_WRONLY), O_TRUNC, existed);
    case OPEN_ALWAYS:
        return OpenOrCreate(path, flags, 0, existed);
    case TRUNCATE_EXISTING:
        return open(path.c_str(), flags | O_TRUNC);
    default:
        return open(path.c_str(), flags);
    }
}

HANDLE Publish(int fd, bool isFolder, bool existed, DWORD creation)
{
    const HANDLE handle = pal::InsertHandle(std::make_shared<pal::CFileObject>(fd, isFolder));
    const bool reportExisting = existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

mode_t ModeOf(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 ? info.st_mode : 0;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Folders open only for backup semantics, and never for creation or truncation.
HANDLE OpenFolder(const std::string& path, DWORD creation, DWORD flags, int inherit)
{
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS))
        return Fail(ERROR_ACCESS_DENIED);
    if (creation == CREATE_NEW)
        return Fail(ERROR_FILE_EXISTS);
    if (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING)
        return Fail(ERROR_ACCESS_DENIED);
    const int fd = open(path.c_str(), O_PATH | O_DIRECTORY | inherit);
    if (fd < 0)
        return Fail(pal::Win32ErrorFromErrno(errno, path));
    return Publish(fd, true, true, creation);
}

// Opens first and asks what it opened afterwards: one system call fewer on
// the common path, where the name is a file.
HANDLE OpenFile(const std::string& path, DWORD access, DWORD creation, DWORD flags, int inherit)
{
    bool existed = false;
    const int openFlags = AccessFlags(access) | inherit;
    // Non-blocking, so that a FIFO in a file's place is refused below instead
    // of waiting for a writer that never comes.
    const int fd = OpenByDisposition(path, openFlags | O_NONBLOCK, creation, existed);
    if (fd < 0) {
        if (errno == EISDIR || (errno == EEXIST && IsFolder(path)))
            return OpenFolder(path, creation, flags, inherit);
        return Fail(pal::Win32ErrorFromErrno(errno, path));
    }
    // A folder opens for reading and for no access; with write access the
    // open itself has already refused it.
    const mode_t mode = ModeOf(fd);
    if (!(openFlags & (O_WRONLY | O_RDWR)) && S_ISDIR(mode)) {
        close(fd);
        return OpenFolder(path, creation, flags, inherit);
    }
    // Windows paths name files and folders only: FIFOs, sockets and devices
    // are refused as a folder opened without backup semantics is.
    if (!S_ISREG(mode) && !(openFlags & O_PATH)) {
        close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    const int status = fcntl(fd, F_GETFL);
    if (status >= 0 && (status & O_NONBLOCK) && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int failure = errno;
        close(fd);
        return Fail(pal::Win32ErrorFromErrno(failure, path));
    }
    return Publish(fd, false, existed, creation);
}

}  // namespace

// Share modes are accepted but not enforced: POSIX cannot deny other openers.
HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES security,
                          DWORD creation, DWORD flags, HANDLE)
{
    if (!fileName || !*fileName)
        return Fail(ERROR_PATH_NOT_FOUND);
    if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    if (creation == TRUNCATE_EXISTING && !(access & kWriteRights))
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string path = pal::ToPosixPath(fileName);
    const int inherit = security && security->bInheritHandle ? 0 : O_CLOEXEC;
    return OpenFile(path, access, creation, flags, inherit);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string path = pal::ToPosixPath(fileName);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        SetLastError(pal::Win32ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return pal::AttributesOfMode(info.st_mode);
}
