// Bitmap snapshots: the administrator's settings and the file they produce.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "ImageTestKit.h"
#include "common/TestMachine.h"
#include "image/SnapshotSettings.h"
#include "support/Registry.h"

namespace imagetest {
namespace {

namespace fs = std::filesystem;

std::string Dword(uint32_t n) { return {char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; }

std::string Sz(const std::string& utf8)
{
    const std::u16string text = pal::FromUtf8(utf8);
    return std::string(reinterpret_cast<const char*>(text.c_str()), 2 * text.size() + 2);
}

// A value of type REG_NONE is left out.
void Configure(DWORD nSwitchType, const std::string& onOff, DWORD nFolderType, const std::string& folder)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\veskSensor"), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, type, bytes] : {std::tuple{W("veskSensorSaveBmp"), nSwitchType, onOff},
                                            {W("veskSensorSaveBmpPath"), nFolderType, folder}}) {
        RegDeleteValueW(key, name);
        if (type != REG_NONE) {
            EXPECT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     DWORD(bytes.size())), ERROR_SUCCESS);
        }
    }
    RegCloseKey(key);
}

class BmpSnapshot : public ::testing::Test {
protected:
    BmpSnapshot() { fs::create_directories(m_sFolder); }
    testkit::CScratchMachine m_machine;
    const std::string m_sFolder = m_machine.Path("snapshots");
    const std::string m_sWritten = m_sFolder + "/shot.bmp";
};

TEST_F(BmpSnapshot, FileIsHeaderPaletteAndPixelsByteForByte)
{
    Configure(REG_DWORD, Dword(1), REG_SZ, Sz(m_sFolder));
    ASSERT_TRUE(PatternImage(240, 368).SaveBmp(u"shot.bmp"));

    std::string expected = "BM";
    for (const uint32_t n : {89398u, 0u, 1078u, 40u, 240u, 368u, 0x80001u, 0u, 0u, 0u, 0u, 0u, 0u})
        expected += Dword(n);
    for (int i = 0; i < 256; ++i)
        expected.append({char(i), char(i), char(i), 0});
    for (uint32_t i = 0; i < 240 * 368; ++i)
        expected += char(Pattern(i / 240, i % 240));
    ASSERT_EQ(expected.size(), 89398u);
    EXPECT_TRUE(testkit::ReadFile(m_sWritten) == expected);
}

TEST_F(BmpSnapshot, OnlyANonZeroDwordAndAPlainStringFolderSwitchItOn)
{
    const std::string folder = Sz(m_sFolder);
    const std::tuple<const char*, DWORD, std::string, DWORD, std::string> cases[] = {
        {"on", REG_DWORD, Dword(0x80000000u), REG_SZ, folder},  // the only one that writes
        {"switch 0", REG_DWORD, Dword(0), REG_SZ, folder},
        {"switch as string", REG_SZ, Sz("1"), REG_SZ, folder},
        {"switch missing", REG_NONE, "", REG_SZ, folder},
        {"folder expandable", REG_DWORD, Dword(1), REG_EXPAND_SZ, folder},
        {"folder missing", REG_DWORD, Dword(1), REG_NONE, ""},
        {"folder empty", REG_DWORD, Dword(1), REG_SZ, Sz("")},
        {"folder above 4096 characters", REG_DWORD, Dword(1), REG_SZ, Sz(std::string(4096, 'x'))},
    };
    for (const auto& [name, switchType, onOff, folderType, folderBytes] : cases) {
        SCOPED_TRACE(name);
        fs::remove(m_sWritten);
        Configure(switchType, onOff, folderType, folderBytes);
        const bool on = &onOff == &std::get<2>(cases[0]);
        WString configured = u"stale";
        EXPECT_EQ(ReadSaveBmpSettings(configured), on);
        EXPECT_EQ(configured, on ? pal::FromUtf8(m_sFolder) : u"");
        EXPECT_EQ(PatternImage(240, 368).SaveBmp(u"shot.bmp"), on);
        EXPECT_EQ(fs::exists(m_sWritten), on);
    }
}

TEST_F(BmpSnapshot, TrailingBackslashNamesTheSameFileWhichIsOverwritten)
{
    for (const std::string& folder : {m_sFolder, m_sFolder + "\\"}) {
        Configure(REG_DWORD, Dword(1), REG_SZ, Sz(folder));
        testkit::WriteFile(m_sWritten, std::string(100000, 'x'));
        EXPECT_TRUE(PatternImage(240, 368).SaveBmp(u"shot.bmp")) << folder;
        EXPECT_EQ(fs::file_size(m_sWritten), 89398u) << folder;
        EXPECT_EQ(std::distance(fs::directory_iterator(m_sFolder), {}), 1) << folder;
    }
}

TEST_F(BmpSnapshot, NothingIsWrittenWithoutImageNameOrFolder)
{
    Configure(REG_DWORD, Dword(1), REG_SZ, Sz(m_sFolder));
    CRawImg cleared = PatternImage(240, 368);
    cleared.Clear();
    EXPECT_FALSE(CRawImg().SaveBmp(u"shot.bmp"));
    EXPECT_FALSE(cleared.SaveBmp(u"shot.bmp"));
    EXPECT_FALSE(PatternImage(240, 368).SaveBmp(u""));
    EXPECT_TRUE(fs::is_empty(m_sFolder));

    Configure(REG_DWORD, Dword(1), REG_SZ, Sz(m_machine.Path("missing")));
    EXPECT_FALSE(PatternImage(240, 368).SaveBmp(u"shot.bmp"));
    EXPECT_FALSE(fs::exists(m_machine.Path("missing")));
}

}  // namespace
}  // namespace imagetest
