// Runs fuzz targets over saved inputs, outside any fuzzing engine: every
// target over its own folder of a corpus (what the test suite does, under the
// sanitizers), or one target over given files and folders (a fuzzer's
// findings, a single crash).
//
//   fuzz_replay CORPUS_ROOT                  every target over CORPUS_ROOT/<name>/
//   fuzz_replay --target NAME PATH...        one target over files or folders
//
// Fails when a target has no inputs or a folder names no target; a fault
// names the input it happened on.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"

namespace {

namespace fs = std::filesystem;
using tessel_fuzz::FuzzTargetEntry;

// What runs now, for the fault handler; written before each input.
char currentInput[1024] = "";

void ReportFault(int signal) {
    const char head[] = "\nfuzz_replay: fault while running ";
    (void)!write(2, head, sizeof head - 1);
    (void)!write(2, currentInput, std::strlen(currentInput));
    (void)!write(2, "\n", 1);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void WatchForFaults() {
    for (int s : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        ::signal(s, ReportFault);
    }
}

const FuzzTargetEntry* FindTarget(const std::string& name) {
    for (const FuzzTargetEntry& entry : tessel_fuzz::RegisteredTargets()) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

// The regular files of a folder (not below it) in name order, or the path
// itself when it is a file.
std::vector<fs::path> InputsOf(const fs::path& path) {
    std::vector<fs::path> inputs;
    if (fs::is_regular_file(path)) {
        inputs.push_back(path);
        return inputs;
    }
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

struct Totals {
    int inputs = 0;
    double slowestMs = 0;
    std::string slowest;
};

void RunOne(const FuzzTargetEntry& target, const fs::path& input, Totals* totals) {
    std::snprintf(currentInput, sizeof currentInput, "%s on %s", target.name, input.c_str());
    std::ifstream file(input, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    const auto start = std::chrono::steady_clock::now();
    target.body(bytes.data(), bytes.size());
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ++totals->inputs;
    if (took.count() > totals->slowestMs) {
        totals->slowestMs = took.count();
        totals->slowest = input.filename().string();
    }
}

void Report(const FuzzTargetEntry& target, const Totals& totals) {
    std::printf("%-18s %5d inputs, slowest %.1f ms (%s)\n", target.name, totals.inputs,
                totals.slowestMs, totals.slowest.c_str());
}

int ReplayCorpus(const fs::path& root) {
    int failures = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
        if (entry.is_directory() && FindTarget(entry.path().filename().string()) == nullptr) {
            std::fprintf(stderr, "fuzz_replay: %s names no target\n", entry.path().c_str());
            ++failures;
        }
    }
    if (error) {
        std::fprintf(stderr, "fuzz_replay: cannot read %s\n", root.c_str());
        return 1;
    }
    for (const FuzzTargetEntry& target : tessel_fuzz::RegisteredTargets()) {
        Totals totals;
        for (const fs::path& input : InputsOf(root / target.name)) {
            RunOne(target, input, &totals);
        }
        if (totals.inputs == 0) {
            std::fprintf(stderr, "fuzz_replay: no inputs for %s\n", target.name);
            ++failures;
        }
        Report(target, totals);
    }
    return failures == 0 ? 0 : 1;
}

int ReplayPaths(const char* name, char** paths, int count) {
    const FuzzTargetEntry* target = FindTarget(name);
    if (target == nullptr) {
        std::fprintf(stderr, "fuzz_replay: no target named %s\n", name);
        return 1;
    }
    Totals totals;
    for (int i = 0; i < count; ++i) {
        for (const fs::path& input : InputsOf(paths[i])) {
            RunOne(*target, input, &totals);
        }
    }
    Report(*target, totals);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: fuzz_replay CORPUS_ROOT\n"
                 "       fuzz_replay --target NAME PATH...\n"
                 "targets:");
    for (const FuzzTargetEntry& target : tessel_fuzz::RegisteredTargets()) {
        std::fprintf(stderr, " %s", target.name);
    }
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    WatchForFaults();
    if (argc == 2 && argv[1][0] != '-') {
        return ReplayCorpus(argv[1]);
    }
    if (argc >= 4 && std::strcmp(argv[1], "--target") == 0) {
        return ReplayPaths(argv[2], argv + 3, argc - 3);
    }
    return Usage();
}
