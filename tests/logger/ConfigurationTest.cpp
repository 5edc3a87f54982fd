// Which stored configurations switch logging on, at which level.
#include <filesystem>
#include <string>

using namespace std::string_literals;

#include "LoggerTestKit.h"
#include "support/Logging.h"

namespace loggertest {
namespace {

bool AnyLevelEnabled()
{
    return IsErrorEnabled() || IsWarningEnabled() || IsInfoEnabled() || IsDebugEnabled();
}

// A valid record cut after `size` bytes, its length field telling the truth,
// so that only the missing field can be the reason for refusal.
std::vector<uint8_t> TruncatedTo(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size);
    for (size_t i = 0; i < 4 && i < size; ++i)
        bytes[i] = static_cast<uint8_t>(size >> (8 * i));
    return bytes;
}

class Configuration : public LoggerTest {
protected:
    std::vector<uint8_t> Valid() const
    {
        Record record;
        record.logFolder = pal::FromUtf8(LogDir());
        return Encode(record);
    }
};

TEST_F(Configuration, MalformedOrInvalidRecordsSwitchLoggingOff)
{
    const std::u16string logs = pal::FromUtf8(LogDir());
    const std::u16string missing = pal::FromUtf8(m_machine.Path("nowhere"));
    const size_t logPart = 13 + 2;  // after an empty auxiliary folder
    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
        {"length field above size", [&] { auto b = Valid(); b[0] += 1; return b; }()},
        {"length field below size", [&] { auto b = Valid(); b.push_back(0); return b; }()},
        {"auxiliary mode 3", Encode({1, 3, logs, 1, 2, logs})},
        {"auxiliary mode 0", Encode({1, 0, logs, 1, 2, logs})},
        {"auxiliary folder missing", Encode({1, 1, missing, 1, 2, logs})},
        {"auxiliary folder empty", Encode({1, 2, u"", 1, 2, logs})},
        {"level 0", Encode({0, 0, u"", 1, 0, logs})},
        {"level 5", Encode({0, 0, u"", 1, 5, logs})},
        {"log folder missing", Encode({0, 0, u"", 1, 2, missing})},
        {"log folder empty", Encode({0, 0, u"", 1, 2, u""})},
        {"switched off", Encode({0, 0, u"", 0, 4, logs})},
        {"string without terminator", [&] {
             auto b = Encode({0, 0, u"AB", 1, 4, logs});
             b[9] = 4;  // the length now ends before the terminator
             b.erase(b.begin() + 17, b.begin() + 19);
             return TruncatedTo(b, b.size());
         }()},
        {"string with inner zero", Encode({0, 0, u"A\0B"s, 1, 4, logs})},
    };
    for (const size_t cut : {size_t{3}, size_t{4}, size_t{8}, size_t{12}, size_t{14},
                             logPart, logPart + 3, logPart + 7, logPart + 10})
        cases.emplace_back("truncated at " + std::to_string(cut), TruncatedTo(Valid(), cut));

    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Start(bytes);
        EXPECT_FALSE(AnyLevelEnabled());
        LogError(u"must not be written");
        ReleaseFileLoggerFacility();
        EXPECT_FALSE(std::filesystem::exists(LogFile()));
    }
}

TEST_F(Configuration, MissingValueOrWrongTypeLogsNothing)
{
    InitFileLoggerFacility();
    EXPECT_FALSE(AnyLevelEnabled());
    ReleaseFileLoggerFacility();

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Diagnostics", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<uint8_t> bytes = Valid();
    RegSetValueExW(key, u"Configuration", 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    InitFileLoggerFacility();
    EXPECT_FALSE(AnyLevelEnabled());
}

TEST_F(Configuration, LevelTwoWritesErrorsAndWarningsOnly)
{
    Start(Record{0, 0, u"", 1, 2, {}});
    EXPECT_TRUE(IsErrorEnabled());
    EXPECT_TRUE(IsWarningEnabled());
    EXPECT_FALSE(IsInfoEnabled());
    EXPECT_FALSE(IsDebugEnabled());
    LogError(u"e");
    LogWarning(u"w");
    LogInfo(u"i");
    LogDebug(u"d");
    const auto lines = ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("ERROR   - e"), std::string::npos);
    EXPECT_NE(lines[1].find("WARNING - w"), std::string::npos);
}

TEST_F(Configuration, ValidAuxiliaryPartKeepsLoggingOn)
{
    Start(Record{7, 2, pal::FromUtf8(m_machine.Root()), 1, 1, {}});
    EXPECT_TRUE(IsErrorEnabled());
    EXPECT_FALSE(IsWarningEnabled());
}

TEST_F(Configuration, NothingIsLoggedOutsideTheFacilitysLife)
{
    Start(Record{});
    ReleaseFileLoggerFacility();
    std::filesystem::remove(LogFile());
    EXPECT_FALSE(AnyLevelEnabled());
    LogError(u"after teardown");
    EXPECT_FALSE(std::filesystem::exists(LogFile()));
    EXPECT_EQ(GetInstance(), nullptr);
}

}  // namespace
}  // namespace loggertest
