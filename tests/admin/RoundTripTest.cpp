// What vesk-admin writes is what the library reads, and what it shows is
// what is stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "AdminKit.h"
#include "support/CDiagnosticsConfig.h"

namespace admintest {
namespace {

struct LevelCase {
    std::string level;
    uint32_t stored;
    std::string name;
};

TEST_F(AdminTest, EveryLevelSpellingReachesTheLibrary)
{
    const std::vector<LevelCase> cases = {
        {"error", 1, "error"}, {"warning", 2, "warning"}, {"info", 3, "info"},
        {"debug", 4, "debug"}, {"DEBUG", 4, "debug"},     {"1", 1, "error"},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.level);
        const std::string described =
            "on, level " + std::to_string(c.stored) + " (" + c.name + "), folder " + LogDir();
        const auto set = Admin({"logging", "--level", c.level, "--folder", LogDir()});
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(set.out.find("logging set to " + described + ";"), 0u) << set.out;
        EXPECT_EQ(std::count(set.out.begin(), set.out.end(), '\n'), 1);

        CDiagnosticsConfig config;
        ASSERT_TRUE(config.Read());
        EXPECT_TRUE(config.IsLogOn());
        EXPECT_EQ(config.GetLogLevel(), c.stored);
        EXPECT_EQ(config.GetLogFolder(), Utf16(LogDir()));
        EXPECT_FALSE(config.IsAuxiliaryOn());

        const auto shown = Admin({"logging"});
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.out, "logging: " + described + "\nauxiliary: off\n");
    }
}

// Against hand-built bytes, so that a fault shared by the tool's encoder and
// the library's parser cannot hide; the folder is not ASCII.
TEST_F(AdminTest, StoresTheExactLayout)
{
    const std::string folder = m_machine.Path("journal-\xC3\xBC\xE6\xBC\xA2");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(Admin({"logging", "--level=3", "--folder=" + folder}).exitCode, 0);
    Bytes stored;
    ASSERT_TRUE(StoredBytes(stored));
    EXPECT_EQ(stored, Record(0, 0, Counted(u""), 1, 3, Counted(Utf16(folder))));
    EXPECT_EQ(Admin({"logging"}).out.find("logging: on, level 3 (info), folder " + folder), 0u);
}

TEST_F(AdminTest, OffReplacesAnyValueWithLoggingOff)
{
    StoreValue(REG_BINARY, {1, 2, 3});
    const auto off = Admin({"logging", "--off"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(off.out.find("logging set to off;"), 0u);
    Bytes stored;
    ASSERT_TRUE(StoredBytes(stored));
    EXPECT_EQ(stored, Record(0, 0, Counted(u""), 0, 0, Counted(u"")));

    CDiagnosticsConfig config;
    ASSERT_TRUE(config.Read());
    EXPECT_FALSE(config.IsLogOn());
    EXPECT_EQ(Admin({"logging"}).out, "logging: off\nauxiliary: off\n");
}

}  // namespace
}  // namespace admintest
