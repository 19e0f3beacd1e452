// Console reporter that remembers the mean real time of every benchmark, so a
// program can print ratios against a baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const auto& name = run.run_name;
            m_seconds[name.args.empty() ? name.function_name : name.function_name + "/" + name.args] =
                run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double seconds(const std::string& name) const {
        auto it = m_seconds.find(name);
        return it == m_seconds.end() ? 0.0 : it->second;
    }
    // "name / baseline: ratio (a us vs b us, target <= t)"; silent when either is missing.
    void PrintRatio(const std::string& name, const std::string& baseline, double target) const {
        const double cost = seconds(name), floor = seconds(baseline);
        if (cost <= 0.0 || floor <= 0.0) return;
        std::printf("%s / %s: %.2f (%.1f us vs %.1f us, target <= %.1f)\n", name.c_str(),
                    baseline.c_str(), cost / floor, cost * 1e6, floor * 1e6, target);
    }

private:
    std::map<std::string, double> m_seconds;
};

// Runs the registered benchmarks with the reporter; false on bad arguments.
inline bool RunBenchmarks(int& argc, char** argv, RatioReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}
