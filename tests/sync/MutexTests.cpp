#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <thread>

#include "SyncTestKit.h"

namespace {

using synctest::RunRole;

class MutexTest : public synctest::CSyncTest {};

// What another thread's wait answers; that thread lets go of what it took.
DWORD WaitElsewhere(HANDLE handle, DWORD milliseconds = 0)
{
    return std::async(std::launch::async,
                      [=] {
                          const DWORD result = WaitForSingleObject(handle, milliseconds);
                          if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
                              ReleaseMutex(handle);
                          return result;
                      })
        .get();
}

HANDLE Create(const std::u16string& name, DWORD expectedError, BOOL initialOwner = FALSE)
{
    SetLastError(0xDEAD);
    const HANDLE handle = CreateMutexW(nullptr, initialOwner,
                                       name.empty() ? nullptr : name.c_str());
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(GetLastError(), expectedError) << pal::ToUtf8(name);
    return handle;
}

// The probe child answers OpenMutexW(SYNCHRONIZE), OpenMutexW(all) and CreateMutexW.
TEST_F(MutexTest, ExistsWhileAnyProcessHoldsAHandle)
{
    EXPECT_EQ(RunRole("probe", "Global\\life").out, "F2 F2 0");
    const HANDLE first = Create(u"Global\\life", ERROR_SUCCESS);
    const HANDLE second = Create(u"Global\\life", ERROR_ALREADY_EXISTS, TRUE);
    EXPECT_EQ(WaitElsewhere(first), WAIT_OBJECT_0) << "an existing mutex is not taken";
    EXPECT_EQ(RunRole("probe", "Global\\life").out, "ok ok 183");
    CloseHandle(first);
    CloseHandle(second);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\life"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RunRole("probe", "Global\\life").out, "F2 F2 0");
}

TEST_F(MutexTest, DeniedMutexOpensForSynchronizeOnly)
{
    const HANDLE mine = Create(u"Global\\app.exe", ERROR_SUCCESS);
    EXPECT_EQ(RunRole("probe", "Global\\app.exe", {}, 0,
                      {{"VESK_MUTEX_DENIED", "Local\\x, Global\\app.exe"}})
                  .out,
              "ok F5 F5");
    pal::SetSetting("VESK_MUTEX_DENIED", "Global\\app.exe");
    const HANDLE again = Create(u"Global\\app.exe",
                                ERROR_ALREADY_EXISTS);  // its maker is not denied
    const HANDLE modify = OpenMutexW(MUTEX_MODIFY_STATE, FALSE, u"Global\\app.exe");
    EXPECT_EQ(WaitForSingleObject(modify, 0), WAIT_FAILED) << "waits need SYNCHRONIZE";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    for (HANDLE h : {mine, again, modify})
        CloseHandle(h);
}

TEST_F(MutexTest, OwnerRecursesAndOthersWaitUntilTheLastRelease)
{
    const HANDLE mutex = Create(u"Global\\recursive", ERROR_SUCCESS, TRUE);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitElsewhere(mutex, 150), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(140));
    for (int level = 2; level > 0; --level) {
        EXPECT_EQ(WaitElsewhere(mutex), WAIT_TIMEOUT) << level;
        EXPECT_FALSE(std::async(std::launch::async, ReleaseMutex, mutex).get()) << "not the owner";
        EXPECT_TRUE(ReleaseMutex(mutex)) << level;
    }
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_EQ(WaitElsewhere(mutex, INFINITE), WAIT_OBJECT_0);
    CloseHandle(mutex);
}

TEST_F(MutexTest, DeadOwnersAbandonTheMutex)
{
    const HANDLE mutex = Create(u"Global\\dead", ERROR_SUCCESS);
    EXPECT_EQ(RunRole("die-holding", "Global\\dead").exitCode, 128 + SIGKILL);
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    // Killed while it alone held the name: nothing of it remains.
    EXPECT_EQ(RunRole("die-holding", "Global\\dead").exitCode, 128 + SIGKILL);
    EXPECT_EQ(RunRole("probe", "Global\\dead").out, "F2 F2 0");
}

TEST_F(MutexTest, TwoProcessesNeverLoseAnUpdate)
{
    constexpr int kRounds = 2000;
    const std::string counter = Path("counter");
    testkit::WriteFile(counter, std::string(sizeof(long), '\0'));
    auto mine = std::async(std::launch::async, synctest::CountUnderMutex, "Global\\counter",
                           counter, kRounds);
    EXPECT_EQ(RunRole("count", "Global\\counter", counter, kRounds).exitCode, 0);
    EXPECT_TRUE(mine.get());
    long value = 0;
    std::memcpy(&value, testkit::ReadFile(counter).data(), sizeof value);
    EXPECT_EQ(value, 2 * kRounds);
}

}  // namespace
