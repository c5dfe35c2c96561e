#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quelmo::bench {

// Google Benchmark's console output, then a summary (the ratios between the runs) printed at the
// end from each run's mean time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using Summary = std::function<void(const RatioReporter&)>;
    explicit RatioReporter(Summary summary) : summary_(std::move(summary)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                seconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        summary_(*this);
    }

    // Mean seconds per iteration of the first run whose name starts with prefix; 0 when none ran.
    double secondsOf(const std::string& prefix) const {
        for (const auto& [name, seconds] : seconds_) {
            if (name.rfind(prefix, 0) == 0) {
                return seconds;
            }
        }
        return 0.0;
    }

private:
    Summary summary_;
    std::map<std::string, double> seconds_;
};

} // namespace quelmo::bench
