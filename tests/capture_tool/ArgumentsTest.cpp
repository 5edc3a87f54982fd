// Bad arguments answer 3 with one line on standard error, before the library
// is asked anything.
#include <gtest/gtest.h>

#include <filesystem>

#include "CaptureKit.h"

namespace capturetest {
namespace {

struct BadCase {
    std::vector<std::string> args;
    std::string error;  // part of the line
};

TEST_F(CaptureToolTest, BadArgumentsAnswerThree)
{
    const std::string file = m_machine.Path("plain-file");
    testkit::WriteFile(file, "x");
    const std::string out = "--out=" + Images();
    const std::vector<BadCase> cases = {
        {{}, "missing command"},
        {{"frob"}, "unknown command 'frob'"},
        {{"detect", "now"}, "unexpected argument 'now' for detect."},
        {{"capture", out, "now"}, "unexpected argument 'now'."},
        {{"capture", out, "--verbose"}, "unknown option '--verbose' for capture."},
        {{"capture", out, "--count"}, "option '--count' needs a value."},
        {{"capture", out, "--count", "0"}, "from 1 to 1000000, not '0'."},
        {{"capture", out, "--count", "-1"}, "not '-1'."},
        {{"capture", out, "--count", "99999999999"}, "not '99999999999'."},
        {{"capture", out, "--count=1", "--count=2"}, "option '--count' is given twice."},
        {{"capture", out, "--count", "2", "--continuous"}, "exclude each other."},
        {{"capture", out, "--continuous=yes"}, "option '--continuous' takes no value."},
        {{"capture", out, "--format", "jpg"}, "unknown format 'jpg' (bmp or pgm)."},
        {{"capture", out, "--priority", "3"}, "from 0 to 2, not '3'."},
        {{"capture", out, "--timeout", "0"}, "from 1 to 86400, not '0'."},
        {{"capture", "--out", ""}, "the folder of --out must not be empty."},
        {{"capture", "--out", file}, "cannot use '" + file + "' as the folder of the images."},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        const auto result = Capture(c.args);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(Images()));
}

}  // namespace
}  // namespace capturetest
