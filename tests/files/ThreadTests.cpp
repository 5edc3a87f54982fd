#include <atomic>
#include <cerrno>
#include <future>
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
    HANDLE Start(unsigned* threadId = nullptr, unsigned stackSize = 0)
    {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, stackSize, Run, this, 0, threadId));
    }
};

TEST(ThreadTest, HandleSignalsWhenTheRoutineReturnsWithItsExitCode)
{
    GatedRoutine routine;
    routine.result = 42;
    const HANDLE thread = routine.Start();
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    std::vector<std::future<DWORD>> waiters;
    for (DWORD timeout : {INFINITE, INFINITE, 60000u})
        waiters.push_back(std::async(std::launch::async, [=] { return WaitForSingleObject(thread, timeout); }));
    routine.gate.set_value();
    for (auto& waiter : waiters)
        EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);

    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ThreadTest, ThreadIdIsKnownOnReturnAndMatchesTheThreadsOwn)
{
    for (unsigned stackSize : {0u, 1u, 256u * 1024u}) {
        GatedRoutine routine;
        unsigned id = 0;
        const HANDLE thread = routine.Start(&id, stackSize);
        ASSERT_NE(thread, nullptr) << stackSize;
        EXPECT_NE(id, GetCurrentThreadId());
        routine.gate.set_value();
        ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(routine.seenId.load(), id);
        CloseHandle(thread);
    }
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

TEST(ThreadTest, RefusesSuspendedStartsAndMissingRoutines)
{
    GatedRoutine routine;
    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, GatedRoutine::Run, &routine, CREATE_SUSPENDED, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, &routine, 0, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
