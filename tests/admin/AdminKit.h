// vesk-admin as a child process on a scratch machine, and the stored
// diagnostics value built and read byte by byte in the test process.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "support/Win32.h"

namespace admintest {

using Bytes = std::vector<uint8_t>;

testkit::ProcessResult Admin(std::vector<std::string> args,
                             const std::vector<std::pair<std::string, std::string>>& env = {});

// A counted string as stored: byte length, UTF-16LE text, 0x0000.
Bytes Counted(const std::u16string& text);
void AppendU32(Bytes& bytes, uint32_t value);
// The whole record with a correct total length; `tail` follows the log folder.
Bytes Record(uint8_t auxSwitch, uint32_t auxMode, const Bytes& auxFolder, uint8_t logSwitch,
             uint32_t level, const Bytes& logFolder, const Bytes& tail = {});
// The first n bytes, the total length field made to agree where it fits.
Bytes Cut(Bytes record, size_t n);

void StoreValue(DWORD type, const Bytes& bytes);
// False when the key or the REG_BINARY value is absent.
bool StoredBytes(Bytes& bytes);

std::u16string Utf16(const std::string& utf8);

class AdminTest : public ::testing::Test {
protected:
    AdminTest();

    std::string LogDir() const { return m_machine.Path("logs"); }

    testkit::CScratchMachine m_machine;
};

}  // namespace admintest
