#include <atomic>
#include <chrono>

#include <gtest/gtest.h>

#include "pal/threads/threads.h"

namespace {

struct Shared {
    CRITICAL_SECTION section;
    long counter = 0;  // deliberately not atomic
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
};

DWORD RunAndWait(unsigned(__stdcall* routine)(void*), Shared& shared)
{
    const auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, routine, &shared, 0, nullptr));
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

// From another thread: could it enter now? (It leaves again if so.)
bool FreeForOthers(Shared& shared)
{
    return RunAndWait([](void* raw) -> unsigned {
               auto* section = &static_cast<Shared*>(raw)->section;
               const BOOL entered = TryEnterCriticalSection(section);
               if (entered)
                   LeaveCriticalSection(section);
               return entered;
           }, shared) != 0;
}

TEST(CriticalSectionTest, IsRecursiveAndOwnedUntilTheLastLeave)
{
    Shared shared;
    InitializeCriticalSection(&shared.section);
    EnterCriticalSection(&shared.section);
    EXPECT_TRUE(TryEnterCriticalSection(&shared.section));
    EXPECT_FALSE(FreeForOthers(shared));
    LeaveCriticalSection(&shared.section);
    EXPECT_FALSE(FreeForOthers(shared));
    LeaveCriticalSection(&shared.section);
    EXPECT_TRUE(FreeForOthers(shared));
    DeleteCriticalSection(&shared.section);
}

TEST(CriticalSectionTest, ExcludesOtherThreadsUnderContention)
{
    constexpr int kThreads = 4, kRounds = 20000;
    Shared shared;
    InitializeCriticalSection(&shared.section);
    const auto worker = [](void* raw) -> unsigned {
        auto* s = static_cast<Shared*>(raw);
        for (int i = 0; i < kRounds; ++i) {
            EnterCriticalSection(&s->section);
            EnterCriticalSection(&s->section);
            s->overlapped = s->overlapped || s->inside.fetch_add(1) != 0;
            ++s->counter;
            s->inside.fetch_sub(1);
            LeaveCriticalSection(&s->section);
            LeaveCriticalSection(&s->section);
        }
        return 0;
    };
    HANDLE threads[kThreads];
    for (HANDLE& thread : threads)
        thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, worker, &shared, 0, nullptr));
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_EQ(shared.counter, long{kThreads} * kRounds);
    EXPECT_FALSE(shared.overlapped);
    DeleteCriticalSection(&shared.section);
}

TEST(SleepTest, WaitsAtLeastAsLongAsAskedAndZeroOnlyYields)
{
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    Sleep(0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    start = Clock::now();
    Sleep(30);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
}

}  // namespace
