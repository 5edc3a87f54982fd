// The picture files users hand to the simulators: what is read and what is
// refused with which reason (image_fuzzer checks that no input makes the
// reader misbehave).
#include <gtest/gtest.h>

#include <cstdlib>

#include "sim/common/GreyImageReader.h"

namespace {

using vsim::CGreyImage;
using Pixels = std::vector<uint8_t>;

void Put(std::string& bytes, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes += static_cast<char>(value >> (8 * i));
}

// An 8-bit greyscale bitmap built byte by byte; pixels top row first, stored
// in the row order the height's sign asks for (negative: top-down).
std::string Bmp(int32_t width, int32_t height, const Pixels& pixels, uint32_t infoBytes = 40,
                uint32_t bits = 8, uint32_t compression = 0, uint32_t coloursUsed = 0)
{
    const uint32_t rows = static_cast<uint32_t>(std::abs(height));
    const uint32_t stride = (uint32_t(width) + 3) / 4 * 4;
    const uint32_t offset = 14 + infoBytes + 4 * 256;
    std::string bytes = "BM", info;
    for (const uint32_t field : {offset + stride * rows, 0u, offset})
        Put(bytes, field, 4);
    for (const uint32_t field : {infoBytes, uint32_t(width), uint32_t(height)})
        Put(info, field, 4);
    Put(info, 1, 2);
    Put(info, bits, 2);
    for (const uint32_t field : {compression, stride * rows, 2835u, 2835u, coloursUsed, 0u})
        Put(info, field, 4);
    info.resize(infoBytes, '\0');
    bytes += info;
    for (uint32_t n = 0; n < 256; ++n)
        Put(bytes, n * 0x010101u, 4);
    for (uint32_t r = 0; r < rows; ++r) {
        const size_t y = height < 0 ? r : rows - 1 - r;
        std::string row(stride, '\0');
        for (size_t x = 0; x < uint32_t(width) && y * width + x < pixels.size(); ++x)
            row[x] = static_cast<char>(pixels[y * width + x]);
        bytes += row;
    }
    return bytes;
}

TEST(ImageReader, ReadsEachFormatTopRowFirst)
{
    const struct {
        std::string name, bytes;
        uint32_t width, height;
        Pixels pixels;  // top row first
    } cases[] = {
        {"P5 maxval 15 with comments",
         "P5\n# scanned\n2 # wide\n2\n15\n" + std::string("\x00\x0F\x07\x08", 4), 2, 2,
         {0, 255, 119, 136}},
        {"P2", "P2\n# text\n3 1\n255\n0 128\n255\n", 3, 1, {0, 128, 255}},
        // Width 3: each stored row carries one filler byte.
        {"BMP bottom-up", Bmp(3, 2, {1, 2, 3, 4, 5, 6}), 3, 2, {1, 2, 3, 4, 5, 6}},
        {"BMP top-down", Bmp(3, -2, {1, 2, 3, 4, 5, 6}), 3, 2, {1, 2, 3, 4, 5, 6}},
        {"BMP V5 header", Bmp(2, 2, {10, 20, 30, 40}, 124), 2, 2, {10, 20, 30, 40}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CGreyImage image;
        std::string why;
        ASSERT_TRUE(vsim::ReadGreyImage(c.bytes, image, why)) << why;
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.GetHeight(), c.height);
        EXPECT_EQ(image.GetPixels(), c.pixels);
    }
}

std::string Patched(std::string bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

TEST(ImageReader, RefusesMalformedFilesWithTheReason)
{
    const std::string bmp = Bmp(4, 4, Pixels(16, 1));
    const struct {
        std::string name, bytes;
        std::string why;  // part of the reason
    } cases[] = {
        {"empty", "", "the file is empty"},
        {"other format", "GIF89a", "neither a PGM (P5, P2) nor a BMP file"},
        {"PGM huge number", "P5 99999999999 2 255\n", "the header lacks"},
        {"PGM 16-bit", "P5 2 2 65535\n", "maxval 65535 is outside 1-255"},
        {"PGM no pixels wide", "P5 0 5 255\n", "the picture is empty (0 x 5)"},
        {"PGM too many pixels", "P5 16384 16384 255\n", "16777216 pixels"},
        {"PGM short pixels", "P5 4 4 255\n" + std::string(10, 'x'), "16 needed, 10 bytes present"},
        {"PGM text not a number", "P2 2 1 255\n12 x y", "pixel 1 is missing or not a number"},
        {"BMP headers cut", bmp.substr(0, 12), "the file headers are truncated"},
        {"BMP 24-bit", Bmp(4, 4, {}, 40, 24), "24 bits per pixel; only 8-bit palettized"},
        {"BMP RLE8", Bmp(4, 4, {}, 40, 8, 1), "compression 1; only uncompressed"},
        {"BMP OS/2", Bmp(4, 4, {}, 12), "OS/2 bitmap headers are not read"},
        {"BMP palette too long", Bmp(4, 4, {}, 40, 8, 0, 300), "300 palette entries, more than 256"},
        {"BMP pixel offset far", Patched(bmp, 10, 0xFFFFFFF0), "the pixels are truncated"},
        {"BMP negative width", Patched(bmp, 18, uint32_t(-3)), "width -3 is not positive"},
        {"BMP lowest height", Patched(bmp, 22, 0x80000000), "is larger than 16384 a side"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CGreyImage image(7, 3, 42);
        std::string why;
        EXPECT_FALSE(vsim::ReadGreyImage(c.bytes, image, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(image.GetWidth(), 7u);
        EXPECT_EQ(image.GetPixels(), Pixels(21, 42));
    }
}

}  // namespace
