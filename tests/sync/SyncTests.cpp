// Named mutexes across processes, appends and renames, local time. The
// program plays roles as a child of its own tests, chosen before main so that
// gtest never starts in the child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <map>
#include <sstream>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

constexpr const char* kRole = "SYNC_TESTS_ROLE";
constexpr const char* kName = "SYNC_TESTS_NAME";
constexpr const char* kFile = "SYNC_TESTS_FILE";
constexpr const char* kRounds = "SYNC_TESTS_ROUNDS";

std::u16string Wide(const std::string& text) { return pal::FromUtf8(text); }

// Workers shared by the parent and its child: `rounds` increments of a
// counter file under the mutex, and `rounds` records appended to a file.
bool CountUnderMutex(const std::string& name, const std::string& file, int rounds)
{
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(name).c_str());
    const int fd = open(file.c_str(), O_RDWR);
    bool ok = mutex && fd >= 0;
    for (int i = 0; ok && i < rounds; ++i) {
        long value = 0;
        ok = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 &&
            pread(fd, &value, sizeof value, 0) >= 0;
        ++value;
        sched_yield();  // widens the window a missing exclusion would show in
        ok = ok && pwrite(fd, &value, sizeof value, 0) == sizeof value && ReleaseMutex(mutex);
    }
    close(fd);
    return CloseHandle(mutex) && ok;
}

bool AppendRecords(const std::string& file, const std::string& tag, int rounds)
{
    const HANDLE handle = CreateFileW(Wide(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, 0, nullptr);
    bool ok = handle != INVALID_HANDLE_VALUE;
    for (int i = 0; ok && i < rounds; ++i) {
        const std::string record = tag + " " + std::to_string(i) + " " + std::string(200, tag[0]) + "\n";
        DWORD written = 0;
        ok = WriteFile(handle, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
            written == record.size();
    }
    return CloseHandle(handle) && ok;
}

std::string Outcome(HANDLE handle, const std::string& success)
{
    return handle ? success : "F" + std::to_string(GetLastError());
}

// "probe" prints how OpenMutexW for SYNCHRONIZE, OpenMutexW for all access
// and CreateMutexW answer; "die-holding" takes the mutex and is killed.
int Play(const std::string& role, const std::string& name, const std::string& file, int rounds)
{
    const std::u16string wide = Wide(name);
    if (role == "probe") {
        std::string out = Outcome(OpenMutexW(SYNCHRONIZE, FALSE, wide.c_str()), "ok") + " ";
        out += Outcome(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wide.c_str()), "ok") + " ";
        const HANDLE created = CreateMutexW(nullptr, FALSE, wide.c_str());
        std::printf("%s", (out + Outcome(created, std::to_string(GetLastError()))).c_str());
        return 0;
    }
    if (role == "die-holding") {
        if (WaitForSingleObject(CreateMutexW(nullptr, FALSE, wide.c_str()), INFINITE) == WAIT_OBJECT_0)
            raise(SIGKILL);
        return 1;
    }
    if (role == "append")
        return AppendRecords(file, name, rounds) ? 0 : 1;
    return CountUnderMutex(name, file, rounds) ? 0 : 1;
}

[[maybe_unused]] const bool g_bChild = [] {
    const auto env = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
    if (!std::getenv(kRole))
        return false;
    const int status = Play(env(kRole), env(kName), env(kFile), std::atoi(env(kRounds).c_str()));
    std::fflush(stdout);
    _exit(status);
}();

testkit::ProcessResult RunRole(const std::string& role, const std::string& name,
                               const std::string& file = {}, int rounds = 0,
                               std::vector<std::pair<std::string, std::string>> env = {})
{
    env.insert(env.end(), {{kRole, role}, {kName, name}, {kFile, file}, {kRounds, std::to_string(rounds)}});
    return testkit::RunProcess({testkit::SelfPath()}, env);
}

// What another thread's wait answers; that thread lets go of what it took.
DWORD WaitElsewhere(HANDLE handle, DWORD milliseconds = 0)
{
    return std::async(std::launch::async, [=] {
               const DWORD result = WaitForSingleObject(handle, milliseconds);
               if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
                   ReleaseMutex(handle);
               return result;
           }).get();
}

HANDLE Create(const std::u16string& name, DWORD expectedError, BOOL initialOwner = FALSE)
{
    SetLastError(0xDEAD);
    const HANDLE handle = CreateMutexW(nullptr, initialOwner, name.c_str());
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(GetLastError(), expectedError) << pal::ToUtf8(name);
    return handle;
}

// Each scratch machine has its own folder of named objects, seen by children
// through the environment.
using SyncTest = testkit::MachineTest;

// The probe child answers OpenMutexW(SYNCHRONIZE), OpenMutexW(all) and CreateMutexW.
// A named mutex exists while any process holds a handle; a dead owner
// abandons it, and one killed while it alone held the name leaves nothing.
TEST_F(SyncTest, MutexLivesWhileAnyProcessHoldsAHandle)
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

    const HANDLE mutex = Create(u"Global\\dead", ERROR_SUCCESS);
    EXPECT_EQ(RunRole("die-holding", "Global\\dead").exitCode, 128 + SIGKILL);
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    EXPECT_EQ(RunRole("die-holding", "Global\\dead").exitCode, 128 + SIGKILL);
    EXPECT_EQ(RunRole("probe", "Global\\dead").out, "F2 F2 0");
}

TEST_F(SyncTest, DeniedMutexOpensForSynchronizeOnly)
{
    const HANDLE mine = Create(u"Global\\app.exe", ERROR_SUCCESS);
    const auto denied = RunRole("probe", "Global\\app.exe", {}, 0,
                                {{"VESK_MUTEX_DENIED", "Local\\x, Global\\app.exe"}});
    EXPECT_EQ(denied.out, "ok F5 F5");
    pal::SetSetting("VESK_MUTEX_DENIED", "Global\\app.exe");
    const HANDLE again = Create(u"Global\\app.exe", ERROR_ALREADY_EXISTS);  // its maker is not denied
    const HANDLE modify = OpenMutexW(MUTEX_MODIFY_STATE, FALSE, u"Global\\app.exe");
    EXPECT_EQ(WaitForSingleObject(modify, 0), WAIT_FAILED) << "waits need SYNCHRONIZE";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    for (HANDLE h : {mine, again, modify})
        CloseHandle(h);
}

TEST_F(SyncTest, OwnerRecursesAndOthersWaitUntilTheLastRelease)
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

// Two processes, two threads each, all at once: the counter under the mutex
// loses no update, and appends never interleave.
TEST_F(SyncTest, TwoProcessesLoseNothing)
{
    constexpr int kRounds = 2000;
    const std::string counter = Write("counter", std::string(sizeof(long), '\0')), log = Path("log.txt");
    auto count = std::async(std::launch::async, CountUnderMutex, "Global\\counter", counter, kRounds);
    auto append = std::async(std::launch::async, AppendRecords, log, "parent", kRounds);
    auto child = std::async(std::launch::async,
                            [&] { return RunRole("count", "Global\\counter", counter, kRounds); });
    EXPECT_EQ(RunRole("append", "child", log, kRounds).exitCode, 0);
    EXPECT_EQ(child.get().exitCode, 0);
    EXPECT_TRUE(count.get());
    EXPECT_TRUE(append.get());
    long value = 0;
    std::memcpy(&value, testkit::ReadFile(counter).data(), sizeof value);
    EXPECT_EQ(value, 2 * kRounds);
    std::map<std::string, int> next;
    std::istringstream lines(testkit::ReadFile(log));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string tag, filler;
        int sequence = -1;
        fields >> tag >> sequence >> filler;
        ASSERT_EQ(filler, std::string(200, tag[0])) << line;
        ASSERT_EQ(sequence, next[tag]++) << line;
    }
    EXPECT_EQ(next, (std::map<std::string, int>{{"child", kRounds}, {"parent", kRounds}}));
}

TEST_F(SyncTest, MoveOntoAnExistingNameFails)
{
    Write("file.txt", "hello");
    Write("other.txt", "other");
    const auto move = [this](const char* from, const char* to) {
        SetLastError(0xDEAD);
        return MoveFileW(Wide(Path(from)).c_str(), Wide(Path(to)).c_str());
    };
    EXPECT_FALSE(move("file.txt", "other.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(testkit::ReadFile(Path("other.txt")), "other");
    EXPECT_TRUE(move("file.txt", "moved.txt"));
    EXPECT_EQ(testkit::ReadFile(Path("moved.txt")), "hello");
}

TEST(LocalTime, AgreesWithTheTimeZone)
{
    const char* saved = std::getenv("TZ");
    const std::string restore = saved ? saved : "";
    for (const char* zone : {"UTC0", "<+0530>-5:30"}) {  // an offset no test machine runs in
        setenv("TZ", zone, 1);
        tzset();
        SYSTEMTIME now{};
        GetLocalTime(&now);
        tm fields{};
        fields.tm_year = now.wYear - 1900;
        fields.tm_mon = now.wMonth - 1;
        fields.tm_mday = now.wDay;
        fields.tm_hour = now.wHour;
        fields.tm_min = now.wMinute;
        fields.tm_sec = now.wSecond;
        EXPECT_LE(std::llabs(static_cast<long long>(mktime(&fields) - std::time(nullptr))), 1) << zone;
        EXPECT_EQ(now.wDayOfWeek, fields.tm_wday) << zone;
        EXPECT_LT(now.wMilliseconds, 1000) << zone;
    }
    saved ? setenv("TZ", restore.c_str(), 1) : unsetenv("TZ");
    tzset();
}

}  // namespace
