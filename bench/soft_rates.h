// What the software-kernel benchmarks share: a reporter that keeps each
// repetition's pixels per second, and the table that prints ours beside the
// peer's with the ratio's spread over the repetitions.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "support/spread.h"

namespace softbench {

using benchspread::Samples;

class RateReporter : public benchspread::SpreadReporter {
  public:
    // Mpixels per second of a run, one a repetition; empty when it did not run.
    Samples Mpx(const std::string& name) const {
        Samples rate = Get(name, "items_per_second");
        for (double& v : rate.values) {
            v /= 1e6;
        }
        return rate;
    }
};

inline void PrintHeader(const char* title, const char* peer) {
    benchspread::PrintSideBySideHeader(title, "ours Mpx/s", peer);
}

// A row of medians and the ratio's spread; with a goal, a spread that crosses
// it is said so.
inline void PrintRow(const std::string& label, const Samples& ours, const Samples& peer,
                     double goal = 0) {
    benchspread::PrintSideBySideRow(label, ours, peer, benchspread::Ratios(ours, peer), goal);
}

}  // namespace softbench
