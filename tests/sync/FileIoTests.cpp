#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <future>
#include <map>
#include <sstream>

#include "SyncTestKit.h"

namespace {

using synctest::Wide;

class FileIoTest : public synctest::CSyncTest {
protected:
    void SetUp() override
    {
        mkdir(Path("dir").c_str(), 0755);
        testkit::WriteFile(Path("dir/file.txt"), "hello");
    }
    std::u16string WidePath(const std::string& relative) const { return Wide(Path(relative)); }
    HANDLE Open(const std::string& relative, DWORD access, DWORD flags = 0) const
    {
        return CreateFileW(WidePath(relative).c_str(), access, 0, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    }
};

TEST_F(FileIoTest, ReadAndWriteAnswerAsWindows)
{
    const HANDLE append = Open("dir/file.txt", FILE_APPEND_DATA);
    const HANDLE overwrite = Open("dir/file.txt", GENERIC_READ | GENERIC_WRITE);
    const HANDLE folder = Open("dir", GENERIC_READ, FILE_FLAG_BACKUP_SEMANTICS);
    const HANDLE query = Open("dir/file.txt", 0);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    char buffer[16] = {};
    DWORD done = 7;
    EXPECT_TRUE(WriteFile(append, "++", 2, &done, nullptr));
    EXPECT_TRUE(WriteFile(overwrite, "J", 1, &done, nullptr));
    EXPECT_TRUE(ReadFile(overwrite, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "ello++");
    EXPECT_TRUE(ReadFile(overwrite, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u) << "end of file";

    int fakeOverlapped = 0;
    const struct {
        HANDLE handle;
        bool write;
        LPDWORD count;
        LPOVERLAPPED overlapped;
        DWORD error;
    } cases[] = {
        {append, false, &done, nullptr, ERROR_ACCESS_DENIED},
        {query, true, &done, nullptr, ERROR_ACCESS_DENIED},
        {folder, false, &done, nullptr, ERROR_ACCESS_DENIED},
        {mutex, true, &done, nullptr, ERROR_INVALID_HANDLE},
        {overwrite, true, &done, reinterpret_cast<LPOVERLAPPED>(&fakeOverlapped),
         ERROR_INVALID_PARAMETER},
        {overwrite, false, nullptr, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        done = 7;
        EXPECT_FALSE(c.write ? WriteFile(c.handle, "x", 1, c.count, c.overlapped)
                             : ReadFile(c.handle, buffer, 1, c.count, c.overlapped));
        EXPECT_EQ(GetLastError(), c.error) << &c - cases;
        EXPECT_EQ(done, c.count ? 0u : 7u);
    }
    for (HANDLE h : {append, overwrite, folder, query, mutex})
        CloseHandle(h);
    EXPECT_EQ(testkit::ReadFile(Path("dir/file.txt")), "Jello++");
}

TEST_F(FileIoTest, AppendsOfTwoProcessesNeverInterleave)
{
    constexpr int kRounds = 3000;
    const std::string log = Path("dir/log.txt");
    auto mine = std::async(std::launch::async, synctest::AppendRecords, log, "parent", kRounds);
    EXPECT_EQ(synctest::RunRole("append", "child", log, kRounds).exitCode, 0);
    EXPECT_TRUE(mine.get());
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
    EXPECT_EQ(next, (std::map<std::string, int> {{"child", kRounds}, {"parent", kRounds}}));
}

TEST_F(FileIoTest, NameOperationsAnswerAsWindows)
{
    mkdir(Path("locked").c_str(), 0755);
    testkit::WriteFile(Path("locked/readonly.txt"), "r");
    chmod(Path("locked/readonly.txt").c_str(), 0444);
    testkit::WriteFile(Path("dir/other.txt"), "other");
    const auto move = [this](const char* from, const char* to) {
        return [=] { return MoveFileW(WidePath(from).c_str(), WidePath(to).c_str()); };
    };
    const auto remove = [this](const char* name) {
        return [=] { return DeleteFileW(WidePath(name).c_str()); };
    };
    const auto makeDir = [this](const char* name) {
        return [=] { return CreateDirectoryW(WidePath(name).c_str(), nullptr); };
    };
    const struct {
        std::function<BOOL()> call;
        DWORD error;  // ERROR_SUCCESS: the call succeeds
    } cases[] = {
        {move("dir/file.txt", "dir/other.txt"), ERROR_ALREADY_EXISTS},
        {move("dir/none.txt", "dir/new.txt"), ERROR_FILE_NOT_FOUND},
        {move("none/file.txt", "dir/new.txt"), ERROR_PATH_NOT_FOUND},
        {move("dir/file.txt", "none/new.txt"), ERROR_PATH_NOT_FOUND},
        {move("dir/file.txt", "dir/moved.txt"), ERROR_SUCCESS},
        {move("locked", "renamed"), ERROR_SUCCESS},
        {remove("dir/none.txt"), ERROR_FILE_NOT_FOUND},
        {remove("dir"), ERROR_ACCESS_DENIED},
        {remove("renamed/readonly.txt"), ERROR_ACCESS_DENIED},
        {remove("dir/moved.txt"), ERROR_SUCCESS},
        {makeDir("dir"), ERROR_ALREADY_EXISTS},
        {makeDir("none/sub"), ERROR_PATH_NOT_FOUND},
        {makeDir("dir/sub"), ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SetLastError(0xDEAD);
        EXPECT_EQ(c.call(), c.error == ERROR_SUCCESS) << &c - cases;
        EXPECT_EQ(GetLastError(), c.error) << &c - cases;
    }
    EXPECT_EQ(testkit::ReadFile(Path("dir/other.txt")), "other");
    EXPECT_EQ(GetFileAttributesW(WidePath("dir/sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(WidePath("dir/moved.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileIoTest, AttributesCarrySizeAndTimes)
{
    ASSERT_EQ(truncate(Path("dir/file.txt").c_str(), (5LL << 30) + 3), 0);  // sparse
    WIN32_FILE_ATTRIBUTE_DATA data {};
    ASSERT_TRUE(
        GetFileAttributesExW(WidePath("dir/file.txt").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(data.nFileSizeHigh, 1u);
    EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 3);
    const ULONGLONG written = ULONGLONG {data.ftLastWriteTime.dwHighDateTime} << 32 |
        data.ftLastWriteTime.dwLowDateTime;
    EXPECT_LE(
        std::llabs(static_cast<long long>(written / 10000000) - 11644473600LL - std::time(nullptr)),
        5);

    ASSERT_TRUE(GetFileAttributesExW(WidePath("dir").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(data.nFileSizeLow | data.nFileSizeHigh, 0u);
    EXPECT_FALSE(GetFileAttributesExW(WidePath("dir/none").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(LocalTime, AgreesWithTheTimeZone)
{
    const char* saved = std::getenv("TZ");
    const std::string restore = saved ? saved : "";
    for (const char* zone : {"UTC0", "<+0530>-5:30"}) {  // an offset no test machine runs in
        setenv("TZ", zone, 1);
        tzset();
        SYSTEMTIME now {};
        GetLocalTime(&now);
        tm fields {};
        fields.tm_year = now.wYear - 1900;
        fields.tm_mon = now.wMonth - 1;
        fields.tm_mday = now.wDay;
        fields.tm_hour = now.wHour;
        fields.tm_min = now.wMinute;
        fields.tm_sec = now.wSecond;
        EXPECT_LE(std::llabs(static_cast<long long>(mktime(&fields) - std::time(nullptr))), 1)
            << zone;
        EXPECT_EQ(now.wDayOfWeek, fields.tm_wday) << zone;
        EXPECT_LT(now.wMilliseconds, 1000) << zone;
    }
    saved ? setenv("TZ", restore.c_str(), 1) : unsetenv("TZ");
    tzset();
}

}  // namespace
