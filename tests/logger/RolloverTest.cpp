// The 2 MiB rollover.
#include <filesystem>
#include <regex>

#include "LoggerTestKit.h"
#include "support/Logging.h"

namespace loggertest {
namespace {

namespace fs = std::filesystem;

class Rollover : public LoggerTest {
protected:
    std::vector<fs::path> RolledFiles() const
    {
        std::vector<fs::path> rolled;
        for (const auto& entry : fs::directory_iterator(LogDir()))
            if (std::regex_match(entry.path().filename().string(),
                                 std::regex("logger_tests\\.txt_[0-9]{14}")))
                rolled.push_back(entry.path());
        return rolled;
    }
};

TEST_F(Rollover, FullFileIsRenamedAndTheLineStartsAFreshOne)
{
    Start(Record{0, 0, u"", 1, 1, {}});
    fs::resize_file(LogFile(), CFileLogger::kRolloverSize - 1);
    LogError(u"still fits");
    EXPECT_TRUE(RolledFiles().empty());

    fs::resize_file(LogFile(), CFileLogger::kRolloverSize);
    LogError(u"first of the new file");
    const auto rolled = RolledFiles();
    ASSERT_EQ(rolled.size(), 1u);
    EXPECT_EQ(fs::file_size(rolled[0]), CFileLogger::kRolloverSize);
    const auto lines = ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("ERROR   - first of the new file"), std::string::npos);
}

TEST_F(Rollover, FullFileAtStartIsRolledWhenTheLoggerIsMade)
{
    testkit::WriteFile(LogFile(), std::string(CFileLogger::kRolloverSize + 10, 'o'));
    Start(Record{0, 0, u"", 1, 1, {}});
    EXPECT_EQ(RolledFiles().size(), 1u);
    EXPECT_EQ(fs::file_size(LogFile()), 0u);
}

}  // namespace
}  // namespace loggertest
