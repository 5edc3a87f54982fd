// vesk-capture as a child process on a scratch machine whose simulated
// own-brand scanner vesk-admin sets: what it saves, and how the way a capture
// ends decides its exit status: 0 done, 1 no scanner, 2 time-out, 3 bad
// arguments, 4 ended early.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "common/TestMachine.h"

namespace {

using Names = std::vector<std::string>;
using Env = std::vector<std::pair<std::string, std::string>>;

testkit::ProcessResult Run(const char* program, std::vector<std::string> args, const Env& env = {})
{
    args.insert(args.begin(), program);
    return testkit::RunProcess(args, env);
}

testkit::ProcessResult Capture(const Names& args, const Env& env = {})
{
    return Run(VESK_CAPTURE_EXE, args, env);
}
testkit::ProcessResult Admin(const Names& args) { return Run(VESK_ADMIN_EXE, args); }

// "vesk-admin sim veskbit ARGS...", which must succeed.
void Sim(std::vector<std::string> args)
{
    args.insert(args.begin(), {"sim", "veskbit"});
    const auto result = Admin(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

// The captures of `linePattern` at the start of each line of the output.
Names Matches(const std::string& out, const std::string& linePattern)
{
    const std::regex line("(?:^|\n)" + linePattern);
    Names found;
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        found.push_back((*it)[1]);
    return found;
}

// The event names of the trace, in order, from lines "12:00:01.234  NAME...".
Names Events(const std::string& out) { return Matches(out, R"(\d\d:\d\d:\d\d\.\d\d\d  (\S+))"); }
Names SavedPaths(const std::string& out) { return Matches(out, "saved ([^\n]+)"); }

class CaptureToolTest : public testkit::MachineTest {
protected:
    CaptureToolTest()
    {
        // Quick fingers keep the suite short; the default is 300 ms. The
        // own-brand scanner alone, so that "none" means none.
        Sim({"delay", "20"});
        EXPECT_EQ(Admin({"sim", "upek", "detach"}).exitCode, 0);
    }
    std::string Images() const { return Path("images"); }
};

TEST_F(CaptureToolTest, ThreeImagesAreSavedUpright)
{
    // Row y holds y, so that a flipped file shows.
    std::string rows;
    for (int y = 0; y < 368; ++y)
        rows += std::string(240, static_cast<char>(y));
    const std::string served = Write("finger.pgm", "P5\n240 368\n255\n" + rows);
    Sim({"image", served});

    const auto result = Capture({"capture", "--count", "3", "--out", Images(), "--timeout", "60"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    const Names events = Events(result.out);
    EXPECT_EQ(std::count(events.begin(), events.end(), "FS_EVENT_IMAGE"), 3) << "no fourth";
    EXPECT_NE(result.out.find("\n              tray icon: Fingerscanner: vesk bit | Application: vesk-capture\n"),
              std::string::npos) << result.out;
    ASSERT_EQ(SavedPaths(result.out).size(), 3u) << result.out;
    for (int i = 0; i < 3; ++i) {
        const std::string file = Images() + "/image-00" + std::to_string(i + 1) + ".bmp";
        EXPECT_EQ(SavedPaths(result.out)[i], file);
        const std::string bytes = testkit::ReadFile(file);
        // Headers and a 256-grey palette, then the rows bottom-up.
        ASSERT_EQ(bytes.size(), 1078u + 240 * 368) << file;
        EXPECT_EQ(static_cast<uint8_t>(bytes[1078]), 367 & 0xFF);
        EXPECT_EQ(static_cast<uint8_t>(bytes.back()), 0);
    }

    const auto pgm = Capture({"capture", "--format", "pgm", "--out", Images() + "/pgm"});
    ASSERT_EQ(pgm.exitCode, 0) << pgm.err;
    EXPECT_EQ(testkit::ReadFile(Images() + "/pgm/image-001.pgm"), "P5\n240 368\n255\n" + rows);
}

// Exit 0 done, 1 no scanner, 2 time-out, 4 ended early. The tool prints each
// event and counts images; which events follow which answer of the scanner
// is the library's (Session.OwnBrandStatuses).
TEST_F(CaptureToolTest, TheWayACaptureEndsDecidesTheExitStatus)
{
    const std::string early = "ERROR: the capture ended early; 0 of 2 images saved.\n";
    const struct {
        Names sim;  // what vesk-admin sets first
        const char* timeout;
        int exitCode;
        Names events;
        std::string err;
        Env env;
    } cases[] = {
        {{"script", "0x1000"}, "30", 0,
         {"FS_EVENT_READY_VESKBIT", "FS_EVENT_RETRY", "FS_EVENT_READY_VESKBIT", "FS_EVENT_IMAGE",
          "FS_EVENT_READY_VESKBIT", "FS_EVENT_IMAGE", "FS_EVENT_CAPTURE_ENDED"}, "", {}},
        {{"script", "0x8020"}, "30", 4,
         {"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_INTERRUPTED", "FS_EVENT_CAPTURE_ENDED"}, early,
         {}},
        {{"delay", "never"}, "1", 2, {"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_ENDED"},
         "ERROR: time-out after 1 s; 0 of 2 images saved.\n", {}},
        // A stop that does not return: the tool leaves 5 s later all the same.
        {{"delay", "never"}, "1", 2, {"FS_EVENT_READY_VESKBIT"},
         "ERROR: time-out after 1 s, and the capture did not end within 5 s of the stop; 0 of 2 "
         "images saved.\n",
         {{"VESK_CAPTURE_TEST_STOP_DELAY_MS", "30000"}}},
        // Refused at the start: no capture thread, so no FS_EVENT_CAPTURE_ENDED.
        {{"detach"}, "30", 1, {"FS_EVENT_NO_SENSOR"}, "ERROR: no scanner found.\n", {}},
    };
    EXPECT_EQ(Capture({"detect"}).out, "scanner: vesk bit (3)\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim.back());
        Sim(c.sim);
        const std::string folder = Images() + "/" + c.sim.back();
        const auto result =
            Capture({"capture", "--count", "2", "--out", folder, "--timeout", c.timeout}, c.env);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_EQ(Events(result.out), c.events) << result.out;
        EXPECT_EQ(SavedPaths(result.out).size(), c.exitCode == 0 ? 2u : 0u);
        EXPECT_EQ(result.err, c.err);
    }
    const auto none = Capture({"detect"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "scanner: none (0)\n");
}

// A user's pictures keep their bytes: numbering continues after the highest
// of either format, a full disk leaves nothing half written, and captures
// running side by side take numbers of their own.
TEST_F(CaptureToolTest, ImagesAlreadyThereAreNeverReplaced)
{
    namespace fs = std::filesystem;
    fs::create_directories(Images());
    const std::vector<std::pair<std::string, std::string>> kept = {
        {Images() + "/image-001.bmp", "first"}, {Images() + "/image-003.pgm", "third"}};
    for (const auto& [file, bytes] : kept)
        testkit::WriteFile(file, bytes);
    auto Listing = [this] {
        Names names;
        for (const auto& entry : fs::directory_iterator(Images()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };

    // Writes beyond 16 KiB fail with EFBIG, as on a full disk (ulimit counts 512-byte blocks).
    const char* const kLimited = "ulimit -f 32 && trap '' XFSZ && exec \"$0\" \"$@\"";
    const auto full = testkit::RunProcess({"/bin/sh", "-c", kLimited, VESK_CAPTURE_EXE, "capture", "--out", Images()});
    EXPECT_EQ(full.exitCode, 4) << full.out;
    EXPECT_EQ(full.err, "ERROR: cannot write '" + Images() +
                            "/image-004.bmp': the file would be larger than allowed; no file was "
                            "created.\n");
    EXPECT_EQ(Listing(), Names({"image-001.bmp", "image-003.pgm"})) << "no temporary file left";

    testkit::ProcessResult side[2];
    std::thread other([&] { side[1] = Capture({"capture", "--count", "2", "--out", Images()}); });
    side[0] = Capture({"capture", "--count", "2", "--out", Images()});
    other.join();
    Names saved;
    for (const auto& result : side) {
        EXPECT_EQ(result.exitCode, 0) << result.err;
        for (const std::string& path : SavedPaths(result.out))
            saved.push_back(fs::path(path).filename().string());
    }
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, Names({"image-004.bmp", "image-005.bmp", "image-006.bmp", "image-007.bmp"}));
    EXPECT_EQ(Listing().size(), 6u);
    for (const auto& [file, bytes] : kept)
        EXPECT_TRUE(testkit::ReadFile(file) == bytes) << file << " was replaced";
}

// Every process reads the same script: each entry answers exactly once.
TEST_F(CaptureToolTest, ConcurrentProcessesTakeEachScriptedAnswerOnce)
{
    Sim({"script", "attached:0", "attached:0"});
    std::atomic<int> none{0};
    std::vector<std::thread> runs;
    for (int i = 0; i < 6; ++i)
        runs.emplace_back([&none] { none += Capture({"detect"}).exitCode == 1; });
    for (std::thread& run : runs)
        run.join();
    EXPECT_EQ(none, 2);
}

// Refused before the library is asked anything: nothing is created.
TEST_F(CaptureToolTest, BadArgumentsAnswerThree)
{
    const std::string file = Write("plain-file", "x");
    const std::string out = "--out=" + Images();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "missing command"},
        {{"capture", out, "--count", "0"}, "from 1 to 1000000, not '0'."},
        {{"capture", out, "--count", "2", "--continuous"}, "exclude each other."},
        {{"capture", out, "--format", "jpg"}, "unknown format 'jpg' (bmp or pgm)."},
        {{"capture", "--out", file}, "cannot use '" + file + "' as the folder of the images."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        testkit::ExpectOneErrorLine(Capture(c.first), 3, c.second);
    }
    EXPECT_FALSE(std::filesystem::exists(Images()));
}

// Ctrl-C (SIGINT, once an image is saved) is how a continuous capture ends,
// and it still reaches FS_EVENT_CAPTURE_ENDED.
TEST_F(CaptureToolTest, CtrlCEndsAContinuousCapture)
{
    const std::string out = m_machine.Path("interrupted.out"), images = Images();
    const pid_t pid = fork();
    if (pid == 0) {
        if (freopen(out.c_str(), "w", stdout))
            execl(VESK_CAPTURE_EXE, VESK_CAPTURE_EXE, "capture", "--continuous", "--out", images.c_str(),
                  nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (testkit::ReadFile(out).find("saved ") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string said = testkit::ReadFile(out);
    ASSERT_NE(said.find("saved "), std::string::npos) << said;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << said;
    EXPECT_NE(said.find("Ctrl-C: stopping the capture"), std::string::npos);
    ASSERT_FALSE(Events(said).empty());
    EXPECT_EQ(Events(said).back(), "FS_EVENT_CAPTURE_ENDED");
}

}  // namespace
