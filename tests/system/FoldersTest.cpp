#include <filesystem>

#include "SystemTestKit.h"

namespace {

using FoldersTest = systest::CMachineTest;

std::string FolderPath(int folder)
{
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return systest::Narrow(path);
}

TEST_F(FoldersTest, SystemDirectoryFollowsTheWin32SizeRules)
{
    const std::u16string expected = systest::Wide(m_oMachine.SystemDir());
    const UINT length = static_cast<UINT>(expected.size());
    std::u16string buffer(length + 1, u'#');
    EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), length + 1);
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length), length + 1) << "no room for the terminator";
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length + 1), length);
    EXPECT_EQ(buffer, expected + u'\0');
}

TEST_F(FoldersTest, SystemFolderDefaultsUnderTheUserDataFolder)
{
    const std::string xdg = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    pal::SetSetting("VESK_SYSTEM_DIR", "");  // empty counts as unset
    setenv("XDG_DATA_HOME", "/xdg/data/", 1);
    EXPECT_EQ(FolderPath(CSIDL_SYSTEM), "/xdg/data/vesk/system32");
    setenv("XDG_DATA_HOME", "relative/data", 1);  // XDG allows absolute paths only
    setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(FolderPath(CSIDL_SYSTEM), "/home/tester/.local/share/vesk/system32");
    xdg.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
}

TEST_F(FoldersTest, SystemX86FolderDependsOnTheArchitecture)
{
    pal::SetSetting("VESK_SYSTEM_DIR", "/m/Windows/system32/");
    for (const char* arch : {"", "x64", "IA64", "amd64", "x86"}) {
        pal::SetSetting("VESK_ARCH", arch);
        EXPECT_EQ(FolderPath(CSIDL_SYSTEM), "/m/Windows/system32") << arch;
        EXPECT_EQ(FolderPath(CSIDL_SYSTEMX86),
                  std::string(arch) == "x86" ? "/m/Windows/system32" : "/m/Windows/SysWOW64")
            << arch;
    }
    pal::SetSetting("VESK_SYSTEMX86_DIR", "/elsewhere/x86");
    EXPECT_EQ(FolderPath(CSIDL_SYSTEMX86), "/elsewhere/x86");

    pal::SetSetting("VESK_SYSTEM_DIR", m_oMachine.Path("Windows/system32"));
    pal::SetSetting("VESK_SYSTEMX86_DIR", "");
    pal::SetSetting("VESK_ARCH", "");
    EXPECT_EQ(FolderPath(CSIDL_SYSTEMX86 | CSIDL_FLAG_CREATE), m_oMachine.Path("Windows/SysWOW64"));
    EXPECT_TRUE(std::filesystem::is_directory(m_oMachine.Path("Windows/SysWOW64")));
}

TEST_F(FoldersTest, FolderPathRefusesWhatItCannotAnswer)
{
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x001A /* APPDATA */, nullptr, 0, path), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 7, path), E_INVALIDARG);
    pal::SetSetting("VESK_SYSTEM_DIR", std::string(MAX_PATH, 'x'));
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, path), E_FAIL) << "beyond MAX_PATH";
}

}  // namespace
