// The library inside vesk-capture logs where the administrator said, in a
// file named after the program.
#include <gtest/gtest.h>

#include "CaptureKit.h"

namespace capturetest {
namespace {

TEST_F(CaptureToolTest, DebugLoggingLandsInTheProgramsLogFile)
{
    const auto admin = Admin({"logging", "--level", "debug", "--folder", Logs()});
    ASSERT_EQ(admin.exitCode, 0) << admin.err;
    const auto result = Capture({"capture", "--out", Images(), "--timeout", "30"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

    const std::string log = testkit::ReadFile(Logs() + "/vesk-capture.txt");
    EXPECT_NE(log.find("ExtractionThread created."), std::string::npos) << log;
    EXPECT_NE(log.find("ExtractionThread terminated."), std::string::npos) << log;
}

}  // namespace
}  // namespace capturetest
