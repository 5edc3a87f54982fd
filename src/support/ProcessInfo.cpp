#include "support/CWinOS.h"

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
