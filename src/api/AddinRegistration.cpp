#include "api/AddinRegistration.h"

#include <vector>

#include "support/CHRegKey.h"
#include "support/CWinOS.h"
#include "support/Registry.h"

namespace {

constexpr UINT kSystemFolderCapacity = 512;

}  // namespace

bool RegisterRemoteDesktopAddin()
{
    CHRegKey key;
    if (RegCreateKeyEx64(HKEY_CURRENT_USER,
                         W("Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\veskSensor"),
                         0, nullptr, 0, KEY_WRITE, nullptr, key.GetAddress(), nullptr) != ERROR_SUCCESS) {
        *key.GetAddress() = nullptr;
        return false;
    }
    std::vector<WCHAR> folder(kSystemFolderCapacity, 0);
    const UINT nLength = GetSystemDirectoryW(folder.data(), kSystemFolderCapacity);
    if (nLength == 0 || nLength >= kSystemFolderCapacity)
        return false;
    const WString sPath = WString(folder.data(), nLength) + W("\\") +
                          (CWinOS::Is64BitSystem() ? W("veskSensorx64.dll") : W("veskSensor.dll"));
    const DWORD nBytes = static_cast<DWORD>((sPath.size() + 1) * sizeof(WCHAR));
    return RegSetValueExW(key.Get(), W("Name"), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(sPath.c_str()), nBytes) == ERROR_SUCCESS;
}
