#include "LoggerTestKit.h"

#include <filesystem>

#include "support/Registry.h"

namespace loggertest {

std::vector<uint8_t> Encode(const Record& record)
{
    // The switches go in as stored bytes, so any non-zero value can be tried.
    CMyByteArray bytes = CDiagnosticsConfig::BuildRecord(
        false, record.auxMode, record.auxFolder, false, record.level, record.logFolder);
    bytes.ElementAt(4) = record.auxSwitch;
    bytes.ElementAt(13 + static_cast<uint32_t>(2 * (record.auxFolder.size() + 1))) = record.logSwitch;
    return std::vector<uint8_t>(bytes.GetData(), bytes.GetData() + bytes.GetSize());
}

void StoreConfiguration(const std::vector<uint8_t>& bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Diagnostics"), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, W("Configuration"), 0, REG_BINARY, bytes.data(),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<std::string> ReadLines(const std::string& path)
{
    const std::string text = testkit::ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));  // an unterminated tail shows as its own line
    return lines;
}

LoggerTest::LoggerTest() { std::filesystem::create_directories(LogDir()); }

LoggerTest::~LoggerTest() { ReleaseFileLoggerFacility(); }

void LoggerTest::Start(Record record)
{
    if (record.logFolder.empty())
        record.logFolder = pal::FromUtf8(LogDir());
    Start(Encode(record));
}

void LoggerTest::Start(const std::vector<uint8_t>& bytes)
{
    StoreConfiguration(bytes);
    InitFileLoggerFacility();
}

std::string LoggerTest::LogFile() const { return LogDir() + "/logger_tests.txt"; }

}  // namespace loggertest
