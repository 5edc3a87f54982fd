// Raw images: storing, framing and flipping them, handing them to callers,
// and the bitmap snapshots the administrator's settings switch on.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "common/TestMachine.h"
#include "image/CRawImg.h"
#include "image/FingerscannerImageFns.h"
#include "image/SnapshotSettings.h"
#include "support/Registry.h"

namespace {

namespace fs = std::filesystem;

// Never 0, so that zero margins stand out from image pixels.
uint8_t Pattern(uint32_t nRow, uint32_t nColumn) { return (nRow * 7 + nColumn * 3) % 251 + 1; }

CRawImg PatternImage(uint32_t nWidth, uint32_t nHeight, int32_t nBits = 8)
{
    CMyByteArray pixels(nWidth * nHeight);
    for (uint32_t i = 0; i < pixels.GetSize(); ++i)
        pixels.ElementAt(i) = Pattern(i / nWidth, i % nWidth);
    CRawImg image;
    image.SetImage(pixels, nWidth, nHeight, nBits);
    return image;
}

uint32_t HeaderField(const CRawImg& image, uint32_t nOffset, uint32_t nBytes = 4)
{
    uint32_t nValue = 0;
    for (uint32_t i = 0; i < nBytes; ++i)
        nValue |= uint32_t{image.GetBitmapInfo()[nOffset + i]} << (8 * i);
    return nValue;
}

std::vector<uint8_t> Pixels(const CRawImg& image)
{
    const uint8_t* p = image.GetImageData().GetData();
    return std::vector<uint8_t>(p, p + image.GetImageData().GetSize());
}

TEST(RawImg, SetImageNeedsWidthTimesHeightBytesAndKeepsThemAll)
{
    // {bytes, width, height, bits asked, bits written or 0 for refused};
    // 0x10000 squared wraps to 0 in 32 bits.
    const uint32_t cases[][5] = {{100, 10, 11, 8, 0},  {110, 10, 11, 16, 8}, {120, 10, 11, 24, 24},
                                 {0, 10, 11, 8, 0},    {110, 0, 11, 8, 0},
                                 {16, 0x10000, 0x10000, 8, 0}};
    for (const auto& [size, width, height, bits, written] : cases) {
        SCOPED_TRACE(std::to_string(size) + " bytes, width " + std::to_string(width));
        CRawImg image = PatternImage(4, 4);
        CMyByteArray pixels(size);
        for (uint32_t i = 0; i < size; ++i)
            pixels.ElementAt(i) = static_cast<uint8_t>(i);
        const bool accepted = written != 0;
        EXPECT_EQ(image.SetImage(pixels, width, height, int32_t(bits)), accepted);
        EXPECT_EQ(image.GetImageData().GetSize(), accepted ? size : 16);
        EXPECT_EQ(HeaderField(image, 4), accepted ? width : 4);
        EXPECT_EQ(HeaderField(image, 14, 2), accepted ? written : 8);
    }
}

TEST(RawImg, FitToFrameCentresColumnsAndPadsOrKeepsTopRowsOrLeavesTheImage)
{
    // {width, height, column shift, row shift}: target (r, c) is source (r + rows, c + columns).
    const int cases[][4] = {{256, 360, 8, -4}, {192, 400, -24, 0}, {237, 368, -1, 0},
                            {243, 368, 1, 0},  {240, 365, 0, -1},  {240, 371, 0, 0},
                            {240, 368, 0, 0}};
    for (const auto& [width, height, columns, rows] : cases) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        CRawImg image = PatternImage(width, height, 24);
        image.FitToFrame(240, 368);
        ASSERT_EQ(image.GetImageData().GetSize(), 240u * 368u);
        EXPECT_EQ(image.GetWidth() * 1000 + image.GetHeight(), 240368u);
        EXPECT_EQ(HeaderField(image, 4) * 1000 + HeaderField(image, 8), 240368u);
        EXPECT_EQ(HeaderField(image, 14, 2), 24u);
        for (int r = 0; r < 368; ++r)
            for (int c = 0; c < 240; ++c) {
                const int sr = r + rows, sc = c + columns;
                const bool inside = sr >= 0 && sr < height && sc >= 0 && sc < width;
                ASSERT_EQ(image.GetImageData().ElementAt(r * 240 + c), inside ? Pattern(sr, sc) : 0)
                    << "row " << r << " column " << c;
            }
    }

    // What it cannot frame it leaves alone: an empty frame, or one whose result,
    // widened intermediate or image exceeds the working size.
    const uint32_t unframed[][4] = {{240, 368, 0, 368}, {240, 368, 240, 0}, {1000, 400, 1001, 400},
                                    {800, 500, 1000, 400}, {1001, 400, 240, 368}};
    for (const auto& [width, height, newWidth, newHeight] : unframed) {
        CRawImg image = PatternImage(width, height);
        const std::vector<uint8_t> before = Pixels(image);
        image.FitToFrame(newWidth, newHeight);
        EXPECT_EQ(image.GetWidth() + HeaderField(image, 4), 2 * width) << newWidth;
        EXPECT_TRUE(Pixels(image) == before) << newWidth;
    }
}

TEST(RawImg, FlipVerticalReversesRowsAndZeroesSurplusBytes)
{
    CMyByteArray pixels(8);
    std::memcpy(pixels.GetData(), "\1\2\3\4\5\6\7\10", 8);
    CRawImg image;
    ASSERT_TRUE(image.SetImage(pixels, 2, 3, 8));
    image.FlipVertical();
    EXPECT_EQ(Pixels(image), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2, 0, 0}));
    image.FlipVertical();
    EXPECT_EQ(Pixels(image), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0}));

    image.Clear();
    image.FlipVertical();
    image.FitToFrame(2, 3);
    EXPECT_EQ(image.GetWidth() + image.GetHeight() + image.GetImageData().GetSize(), 0u);
}

TEST(FingerscannerImageRecord, FillReplacesBufferAndCopiesAtMostItsSize)
{
    const CRawImg image = PatternImage(1000, 401);  // larger than the caller's buffer
    FingerscannerImage record;
    EXPECT_FALSE(InitFingerscannerImage(nullptr));
    EXPECT_FALSE(FillFingerscannerImage(nullptr, image));
    EXPECT_FALSE(FreeFingerscannerImage(nullptr));
    ASSERT_TRUE(InitFingerscannerImage(&record));
    EXPECT_EQ(record.pixels, nullptr);

    ASSERT_TRUE(FillFingerscannerImage(&record, CRawImg()));  // a buffer to be released
    ASSERT_TRUE(FillFingerscannerImage(&record, image));
    EXPECT_EQ(record.width * 1000 + record.height, 1000401u);
    EXPECT_EQ(record.bitmapInfo, image.GetBitmapInfo());
    EXPECT_EQ(std::memcmp(record.pixels, image.GetImageData().GetData(), CRawImg::kMaxImageBytes), 0);

    for (int i = 0; i < 2; ++i) {  // the second frees a zeroed record
        ASSERT_TRUE(FreeFingerscannerImage(&record));
        EXPECT_TRUE(!record.bitmapInfo && !record.pixels && !record.width && !record.height);
    }
}

using testkit::Bytes;
using testkit::Dword;

Bytes Sz(const std::string& utf8) { return testkit::Sz(pal::FromUtf8(utf8)); }

// A value of type REG_NONE is left out.
void Configure(DWORD nSwitchType, const Bytes& onOff, DWORD nFolderType, const Bytes& folder)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\veskSensor"), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, type, bytes] : {std::tuple{W("veskSensorSaveBmp"), nSwitchType, onOff},
                                            {W("veskSensorSaveBmpPath"), nFolderType, folder}}) {
        RegDeleteValueW(key, name);
        if (type != REG_NONE) {
            EXPECT_EQ(RegSetValueExW(key, name, 0, type, bytes.data(), DWORD(bytes.size())), ERROR_SUCCESS);
        }
    }
    RegCloseKey(key);
}

class BmpSnapshot : public testkit::MachineTest {
protected:
    BmpSnapshot() { fs::create_directories(m_sFolder); }
    const std::string m_sFolder = Path("snapshots");
    const std::string m_sWritten = m_sFolder + "/shot.bmp";
};

TEST_F(BmpSnapshot, FileIsHeaderPaletteAndPixelsByteForByteAndNeedsImageNameAndFolder)
{
    Configure(REG_DWORD, Dword(1), REG_SZ, Sz(m_sFolder));
    ASSERT_TRUE(PatternImage(240, 368).SaveBmp(u"shot.bmp"));

    std::string expected = "BM";
    for (const uint32_t n : {89398u, 0u, 1078u, 40u, 240u, 368u, 0x80001u, 0u, 0u, 0u, 0u, 0u, 0u})
        expected.append({char(n), char(n >> 8), char(n >> 16), char(n >> 24)});
    for (int i = 0; i < 256; ++i)
        expected.append({char(i), char(i), char(i), 0});
    for (uint32_t i = 0; i < 240 * 368; ++i)
        expected += char(Pattern(i / 240, i % 240));
    ASSERT_EQ(expected.size(), 89398u);
    EXPECT_TRUE(testkit::ReadFile(m_sWritten) == expected);

    // Nothing is written without an image, a name or a folder.
    fs::remove(m_sWritten);
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

// Only a non-zero DWORD switch and a plain string folder switch snapshots on;
// a trailing backslash names the same file, and the file is overwritten.
TEST_F(BmpSnapshot, OnlyANonZeroDwordAndAPlainStringFolderSwitchItOn)
{
    const std::tuple<const char*, DWORD, Bytes, DWORD, std::string, bool> cases[] = {
        {"on", REG_DWORD, Dword(0x80000000u), REG_SZ, m_sFolder, true},
        {"on, trailing backslash", REG_DWORD, Dword(1), REG_SZ, m_sFolder + "\\", true},
        {"switch 0", REG_DWORD, Dword(0), REG_SZ, m_sFolder, false},
        {"switch as string", REG_SZ, Sz("1"), REG_SZ, m_sFolder, false},
        {"switch missing", REG_NONE, {}, REG_SZ, m_sFolder, false},
        {"folder expandable", REG_DWORD, Dword(1), REG_EXPAND_SZ, m_sFolder, false},
        {"folder missing", REG_DWORD, Dword(1), REG_NONE, "", false},
        {"folder empty", REG_DWORD, Dword(1), REG_SZ, "", false},
        {"folder above 4096 characters", REG_DWORD, Dword(1), REG_SZ, std::string(4096, 'x'), false},
    };
    for (const auto& [name, switchType, onOff, folderType, folder, on] : cases) {
        SCOPED_TRACE(name);
        testkit::WriteFile(m_sWritten, std::string(100000, 'x'));
        Configure(switchType, onOff, folderType, Sz(folder));
        WString configured = u"stale";
        EXPECT_EQ(ReadSaveBmpSettings(configured), on);
        EXPECT_EQ(configured, on ? pal::FromUtf8(folder) : u"");
        EXPECT_EQ(PatternImage(240, 368).SaveBmp(u"shot.bmp"), on);
        EXPECT_EQ(fs::file_size(m_sWritten), on ? 89398u : 100000u);
        EXPECT_EQ(std::distance(fs::directory_iterator(m_sFolder), {}), 1);
    }
}

}  // namespace
