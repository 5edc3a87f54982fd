#include "SystemTestKit.h"

namespace {

using VersionTest = systest::CMachineTest;

BOOL Query(DWORD size, OSVERSIONINFOEXW& info)
{
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = size;
    info.dwMajorVersion = 0xDEAD;
    SetLastError(ERROR_SUCCESS);
    return GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info));
}

std::string Dotted(const OSVERSIONINFOEXW& info)
{
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

TEST_F(VersionTest, FillsBothRecordSizesFromTheSettingReadAfresh)
{
    OSVERSIONINFOEXW info;
    ASSERT_TRUE(Query(sizeof(OSVERSIONINFOW), info));
    EXPECT_EQ(Dotted(info), "6.1.7601");
    EXPECT_EQ(info.dwPlatformId, 2u);
    EXPECT_EQ(info.wProductType, 0) << "beyond a plain record";

    pal::SetSetting("VESK_WINVER", "10.0.19045");
    ASSERT_TRUE(Query(sizeof(OSVERSIONINFOEXW), info));
    EXPECT_EQ(Dotted(info), "10.0.19045");
    EXPECT_EQ(info.wServicePackMajor + info.wServicePackMinor, 0);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);

    pal::SetSetting("VESK_WINVER", "5.0");
    ASSERT_TRUE(Query(sizeof(OSVERSIONINFOW), info));
    EXPECT_EQ(Dotted(info), "5.0.0");
}

TEST_F(VersionTest, RefusesOtherSizesAndMalformedSettings)
{
    OSVERSIONINFOEXW info;
    for (const DWORD size : {0u, 148u, 275u, 277u, 283u, 285u}) {
        EXPECT_FALSE(Query(size, info)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
        EXPECT_EQ(info.dwMajorVersion, 0xDEADu) << size;
    }
    for (const char* text : {"6", "6.", ".1", "6..1", "6.1.2.3", "a.b", "6.1x", " 6.1", "-1.0", "4294967296.0"}) {
        pal::SetSetting("VESK_WINVER", text);
        EXPECT_FALSE(Query(sizeof(OSVERSIONINFOEXW), info)) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << text;
    }
}

}  // namespace
