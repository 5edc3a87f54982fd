#include "BenchKit.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>

namespace benchkit {

CScratch::CScratch()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vesk-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    m_sRoot = pattern;
    std::filesystem::create_directories(m_sRoot + "/registry");
    setenv("VESK_REGISTRY_DIR", (m_sRoot + "/registry").c_str(), 1);
}

CScratch::~CScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_sRoot, ignored);
}

namespace {

// Keeps items per second of every finished benchmark run while the console
// reporter prints as usual.
class CCollectingReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the output goes to logs as often as to a terminal.
    CCollectingReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end() && run.run_type == Run::RT_Iteration)
                m_rates[run.benchmark_name()] = it->second.value;
        }
    }
    double Rate(const std::string& prefix) const
    {
        for (const auto& [name, rate] : m_rates)
            if (name.rfind(prefix, 0) == 0)
                return rate;
        return 0;
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int RunAndReport(int argc, char** argv, const std::vector<Ratio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    CCollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-44s %14s %14s %8s %6s\n", "ratio", "measured/s", "baseline/s", "ratio", "goal");
    for (const Ratio& ratio : ratios) {
        const double measured = reporter.Rate(ratio.measured);
        const double baseline = reporter.Rate(ratio.baseline);
        if (measured <= 0 || baseline <= 0)
            continue;
        std::printf("%-44s %14.0f %14.0f %8.2f %s%.2f\n", ratio.label.c_str(), measured, baseline,
                    measured / baseline, ">=", ratio.goal);
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchkit
