#include "pal/wts/wts.h"

#include <cstdlib>

#include "pal/base/settings.h"
#include "pal/system/machine.h"

bool pal::IsXrdpSession()
{
    const std::string sSession = GetSetting("VESK_RDP_SESSION");
    if (!sSession.empty())
        return sSession == "xrdp";
    const char* pszXrdp = std::getenv("XRDP_SESSION");
    return pszXrdp && *pszXrdp;
}

BOOL WINAPI WTSQuerySessionInformationW(HANDLE server, DWORD sessionId, WTS_INFO_CLASS infoClass,
                                        LPWSTR* buffer, DWORD* bytesReturned)
{
    if (server != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (sessionId != WTS_CURRENT_SESSION || infoClass != WTSClientProtocolType || !buffer ||
        !bytesReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The C heap, because the block crosses the C interface to WTSFreeMemory.
    auto* protocol = static_cast<USHORT*>(std::malloc(sizeof(USHORT)));
    if (!protocol) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *protocol = pal::NonEmptySetting("VESK_RDP_SESSION").empty() && !pal::IsXrdpSession()
                    ? WTS_PROTOCOL_TYPE_CONSOLE
                    : WTS_PROTOCOL_TYPE_RDP;
    *buffer = reinterpret_cast<LPWSTR>(protocol);
    *bytesReturned = sizeof(USHORT);
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID memory) { std::free(memory); }
