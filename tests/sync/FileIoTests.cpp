#include <sys/stat.h>

#include <ctime>
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
};

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

TEST_F(FileIoTest, MoveOntoAnExistingNameFails)
{
    testkit::WriteFile(Path("dir/other.txt"), "other");
    const auto move = [this](const char* from, const char* to) {
        SetLastError(0xDEAD);
        return MoveFileW(WidePath(from).c_str(), WidePath(to).c_str());
    };
    EXPECT_FALSE(move("dir/file.txt", "dir/other.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(testkit::ReadFile(Path("dir/other.txt")), "other");
    EXPECT_TRUE(move("dir/file.txt", "dir/moved.txt"));
    EXPECT_EQ(testkit::ReadFile(Path("dir/moved.txt")), "hello");
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
