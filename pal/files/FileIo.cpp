// Synchronous reads and writes on CreateFileW handles.
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "pal/files/CFileObject.h"
#include "pal/files/PathErrors.h"
#include "pal/files/files.h"

namespace {

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// Windows requires the count pointer without OVERLAPPED and faults on a
// missing buffer; both fail cleanly here so that the mistake shows.
DWORD CheckArguments(HANDLE file, const void* buffer, DWORD count, LPDWORD done,
                     LPOVERLAPPED overlapped, std::shared_ptr<pal::CFileObject>& object)
{
    if (done)
        *done = 0;  // before any check, as Windows does
    object = pal::FindHandleOf<pal::CFileObject>(file);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if (overlapped || !done)
        return ERROR_INVALID_PARAMETER;
    if (!buffer && count)
        return ERROR_NOACCESS;
    return ERROR_SUCCESS;
}

// EBADF on a handle we know means it was opened without the right: folders
// and query-only handles hold O_PATH descriptors.
DWORD IoError(int error)
{
    return error == EBADF ? ERROR_ACCESS_DENIED : pal::Win32ErrorFromErrno(error, {});
}

}  // namespace

// One write(2) per call in the common case, so that an O_APPEND handle
// (FILE_APPEND_DATA alone) adds each buffer as a whole.
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped)
{
    std::shared_ptr<pal::CFileObject> object;
    const DWORD error = CheckArguments(file, buffer, bytesToWrite, bytesWritten, overlapped,
                                       object);
    if (error != ERROR_SUCCESS)
        return Fail(error);
    const auto* bytes = static_cast<const char*>(buffer);
    while (*bytesWritten < bytesToWrite) {
        const ssize_t n = write(object->Fd(), bytes + *bytesWritten, bytesToWrite - *bytesWritten);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? IoError(errno) : ERROR_DISK_FULL);
        *bytesWritten += static_cast<DWORD>(n);
    }
    return TRUE;
}

// Short only at the end of the file; at the end, TRUE with 0 bytes.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped)
{
    std::shared_ptr<pal::CFileObject> object;
    const DWORD error = CheckArguments(file, buffer, bytesToRead, bytesRead, overlapped, object);
    if (error != ERROR_SUCCESS)
        return Fail(error);
    auto* bytes = static_cast<char*>(buffer);
    while (*bytesRead < bytesToRead) {
        const ssize_t n = read(object->Fd(), bytes + *bytesRead, bytesToRead - *bytesRead);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(IoError(errno));
        if (n == 0)
            break;
        *bytesRead += static_cast<DWORD>(n);
    }
    return TRUE;
}
