// Threads started with _beginthreadex, waits on them, and critical sections.
#include <atomic>
#include <cerrno>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pal/system/system.h"
#include "pal/threads/threads.h"

namespace {

std::atomic<int> s_finishedRoutines{0};

// A start routine that runs until the test opens its gate.
struct GatedRoutine {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<DWORD> seenId{0};
    unsigned result = 0;

    static unsigned __stdcall Run(void* self)
    {
        auto* routine = static_cast<GatedRoutine*>(self);
        routine->seenId = GetCurrentThreadId();
        routine->opened.wait();
        const unsigned result = routine->result;
        ++s_finishedRoutines;  // the last touch: a test may drop the routine right after
        return result;
    }
    HANDLE Start(unsigned* threadId = nullptr, unsigned stackSize = 0, unsigned flags = 0)
    {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, stackSize, Run, this, flags, threadId));
    }
};

TEST(ThreadTest, HandleSignalsWhenTheRoutineReturnsWithItsExitCode)
{
    for (unsigned stackSize : {0u, 1u, 256u * 1024u}) {
        GatedRoutine routine;
        routine.result = 42 + stackSize;
        unsigned id = 0;
        const HANDLE thread = routine.Start(&id, stackSize);
        ASSERT_NE(thread, nullptr) << stackSize;
        EXPECT_NE(id, GetCurrentThreadId()) << "known on return";
        DWORD code = 0;
        EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, STILL_ACTIVE);

        std::vector<std::future<DWORD>> waiters;
        for (DWORD timeout : {INFINITE, 60000u})
            waiters.push_back(std::async(std::launch::async,
                                         [=] { return WaitForSingleObject(thread, timeout); }));
        routine.gate.set_value();
        for (auto& waiter : waiters)
            EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 42u + stackSize);
        EXPECT_EQ(routine.seenId.load(), id);

        EXPECT_TRUE(CloseHandle(thread));
        EXPECT_FALSE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // A suspended start cannot be honoured: refused rather than run at once.
    GatedRoutine routine;
    errno = 0;
    EXPECT_EQ(routine.Start(nullptr, 0, CREATE_SUSPENDED), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

TEST(ThreadTest, ClosingTheHandleLeavesTheThreadRunning)
{
    GatedRoutine routine;
    const int finished = s_finishedRoutines;
    const HANDLE thread = routine.Start();
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
    routine.gate.set_value();
    for (int wait = 0; wait < 1000 && s_finishedRoutines == finished; ++wait)
        Sleep(10);
    EXPECT_EQ(s_finishedRoutines, finished + 1);
}

// From another thread: could it enter now? (It leaves again if so.)
bool FreeForOthers(CRITICAL_SECTION& section)
{
    return std::async(std::launch::async, [&section] {
               const BOOL entered = TryEnterCriticalSection(&section);
               if (entered)
                   LeaveCriticalSection(&section);
               return entered != FALSE;
           }).get();
}

TEST(CriticalSectionTest, IsRecursiveAndOwnedUntilTheLastLeave)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_FALSE(FreeForOthers(section));
    LeaveCriticalSection(&section);
    EXPECT_FALSE(FreeForOthers(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(FreeForOthers(section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSectionTest, ExcludesOtherThreadsUnderContention)
{
    constexpr int kThreads = 4, kRounds = 20000;
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;  // deliberately not atomic
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&section);
                overlapped = overlapped || inside.fetch_add(1) != 0;
                ++counter;
                inside.fetch_sub(1);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, long{kThreads} * kRounds);
    EXPECT_FALSE(overlapped);
    DeleteCriticalSection(&section);
}

}  // namespace
