// Helpers shared by the system, modules and terminal-services tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace systest {

// A child started with this variable plays a role of ChildRoles.cpp instead
// of running the tests.
constexpr const char* kRoleVariable = "SYSTEM_TESTS_ROLE";
constexpr const char* kRoleArgument = "SYSTEM_TESTS_ARGUMENT";

inline std::string Narrow(const WCHAR* text) { return pal::ToUtf8(text); }
inline std::u16string Wide(const std::string& text) { return pal::FromUtf8(text); }

// Through void(*)(), which -Wcast-function-type lets pass.
template <class F>
F FunctionCast(FARPROC address)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

// Every setting these tests read starts at its default, whatever the
// environment of the test run says.
class CMachineTest : public ::testing::Test {
protected:
    CMachineTest()
    {
        for (const char* name : {"VESK_WINVER", "VESK_ARCH", "VESK_SYSTEMX86_DIR", "VESK_DEBUG_OUTPUT",
                                 "VESK_DEBUGGER", "VESK_KERNEL32_MISSING", "VESK_RDP_SESSION"})
            pal::SetSetting(name, "");
    }

    testkit::CScratchMachine m_oMachine;
};

inline testkit::ProcessResult RunRole(const std::string& role, const std::string& argument,
                                      std::vector<std::pair<std::string, std::string>> env = {},
                                      const std::string& program = testkit::SelfPath())
{
    env.emplace_back(kRoleVariable, role);
    env.emplace_back(kRoleArgument, argument);
    return testkit::RunProcess({program}, env);
}

}  // namespace systest
