// The simulated veskbit2 library through its four functions, as the driver
// relies on them: attach test, open, polls until a finger, scripted answers,
// and a close from another thread ending a poll loop.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "SimTestKit.h"
#include "drivers/VeskBit2.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/veskbit2/VeskBitSimControl.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;
using Block = std::vector<uint8_t>;
using namespace std::chrono_literals;

uint32_t Open(uint32_t& cell) { return VeskBitOpenWithPriorityEx(&cell, 0, 0, 240, 368, 1); }

uint32_t Le(const Block& block, size_t offset, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= uint32_t(block[offset + i]) << (8 * i);
    return value;
}

// The block's pixels turned back to top row first.
Pixels PixelsOf(const Block& block)
{
    Pixels pixels;
    for (uint32_t row = kVeskBitHeight; row-- > 0;) {
        const auto start = block.begin() + kVeskBitSkippedBytes + row * kVeskBitWidth;
        pixels.insert(pixels.end(), start, start + kVeskBitWidth);
    }
    return pixels;
}

// Polls as the driver does until anything but "no image yet".
uint16_t PollUntilAnswer(uint32_t& cell, Block& block, Clock::duration limit = 5s)
{
    const Clock::time_point end = Clock::now() + limit;
    for (;;) {
        const uint16_t status = VeskBitGetImage(&cell, block.data());
        if (status != kVeskBitNoImageYet || Clock::now() > end)
            return status;
        std::this_thread::sleep_for(10ms);
    }
}

class VeskBitTest : public SimTest {
protected:
    Block m_block = Block(kVeskBitBlockSize, 0);
};

TEST_F(VeskBitTest, AttachTestFollowsTheSettings)
{
    struct Case {
        const char* name;
        int stored;  // -1: no value, -2: a string
        int inProcess;  // -1: not set
        uint32_t expected;
    };
    const Case cases[] = {
        {"nothing stored", -1, -1, 1}, {"stored 0", 0, -1, 0},
        {"stored 7", 7, -1, 1},        {"stored as a string", -2, -1, 1},
        {"in process wins off", 1, 0, 0}, {"in process wins on", 0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VeskBitSimReset();
        if (c.stored >= 0)
            SetSimDword(u"Attached", static_cast<uint32_t>(c.stored));
        else if (c.stored == -2)
            SetSimString(u"Attached", u"0");
        if (c.inProcess >= 0)
            VeskBitSimSetAttached(c.inProcess);
        EXPECT_EQ(VeskBitDeviceAttached() != 0, c.expected != 0);
    }
}

TEST_F(VeskBitTest, OpenWritesAHandleOrAnswersWhyNot)
{
    uint32_t cell = 0;
    EXPECT_EQ(VeskBitOpenWithPriorityEx(&cell, 2, 0, 240, 368, 9), 0);
    EXPECT_NE(cell, 0u);
    const uint32_t handle = cell;
    EXPECT_EQ(Open(cell), 0) << "a second open of the same cell";
    EXPECT_EQ(cell, handle);
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 1u);

    uint32_t other = 0;
    EXPECT_EQ(VeskBitOpenWithPriorityEx(&other, 1, 0, 256, 360, 5), kVeskBitEnd);
    EXPECT_EQ(other, 0u);
    const CVeskBitSimStats stats = VeskBitSimStats();
    EXPECT_EQ(stats.m_nLastPriority, 1u);
    EXPECT_EQ(stats.m_nLastWidth, 256u);
    EXPECT_EQ(stats.m_nLastHeight, 360u);
    EXPECT_EQ(stats.m_nLastOption, 5u);
    EXPECT_NE(VeskBitSimLastProblem().find("256 x 360"), std::string::npos);

    VeskBitSimSetAttached(0);
    EXPECT_EQ(Open(other), 4003);
    EXPECT_EQ(other, 0u);
}

TEST_F(VeskBitTest, PollsWaitForTheFingerThenFillTheBlock)
{
    VeskBitSimSetSeed(42);
    VeskBitSimSetFingerDelay(150);
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitNoImageYet);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitNoImageYet);
    ASSERT_EQ(PollUntilAnswer(cell, m_block), kVeskBitImage);
    EXPECT_GE(Clock::now() - start, 150ms);

    // A BITMAPINFOHEADER for a bottom-up 240 x 368 grey picture, its palette,
    // then the pixels.
    EXPECT_EQ(Le(m_block, 0, 4), 40u);
    EXPECT_EQ(Le(m_block, 4, 4), 240u);
    EXPECT_EQ(Le(m_block, 8, 4), 368u);
    EXPECT_EQ(Le(m_block, 14, 2), 8u);
    EXPECT_EQ(Le(m_block, 40 + 4 * 200, 4), 0xC8C8C8u);
    EXPECT_EQ(PixelsOf(m_block), vsim::GenerateRidges(240, 368, 42, 0).GetPixels());

    // The next attempt waits again and shows the next touch.
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitNoImageYet);
    ASSERT_EQ(PollUntilAnswer(cell, m_block), kVeskBitImage);
    EXPECT_EQ(PixelsOf(m_block), vsim::GenerateRidges(240, 368, 42, 1).GetPixels());
    EXPECT_EQ(VeskBitSimStats().m_nImages, 2u);
}

TEST_F(VeskBitTest, ScriptedAnswersReplaceTheNextPollsInOrder)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    ASSERT_TRUE(VeskBitSimScript({"0x2000", "0x1000", "0", "0x8400", "0x8020", "7", "image:8000"}));
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0);
    for (const uint16_t expected : {0x2000, 0x1000, 0, 0x8400, 0x8020, 7, 8000, 0x2000, 0x2000})
        EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), expected);
    EXPECT_EQ(VeskBitSimStats().m_nImages, 1u);
}

TEST_F(VeskBitTest, EachCallTakesTheEntriesMeantForIt)
{
    VeskBitSimSetFingerDelay(0);
    ASSERT_TRUE(VeskBitSimScript({"close:5", "ATTACHED:0", "open:0x0123", "image:0x1000"}));
    uint32_t cell = 0;
    EXPECT_EQ(VeskBitDeviceAttached(), 0u);
    EXPECT_EQ(VeskBitDeviceAttached(), 1u);
    EXPECT_EQ(Open(cell), 0x0123);
    EXPECT_EQ(cell, 0u);
    EXPECT_EQ(Open(cell), 0);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0x1000);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0);
    EXPECT_EQ(VeskBitClose(&cell), 5);
    EXPECT_NE(cell, 0u) << "a failed close leaves the device open";
    EXPECT_EQ(VeskBitClose(&cell), 0);
    EXPECT_EQ(cell, 0u);
}

TEST_F(VeskBitTest, ScriptedNoScannerUnplugsForGood)
{
    ASSERT_TRUE(VeskBitSimScript({"4003"}));
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 4003);
    EXPECT_EQ(VeskBitDeviceAttached(), 0u);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 4003);
    uint32_t other = 0;
    EXPECT_EQ(Open(other), 4003);
}

TEST_F(VeskBitTest, ClosedOrUnknownHandlesEndThePoll)
{
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0);
    uint32_t stale = cell;
    EXPECT_EQ(VeskBitClose(&cell), 0);
    EXPECT_EQ(cell, 0u);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), kVeskBitEnd);
    EXPECT_EQ(VeskBitGetImage(&stale, m_block.data()), kVeskBitEnd);
    EXPECT_EQ(VeskBitClose(&cell), kVeskBitEnd);
    EXPECT_EQ(VeskBitGetImage(nullptr, m_block.data()), kVeskBitEnd);
    ASSERT_EQ(Open(cell), 0);
    EXPECT_EQ(VeskBitGetImage(&cell, nullptr), kVeskBitEnd);
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 1u);
}

// The driver polls every 50 ms holding its lock only during each call; the
// caller's thread closes in between.
TEST_F(VeskBitTest, CloseFromAnotherThreadEndsARunningPollLoop)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    uint32_t cell = 0;
    ASSERT_EQ(Open(cell), 0);
    std::mutex driverLock;
    auto poller = std::async(std::launch::async, [&] {
        Block block(kVeskBitBlockSize);
        for (;;) {
            uint16_t status;
            {
                const std::lock_guard<std::mutex> lock(driverLock);
                status = VeskBitGetImage(&cell, block.data());
            }
            if (status != kVeskBitNoImageYet)
                return status;
            std::this_thread::sleep_for(50ms);
        }
    });
    std::this_thread::sleep_for(120ms);
    {
        const std::lock_guard<std::mutex> lock(driverLock);
        EXPECT_EQ(VeskBitClose(&cell), 0);
    }
    ASSERT_EQ(poller.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(poller.get(), kVeskBitEnd);
}

// Without any caller-side lock, for the sanitizers: every call is safe
// against every other.
TEST_F(VeskBitTest, CallsFromManyThreadsAtOnce)
{
    VeskBitSimSetFingerDelay(0);  // every poll delivers: the picture path races too
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            Block block(kVeskBitBlockSize);
            uint32_t cell = 0;
            for (int i = 0; i < 6; ++i) {
                VeskBitDeviceAttached();
                Open(cell);
                VeskBitGetImage(&cell, block.data());
                if (i % 2 == 0)
                    VeskBitClose(&cell);
            }
            VeskBitClose(&cell);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 0u);
    EXPECT_EQ(VeskBitSimStats().m_nImages, 24u);
}

}  // namespace
}  // namespace simtest
