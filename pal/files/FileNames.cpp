// Operations on names: renaming, deleting, making folders, and the
// attributes with sizes and times.
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "pal/files/FileAttributes.h"
#include "pal/files/PathErrors.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

namespace {

constexpr DWORD kNotSameDevice = 17;  // ERROR_NOT_SAME_DEVICE
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL Succeed()
{
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

FILETIME FileTimeOf(const statx_timestamp& time)
{
    const long long seconds = time.tv_sec + kSecondsFrom1601To1970;
    const ULONGLONG ticks = seconds < 0
        ? 0
        : static_cast<ULONGLONG>(seconds) * 10000000ull + time.tv_nsec / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// File systems without RENAME_NOREPLACE fall back on a check before the
// rename, which a racing creator can beat.
int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0)
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

DWORD MoveError(int error, const std::string& from)
{
    struct stat info {};
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return ERROR_ALREADY_EXISTS;
    case ENOENT:  // the source, or the folder of the new name
        return lstat(from.c_str(), &info) != 0 ? pal::Win32ErrorFromErrno(ENOENT, from)
                                               : ERROR_PATH_NOT_FOUND;
    case EXDEV:  // Windows would copy a file across volumes; not offered here
        return kNotSameDevice;
    default:
        return pal::Win32ErrorFromErrno(error, from);
    }
}

}  // namespace

BOOL WINAPI MoveFileW(LPCWSTR existingName, LPCWSTR newName)
{
    if (!existingName || !*existingName || !newName || !*newName)
        return Fail(ERROR_PATH_NOT_FOUND);
    const std::string from = pal::ToPosixPath(existingName);
    const int error = RenameNoReplace(from, pal::ToPosixPath(newName));
    return error == 0 ? Succeed() : Fail(MoveError(error, from));
}

// Folders and read-only files refuse, as on Windows, though POSIX would unlink them.
BOOL WINAPI DeleteFileW(LPCWSTR fileName)
{
    if (!fileName || !*fileName)
        return Fail(ERROR_PATH_NOT_FOUND);
    const std::string path = pal::ToPosixPath(fileName);
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return Fail(pal::Win32ErrorFromErrno(errno, path));
    if (S_ISDIR(info.st_mode) ||
        (S_ISREG(info.st_mode) && (pal::AttributesOfMode(info.st_mode) & FILE_ATTRIBUTE_READONLY)))
        return Fail(ERROR_ACCESS_DENIED);
    return unlink(path.c_str()) == 0 ? Succeed() : Fail(pal::Win32ErrorFromErrno(errno, path));
}

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES)
{
    if (!pathName || !*pathName)
        return Fail(ERROR_PATH_NOT_FOUND);
    const std::string path = pal::ToPosixPath(pathName);
    if (mkdir(path.c_str(), 0777) == 0)
        return Succeed();
    switch (errno) {
    case EEXIST:
        return Fail(ERROR_ALREADY_EXISTS);
    case ENOENT:
    case ENOTDIR:
        return Fail(ERROR_PATH_NOT_FOUND);
    default:
        return Fail(pal::Win32ErrorFromErrno(errno, path));
    }
}

// The creation time is the birth time where the file system keeps one, else
// the last write. Folders report size 0.
BOOL WINAPI GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID info)
{
    if (level != GetFileExInfoStandard || !info)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!fileName || !*fileName)
        return Fail(ERROR_PATH_NOT_FOUND);
    const std::string path = pal::ToPosixPath(fileName);
    struct statx found {};
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
              &found) != 0)
        return Fail(pal::Win32ErrorFromErrno(errno, path));
    const ULONGLONG size = S_ISDIR(found.stx_mode) ? 0 : found.stx_size;
    auto* data = static_cast<LPWIN32_FILE_ATTRIBUTE_DATA>(info);
    data->dwFileAttributes = pal::AttributesOfMode(found.stx_mode);
    data->ftCreationTime = FileTimeOf((found.stx_mask & STATX_BTIME) ? found.stx_btime
                                                                     : found.stx_mtime);
    data->ftLastAccessTime = FileTimeOf(found.stx_atime);
    data->ftLastWriteTime = FileTimeOf(found.stx_mtime);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return Succeed();
}
