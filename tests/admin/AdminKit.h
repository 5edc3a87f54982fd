// vesk-admin as a child process on a scratch machine, and registry values
// built and read byte by byte in the test process, so that a fault shared by
// the tool's encoder and the library's parser cannot hide.
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

void AppendU32(Bytes& bytes, uint32_t value);
Bytes Dword(uint32_t value);
Bytes Sz(const std::u16string& text);
Bytes MultiSz(const std::vector<std::u16string>& texts);
// A counted string as stored: byte length, UTF-16LE text, 0x0000.
Bytes Counted(const std::u16string& text);
// The diagnostics record with a correct total length; `tail` follows the log folder.
Bytes Record(uint8_t auxSwitch, uint32_t auxMode, const Bytes& auxFolder, uint8_t logSwitch,
             uint32_t level, const Bytes& logFolder, const Bytes& tail = {});
// The first n bytes, the total length field made to agree where it fits.
Bytes Cut(Bytes record, size_t n);

struct CStored {
    bool present = false;
    DWORD type = REG_NONE;
    Bytes data;
};
extern const std::u16string kDiagKey;  // value "Configuration"
void Store(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
           const Bytes& data);
CStored Stored(HKEY root, const std::u16string& key, const std::u16string& name);
void StoreDiag(DWORD type, const Bytes& bytes);
CStored StoredDiag();

std::u16string Utf16(const std::string& utf8);

class AdminTest : public ::testing::Test {
protected:
    AdminTest();
    std::string LogDir() const { return m_machine.Path("logs"); }

    testkit::CScratchMachine m_machine;
};

}  // namespace admintest
