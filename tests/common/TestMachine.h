// Test helpers: a scratch simulated machine and child processes.
#pragma once
#include <string>
#include <utility>
#include <vector>

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

std::string SelfPath();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testkit
