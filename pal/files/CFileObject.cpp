#include "pal/files/CFileObject.h"

#include <sys/stat.h>
#include <unistd.h>

#include "pal/files/files.h"

namespace pal {

CFileObject::~CFileObject() { close(m_iFd); }

DWORD CFileObject::Wait(DWORD) { return WAIT_OBJECT_0; }

}  // namespace pal

namespace {

// Folders report size 0 as on Windows, not the size of their entry table.
bool QuerySize(HANDLE file, ULONGLONG& size)
{
    const auto object = pal::FindHandleOf<pal::CFileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct stat info {};
    if (fstat(object->Fd(), &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    size = object->IsFolder() ? 0 : static_cast<ULONGLONG>(info.st_size);
    return true;
}

}  // namespace

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    ULONGLONG size = 0;
    if (!QuerySize(file, size))
        return INVALID_FILE_SIZE;
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    // A low word of 0xFFFFFFFF is only told apart from failure by this.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size)
{
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONGLONG value = 0;
    if (!QuerySize(file, value))
        return FALSE;
    size->QuadPart = static_cast<LONGLONG>(value);
    return TRUE;
}
