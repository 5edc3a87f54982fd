// Helpers of the sync and file-I/O tests: a machine with its own folder of
// named objects, and roles this program plays as its own child.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace synctest {

constexpr const char* kRole = "SYNC_TESTS_ROLE";
constexpr const char* kName = "SYNC_TESTS_NAME";
constexpr const char* kFile = "SYNC_TESTS_FILE";
constexpr const char* kRounds = "SYNC_TESTS_ROUNDS";

inline std::u16string Wide(const std::string& text) { return pal::FromUtf8(text); }

// Named objects live in the scratch folder, seen by children through the environment.
class CSyncTest : public ::testing::Test {
protected:
    CSyncTest() { setenv("VESK_OBJECTS_DIR", m_oMachine.Root().c_str(), 1); }
    ~CSyncTest() override { unsetenv("VESK_OBJECTS_DIR"); }
    std::string Path(const std::string& relative) const { return m_oMachine.Path(relative); }

    testkit::CScratchMachine m_oMachine;
};

inline testkit::ProcessResult RunRole(const std::string& role, const std::string& name,
                                      const std::string& file = {}, int rounds = 0,
                                      std::vector<std::pair<std::string, std::string>> env = {})
{
    env.insert(env.end(),
               {{kRole, role}, {kName, name}, {kFile, file}, {kRounds, std::to_string(rounds)}});
    return testkit::RunProcess({testkit::SelfPath()}, env);
}

// Workers shared by the parent and its child: `rounds` increments of a
// counter file under the mutex, and `rounds` records appended to a file.
bool CountUnderMutex(const std::string& name, const std::string& file, int rounds);
bool AppendRecords(const std::string& file, const std::string& tag, int rounds);

}  // namespace synctest
