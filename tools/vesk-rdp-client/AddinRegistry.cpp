#include "AddinRegistry.h"

#include <memory>
#include <type_traits>

#include "ToolText.h"
#include "support/Win32.h"

namespace vrdpc {

const char16_t* const kAddinsKey =
    u"Software\\Microsoft\\Terminal Server Client\\Default\\AddIns";

namespace {

// Longer than any path a loader takes; a longer value is not a library name.
constexpr DWORD kMaxNameBytes = 32768 * sizeof(WCHAR);
constexpr DWORD kMaxKeyName = 256;

struct SKeyCloser {
    void operator()(HKEY hKey) const { RegCloseKey(hKey); }
};
using CKey = std::unique_ptr<std::remove_pointer_t<HKEY>, SKeyCloser>;

CKey OpenKey(HKEY hParent, const std::u16string& sName)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(hParent, vtool::ToWide(sName).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                      &hKey) != ERROR_SUCCESS)
        return CKey();
    return CKey(hKey);
}

std::vector<std::u16string> SubKeyNames(HKEY hKey)
{
    std::vector<std::u16string> names;
    for (DWORD nIndex = 0;; ++nIndex) {
        WCHAR szName[kMaxKeyName];
        DWORD nLength = kMaxKeyName;
        if (RegEnumKeyExW(hKey, nIndex, szName, &nLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return names;
        names.push_back(vtool::FromWide(szName, nLength));
    }
}

// The REG_SZ value "Name" without its terminator, or empty.
std::u16string LibraryName(HKEY hAddin)
{
    DWORD nType = 0;
    DWORD nBytes = 0;
    if (RegQueryValueExW(hAddin, W("Name"), nullptr, &nType, nullptr, &nBytes) != ERROR_SUCCESS ||
        nType != REG_SZ || nBytes < sizeof(WCHAR) || nBytes > kMaxNameBytes)
        return std::u16string();
    std::vector<WCHAR> text(nBytes / sizeof(WCHAR) + 1, 0);
    if (RegQueryValueExW(hAddin, W("Name"), nullptr, &nType, reinterpret_cast<LPBYTE>(text.data()),
                         &nBytes) != ERROR_SUCCESS ||
        nType != REG_SZ)
        return std::u16string();
    size_t nLength = 0;
    while (nLength < nBytes / sizeof(WCHAR) && text[nLength] != 0)
        ++nLength;
    return vtool::FromWide(text.data(), nLength);
}

}  // namespace

std::vector<SAddinRegistration> ReadAddinRegistrations()
{
    std::vector<SAddinRegistration> registrations;
    const CKey addins = OpenKey(HKEY_CURRENT_USER, kAddinsKey);
    if (!addins)
        return registrations;
    for (const std::u16string& sKey : SubKeyNames(addins.get())) {
        SAddinRegistration registration;
        registration.sKey = sKey;
        const CKey addin = OpenKey(addins.get(), sKey);
        registration.sPath = addin ? LibraryName(addin.get()) : std::u16string();
        if (registration.sPath.empty())
            registration.sProblem = u"has no library path in its REG_SZ value 'Name'";
        registrations.push_back(std::move(registration));
    }
    return registrations;
}

}  // namespace vrdpc
