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

// The kernels that come in several widths: each width's median beside the
// peer's, the widest width's gain over SSE2 and its ratio to the peer, each
// with its spread over the repetitions.
inline void PrintWidthHeader(const char* title, const char* peer) {
    std::printf("\n%-40s %10s %10s %10s %-22s %-22s\n", title, "SSE2 Mpx/s", "AVX2 Mpx/s", peer,
                "AVX2/SSE2 [spread]", "widest/peer [spread]");
}

// sse2, avx2 (empty where the processor lacks it) and the peer's samples.
inline void PrintWidthRow(const std::string& label, const Samples& sse2, const Samples& avx2,
                          const Samples& peer, double goal = 0) {
    const Samples& widest = avx2.Empty() ? sse2 : avx2;
    const Samples ratios = benchspread::Ratios(widest, peer);
    const std::string wide = avx2.Empty() ? "-" : std::to_string(int(avx2.Median() + 0.5));
    const std::string gain =
        avx2.Empty() ? "-" : benchspread::FormatSpread(benchspread::Ratios(avx2, sse2));
    const std::string peerText = peer.Empty() ? "-" : std::to_string(int(peer.Median() + 0.5));
    std::printf("%-40s %10.0f %10s %10s %-22s %-22s", label.c_str(), sse2.Median(), wide.c_str(),
                peerText.c_str(), gain.c_str(), benchspread::FormatSpread(ratios).c_str());
    if (goal > 0) {
        std::printf(" goal %.2f", goal);
    }
    std::printf("\n");
    benchspread::PrintGoalNote(ratios, goal);
}

}  // namespace softbench
