// How a capture ends decides the exit status, and every started capture is
// followed to its FS_EVENT_CAPTURE_ENDED.
#include <gtest/gtest.h>

#include <filesystem>

#include "CaptureKit.h"

namespace capturetest {
namespace {

using Names = std::vector<std::string>;

TEST_F(CaptureToolTest, DetectNamesTheScannerAndNoScannerAnswersOne)
{
    const auto found = Capture({"detect"});
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.out, "scanner: vesk bit (3)\n");

    Sim({"detach"});
    const auto none = Capture({"detect"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "scanner: none (0)\n");

    const auto capture = Capture({"capture", "--count", "3", "--out", Images()});
    EXPECT_EQ(capture.exitCode, 1);
    // Refused at the start: no capture thread, so no FS_EVENT_CAPTURE_ENDED.
    EXPECT_EQ(Events(capture.out), Names{"FS_EVENT_NO_SENSOR"});
    EXPECT_EQ(capture.err, "ERROR: no scanner found.\n");
    EXPECT_TRUE(std::filesystem::is_empty(Images()));
}

struct ScriptCase {
    std::vector<std::string> script;  // the scanner's next answers
    int exitCode;
    Names events;
};

TEST_F(CaptureToolTest, TheScannersAnswersDecideTheOutcome)
{
    const std::vector<ScriptCase> cases = {
        {{"0x1000"}, 0,
         {"FS_EVENT_READY_VESKBIT", "FS_EVENT_RETRY", "FS_EVENT_READY_VESKBIT", "FS_EVENT_IMAGE",
          "FS_EVENT_READY_VESKBIT", "FS_EVENT_IMAGE", "FS_EVENT_CAPTURE_ENDED"}},
        {{"0x8020"}, 4,
         {"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_INTERRUPTED", "FS_EVENT_CAPTURE_ENDED"}},
        // Present when the capture starts, gone at its first attempt.
        {{"attached:1", "attached:0"}, 4,
         {"FS_EVENT_READY_VESKBIT", "FS_EVENT_NO_SENSOR", "FS_EVENT_CAPTURE_ENDED"}},
        {{"0x8000"}, 4, {"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_ENDED"}},
    };
    int run = 0;
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(run);
        std::vector<std::string> script = c.script;
        script.insert(script.begin(), "script");
        Sim(script);
        const std::string folder = Images() + "/" + std::to_string(run++);
        const auto result =
            Capture({"capture", "--count", "2", "--out", folder, "--timeout", "30"});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_EQ(Events(result.out), c.events) << result.out;
        EXPECT_EQ(SavedPaths(result.out).size(), c.exitCode == 0 ? 2u : 0u);
        if (c.exitCode != 0) {
            EXPECT_EQ(result.err, "ERROR: the capture ended early; 0 of 2 images saved.\n");
        }
    }
}

TEST_F(CaptureToolTest, TimeOutStopsTheCaptureAndAnswersTwo)
{
    Sim({"delay", "never"});
    const auto result = Capture({"capture", "--count", "2", "--out", Images(), "--timeout", "1"});
    EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
    EXPECT_EQ(Events(result.out), (Names{"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_ENDED"}));
    EXPECT_EQ(result.err, "ERROR: time-out after 1 s; 0 of 2 images saved.\n");
}

TEST_F(CaptureToolTest, CtrlCStopsTheCapture)
{
    // Ctrl-C is how a continuous capture ends; before N images it is a failure.
    const std::vector<std::pair<std::string, int>> cases = {{"--continuous", 0},
                                                            {"--count=1000", 4}};
    for (const auto& [mode, exitCode] : cases) {
        SCOPED_TRACE(mode);
        const auto result =
            CaptureInterrupted({"capture", mode, "--out", Images()}, "saved ", m_machine.Root());
        EXPECT_EQ(result.exitCode, exitCode) << result.out << result.err;
        EXPECT_NE(result.out.find("Ctrl-C: stopping the capture"), std::string::npos);
        const Names events = Events(result.out);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), "FS_EVENT_CAPTURE_ENDED");
        EXPECT_GE(SavedPaths(result.out).size(), 1u);
    }
}

}  // namespace
}  // namespace capturetest
