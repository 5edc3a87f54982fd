// The files vesk-capture writes: where, how many, and that they show the
// picture the scanner saw, the right way up, in both formats.
#include <gtest/gtest.h>

#include <algorithm>

#include "CaptureKit.h"

namespace capturetest {
namespace {

TEST_F(CaptureToolTest, ThreeImagesBecomeThreeBitmaps)
{
    const auto result = Capture({"capture", "--count", "3", "--out", Images(), "--timeout", "60"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");

    const std::vector<std::string> events = Events(result.out);
    ASSERT_FALSE(events.empty()) << result.out;
    EXPECT_EQ(events.front(), "FS_EVENT_READY_VESKBIT");
    EXPECT_EQ(events.back(), "FS_EVENT_CAPTURE_ENDED");
    // The tool stops the continuous capture at the third image: no fourth.
    EXPECT_EQ(std::count(events.begin(), events.end(), "FS_EVENT_IMAGE"), 3);

    const std::vector<std::string> saved = SavedPaths(result.out);
    ASSERT_EQ(saved.size(), 3u) << result.out;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(saved[i]);
        EXPECT_EQ(saved[i], Images() + "/image-00" + std::to_string(i + 1) + ".bmp");
        ReadBmp(testkit::ReadFile(saved[i]));
    }
}

TEST_F(CaptureToolTest, BothFormatsShowTheServedPictureUpright)
{
    const Picture striped = Striped();
    const std::string served = m_machine.Path("finger.pgm");
    testkit::WriteFile(served, EncodePgm(striped));
    Sim({"image", served});

    for (const std::string format : {"bmp", "pgm"}) {
        SCOPED_TRACE(format);
        const std::string folder = Images() + "/" + format;
        // No --count: a single capture.
        const auto result = Capture({"capture", "--format", format, "--out", folder});
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        const std::vector<std::string> events = Events(result.out);
        EXPECT_EQ(std::count(events.begin(), events.end(), "FS_EVENT_IMAGE"), 1);
        const std::string file = folder + "/image-001." + format;
        ASSERT_EQ(SavedPaths(result.out), std::vector<std::string>{file});

        const std::string bytes = testkit::ReadFile(file);
        const Picture picture = format == "bmp" ? ReadBmp(bytes) : ReadPgm(bytes);
        EXPECT_TRUE(picture.rows == striped.rows) << "the picture is not the served one, upright";
    }
}

}  // namespace
}  // namespace capturetest
