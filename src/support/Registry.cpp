#include "support/Registry.h"

#include <cstring>

namespace {

constexpr DWORD kVersionInfoExSize = 284;

// The view flag to add, or false when the version cannot be read (the
// wrappers then refuse with ERROR_ACCESS_DENIED without touching the registry).
bool ViewFlagFor(REGSAM nView, REGSAM& nFlag)
{
    OSVERSIONINFOEXW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = kVersionInfoExSize;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
        return false;
    const bool bWindows2000 = info.dwMajorVersion == 5 && info.dwMinorVersion == 0;
    nFlag = bWindows2000 ? 0 : nView;
    return true;
}

LSTATUS CreateInView(REGSAM nView, HKEY hKey, LPCWSTR pszSubKey, DWORD nReserved,
                     LPWSTR pszClass, DWORD nOptions, REGSAM nDesired,
                     LPSECURITY_ATTRIBUTES pSecurity, PHKEY phResult, LPDWORD pnDisposition)
{
    REGSAM nFlag = 0;
    if (!ViewFlagFor(nView, nFlag))
        return ERROR_ACCESS_DENIED;
    return RegCreateKeyExW(hKey, pszSubKey, nReserved, pszClass, nOptions, nDesired | nFlag,
                           pSecurity, phResult, pnDisposition);
}

LSTATUS OpenInView(REGSAM nView, HKEY hKey, LPCWSTR pszSubKey, DWORD nOptions, REGSAM nDesired,
                   PHKEY phResult)
{
    REGSAM nFlag = 0;
    if (!ViewFlagFor(nView, nFlag))
        return ERROR_ACCESS_DENIED;
    return RegOpenKeyExW(hKey, pszSubKey, nOptions, nDesired | nFlag, phResult);
}

// Opens the key for reading and asks for the value's size; true only when
// the value exists with the expected type.
bool QuerySize(HKEY hRoot, const WString& sSubKey, const WString& sValueName, DWORD nExpectedType,
               bool bUse32BitView, bool bCreate, CHRegKey& key, DWORD& nSize)
{
    if (!OpenKey(hRoot, sSubKey, KEY_READ, bUse32BitView, bCreate, key))
        return false;
    DWORD nType = 0;
    nSize = 0;
    return RegQueryValueExW(key.Get(), sValueName.c_str(), nullptr, &nType, nullptr, &nSize) ==
               ERROR_SUCCESS &&
           nType == nExpectedType;
}

}  // namespace

LSTATUS RegCreateKeyEx64(HKEY hKey, LPCWSTR pszSubKey, DWORD nReserved, LPWSTR pszClass,
                         DWORD nOptions, REGSAM nDesired, LPSECURITY_ATTRIBUTES pSecurity,
                         PHKEY phResult, LPDWORD pnDisposition)
{
    return CreateInView(KEY_WOW64_64KEY, hKey, pszSubKey, nReserved, pszClass, nOptions,
                        nDesired, pSecurity, phResult, pnDisposition);
}

LSTATUS RegCreateKeyEx32(HKEY hKey, LPCWSTR pszSubKey, DWORD nReserved, LPWSTR pszClass,
                         DWORD nOptions, REGSAM nDesired, LPSECURITY_ATTRIBUTES pSecurity,
                         PHKEY phResult, LPDWORD pnDisposition)
{
    return CreateInView(KEY_WOW64_32KEY, hKey, pszSubKey, nReserved, pszClass, nOptions,
                        nDesired, pSecurity, phResult, pnDisposition);
}

LSTATUS RegOpenKeyEx64(HKEY hKey, LPCWSTR pszSubKey, DWORD nOptions, REGSAM nDesired,
                       PHKEY phResult)
{
    return OpenInView(KEY_WOW64_64KEY, hKey, pszSubKey, nOptions, nDesired, phResult);
}

LSTATUS RegOpenKeyEx32(HKEY hKey, LPCWSTR pszSubKey, DWORD nOptions, REGSAM nDesired,
                       PHKEY phResult)
{
    return OpenInView(KEY_WOW64_32KEY, hKey, pszSubKey, nOptions, nDesired, phResult);
}

bool OpenKey(HKEY hRoot, const WString& sSubKey, REGSAM nAccess, bool bUse32BitView,
             bool bCreate, CHRegKey& key)
{
    if (sSubKey.empty())
        return false;
    key.Close();
    const LPCWSTR pszSubKey = sSubKey.c_str();
    LSTATUS nResult;
    if (bCreate)
        nResult = (bUse32BitView ? RegCreateKeyEx32 : RegCreateKeyEx64)(
            hRoot, pszSubKey, 0, nullptr, 0, nAccess, nullptr, key.GetAddress(), nullptr);
    else
        nResult = (bUse32BitView ? RegOpenKeyEx32 : RegOpenKeyEx64)(hRoot, pszSubKey, 0, nAccess,
                                                                     key.GetAddress());
    if (nResult != ERROR_SUCCESS)
        *key.GetAddress() = nullptr;  // never keep what a failed call left behind
    return nResult == ERROR_SUCCESS;
}

bool ReadBinaryValue(HKEY hRoot, const WString& sSubKey, const WString& sValueName,
                     CMyByteArray& value, bool bUse32BitView, bool bCreate)
{
    if (sSubKey.empty() || sValueName.empty())
        return false;
    value.RemoveAll();
    CHRegKey key;
    DWORD nSize = 0;
    if (!QuerySize(hRoot, sSubKey, sValueName, REG_BINARY, bUse32BitView, bCreate, key, nSize))
        return false;
    value.SetSize(nSize);
    DWORD nType = 0;
    DWORD nRead = nSize;
    if (RegQueryValueExW(key.Get(), sValueName.c_str(), nullptr, &nType, value.GetData(),
                         &nRead) != ERROR_SUCCESS ||
        nType != REG_BINARY || nRead != value.GetSize()) {
        value.RemoveAll();
        return false;
    }
    return true;
}

bool ReadMultiStringValue(HKEY hRoot, const WString& sSubKey, const WString& sValueName,
                          std::vector<WString>& values, bool bUse32BitView, bool bCreate)
{
    values.clear();
    if (sSubKey.empty() || sValueName.empty())
        return false;
    CHRegKey key;
    DWORD nSize = 0;
    if (!QuerySize(hRoot, sSubKey, sValueName, REG_MULTI_SZ, bUse32BitView, bCreate, key, nSize))
        return false;
    DWORD nType = 0;
    // One spare character beyond the offered bytes keeps the walk terminated
    // even for a value stored without its final zeros.
    std::basic_string<WCHAR> buffer(static_cast<size_t>(nSize) + 1, 0);
    nSize += 1;
    if (RegQueryValueExW(key.Get(), sValueName.c_str(), nullptr, &nType,
                         reinterpret_cast<LPBYTE>(&buffer[0]), &nSize) != ERROR_SUCCESS ||
        nType != REG_MULTI_SZ)
        return false;
    // A partial last character still counts: its high byte is the zero fill.
    const size_t nChars = (static_cast<size_t>(nSize) + 1) / sizeof(WCHAR);
    size_t nPos = 0;
    do {
        size_t nEnd = nPos;
        while (nEnd < nChars && buffer[nEnd] != 0)
            ++nEnd;
        if (nEnd == nPos)
            break;
        values.emplace_back(buffer, nPos, nEnd - nPos);
        nPos = nEnd + 1;
    } while (static_cast<int64_t>(nPos * sizeof(WCHAR)) < static_cast<int64_t>(nSize) - 2);
    return true;
}
