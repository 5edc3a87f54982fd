// pal's files: CreateFileW and the dispositions its callers use; threads
// started with _beginthreadex and critical sections.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "common/TestMachine.h"
#include "pal/files/files.h"
#include "pal/system/system.h"
#include "pal/text/text.h"
#include "pal/threads/threads.h"

namespace {

constexpr DWORD kBackup = FILE_FLAG_BACKUP_SEMANTICS;

using CreateFileTest = testkit::MachineTest;

TEST_F(CreateFileTest, FilesAndFoldersOpenAsWindowsOpensThemWithTheRightsAsked)
{
    mkdir(Path("dir").c_str(), 0755);
    mkfifo(Path("dir/fifo").c_str(), 0600);
    Write("dir/file.txt", "hello");
    Write("dir/other.txt", "hello");
    const auto PathOf = [this](const std::string& relative) {  // with Windows' separators
        std::u16string wide = pal::FromUtf8(Path(relative));
        std::replace(wide.begin(), wide.end(), u'/', u'\\');
        return wide;
    };
    const struct { const char* path; DWORD access, creation, flags, error; LONGLONG size; } cases[] = {
        // Folders: only with backup semantics, never for creation.
        {"dir/file.txt", 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS, 5},
        {"dir", 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS, 0},
        {"dir", 0, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, -1},
        {"dir", 0, CREATE_NEW, kBackup, ERROR_FILE_EXISTS, -1},
        {"dir", GENERIC_WRITE, CREATE_ALWAYS, kBackup, ERROR_ACCESS_DENIED, -1},
        // A FIFO is no file of Windows': refused at once, never waited on.
        {"dir/fifo", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, -1},
        {"dir/fifo", GENERIC_READ, OPEN_ALWAYS, 0, ERROR_ACCESS_DENIED, -1},
        // Missing paths tell a missing file from a missing folder.
        {"dir/none.txt", 0, OPEN_EXISTING, kBackup, ERROR_FILE_NOT_FOUND, -1},
        {"none/deeper/file.txt", 0, OPEN_EXISTING, kBackup, ERROR_PATH_NOT_FOUND, -1},
        {"dir/file.txt/inside", 0, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND, -1},
        {"none/new.txt", GENERIC_WRITE, CREATE_NEW, 0, ERROR_PATH_NOT_FOUND, -1},
        // Dispositions, in order: each sees what the one before left.
        {"dir/new.txt", 0, OPEN_ALWAYS, 0, ERROR_SUCCESS, 0},
        {"dir/new.txt", GENERIC_WRITE, CREATE_NEW, 0, ERROR_FILE_EXISTS, -1},
        {"dir/file.txt", GENERIC_READ, OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS, 5},
        {"dir/file.txt", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_ALREADY_EXISTS, 0},
    };
    for (const auto& c : cases) {  // the size of what opened, else -1
        SCOPED_TRACE(testing::Message() << c.path << " " << c.creation);
        SetLastError(0xDEAD);
        const HANDLE handle = CreateFileW(PathOf(c.path).c_str(), c.access, FILE_SHARE_READ, nullptr, c.creation,
                                          c.flags, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        LARGE_INTEGER size{};
        size.QuadPart = -1;
        EXPECT_TRUE(handle == INVALID_HANDLE_VALUE || (GetFileSizeEx(handle, &size) && CloseHandle(handle)));
        EXPECT_EQ(size.QuadPart, c.size);
    }
    EXPECT_EQ(CreateFileW(u"", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(PathOf("dir/none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(PathOf("none/x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // Attributes follow the file.
    const std::u16string file = PathOf("dir/file.txt");
    EXPECT_EQ(GetFileAttributesW(PathOf("dir").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(PathOf("dir/fifo").c_str()), FILE_ATTRIBUTE_DEVICE);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), FILE_ATTRIBUTE_NORMAL);
    chmod(m_machine.Path("dir/file.txt").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), FILE_ATTRIBUTE_READONLY);
}

std::atomic<int> s_finishedRoutines{0};

// A start routine that runs until the test opens its gate.
struct GatedRoutine {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<DWORD> seenId{0};

    static unsigned __stdcall Run(void* self)
    {
        auto* routine = static_cast<GatedRoutine*>(self);
        routine->seenId = GetCurrentThreadId();
        routine->opened.wait();
        ++s_finishedRoutines;  // the last touch: a test may drop the routine right after
        return 0;
    }
    HANDLE Start(unsigned* threadId = nullptr)
    {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, this, 0, threadId));
    }
};

// As the library, the simulator and the capture tool start threads: default
// stack, running at once. (Nothing asks for an exit code.)
TEST(ThreadTest, HandleSignalsWhenTheRoutineReturnsAndClosingItLeavesTheThread)
{
    GatedRoutine routine;
    unsigned id = 0;
    const HANDLE thread = routine.Start(&id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, GetCurrentThreadId()) << "known on return";
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    std::vector<std::future<DWORD>> waiters;
    for (DWORD timeout : {INFINITE, 60000u})
        waiters.push_back(std::async(std::launch::async, [=] { return WaitForSingleObject(thread, timeout); }));
    routine.gate.set_value();
    for (auto& waiter : waiters)
        EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
    EXPECT_EQ(routine.seenId.load(), id);
    EXPECT_TRUE(CloseHandle(thread));

    // Closing the handle leaves the thread running.
    GatedRoutine other;
    const int finished = s_finishedRoutines;
    const HANDLE closed = other.Start();
    EXPECT_TRUE(CloseHandle(closed));
    EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
    other.gate.set_value();
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

// Recursive, owned until the last leave, and exclusive under contention.
TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads)
{
    constexpr int kThreads = 4, kRounds = 20000;
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_FALSE(FreeForOthers(section));
    LeaveCriticalSection(&section);
    EXPECT_FALSE(FreeForOthers(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(FreeForOthers(section));

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
