// vesk-reg export over an existing file replaces it whole or not at all: a
// full disk or a target that is no regular file leaves every byte as it was,
// with no temporary file beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "RegTool.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

Names Listing(const std::string& folder)
{
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RegToolAtomicWrite, AnExportThatCannotCompleteLeavesTheOldFile)
{
    testkit::CScratchMachine machine;
    const char* const kKey = "HKCU\\Software\\vesk-atomic";
    // About 24 KiB of .reg text: more than the full disk takes.
    ASSERT_EQ(regtool::Reg({"add", kKey, "/v", "big", "/t", "REG_BINARY", "/d",
                            std::string(8192, 'a'), "/f"}).exitCode, 0);
    const std::string folder = machine.Path("exports"), old = "old export, kept byte for byte\n";
    fs::create_directories(folder + "/a-folder.reg");
    const std::string file = folder + "/old.reg";
    testkit::WriteFile(file, old);
    chmod(file.c_str(), 0600);

    const struct {
        std::string target;
        bool fullDisk;
        std::string error;
    } cases[] = {
        {file, true, "ERROR: cannot write '" + file +
                         "': the file would be larger than allowed; the file is unchanged.\n"},
        {folder + "/a-folder.reg", false,
         "ERROR: cannot write '" + folder + "/a-folder.reg': it is a folder; it was left alone.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        // Writes beyond 8 KiB fail with EFBIG, as on a full disk (ulimit counts 512-byte blocks).
        const char* const kLimited = "ulimit -f 16 && trap '' XFSZ && exec \"$0\" \"$@\"";
        const auto result =
            c.fullDisk ? testkit::RunProcess({"/bin/sh", "-c", kLimited, VESK_REG_EXE, "export", kKey, c.target})
                       : regtool::Reg({"export", kKey, c.target});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, c.error);
        EXPECT_TRUE(testkit::ReadFile(file) == old) << "the old file changed";
        EXPECT_EQ(Listing(folder), Names({"a-folder.reg", "old.reg"})) << "no temporary file left";
    }

    // Replaced whole, the file keeps its owner's permissions.
    ASSERT_EQ(regtool::Reg({"export", kKey, file}).exitCode, 0);
    EXPECT_GT(testkit::ReadFile(file).size(), 16384u);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Listing(folder), Names({"a-folder.reg", "old.reg"}));
}

}  // namespace
