#include "image/SnapshotSettings.h"

#include <algorithm>
#include <vector>

#include "support/Registry.h"

namespace {

constexpr DWORD kFolderCapacity = 4096;  // characters

bool IsSwitchedOn(HKEY hKey)
{
    DWORD nType = 0;
    DWORD nValue = 0;
    DWORD nSize = sizeof nValue;
    return RegQueryValueExW(hKey, W("veskSensorSaveBmp"), nullptr, &nType,
                            reinterpret_cast<LPBYTE>(&nValue), &nSize) == ERROR_SUCCESS &&
           nType == REG_DWORD && nValue != 0;
}

// A REG_SZ up to its first null; a longer value than the buffer is refused.
bool ReadFolder(HKEY hKey, WString& sFolder)
{
    std::vector<WCHAR> buffer(kFolderCapacity, 0);
    DWORD nType = 0;
    DWORD nSize = kFolderCapacity * sizeof(WCHAR);
    if (RegQueryValueExW(hKey, W("veskSensorSaveBmpPath"), nullptr, &nType,
                         reinterpret_cast<LPBYTE>(buffer.data()), &nSize) != ERROR_SUCCESS ||
        nType != REG_SZ)
        return false;
    sFolder.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), WCHAR(0)));
    return true;
}

}  // namespace

bool ReadSaveBmpSettings(WString& sFolder)
{
    sFolder.clear();
    CHRegKey key;
    if (RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\veskSensor"), 0, nullptr, 0,
                         KEY_READ, nullptr, key.GetAddress(), nullptr) != ERROR_SUCCESS)
        return false;
    if (!IsSwitchedOn(key.Get()) || !ReadFolder(key.Get(), sFolder))
        return false;
    return !sFolder.empty();
}
