#include "support/CFsHelper.h"

#include <vector>

#include "support/Format.h"
#include "support/Logging.h"

bool CFsHelper::PathExists(const WString& sPath)
{
    if (sPath.empty())
        return false;
    const HANDLE hFile = CreateFileW(sPath.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

namespace {

void WarnVersionError(const WCHAR* pszCall)
{
    const DWORD nError = GetLastError();
    if (IsWarningEnabled())
        LogWarning((W("CFsHelper::GetFileVersion(): ") + WString(pszCall) + W("(): Error: ") +
                    FormatHex32(nError))
                       .c_str());
}

WString FormatVersion(const VS_FIXEDFILEINFO& info, bool bZeroPadded)
{
    const uint32_t nParts[4] = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                                HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
    const unsigned nWidths[4] = {2, 2, 2, 5};
    WString sVersion;
    for (int i = 0; i < 4; ++i) {
        if (i != 0)
            sVersion += W('.');
        sVersion += FormatZeroPadded(nParts[i], bZeroPadded ? nWidths[i] : 1);
    }
    return sVersion;
}

}  // namespace

bool CFsHelper::GetFileVersion(const WString& sPath, WString& sVersion, bool bZeroPadded)
{
    sVersion.clear();
    if (sPath.empty())
        return false;
    DWORD nHandle = 0;
    const DWORD nSize = GetFileVersionInfoSizeW(sPath.c_str(), &nHandle);
    if (nSize == 0) {
        WarnVersionError(W("GetFileVersionInfoSize"));
        return false;
    }
    std::vector<BYTE> block(nSize);
    if (!GetFileVersionInfoW(sPath.c_str(), 0, nSize, block.data())) {
        WarnVersionError(W("GetFileVersionInfo"));
        return false;
    }
    void* pInfo = nullptr;
    UINT nLength = 0;
    if (!VerQueryValueW(block.data(), W("\\"), &pInfo, &nLength) || !pInfo ||
        nLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    sVersion = FormatVersion(*static_cast<const VS_FIXEDFILEINFO*>(pInfo), bZeroPadded);
    return true;
}
