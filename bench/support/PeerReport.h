#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace murmelo::bench {

// Prints Google Benchmark's usual table and keeps each run's times (per iteration, in the run's
// unit), so that the program can print our figure beside its peer's at the end.
class PeerReport : public ::benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                                run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // "what: ours X, peer Y, ratio R (target T)" for the two runs' real and CPU times; nothing
    // when either did not run.
    void compare(const char *what, const std::string &ours, const std::string &peer,
                 const char *unit, double target) const
    {
        const auto a = times_.find(ours);
        const auto b = times_.find(peer);
        if (a == times_.end() || b == times_.end())
            return;
        std::printf("%-34s ours %9.3f %s (cpu %9.3f)   peer %9.3f %s (cpu %9.3f)   ratio %.2fx "
                    "(cpu %.2fx)   target <= %.1fx\n",
                    what, a->second.real, unit, a->second.cpu, b->second.real, unit, b->second.cpu,
                    a->second.real / b->second.real, a->second.cpu / b->second.cpu, target);
    }

    const std::map<std::string, Times> &times() const { return times_; }

private:
    std::map<std::string, Times> times_;
};

} // namespace murmelo::bench
