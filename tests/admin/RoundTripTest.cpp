// What vesk-admin writes is what the library reads, byte for byte, and what
// it shows is what is stored.
#include <gtest/gtest.h>

#include <filesystem>

#include "AdminKit.h"
#include "support/CDiagnosticsConfig.h"

namespace admintest {
namespace {

TEST_F(AdminTest, LoggingRoundTripsThroughTheLibrary)
{
    // The folder is not ASCII, so that the stored UTF-16 is checked too.
    const std::string folder = m_machine.Path("journal-\xC3\xBC\xE6\xBC\xA2");
    std::filesystem::create_directories(folder);
    const struct {
        std::string level;
        uint32_t stored;
        std::string name;
    } cases[] = {{"debug", 4, "debug"}, {"WARNING", 2, "warning"}, {"1", 1, "error"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const std::string described =
            "on, level " + std::to_string(c.stored) + " (" + c.name + "), folder " + folder;
        const auto set = Admin({"logging", "--level", c.level, "--folder=" + folder});
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(set.out.find("logging set to " + described + ";"), 0u) << set.out;
        EXPECT_EQ(StoredDiag().data, Record(0, 0, Counted(u""), 1, c.stored,
                                            Counted(Utf16(folder))));
        CDiagnosticsConfig config;
        ASSERT_TRUE(config.Read());
        EXPECT_TRUE(config.IsLogOn());
        EXPECT_EQ(config.GetLogLevel(), c.stored);
        EXPECT_EQ(config.GetLogFolder(), Utf16(folder));
        EXPECT_EQ(Admin({"logging"}).out, "logging: " + described + "\nauxiliary: off\n");
    }

    StoreDiag(REG_BINARY, {1, 2, 3});
    const auto off = Admin({"logging", "--off"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(StoredDiag().data, Record(0, 0, Counted(u""), 0, 0, Counted(u"")));
    CDiagnosticsConfig config;
    ASSERT_TRUE(config.Read());
    EXPECT_FALSE(config.IsLogOn());
    EXPECT_EQ(Admin({"logging"}).out, "logging: off\nauxiliary: off\n");
}

}  // namespace
}  // namespace admintest
