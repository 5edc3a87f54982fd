// Shared pieces of the benchmarks: a scratch machine and the ratio report.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace benchkit {

// A temporary registry and data folder for the run, removed at exit.
class CScratch {
public:
    CScratch();
    ~CScratch();
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;
    const std::string& Root() const { return m_sRoot; }

private:
    std::string m_sRoot;
};

// Runs the registered benchmarks, then prints each (measured, baseline) pair
// of benchmark names as a ratio of items per second, with its goal.
struct Ratio {
    std::string label;
    std::string measured;
    std::string baseline;
    double goal;  // measured/baseline should be at least this
};
int RunAndReport(int argc, char** argv, const std::vector<Ratio>& ratios);

}  // namespace benchkit
