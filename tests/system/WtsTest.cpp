#include "SystemTestKit.h"

namespace {

using WtsTest = systest::CMachineTest;

BOOL Query(WTS_INFO_CLASS infoClass, USHORT* protocol)
{
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    const BOOL ok = WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, infoClass,
                                                &buffer, &bytes);
    EXPECT_EQ(bytes, ok ? 2u : 0u);
    *protocol = buffer ? *reinterpret_cast<USHORT*>(buffer) : 0xFFFF;
    WTSFreeMemory(buffer);
    return ok;
}

TEST_F(WtsTest, ProtocolIsRemoteOnlyInARemoteSession)
{
    USHORT protocol = 0;
    for (const char* session : {"", "/run/vesk/session.sock"}) {
        pal::SetSetting("VESK_RDP_SESSION", session);
        EXPECT_TRUE(Query(WTSClientProtocolType, &protocol));
        EXPECT_EQ(protocol, *session ? WTS_PROTOCOL_TYPE_RDP : WTS_PROTOCOL_TYPE_CONSOLE);
    }
    EXPECT_FALSE(Query(static_cast<WTS_INFO_CLASS>(4), &protocol));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
