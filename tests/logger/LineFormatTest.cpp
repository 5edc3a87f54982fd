// What a line looks like, where it goes, and what the writer survives.
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "LoggerTestKit.h"
#include "support/Logging.h"

namespace loggertest {
namespace {

std::string Hex8(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

class LineFormat : public LoggerTest {};

TEST_F(LineFormat, EveryLevelHasItsTagIdsAndTime)
{
    Start(Record{0, 0, u"", 1, 4, {}});
    LogError(u"one");
    LogWarning(u"two");
    LogInfo(u"three");
    LogDebug(u"four");

    const std::string ids =
        "\\[0x" + Hex8(getpid()) + "\\]\\[0x" + Hex8(GetCurrentThreadId()) + "\\] ";
    const std::string time =
        "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4} - ";
    const auto lines = ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 5u);  // the facility's own debug line comes first
    EXPECT_NE(lines[0].find("DEBUG   - FileLogger facility initialized for context: logger_tests"),
              std::string::npos);
    const char* expected[] = {"ERROR   - one", "WARNING - two", "INFO    - three",
                              "DEBUG   - four"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex(ids + time + expected[i])))
            << lines[i + 1];
    const std::string bytes = testkit::ReadFile(LogFile());
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "four\r\n");
}

TEST_F(LineFormat, TextModeBytes)
{
    Start(Record{0, 0, u"", 1, 1, {}});
    LogError(u"a\nb");
    LogError(u"caf\u00e9 \u20ac");
    LogError(nullptr);
    const std::string bytes = testkit::ReadFile(LogFile());
    EXPECT_NE(bytes.find("a\r\nb\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("caf\xe9 ?\r\n"), std::string::npos);
    EXPECT_EQ(ReadLines(LogFile()).size(), 3u);
}

TEST_F(LineFormat, LongMessageIsWrittenWhole)
{
    Start(Record{0, 0, u"", 1, 1, {}});
    const std::u16string message(300000, u'x');
    LogError(message.c_str());
    const auto lines = ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size() - lines[0].find("ERROR   - ") - 10, message.size());
}

TEST_F(LineFormat, FolderWithTrailingBackslashGetsOneSeparator)
{
    Start(Record{0, 0, u"", 1, 1, pal::FromUtf8(LogDir()) + u"\\"});
    EXPECT_EQ(pal::ToUtf8(GetInstance()->GetLogFilePath()), LogDir() + "\\logger_tests.txt");
    LogError(u"here");
    EXPECT_EQ(ReadLines(LogFile()).size(), 1u);
}

TEST_F(LineFormat, VanishedFolderOnlyLosesLines)
{
    Start(Record{0, 0, u"", 1, 1, {}});
    std::filesystem::remove_all(LogDir());
    LogError(u"lost");
    EXPECT_TRUE(IsErrorEnabled());
    EXPECT_FALSE(std::filesystem::exists(LogDir()));
}

// Run through a link named my.service.exe: the file takes the name up to the
// first dot, the mutex the whole name.
TEST(LoggerChild, DISABLED_ReportNames)
{
    InitFileLoggerFacility();
    LogError(u"from the service");
    std::printf("mutex=%s\n", pal::ToUtf8(GetInstance()->GetMutexName()).c_str());
    ReleaseFileLoggerFacility();
}

TEST_F(LineFormat, FileAndMutexAreNamedAfterTheProcess)
{
    Record record{0, 0, u"", 1, 1, pal::FromUtf8(LogDir())};
    StoreConfiguration(Encode(record));
    const std::string link = m_machine.Path("my.service.exe");
    std::filesystem::create_symlink(testkit::SelfPath(), link);
    const auto result = testkit::RunProcess(
        {link, "--gtest_also_run_disabled_tests", "--gtest_filter=LoggerChild.DISABLED_ReportNames"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("mutex=Global\\my.service.exe"), std::string::npos) << result.out;
    const auto lines = ReadLines(LogDir() + "/my.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("from the service"), std::string::npos);
}

}  // namespace
}  // namespace loggertest
