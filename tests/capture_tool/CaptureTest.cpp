// What vesk-capture saves, and how the way a capture ends decides its exit
// status: 0 done, 1 no scanner, 2 time-out, 3 bad arguments, 4 ended early.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CaptureKit.h"

namespace capturetest {
namespace {

using Names = std::vector<std::string>;

TEST_F(CaptureToolTest, ThreeImagesAreSavedUpright)
{
    // Row y holds y, so that a flipped file shows.
    std::string rows;
    for (int y = 0; y < 368; ++y)
        rows += std::string(240, static_cast<char>(y));
    const std::string served = m_machine.Path("finger.pgm");
    testkit::WriteFile(served, "P5\n240 368\n255\n" + rows);
    Sim({"image", served});

    const auto result = Capture({"capture", "--count", "3", "--out", Images(), "--timeout", "60"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    const Names events = Events(result.out);
    EXPECT_EQ(std::count(events.begin(), events.end(), "FS_EVENT_IMAGE"), 3) << "no fourth";
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

TEST_F(CaptureToolTest, NoScannerAnswersOne)
{
    EXPECT_EQ(Capture({"detect"}).out, "scanner: vesk bit (3)\n");
    Sim({"detach"});
    const auto none = Capture({"detect"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "scanner: none (0)\n");
    const auto capture = Capture({"capture", "--count", "3", "--out", Images()});
    EXPECT_EQ(capture.exitCode, 1);
    // Refused at the start: no capture thread, so no FS_EVENT_CAPTURE_ENDED.
    EXPECT_EQ(Events(capture.out), Names{"FS_EVENT_NO_SENSOR"});
    EXPECT_EQ(capture.err, "ERROR: no scanner found.\n");
}

TEST_F(CaptureToolTest, TheScannersAnswersDecideTheExitStatus)
{
    const struct {
        std::vector<std::string> script;  // the scanner's next answers
        int exitCode;
        Names events;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.back());
        std::vector<std::string> script = c.script;
        script.insert(script.begin(), "script");
        Sim(script);
        const std::string folder = Images() + "/" + std::to_string(run++);
        const auto result = Capture({"capture", "--count", "2", "--out", folder, "--timeout", "30"});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_EQ(Events(result.out), c.events) << result.out;
        EXPECT_EQ(SavedPaths(result.out).size(), c.exitCode == 0 ? 2u : 0u);
        EXPECT_EQ(result.err, c.exitCode == 0 ? ""
                                              : "ERROR: the capture ended early; 0 of 2 images "
                                                "saved.\n");
    }

    Sim({"delay", "never"});
    const auto late = Capture({"capture", "--count", "2", "--out", Images(), "--timeout", "1"});
    EXPECT_EQ(late.exitCode, 2) << late.out << late.err;
    EXPECT_EQ(Events(late.out), (Names{"FS_EVENT_READY_VESKBIT", "FS_EVENT_CAPTURE_ENDED"}));
    EXPECT_EQ(late.err, "ERROR: time-out after 1 s; 0 of 2 images saved.\n");
}

// Refused before the library is asked anything: nothing is created.
TEST_F(CaptureToolTest, BadArgumentsAnswerThree)
{
    const std::string file = m_machine.Path("plain-file");
    testkit::WriteFile(file, "x");
    const std::string out = "--out=" + Images();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "missing command"},
        {{"capture", out, "--verbose"}, "unknown option '--verbose' for capture."},
        {{"capture", out, "--count", "0"}, "from 1 to 1000000, not '0'."},
        {{"capture", out, "--count", "2", "--continuous"}, "exclude each other."},
        {{"capture", out, "--format", "jpg"}, "unknown format 'jpg' (bmp or pgm)."},
        {{"capture", "--out", file}, "cannot use '" + file + "' as the folder of the images."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const auto result = Capture(c.first);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_NE(result.err.find(c.second), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(Images()));
}

TEST_F(CaptureToolTest, DebugLoggingLandsInTheProgramsLogFile)
{
    ASSERT_EQ(Admin({"logging", "--level", "debug", "--folder", Logs()}).exitCode, 0);
    const auto result = Capture({"capture", "--out", Images(), "--timeout", "30"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::string log = testkit::ReadFile(Logs() + "/vesk-capture.txt");
    EXPECT_NE(log.find("ExtractionThread created."), std::string::npos) << log;
    EXPECT_NE(log.find("ExtractionThread terminated."), std::string::npos) << log;
}

// Ctrl-C is how a continuous capture ends, and it still reaches FS_EVENT_CAPTURE_ENDED.
TEST_F(CaptureToolTest, CtrlCEndsAContinuousCapture)
{
    const auto result = CaptureInterrupted({"capture", "--continuous", "--out", Images()},
                                           "saved ", m_machine.Root());
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Ctrl-C: stopping the capture"), std::string::npos);
    const Names events = Events(result.out);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "FS_EVENT_CAPTURE_ENDED");
}

}  // namespace
}  // namespace capturetest
