// How far a piece of work raises the process's peak of virtual memory: an
// allocation shows there even when its pages are never touched. The work runs
// in a child process, whose peak starts where the test stands.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace tessel_test {

inline int64_t PeakVirtualBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmPeak:", 0) == 0) {
            return std::atoll(line.c_str() + 7) * 1024;
        }
    }
    return -1;
}

// -1 when the child cannot be run or does not report.
template <typename Work>
int64_t PeakGrowthOf(Work work) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const int64_t before = PeakVirtualBytes();
        work();
        const int64_t growth = PeakVirtualBytes() - before;
        _exit(write(channel[1], &growth, sizeof growth) == sizeof growth ? 0 : 1);
    }
    close(channel[1]);
    int64_t growth = -1;
    if (child < 0 || read(channel[0], &growth, sizeof growth) != sizeof growth) {
        growth = -1;
    }
    close(channel[0]);
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    return growth;
}

}  // namespace tessel_test
