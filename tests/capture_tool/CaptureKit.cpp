#include "CaptureKit.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

namespace capturetest {
namespace {

std::vector<std::string> _Matches(const std::string& out, const std::string& linePattern)
{
    const std::regex line("(?:^|\n)" + linePattern);
    std::vector<std::string> found;
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        found.push_back((*it)[1]);
    return found;
}

}  // namespace

testkit::ProcessResult Capture(std::vector<std::string> args)
{
    args.insert(args.begin(), VESK_CAPTURE_EXE);
    return testkit::RunProcess(args);
}

testkit::ProcessResult Admin(std::vector<std::string> args)
{
    args.insert(args.begin(), VESK_ADMIN_EXE);
    return testkit::RunProcess(args);
}

testkit::ProcessResult CaptureInterrupted(std::vector<std::string> args, const std::string& marker,
                                          const std::string& scratchDir)
{
    const std::string outPath = scratchDir + "/interrupted.out";
    const std::string errPath = scratchDir + "/interrupted.err";
    args.insert(args.begin(), VESK_CAPTURE_EXE);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
            _exit(127);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    testkit::ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        seen = testkit::ReadFile(outPath).find(marker) != std::string::npos;
    }
    kill(pid, seen ? SIGINT : SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = !seen ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = testkit::ReadFile(outPath);
    result.err = testkit::ReadFile(errPath);
    return result;
}

void Sim(std::vector<std::string> args)
{
    args.insert(args.begin(), {"sim", "veskbit"});
    const auto result = Admin(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

std::vector<std::string> Events(const std::string& out)
{
    return _Matches(out, R"(\d\d:\d\d:\d\d\.\d\d\d  (\S+))");
}

std::vector<std::string> SavedPaths(const std::string& out)
{
    return _Matches(out, "saved ([^\n]+)");
}

CaptureToolTest::CaptureToolTest()
{
    std::filesystem::create_directories(Logs());
    // Quick fingers keep the suite short; the default is 300 ms.
    Sim({"delay", "20"});
}

}  // namespace capturetest
