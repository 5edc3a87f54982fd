#include "support/CWinOS.h"

#include <vector>

bool IsRemoteSession()
{
    LPWSTR pBuffer = nullptr;
    DWORD nBytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                     WTSClientProtocolType, &pBuffer, &nBytes))
        return false;
    const bool bRemote =
        pBuffer && nBytes >= sizeof(USHORT) && *reinterpret_cast<const USHORT*>(pBuffer) != 0;
    WTSFreeMemory(pBuffer);
    return bRemote;
}

bool GetMainModuleBaseName(WString& sName, DWORD nCapacity)
{
    sName.clear();
    std::vector<WCHAR> buffer(nCapacity + 1, 0);
    const DWORD nLength = GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer.data(), nCapacity);
    if (nLength == 0)
        return false;
    sName.assign(buffer.data(), nLength < nCapacity ? nLength : nCapacity);
    return true;
}
