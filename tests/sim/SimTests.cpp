// The pictures the simulated veskbit2 library serves, as the driver reads
// them (its scripts and attach test are proven by the capture tests); the
// picture files users hand to the simulators, read or refused with a reason
// (image_fuzzer checks that no input makes the reader misbehave).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/TestMachine.h"
#include "drivers/VeskBit2.h"
#include "sim/common/GreyImageReader.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/veskbit2/VeskBitSimControl.h"

namespace {

using Clock = std::chrono::steady_clock;
using Pixels = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The simulator's machine-wide values, by their literal names so that a
// wrong name in the simulator shows.
void SetSim(const char16_t* name, DWORD type, const testkit::Bytes& data)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\veskbit", name, type, data);
}

std::string Pgm(uint32_t width, uint32_t height, const Pixels& pixels)
{
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
           std::string(pixels.begin(), pixels.end());
}

uint32_t Open(uint32_t& cell) { return VeskBitOpenWithPriorityEx(&cell, 0, 0, 240, 368, 1); }

// The block's pixels turned back to top row first.
Pixels Upright(const Pixels& block)
{
    Pixels pixels;
    for (uint32_t row = kVeskBitHeight; row-- > 0;) {
        const auto start = block.begin() + kVeskBitSkippedBytes + row * kVeskBitWidth;
        pixels.insert(pixels.end(), start, start + kVeskBitWidth);
    }
    return pixels;
}

// A scratch machine, the simulator reset around each test.
class VeskBitTest : public testkit::MachineTest {
protected:
    VeskBitTest() { VeskBitSimReset(); }
    ~VeskBitTest() override { VeskBitSimReset(); }
    // Polls as the driver does until anything but "no image yet".
    uint16_t PollUntilAnswer(uint32_t& cell)
    {
        const Clock::time_point end = Clock::now() + 5s;
        for (;;) {
            const uint16_t status = VeskBitGetImage(&cell, m_block.data());
            if (status != kVeskBitNoImageYet || Clock::now() > end)
                return status;
            std::this_thread::sleep_for(10ms);
        }
    }
    // One attempt on a fresh handle; the picture upright, empty on failure.
    Pixels Picture()
    {
        uint32_t cell = 0;
        const bool ok = Open(cell) == 0 && PollUntilAnswer(cell) == kVeskBitImage;
        VeskBitClose(&cell);
        return ok ? Upright(m_block) : Pixels{};
    }

    Pixels m_block = Pixels(kVeskBitBlockSize, 0);
};

TEST_F(VeskBitTest, PollsWaitForTheFingerThenFillTheBlock)
{
    VeskBitSimSetSeed(42);
    VeskBitSimSetFingerDelay(150);
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0u);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitNoImageYet);
    ASSERT_EQ(PollUntilAnswer(cell), kVeskBitImage);
    EXPECT_GE(Clock::now() - start, 150ms);
    // The pixels behind the header and palette the driver skips, bottom row first.
    EXPECT_EQ(Upright(m_block), vsim::GenerateRidges(240, 368, 42, 0).GetPixels());
}

TEST_F(VeskBitTest, SeedFixesTheFinger)
{
    VeskBitSimSetFingerDelay(0);
    SetSim(u"Seed", REG_DWORD, testkit::Dword(5));
    const Pixels stored = Picture();
    ASSERT_FALSE(stored.empty());
    VeskBitSimSetSeed(5);
    EXPECT_EQ(Picture(), stored) << "the stored seed is the same finger";
    VeskBitSimSetSeed(6);
    EXPECT_NE(Picture(), stored);
}

TEST_F(VeskBitTest, ServesImageFilesUprightAndCentred)
{
    VeskBitSimSetFingerDelay(0);
    Pixels exact(240 * 368);
    for (size_t i = 0; i < exact.size(); ++i)
        exact[i] = static_cast<uint8_t>(i / 240);  // the row number shows any flip
    const std::string pgm = Write("exact.pgm", Pgm(240, 368, exact));
    SetSim(u"ImageFile", REG_SZ, testkit::Sz(pal::FromUtf8(pgm)));
    EXPECT_EQ(Picture(), exact);

    VeskBitSimSetImageFile(Write("small.pgm", Pgm(2, 2, {10, 20, 30, 40})).c_str());
    const Pixels centred = Picture();
    ASSERT_EQ(centred.size(), exact.size());
    EXPECT_EQ(centred[0], 255);
    EXPECT_EQ(centred[183 * 240 + 119], 10);
    EXPECT_EQ(centred[183 * 240 + 120], 20);
    EXPECT_EQ(centred[184 * 240 + 119], 30);

}

using vsim::CGreyImage;

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
