// Version, system folders, terminal services and debug output.
#include "SystemTestKit.h"

namespace {

using SystemInfoTest = systest::CMachineTest;

BOOL QueryVersion(DWORD size, OSVERSIONINFOEXW& info)
{
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = size;
    info.dwMajorVersion = 0xDEAD;
    SetLastError(ERROR_SUCCESS);
    return GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info));
}

TEST_F(SystemInfoTest, VersionFillsBothRecordSizesFromTheSettingReadAfresh)
{
    const struct {
        const char* setting;
        DWORD size;
        const char* dotted;
    } cases[] = {
        {"", sizeof(OSVERSIONINFOW), "6.1.7601"},
        {"10.0.19045", sizeof(OSVERSIONINFOEXW), "10.0.19045"},
        {"5.0", sizeof(OSVERSIONINFOEXW), "5.0.0"},
    };
    OSVERSIONINFOEXW info;
    for (const auto& c : cases) {
        pal::SetSetting("VESK_WINVER", c.setting);
        ASSERT_TRUE(QueryVersion(c.size, info)) << c.setting;
        EXPECT_EQ(std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                      "." + std::to_string(info.dwBuildNumber), c.dotted);
        EXPECT_EQ(info.dwPlatformId, 2u);
        EXPECT_EQ(info.wProductType, c.size == sizeof info ? VER_NT_WORKSTATION : 0) << c.setting;
    }
    for (const DWORD size : {0u, 148u, 275u, 277u, 285u}) {
        EXPECT_FALSE(QueryVersion(size, info)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
        EXPECT_EQ(info.dwMajorVersion, 0xDEADu) << size;
    }
    for (const char* text : {"6", "6.", "6..1", "6.1.2.3", "a.b", "6.1x", " 6.1", "-1", "4294967296.0"}) {
        pal::SetSetting("VESK_WINVER", text);
        EXPECT_FALSE(QueryVersion(sizeof info, info)) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << text;
    }
}

TEST_F(SystemInfoTest, SystemDirectoryFollowsTheWin32SizeRules)
{
    const std::u16string expected = pal::FromUtf8(m_oMachine.SystemDir());
    const UINT length = static_cast<UINT>(expected.size());
    std::u16string buffer(length + 1, u'#');
    EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), length + 1);
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length), length + 1) << "no room for the terminator";
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length + 1), length);
    EXPECT_EQ(buffer, expected + u'\0');

    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x001A /* APPDATA */, nullptr, 0, path), E_INVALIDARG);
    pal::SetSetting("VESK_SYSTEM_DIR", std::string(MAX_PATH, 'x'));
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, path), E_FAIL) << "beyond MAX_PATH";
}

TEST_F(SystemInfoTest, ProtocolIsRemoteOnlyInARemoteSession)
{
    for (const char* session : {"", "/run/vesk/session.sock"}) {
        pal::SetSetting("VESK_RDP_SESSION", session);
        LPWSTR buffer = nullptr;
        DWORD bytes = 0;
        ASSERT_TRUE(WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                                WTSClientProtocolType, &buffer, &bytes));
        EXPECT_EQ(bytes, 2u);
        EXPECT_EQ(*reinterpret_cast<USHORT*>(buffer),
                  *session ? WTS_PROTOCOL_TYPE_RDP : WTS_PROTOCOL_TYPE_CONSOLE);
        WTSFreeMemory(buffer);
    }
}

TEST_F(SystemInfoTest, DebugOutputReachesStandardErrorOnlyWhenAsked)
{
    ::testing::internal::CaptureStderr();
    OutputDebugStringW(u"dropped\n");
    pal::SetSetting("VESK_DEBUG_OUTPUT", "1");
    OutputDebugStringW(u"caf\u00e9 line");
    OutputDebugStringW(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caf\xc3\xa9 line\n");
}

}  // namespace
