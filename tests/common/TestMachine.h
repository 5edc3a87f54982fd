// Test helpers: a scratch simulated machine, child processes, and registry
// values built byte by byte.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pal/registry/registry.h"

namespace testkit {

// A private machine for one test: its own registry and system folders,
// published in the environment so that child processes share it.
class CScratchMachine {
public:
    CScratchMachine();
    ~CScratchMachine();
    CScratchMachine(const CScratchMachine&) = delete;
    CScratchMachine& operator=(const CScratchMachine&) = delete;

    const std::string& Root() const { return m_sRoot; }
    std::string RegistryDir() const { return m_sRoot + "/registry"; }
    std::string SystemDir() const { return m_sRoot + "/system32"; }
    std::string Path(const std::string& relative) const { return m_sRoot + "/" + relative; }

private:
    std::string m_sRoot;
};

// A test with a scratch machine of its own.
class MachineTest : public ::testing::Test {
protected:
    std::string Path(const std::string& relative) const { return m_machine.Path(relative); }
    std::string Write(const std::string& relative, const std::string& bytes) const;  // answers the path

    CScratchMachine m_machine;
};

struct ProcessResult {
    int exitCode = -1;  // 128 + signal when killed
    std::string out;
    std::string err;
};

// Runs argv[0] with the given arguments and extra environment, feeding
// `input` on standard input; waits for it and collects both outputs.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env = {},
                         const std::string& input = std::string());

// A refusal: this exit status, nothing on standard output and one line on
// standard error, which starts with "ERROR: " and holds `part`.
void ExpectOneErrorLine(const ProcessResult& result, int exitCode, const std::string& part);

std::string SelfPath();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Values as the registry stores them, so that a fault shared by the writer and
// the reader under test cannot hide. Sz adds the terminator; MultiSz one after
// each string and one for the list.
using Bytes = std::vector<uint8_t>;
Bytes Dword(uint32_t value);
Bytes Utf16(std::u16string_view text);
Bytes Sz(std::u16string_view text);
Bytes MultiSz(const std::vector<std::u16string>& texts);
// Through the registry API, the key created as needed in the given view.
void SetValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
              const Bytes& data, REGSAM view = KEY_WOW64_64KEY);
// The stored type and bytes of a value; REG_NONE when there is none.
std::pair<DWORD, Bytes> StoredValue(HKEY root, const std::u16string& key, const std::u16string& name,
                                    REGSAM view = KEY_WOW64_64KEY);

}  // namespace testkit
