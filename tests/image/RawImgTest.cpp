// Storing, framing and flipping raw images, and handing them to callers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ImageTestKit.h"
#include "image/FingerscannerImageFns.h"

namespace imagetest {
namespace {

std::vector<uint8_t> Bytes(const CRawImg& image)
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

TEST(RawImg, FitToFrameCentresColumnsAndPadsOrKeepsTopRows)
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
}

TEST(RawImg, FitToFrameLeavesWhatItCannotFrame)
{
    // The last three exceed the working size at the result, the widened
    // intermediate, and the image itself.
    const uint32_t cases[][4] = {{240, 368, 0, 368}, {240, 368, 240, 0}, {1000, 400, 1001, 400},
                                 {800, 500, 1000, 400}, {1001, 400, 240, 368}};
    for (const auto& [width, height, newWidth, newHeight] : cases) {
        CRawImg image = PatternImage(width, height);
        const std::vector<uint8_t> before = Bytes(image);
        image.FitToFrame(newWidth, newHeight);
        EXPECT_EQ(image.GetWidth() + HeaderField(image, 4), 2 * width) << newWidth;
        EXPECT_TRUE(Bytes(image) == before) << newWidth;
    }
}

TEST(RawImg, FlipVerticalReversesRowsAndZeroesSurplusBytes)
{
    CMyByteArray pixels(8);
    std::memcpy(pixels.GetData(), "\1\2\3\4\5\6\7\10", 8);
    CRawImg image;
    ASSERT_TRUE(image.SetImage(pixels, 2, 3, 8));
    image.FlipVertical();
    EXPECT_EQ(Bytes(image), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2, 0, 0}));
    image.FlipVertical();
    EXPECT_EQ(Bytes(image), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0}));

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

}  // namespace
}  // namespace imagetest
