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

uint32_t _U32(const std::string& bytes, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
    return value;
}

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

Picture Striped()
{
    Picture picture{240, 368, {}};
    for (uint32_t y = 0; y < picture.height; ++y) {
        for (uint32_t x = 0; x < picture.width; ++x)
            picture.rows.push_back(static_cast<uint8_t>(x < 8 ? y : (x * 5 + y / 2) & 0xFF));
    }
    return picture;
}

std::string EncodePgm(const Picture& picture)
{
    return "P5\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) +
           "\n255\n" + std::string(picture.rows.begin(), picture.rows.end());
}

Picture ReadPgm(const std::string& bytes)
{
    const std::string header = "P5\n240 368\n255\n";
    EXPECT_EQ(bytes.substr(0, header.size()), header);
    EXPECT_EQ(bytes.size(), header.size() + 240 * 368);
    if (bytes.size() != header.size() + 240 * 368)
        return {};
    return {240, 368, std::vector<uint8_t>(bytes.begin() + header.size(), bytes.end())};
}

Picture ReadBmp(const std::string& bytes)
{
    constexpr size_t kOffset = 1078;
    EXPECT_EQ(bytes.size(), kOffset + 240 * 368);
    if (bytes.size() != kOffset + 240 * 368)
        return {};
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(_U32(bytes, 2), bytes.size());
    EXPECT_EQ(_U32(bytes, 10), kOffset);
    EXPECT_EQ(_U32(bytes, 14), 40u);
    EXPECT_EQ(_U32(bytes, 18), 240u);
    EXPECT_EQ(_U32(bytes, 22), 368u);  // positive: bottom-up rows
    EXPECT_EQ(_U32(bytes, 26), 0x00080001u);  // one plane, 8 bits per pixel
    EXPECT_EQ(_U32(bytes, 30), 0u);  // uncompressed
    for (uint32_t grey = 0; grey < 256; ++grey)
        EXPECT_EQ(_U32(bytes, 54 + 4 * grey), grey * 0x010101u) << grey;
    Picture picture{240, 368, {}};
    for (uint32_t row = picture.height; row-- > 0;) {
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(kOffset + row * 240);
        picture.rows.insert(picture.rows.end(), first, first + 240);
    }
    return picture;
}

CaptureToolTest::CaptureToolTest()
{
    std::filesystem::create_directories(Logs());
    // Quick fingers keep the suite short; the default is 300 ms.
    Sim({"delay", "20"});
}

}  // namespace capturetest
