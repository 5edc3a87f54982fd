// Registry access that names its view explicitly: the library is a 32-bit
// module on 32- and 64-bit Windows, so every key asks for the 64-bit or the
// 32-bit view, except on Windows 2000, which knows no views.
#pragma once
#include <vector>

#include "support/CHRegKey.h"
#include "support/CMyByteArray.h"
#include "support/Win32.h"

LSTATUS RegCreateKeyEx64(HKEY hKey, LPCWSTR pszSubKey, DWORD nReserved, LPWSTR pszClass,
                         DWORD nOptions, REGSAM nDesired, LPSECURITY_ATTRIBUTES pSecurity,
                         PHKEY phResult, LPDWORD pnDisposition);
LSTATUS RegCreateKeyEx32(HKEY hKey, LPCWSTR pszSubKey, DWORD nReserved, LPWSTR pszClass,
                         DWORD nOptions, REGSAM nDesired, LPSECURITY_ATTRIBUTES pSecurity,
                         PHKEY phResult, LPDWORD pnDisposition);
LSTATUS RegOpenKeyEx64(HKEY hKey, LPCWSTR pszSubKey, DWORD nOptions, REGSAM nDesired,
                       PHKEY phResult);
LSTATUS RegOpenKeyEx32(HKEY hKey, LPCWSTR pszSubKey, DWORD nOptions, REGSAM nDesired,
                       PHKEY phResult);

// Opens (or creates) root\subKey into `key`, closing what it held first.
bool OpenKey(HKEY hRoot, const WString& sSubKey, REGSAM nAccess, bool bUse32BitView,
             bool bCreate, CHRegKey& key);

// A REG_BINARY value; false (output empty) for a missing key or value, a
// wrong type or a value that changed size between the two reads.
bool ReadBinaryValue(HKEY hRoot, const WString& sSubKey, const WString& sValueName,
                     CMyByteArray& value, bool bUse32BitView, bool bCreate);

// A REG_MULTI_SZ value as its strings in stored order; an empty string ends
// the list.
bool ReadMultiStringValue(HKEY hRoot, const WString& sSubKey, const WString& sValueName,
                          std::vector<WString>& values, bool bUse32BitView, bool bCreate);
