// A scratch machine with a log folder and the diagnostics record in its
// registry; the facility started and stopped around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "support/CFileLogger.h"
#include "support/Win32.h"

namespace loggertest {

struct Record {
    uint8_t auxSwitch = 0;
    uint32_t auxMode = 0;
    std::u16string auxFolder;
    uint8_t logSwitch = 1;
    uint32_t level = 4;
    std::u16string logFolder;
};

// The stored bytes of a record, strings with their terminator.
std::vector<uint8_t> Encode(const Record& record);
void StoreConfiguration(const std::vector<uint8_t>& bytes);

std::vector<std::string> ReadLines(const std::string& path);  // split at CR LF

class LoggerTest : public ::testing::Test {
protected:
    LoggerTest();
    ~LoggerTest() override;

    // Stores the record (log folder defaulting to LogDir()) and starts the facility.
    void Start(Record record);
    void Start(const std::vector<uint8_t>& bytes);
    std::string LogDir() const { return m_machine.Path("logs"); }
    std::string LogFile() const;

    testkit::CScratchMachine m_machine;
};

}  // namespace loggertest
