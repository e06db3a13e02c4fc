// What every benchmark's summary shares: each repetition's figures kept per
// benchmark, ratios taken repetition by repetition with their spread, and the
// line that says when a ratio's spread crosses its goal (one run on a loaded
// machine then settles nothing). Repetitions are interleaved at random by
// default, so that the i-th runs of two peers ran close together in time.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace benchspread {

// The figures of one benchmark, one a repetition, in the order they ran.
struct Samples {
    std::vector<double> values;

    Samples() = default;
    // One figure; 0 stands for "did not run".
    Samples(double value) {  // NOLINT: a lone figure is a sample of one
        if (value > 0) {
            values.push_back(value);
        }
    }
    bool Empty() const { return values.empty(); }
    double Median() const {
        if (values.empty()) {
            return 0.0;
        }
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Low() const {
        return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
    }
    double High() const {
        return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    }
};

// Repetition-by-repetition ratios of two benchmarks' figures. When their
// counts differ (a lone figure against repetitions), every pairing is kept.
inline Samples Ratios(const Samples& ours, const Samples& peer) {
    Samples ratios;
    if (ours.values.size() == peer.values.size()) {
        for (size_t i = 0; i < ours.values.size(); ++i) {
            if (peer.values[i] > 0) {
                ratios.values.push_back(ours.values[i] / peer.values[i]);
            }
        }
        return ratios;
    }
    for (double a : ours.values) {
        for (double b : peer.values) {
            if (b > 0) {
                ratios.values.push_back(a / b);
            }
        }
    }
    return ratios;
}

// True when the goal lies inside the spread, so that some repetitions met it
// and some did not.
inline bool CrossesGoal(const Samples& ratios, double goal) {
    return goal > 0 && !ratios.Empty() && ratios.Low() < goal && ratios.High() >= goal;
}

// "1.85 [1.60-2.10]" (median, lowest, highest) into `out`, or "-".
inline std::string FormatSpread(const Samples& s, const char* format = "%.2f") {
    if (s.Empty()) {
        return "-";
    }
    char one[32], all[112];
    std::string median, low, high;
    std::snprintf(one, sizeof one, format, s.Median());
    median = one;
    if (s.values.size() == 1) {
        return median;
    }
    std::snprintf(one, sizeof one, format, s.Low());
    low = one;
    std::snprintf(one, sizeof one, format, s.High());
    high = one;
    std::snprintf(all, sizeof all, "%s [%s-%s]", median.c_str(), low.c_str(), high.c_str());
    return all;
}

// Prints the note for a row whose spread crosses its goal; nothing otherwise.
inline void PrintGoalNote(const Samples& ratios, double goal) {
    if (CrossesGoal(ratios, goal)) {
        std::printf("    ^ spread crosses goal %.2f: this run does not settle it\n", goal);
    }
}

// One summary row: a label, the ratio's median with its spread, and its goal.
inline void PrintRatioRow(const std::string& label, const Samples& ratios, double goal = 0) {
    std::printf("%-48s %-24s", label.c_str(), FormatSpread(ratios).c_str());
    if (goal > 0) {
        std::printf(" goal %.2f", goal);
    }
    std::printf("\n");
    PrintGoalNote(ratios, goal);
}

// A console reporter that also keeps, for each benchmark (named without its
// repetition count and time measure), every repetition's counters and its CPU and wall time in
// seconds an iteration.
class SpreadReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
                continue;
            }
            auto& figures = runs_[NameOf(run)];
            const double n = static_cast<double>(run.iterations);
            figures["cpu_seconds"].values.push_back(run.cpu_accumulated_time / n);
            figures["real_seconds"].values.push_back(run.real_accumulated_time / n);
            for (const auto& [name, counter] : run.counters) {
                figures[name].values.push_back(counter.value);
            }
        }
    }
    // One figure ("cpu_seconds", "real_seconds" or a counter) of a benchmark,
    // every repetition; empty when it did not run. A name without the
    // options Google Benchmark adds to it ("/min_time:2.000") finds it too.
    Samples Get(const std::string& benchmark, const std::string& figure) const {
        auto run = runs_.find(benchmark);
        if (run == runs_.end()) {
            run = runs_.find(NameStartingWith(benchmark + "/"));
        }
        if (run == runs_.end()) {
            return {};
        }
        auto it = run->second.find(figure);
        return it == run->second.end() ? Samples{} : it->second;
    }
    // The first benchmark that ran whose name starts with `prefix` (names
    // carry their arguments), or "" when none did.
    std::string NameStartingWith(const std::string& prefix) const {
        auto it = runs_.lower_bound(prefix);
        return it != runs_.end() && it->first.compare(0, prefix.size(), prefix) == 0 ? it->first
                                                                                     : "";
    }
    // Names of the benchmarks that ran.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& [name, figures] : runs_) {
            names.push_back(name);
        }
        return names;
    }

  private:
    static std::string NameOf(const Run& run) {
        benchmark::BenchmarkName name = run.run_name;
        name.repetitions.clear();
        name.time_type.clear();
        return name.str();
    }
    std::map<std::string, std::map<std::string, Samples>> runs_;
};

// The command line with repetitions (5 unless given) and random interleaving
// (unless given) added, so that every ratio has a spread. Keep the returned
// vector alive while benchmark uses argv.
inline std::vector<char*> WithRepetitions(int argc, char** argv, int repetitions = 5) {
    static std::string repeatFlag, interleaveFlag;
    std::vector<char*> args(argv, argv + argc);
    auto given = [&](const char* flag) {
        for (int i = 1; i < argc; ++i) {
            if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
                return true;
            }
        }
        return false;
    };
    if (!given("--benchmark_repetitions")) {
        repeatFlag = "--benchmark_repetitions=" + std::to_string(repetitions);
        args.push_back(repeatFlag.data());
    }
    if (!given("--benchmark_enable_random_interleaving")) {
        interleaveFlag = "--benchmark_enable_random_interleaving=true";
        args.push_back(interleaveFlag.data());
    }
    args.push_back(nullptr);
    return args;
}

// Initialises Google Benchmark with the flags of WithRepetitions.
inline void Initialize(int* argc, char*** argv, int repetitions = 5) {
    static std::vector<char*> args;
    args = WithRepetitions(*argc, *argv, repetitions);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    benchmark::Initialize(argc, *argv);
}

// The samples times `factor` (seconds into milliseconds, say).
inline Samples Scaled(Samples s, double factor) {
    for (double& v : s.values) {
        v *= factor;
    }
    return s;
}

// One figure of a benchmark, every repetition, times `factor`; empty when it did not run.
inline Samples ScaledFigure(const SpreadReporter& r, const std::string& benchmark,
                            const std::string& figure, double factor) {
    return Scaled(r.Get(benchmark, figure), factor);
}

// A summary row of two benchmarks' `figure`: `ours` over `peer` for a rate
// (more is better), so that above 1 means ours is ahead.
inline void PrintRateRatio(const SpreadReporter& r, const std::string& label,
                           const std::string& ours, const std::string& peer,
                           const std::string& figure, double goal = 0) {
    PrintRatioRow(label, Ratios(r.Get(ours, figure), r.Get(peer, figure)), goal);
}

// A summary row of two benchmarks' `figure`: `peer` over `ours` for a time
// (less is better), so that above 1 means ours is ahead too.
inline void PrintTimeRatio(const SpreadReporter& r, const std::string& label,
                           const std::string& ours, const std::string& peer,
                           const std::string& figure = "cpu_seconds", double goal = 0) {
    PrintRatioRow(label, Ratios(r.Get(peer, figure), r.Get(ours, figure)), goal);
}

// A summary row of one benchmark's own figure against an absolute goal
// (`format` for its figures); the goal is met at or above it unless
// `atMost`, and a spread that crosses it is said so.
inline void PrintFigureRow(const std::string& label, const Samples& figure, double goal,
                           bool atMost = false, const char* format = "%.2f") {
    std::printf("%-48s %-24s", label.c_str(), FormatSpread(figure, format).c_str());
    if (goal > 0 && !figure.Empty()) {
        const bool met = atMost ? figure.Median() <= goal : figure.Median() >= goal;
        std::printf(" goal %s %g: %s", atMost ? "<=" : ">=", goal, met ? "met" : "missed");
    }
    std::printf("\n");
    PrintGoalNote(figure, goal);
}

// A side-by-side table: both medians in `format`, then the ratio's median
// with its spread and its goal; a spread that crosses the goal is said so.
inline void PrintSideBySideHeader(const char* title, const char* ours, const char* peer,
                                  const char* ratio = "ratio [spread]") {
    std::printf("\n%-40s %12s %12s %-22s\n", title, ours, peer, ratio);
}

inline void PrintSideBySideRow(const std::string& label, const Samples& ours, const Samples& peer,
                               const Samples& ratios, double goal = 0,
                               const char* format = "%.0f") {
    const auto median = [format](const Samples& s) {
        char text[32] = "-";
        if (!s.Empty()) {
            std::snprintf(text, sizeof text, format, s.Median());
        }
        return std::string(text);
    };
    std::printf("%-40s %12s %12s %-22s", label.c_str(), median(ours).c_str(), median(peer).c_str(),
                FormatSpread(ratios).c_str());
    if (goal > 0) {
        std::printf(" goal %.2f", goal);
    }
    std::printf("\n");
    PrintGoalNote(ratios, goal);
}

// Which column of a side-by-side row is over the other in its ratio: the way round that
// puts the row's better side above 1.
enum class RatioOf { kLeftOverRight, kRightOverLeft };

// A side-by-side row of one figure of two benchmarks, each times `factor`, and their ratio
// taken repetition by repetition; the ratios, for a goal row after it.
inline Samples PrintSideBySideFigures(const SpreadReporter& r, const std::string& label,
                                      const std::string& left, const std::string& right,
                                      const std::string& figure, double factor, RatioOf ratioOf,
                                      const char* format = "%.0f") {
    const Samples l = ScaledFigure(r, left, figure, factor);
    const Samples rt = ScaledFigure(r, right, figure, factor);
    const Samples ratios = ratioOf == RatioOf::kLeftOverRight ? Ratios(l, rt) : Ratios(rt, l);
    PrintSideBySideRow(label, l, rt, ratios, 0, format);
    return ratios;
}

// The header above the summary rows.
inline void PrintSummaryHeader(const char* title, const char* column = "median [low-high]") {
    std::printf("\n%-48s %-24s\n", title, column);
}

// Runs the command line's benchmarks with repetitions (interleaved) and a
// SpreadReporter (or a reporter built on it), then hands the reporter to
// `summary` for its rows. Benchmarks may be registered before.
template <class Reporter = SpreadReporter, class Summary>
int RunWithSummary(int argc, char** argv, Summary&& summary, int repetitions = 5) {
    Initialize(&argc, &argv, repetitions);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summary(reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchspread
