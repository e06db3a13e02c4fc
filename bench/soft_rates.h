// What the software-kernel benchmarks share: a reporter that keeps each run's
// pixels per second, and the table that prints ours beside the peer's.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace softbench {

class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) {
                perSecond[run.benchmark_name()] = rate->second.value;
            }
        }
    }
    // Mpixels per second of a run, 0 when it did not run.
    double Mpx(const std::string& name) const {
        auto it = perSecond.find(name);
        return it == perSecond.end() ? 0.0 : it->second / 1e6;
    }
    std::map<std::string, double> perSecond;
};

inline void PrintHeader(const char* title, const char* peer) {
    std::printf("\n%-40s %12s %12s %8s\n", title, "ours Mpx/s", peer, "ratio");
}

inline void PrintRow(const std::string& label, double ours, double peer) {
    if (peer > 0) {
        std::printf("%-40s %12.0f %12.0f %8.2f\n", label.c_str(), ours, peer, ours / peer);
    } else {
        std::printf("%-40s %12.0f %12s %8s\n", label.c_str(), ours, "-", "-");
    }
}

}  // namespace softbench
