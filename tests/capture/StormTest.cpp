// Many callers at once: starts, stops, replaces and detections from three
// threads against each simulated family. Run under the sanitizers as well.
#include <algorithm>
#include <atomic>
#include <map>
#include <ostream>
#include <random>
#include <thread>

#include "CaptureTestKit.h"

namespace capturetest {
namespace {

constexpr int kThreads = 3;
constexpr int kCallsEach = 2000;

struct Family {
    const char* name;
    uint8_t type;
    uint32_t ready;
    void (*choose)();  // attaches this family's scanner alone
};

const Family kFamilies[] = {
    {"own brand", FS_TYPE_VESKBIT, FS_EVENT_READY_VESKBIT,
     [] { VeskBitSimSetFingerDelay(10); }},
    {"UPEK", FS_TYPE_UPEK, FS_EVENT_READY_UPEK,
     [] {
         VeskBitSimSetAttached(false);
         UseRealUpek(true);
         BsapiSimSetDevices(1);
         BsapiSimSetFingerDelay(10);
     }},
    {"AuthenTec", FS_TYPE_AUTHENTEC, FS_EVENT_READY_AUTHENTEC,
     [] {
         VeskBitSimSetAttached(false);
         SetAfssService(true);
         AfssSim().AfssSimSetFingerDelay(10);
     }},
};

// Named in the test list by the family, not by its bytes.
void PrintTo(const Family& family, std::ostream* pOut) { *pOut << family.name; }

class Storm : public CaptureTest, public ::testing::WithParamInterface<Family> {};

TEST_P(Storm, EveryStartedCaptureEndsOnceOrIsDetached)
{
    const Family& family = GetParam();
    family.choose();
    std::atomic<uintptr_t> nextContext{1000};
    std::mutex startedLock;
    std::vector<uintptr_t> started;

    auto caller = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < kCallsEach; ++i) {
            const unsigned roll = random() % 100;
            if (roll < 12) {
                const uintptr_t context = nextContext++;
                if (Start(context, random() % 2 == 0) == 0) {
                    std::lock_guard<std::mutex> guard(startedLock);
                    started.push_back(context);
                }
            } else if (roll < 45) {
                EXPECT_EQ(StopFingerscanner(), 1u);
            } else if (roll < 75) {
                const int32_t type = DetectFingerscanner(0);
                EXPECT_TRUE(type == family.type || type == FS_TYPE_NONE) << type;
            } else {
                const int32_t type = CurrentlyUsedFingerscanner();
                EXPECT_TRUE(type == family.type || type == FS_TYPE_NONE) << type;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(caller, 17u + t);
    for (std::thread& thread : threads)
        thread.join();
    StopAndWait();
    ASSERT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_NONE);
    Sleep(200);  // detached threads that outlived the wait end by now

    ASSERT_FALSE(started.empty());
    int ended = 0;
    for (const uintptr_t context : started) {
        const auto codes = CRecorder::Instance().Codes(context);
        const auto endings = std::count(codes.begin(), codes.end(), uint32_t(FS_EVENT_CAPTURE_ENDED));
        ASSERT_LE(endings, 1) << context;
        if (endings == 1) {
            ++ended;
            EXPECT_EQ(codes.back(), uint32_t(FS_EVENT_CAPTURE_ENDED)) << context;
        }
        const auto images = std::count(codes.begin(), codes.end(), uint32_t(FS_EVENT_IMAGE));
        EXPECT_LE(images, 1 + std::count(codes.begin(), codes.end(), family.ready));
    }
    EXPECT_GT(ended, 0);
    // Every buffer BSAPI handed out went back; the service client is shut down.
    EXPECT_EQ(BsapiSimStats().m_nBuffersLive, 0u);
    EXPECT_EQ(AfssSim().Stats().m_nStarted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, Storm, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family>& info) {
                             return info.param.type == FS_TYPE_UPEK        ? "Upek"
                                    : info.param.type == FS_TYPE_AUTHENTEC ? "Authentec"
                                                                           : "VeskBit";
                         });

}  // namespace
}  // namespace capturetest
