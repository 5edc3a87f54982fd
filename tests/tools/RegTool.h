// Runs vesk-reg as a child process on the scratch machine of the test.
#pragma once
#include <string>
#include <vector>

#include "common/TestMachine.h"

namespace regtool {

inline testkit::ProcessResult Reg(std::vector<std::string> args)
{
    args.insert(args.begin(), VESK_REG_EXE);
    return testkit::RunProcess(args);
}

constexpr const char* kSuccess = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

}  // namespace regtool
