// The simulated veskbit2 library through its four functions, as the driver
// relies on them, and the pictures it serves.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/TestMachine.h"
#include "drivers/VeskBit2.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/veskbit2/VeskBitSimControl.h"
#include "support/LittleEndian.h"

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

TEST_F(VeskBitTest, AttachTestFollowsTheSettings)
{
    const struct {
        const char* name;
        int stored;     // -1: no value, -2: a string
        int inProcess;  // -1: not set
        bool expected;
    } cases[] = {
        {"nothing stored", -1, -1, true}, {"stored 0", 0, -1, false},
        {"stored 7", 7, -1, true},        {"stored as a string", -2, -1, true},
        {"in process wins", 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VeskBitSimReset();
        if (c.stored >= 0)
            SetSim(u"Attached", REG_DWORD, testkit::Dword(c.stored));
        else if (c.stored == -2)
            SetSim(u"Attached", REG_SZ, testkit::Sz(u"0"));
        if (c.inProcess >= 0)
            VeskBitSimSetAttached(c.inProcess);
        EXPECT_EQ(VeskBitDeviceAttached() != 0, c.expected);
    }
}

TEST_F(VeskBitTest, OpenWritesAHandleOrAnswersWhyNot)
{
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0u);
    const uint32_t handle = cell;
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(Open(cell), 0u) << "a second open of the same cell";
    EXPECT_EQ(cell, handle);
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 1u);

    uint32_t other = 0;
    EXPECT_EQ(VeskBitOpenWithPriorityEx(&other, 1, 0, 256, 360, 5), kVeskBitEnd);
    EXPECT_EQ(other, 0u);
    EXPECT_NE(VeskBitSimLastProblem().find("256 x 360"), std::string::npos);
    VeskBitSimSetAttached(0);
    EXPECT_EQ(Open(other), 4003u);
    EXPECT_EQ(other, 0u);
}

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
    // A BITMAPINFOHEADER for a bottom-up 240 x 368 grey picture, its palette, the pixels.
    const uint8_t* block = m_block.data();
    const std::vector<uint32_t> header = {LoadLE32(block), LoadLE32(block + 4), LoadLE32(block + 8),
                                          LoadLE16(block + 14)};
    EXPECT_EQ(header, (std::vector<uint32_t>{40, 240, 368, 8}));
    EXPECT_EQ(LoadLE32(block + 40 + 4 * 200), 0xC8C8C8u);
    EXPECT_EQ(Upright(m_block), vsim::GenerateRidges(240, 368, 42, 0).GetPixels());

    // The next attempt waits again and shows the next touch.
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitNoImageYet);
    ASSERT_EQ(PollUntilAnswer(cell), kVeskBitImage);
    EXPECT_EQ(Upright(m_block), vsim::GenerateRidges(240, 368, 42, 1).GetPixels());
}

TEST_F(VeskBitTest, ScriptedAnswersReplaceTheNextCallsInOrder)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    ASSERT_TRUE(VeskBitSimScript({"0x2000", "0x1000", "0", "0x8400", "7", "image:8000", "4003"}));
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0u);
    // A scripted 4003 unplugs: the open device breaks off until it is closed.
    for (const uint16_t expected : {0x2000, 0x1000, 0, 0x8400, 7, 8000, 0x8020, 0x8020})
        EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), expected);
    EXPECT_EQ(VeskBitSimStats().m_nImages, 1u);
    EXPECT_EQ(VeskBitDeviceAttached(), 0u) << "a scripted 4003 unplugs for good";
    EXPECT_EQ(VeskBitClose(&cell), 0u);

    const char* const bad[] = {"0x8000", "open:0x10000", "0"};
    EXPECT_EQ(VeskBitSimSetScript(bad, 3), 2u) << "the malformed entry's position";

    // Each call takes the entries meant for it.
    VeskBitSimReset();
    VeskBitSimSetFingerDelay(0);
    ASSERT_TRUE(VeskBitSimScript({"close:5", "ATTACHED:0", "open:0x0123", "image:0x1000"}));
    EXPECT_EQ(VeskBitDeviceAttached(), 0u);
    EXPECT_EQ(VeskBitDeviceAttached(), 1u);
    EXPECT_EQ(Open(cell), 0x0123u);
    EXPECT_EQ(cell, 0u);
    EXPECT_EQ(Open(cell), 0u);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0x1000);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0);
    EXPECT_EQ(VeskBitClose(&cell), 5);
    EXPECT_NE(cell, 0u) << "a failed close leaves the device open";
    const uint32_t stale = cell;
    EXPECT_EQ(VeskBitClose(&cell), 0);
    EXPECT_EQ(cell, 0u);
    uint32_t copy = stale;
    EXPECT_EQ(VeskBitGetImage(&copy, m_block.data()), kVeskBitEnd) << "a closed handle";
    EXPECT_EQ(VeskBitClose(&cell), kVeskBitEnd);
    EXPECT_EQ(VeskBitGetImage(nullptr, m_block.data()), kVeskBitEnd);
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

    const std::string zero = Write("zero.pgm", "P5 2 2 0\n\1\1\1\1");
    VeskBitSimSetImageFile(zero.c_str());
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0u);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitEnd);
    EXPECT_NE(VeskBitSimLastProblem().find("'" + zero + "'"), std::string::npos);
    EXPECT_NE(VeskBitSimLastProblem().find("maxval 0"), std::string::npos);
}

}  // namespace
