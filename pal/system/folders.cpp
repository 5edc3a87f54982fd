#include <filesystem>
#include <system_error>

#include "pal/system/machine.h"
#include "pal/system/system.h"
#include "pal/text/text.h"

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    const std::u16string folder = pal::FromPosixPath(pal::SystemFolder());
    if (folder.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    const UINT length = static_cast<UINT>(folder.size());
    if (!buffer || size <= length)
        return length + 1;  // the size needed, terminator included
    return static_cast<UINT>(pal::CopyToBuffer(folder, buffer, size));
}

HRESULT WINAPI SHGetFolderPathW(HWND, int folder, HANDLE, DWORD flags, LPWSTR path)
{
    if (!path || flags > SHGFP_TYPE_DEFAULT)
        return E_INVALIDARG;
    std::string posix;
    switch (folder & ~CSIDL_FLAG_MASK) {
    case CSIDL_SYSTEM:
        posix = pal::SystemFolder();
        break;
    case CSIDL_SYSTEMX86:
        posix = pal::SystemX86Folder();
        break;
    default:
        return E_INVALIDARG;
    }
    const std::u16string text = pal::FromPosixPath(posix);
    if (text.empty() || text.size() >= MAX_PATH)
        return E_FAIL;
    if (folder & CSIDL_FLAG_CREATE) {
        std::error_code error;
        std::filesystem::create_directories(posix, error);
        if (error)
            return E_FAIL;
    }
    pal::CopyToBuffer(text, path, MAX_PATH);
    return S_OK;
}
