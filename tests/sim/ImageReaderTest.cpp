// The picture files users hand to the simulators: what is read, what is
// refused with which reason, and that no input makes the reader misbehave.
#include <gtest/gtest.h>

#include "SimTestKit.h"
#include "sim/common/CSimRandom.h"
#include "sim/common/GreyImageReader.h"

namespace simtest {
namespace {

using vsim::CGreyImage;

struct ReadCase {
    std::string name;
    std::string bytes;
    uint32_t width;
    uint32_t height;
    Pixels pixels;  // top row first
};

CBmpParts Parts(int32_t width, int32_t height, Pixels pixels)
{
    CBmpParts parts;
    parts.m_nWidth = width;
    parts.m_nHeight = height;
    parts.m_vPixels = std::move(pixels);
    return parts;
}

std::vector<ReadCase> ValidFiles()
{
    CBmpParts v5 = Parts(2, 2, {10, 20, 30, 40});
    v5.m_nInfoBytes = 124;
    return {
        {"P5 maxval 15 with comments",
         "P5\n# scanned\n2 # wide\n2\n15\n" + std::string("\x00\x0F\x07\x08", 4), 2, 2,
         {0, 255, 119, 136}},
        {"P2", "P2\n# text\n3 1\n255\n0 128\n255\n", 3, 1, {0, 128, 255}},
        // Width 3: each stored row carries one filler byte.
        {"BMP bottom-up", Bmp(Parts(3, 2, {1, 2, 3, 4, 5, 6})), 3, 2, {1, 2, 3, 4, 5, 6}},
        {"BMP top-down", Bmp(Parts(3, -2, {1, 2, 3, 4, 5, 6})), 3, 2, {1, 2, 3, 4, 5, 6}},
        {"BMP V5 header", Bmp(v5), 2, 2, {10, 20, 30, 40}},
    };
}

TEST(ImageReader, ReadsEachFormatTopRowFirst)
{
    for (const ReadCase& c : ValidFiles()) {
        SCOPED_TRACE(c.name);
        CGreyImage image;
        std::string why;
        ASSERT_TRUE(vsim::ReadGreyImage(c.bytes, image, why)) << why;
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.GetHeight(), c.height);
        EXPECT_EQ(image.GetPixels(), c.pixels);
    }
}

struct BadCase {
    std::string name;
    std::string bytes;
    std::string why;  // part of the reason
};

std::string Patched(std::string bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::vector<BadCase> BadFiles()
{
    const std::string bmp = Bmp(Parts(4, 4, Pixels(16, 1)));
    CBmpParts bits = Parts(4, 4, {});
    bits.m_nBits = 24;
    CBmpParts rle = Parts(4, 4, {});
    rle.m_nCompression = 1;
    CBmpParts core = Parts(4, 4, {});
    core.m_nInfoBytes = 12;
    CBmpParts many = Parts(4, 4, {});
    many.m_nColoursUsed = 300;
    return {
        {"empty", "", "the file is empty"},
        {"other format", "GIF89a", "neither a PGM (P5, P2) nor a BMP file"},
        {"PGM huge number", "P5 99999999999 2 255\n", "the header lacks"},
        {"PGM 16-bit", "P5 2 2 65535\n", "maxval 65535 is outside 1-255"},
        {"PGM no pixels wide", "P5 0 5 255\n", "the picture is empty (0 x 5)"},
        {"PGM too many pixels", "P5 16384 16384 255\n", "16777216 pixels"},
        {"PGM short pixels", "P5 4 4 255\n" + std::string(10, 'x'), "16 needed, 10 bytes present"},
        {"PGM text not a number", "P2 2 1 255\n12 x y", "pixel 1 is missing or not a number"},
        {"BMP headers cut", bmp.substr(0, 12), "the file headers are truncated"},
        {"BMP 24-bit", Bmp(bits), "24 bits per pixel; only 8-bit palettized"},
        {"BMP RLE8", Bmp(rle), "compression 1; only uncompressed"},
        {"BMP OS/2", Bmp(core), "OS/2 bitmap headers are not read"},
        {"BMP palette too long", Bmp(many), "300 palette entries, more than 256"},
        {"BMP pixel offset far", Patched(bmp, 10, 0xFFFFFFF0), "the pixels are truncated"},
        {"BMP negative width", Patched(bmp, 18, uint32_t(-3)), "width -3 is not positive"},
        {"BMP lowest height", Patched(bmp, 22, 0x80000000), "is larger than 16384 a side"},
    };
}

TEST(ImageReader, RefusesMalformedFilesWithTheReason)
{
    for (const BadCase& c : BadFiles()) {
        SCOPED_TRACE(c.name);
        CGreyImage image(7, 3, 42);
        std::string why;
        EXPECT_FALSE(vsim::ReadGreyImage(c.bytes, image, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(image.GetWidth(), 7u);
        EXPECT_EQ(image.GetPixels(), Pixels(21, 42));
    }
}

// Every cut and many random corruptions of valid files: each is read
// consistently or refused with a reason (the sanitizers watch the rest).
TEST(ImageReader, SurvivesCutAndCorruptedFiles)
{
    vsim::CSimRandom random(2024);
    for (const ReadCase& c : ValidFiles()) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> variants;
        for (size_t n = 0; n < c.bytes.size(); ++n)
            variants.push_back(c.bytes.substr(0, n));
        for (int i = 0; i < 200; ++i) {
            std::string bytes = c.bytes;
            for (uint32_t flips = 1 + random.Below(4); flips > 0; --flips)
                bytes[random.Below(static_cast<uint32_t>(bytes.size()))] =
                    static_cast<char>(random.Below(256));
            variants.push_back(bytes);
        }
        for (const std::string& bytes : variants) {
            CGreyImage image;
            std::string why;
            if (vsim::ReadGreyImage(bytes, image, why))
                EXPECT_EQ(image.GetPixels().size(), size_t(image.GetWidth()) * image.GetHeight());
            else
                EXPECT_FALSE(why.empty());
        }
    }
}

}  // namespace
}  // namespace simtest
