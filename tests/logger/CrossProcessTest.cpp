// Several processes of one name share the file and its mutex.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "LoggerTestKit.h"
#include "support/Format.h"
#include "support/Logging.h"

extern char** environ;

namespace loggertest {
namespace {

constexpr int kProcesses = 4;
constexpr int kLinesEach = 5000;

TEST(LoggerChild, DISABLED_WriteLines)
{
    const int id = std::atoi(std::getenv("LOGGER_CHILD_ID"));
    InitFileLoggerFacility();
    // Long enough that a torn write would show inside a line.
    const std::u16string padding(80, u'=');
    for (int i = 0; i < kLinesEach; ++i)
        LogError(Format(u"child %d line %d %s|", id, i, padding).c_str());
    ReleaseFileLoggerFacility();
}

TEST(LoggerChild, DISABLED_HoldMutexUntilKilled)
{
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\logger_tests");
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    std::printf("held\n");
    std::fflush(stdout);
    pause();
}

class CrossProcess : public LoggerTest {};

TEST_F(CrossProcess, ConcurrentWritersProduceWholeLinesOnly)
{
    StoreConfiguration(Encode(Record{0, 0, u"", 1, 1, pal::FromUtf8(LogDir())}));
    std::vector<std::thread> runners;
    for (int id = 0; id < kProcesses; ++id)
        runners.emplace_back([id] {
            const auto result = testkit::RunProcess(
                {testkit::SelfPath(), "--gtest_also_run_disabled_tests",
                 "--gtest_filter=LoggerChild.DISABLED_WriteLines"},
                {{"LOGGER_CHILD_ID", std::to_string(id)}});
            EXPECT_EQ(result.exitCode, 0) << result.err;
        });
    for (std::thread& runner : runners)
        runner.join();

    // The lines pass 2 MiB, so part of them sits in a rolled-over file.
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(LogDir())) {
        const auto part = ReadLines(entry.path().string());
        lines.insert(lines.end(), part.begin(), part.end());
    }
    EXPECT_EQ(lines.size(), static_cast<size_t>(kProcesses * kLinesEach));
    const std::regex whole(R"(\[0x[0-9a-f]{8}\]\[0x[0-9a-f]{8}\] .{24} - ERROR   - child ([0-9]) line ([0-9]+) ={80}\|)");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << line;
    }
}

TEST_F(CrossProcess, WriterKilledHoldingTheMutexDoesNotStopTheNext)
{
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string self = testkit::SelfPath();
    const char* argv[] = {self.c_str(), "--gtest_also_run_disabled_tests",
                          "--gtest_filter=LoggerChild.DISABLED_HoldMutexUntilKilled", nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    std::string said;
    char c;
    while (said.find("held") == std::string::npos && read(output[0], &c, 1) == 1)
        said += c;
    close(output[0]);
    ASSERT_NE(said.find("held"), std::string::npos);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    Start(Record{0, 0, u"", 1, 1, {}});
    LogError(u"after the crash");
    LogError(u"and again");
    const auto lines = ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("and again"), std::string::npos);
}

}  // namespace
}  // namespace loggertest
