// Named mutexes across processes, renames, local time. The
// program plays roles as a child of its own tests, chosen before main so that
// gtest never starts in the child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <future>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

constexpr const char* kRole = "SYNC_TESTS_ROLE";
constexpr const char* kName = "SYNC_TESTS_NAME";
constexpr const char* kFile = "SYNC_TESTS_FILE";
constexpr const char* kRounds = "SYNC_TESTS_ROUNDS";

std::u16string Wide(const std::string& text) { return pal::FromUtf8(text); }

// The worker shared by the parent and its child: `rounds` increments of a
// counter file under the mutex.
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

std::string Outcome(HANDLE handle, const std::string& success)
{
    return handle ? success : "F" + std::to_string(GetLastError());
}

// "probe" prints how OpenMutexW for SYNCHRONIZE, OpenMutexW for all access
// and CreateMutexW answer; "die-holding" takes the mutex and is killed;
// "wait" prints what CreateMutexW and a wait of 2 s answer.
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
    if (role == "wait") {
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
        const DWORD result = mutex ? WaitForSingleObject(mutex, 2000) : WAIT_FAILED;
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        std::printf("%s", Outcome(result == WAIT_FAILED ? nullptr : mutex, std::to_string(result)).c_str());
        return 0;
    }
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
    for (HANDLE h : {mine, again})
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
        EXPECT_TRUE(ReleaseMutex(mutex)) << level;
    }
    EXPECT_EQ(WaitElsewhere(mutex, INFINITE), WAIT_OBJECT_0);
    CloseHandle(mutex);
}

// Two threads of this process and a child process, all at once: the counter
// under the mutex loses no update. (Whole lines from processes that append
// under it are the logger suite's; nothing appends without it.)
TEST_F(SyncTest, TwoProcessesLoseNothing)
{
    constexpr int kRounds = 2000;
    const std::string counter = Write("counter", std::string(sizeof(long), '\0'));
    std::vector<std::future<bool>> threads;
    for (int t = 0; t < 2; ++t)
        threads.push_back(std::async(std::launch::async, CountUnderMutex, "Global\\counter", counter, kRounds));
    EXPECT_EQ(RunRole("count", "Global\\counter", counter, kRounds).exitCode, 0);
    for (auto& thread : threads)
        EXPECT_TRUE(thread.get());
    long value = 0;
    std::memcpy(&value, testkit::ReadFile(counter).data(), sizeof value);
    EXPECT_EQ(value, 3 * kRounds);
}

// The block's layout as pal/README.md gives it: magic, version, glibc's mutex.
constexpr off_t kMutexAt = 8, kBlockSize = kMutexAt + sizeof(pthread_mutex_t);
constexpr off_t kLockAt = kMutexAt + offsetof(pthread_mutex_t, __data.__lock);
constexpr off_t kCountAt = kMutexAt + offsetof(pthread_mutex_t, __data.__count);
constexpr off_t kOwnerAt = kMutexAt + offsetof(pthread_mutex_t, __data.__owner);

std::string U32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Stray bytes in the block never stop the mutex: a fresh process (the
// child) repairs them or refuses a block of another layout, within its wait
// of 2 s, and one report names the file and the fault. A bogus owner ends
// as an abandonment (128); an owner whose fields were hit fixes them itself
// (held 1: before it releases; 2: it holds the mutex throughout).
TEST_F(SyncTest, DamagedMutexIsRepairedOrRefusedAndReportedOnce)
{
    const pid_t stranger = fork();  // a live process of ours that maps no mutex
    if (stranger == 0)
        _exit(pause());
    const struct {
        const char* what;
        off_t at;
        std::string bytes;
        int held;
        const char* child;
        const char* report;
    } rows[] = {
        {"nothing: a live owner keeps it", 0, "", 2, "258", nullptr},
        {"magic", 0, U32(0x12345678), 0, "0", "(magic 0x12345678): fixed"},
        {"version", 4, U32(99), 0, "0", "(version 99): fixed"},
        {"lock word of a live stranger", kLockAt, U32(stranger), 0, "128", "does not use it"},
        {"lock word of no thread", kLockAt, U32(0x3FFFFF00), 0, "128", "no longer exists"},
        {"free mutex marked unrecoverable", kOwnerAt, U32(0x7FFFFFFF), 0, "0", "unrecoverable"},
        {"owner field of a held mutex", kOwnerAt, U32(1), 1, "0", "(owner field 1 instead of"},
        {"count of a held mutex", kCountAt, U32(0), 1, "0", "(count 0 instead of 1)"},
        {"foreign bytes throughout", 0, std::string(kBlockSize, '\xA5'), 0, "128", "magic 0xA5A5A5A5"},
        {"a block of another size", kBlockSize, "x", 0, "F6", "refused as a named object's file"},
    };
    pal::SetSetting("VESK_DEBUG_OUTPUT", "1");
    const std::string file = Path("objects/vesk-mutex.Global.damaged");
    for (const auto& row : rows) {
        const HANDLE mutex = Create(u"Global\\damaged", ERROR_SUCCESS, row.held);
        testing::internal::CaptureStderr();
        const int fd = open(file.c_str(), O_WRONLY);
        EXPECT_EQ(pwrite(fd, row.bytes.data(), row.bytes.size(), row.at), static_cast<ssize_t>(row.bytes.size()));
        close(fd);
        EXPECT_TRUE(row.held != 1 || ReleaseMutex(mutex)) << row.what;
        const auto child = RunRole("wait", "Global\\damaged", {}, 0, {{"VESK_DEBUG_OUTPUT", "1"}});
        EXPECT_EQ(child.out, row.child) << row.what << ", exit " << child.exitCode << ": " << child.err;
        EXPECT_TRUE(row.held != 2 || ReleaseMutex(mutex)) << row.what;
        EXPECT_EQ(WaitElsewhere(mutex, 1000), WAIT_OBJECT_0) << row.what << ": the holder goes on";
        const std::string reports = testing::internal::GetCapturedStderr() + child.err;
        EXPECT_EQ(Count(reports, "pal: " + file + ": "), row.report ? 1u : 0u) << row.what << "\n" << reports;
        EXPECT_TRUE(!row.report || Count(reports, row.report) == 1) << row.what << "\n" << reports;
        CloseHandle(mutex);
    }
    kill(stranger, SIGKILL);
    waitpid(stranger, nullptr, 0);
}

// The file behind a name is the user's alone whatever the umask, as a
// named object's default DACL admits its maker's account only. Whatever
// else lies under the name is refused at once and reported.
TEST_F(SyncTest, BackingFileIsTheUsersAloneAndAnythingElseIsRefused)
{
    const mode_t umasked = umask(0);
    const HANDLE mutex = Create(u"Global\\mine", ERROR_SUCCESS);
    umask(umasked);
    struct stat info {};
    ASSERT_EQ(lstat(Path("objects/vesk-mutex.Global.mine").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
    CloseHandle(mutex);

    const std::string file = Path("objects/vesk-mutex.Global.planted"), target = Write("target", "x");
    const struct {
        const char* what;
        std::function<bool()> plant;
        DWORD error;
    } rows[] = {
        {"a FIFO", [&] { return mkfifo(file.c_str(), 0600) == 0; }, ERROR_INVALID_HANDLE},
        {"a link", [&] { return symlink(target.c_str(), file.c_str()) == 0; }, ERROR_ACCESS_DENIED},
        {"another user's file", [&] {  // planted by root only
             testkit::WriteFile(file, "");
             return chown(file.c_str(), 65534, 65534) == 0;
         }, ERROR_ACCESS_DENIED},
    };
    pal::SetSetting("VESK_DEBUG_OUTPUT", "1");
    for (const auto& row : rows) {
        unlink(file.c_str());
        if (!row.plant())
            continue;
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\planted"), nullptr) << row.what;
        EXPECT_EQ(GetLastError(), row.error) << row.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << row.what;
        EXPECT_EQ(Count(testing::internal::GetCapturedStderr(), "pal: " + file + ": refused"), 1u) << row.what;
    }
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
