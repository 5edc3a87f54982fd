// vesk-capture as a child process on a scratch machine whose simulated
// own-brand scanner vesk-admin sets, and readers for its output.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestMachine.h"

namespace capturetest {

testkit::ProcessResult Capture(std::vector<std::string> args);
testkit::ProcessResult Admin(std::vector<std::string> args);

// Starts vesk-capture, sends it Ctrl-C (SIGINT) once its standard output
// shows `marker`, and returns its result; exit code -1 when the marker never came.
testkit::ProcessResult CaptureInterrupted(std::vector<std::string> args, const std::string& marker,
                                          const std::string& scratchDir);

// "vesk-admin sim veskbit ARGS...", which must succeed.
void Sim(std::vector<std::string> args);

// The event names of the trace, in order, from lines "12:00:01.234  NAME...".
std::vector<std::string> Events(const std::string& out);
// The paths of the "saved PATH" lines.
std::vector<std::string> SavedPaths(const std::string& out);

class CaptureToolTest : public ::testing::Test {
protected:
    CaptureToolTest();
    std::string Images() const { return m_machine.Path("images"); }
    std::string Logs() const { return m_machine.Path("logs"); }

    testkit::CScratchMachine m_machine;
};

}  // namespace capturetest
