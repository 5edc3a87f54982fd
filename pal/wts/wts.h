// Terminal services: the session's client protocol (VESK_RDP_SESSION, or an
// xrdp session).
#pragma once
#include "pal/base/lasterror.h"

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)nullptr)
#define WTS_CURRENT_SESSION ((DWORD)-1)

#define WTS_PROTOCOL_TYPE_CONSOLE 0
#define WTS_PROTOCOL_TYPE_ICA 1
#define WTS_PROTOCOL_TYPE_RDP 2

typedef enum _WTS_INFO_CLASS { WTSClientProtocolType = 16 } WTS_INFO_CLASS;

// Only WTSClientProtocolType of the current session on the current server:
// a USHORT, 2 (RDP) when VESK_RDP_SESSION is set or in an xrdp session,
// 0 (console) otherwise.
BOOL WINAPI WTSQuerySessionInformationW(HANDLE server, DWORD sessionId, WTS_INFO_CLASS infoClass,
                                        LPWSTR* buffer, DWORD* bytesReturned);
void WINAPI WTSFreeMemory(PVOID memory);

namespace pal {
// Whether the channel is xrdp's: VESK_RDP_SESSION=xrdp, or no VESK_RDP_SESSION
// and XRDP_SESSION set (xrdp-sesman sets it for every session it starts).
bool IsXrdpSession();
}  // namespace pal
