// Reads through the file layer against plain read() of the same file:
// sequential 4 KB and 64 KB chunks, and random 4 KB reads. Prints MB/s and,
// at the end, the ratio of each file-layer case to its plain counterpart.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files/file_ops.h"
#include "platform/kernel.h"
#include "support/spread.h"

namespace {

constexpr uint32_t kFileBytes = 16u << 20;
constexpr uint32_t kRandomReads = 2048;
std::string linuxPath;
std::string windowsPath;

void MakeFile() {
    char pattern[] = "/tmp/tessel_bench_XXXXXX";
    std::string dir = mkdtemp(pattern);
    linuxPath = dir + "/data.bin";
    windowsPath = platform::WindowsPathFromLinux(linuxPath);
    std::vector<char> bytes(kFileBytes);
    uint32_t state = 1;
    for (char& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<char>(state >> 24);
    }
    FILE* file = std::fopen(linuxPath.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

void RemoveFile() {
    std::string dir = linuxPath.substr(0, linuxPath.rfind('/'));
    unlink(linuxPath.c_str());
    rmdir(dir.c_str());
}

std::vector<uint32_t> RandomOffsets(uint32_t chunk) {
    std::vector<uint32_t> offsets(kRandomReads);
    uint32_t state = 99;
    for (uint32_t& offset : offsets) {
        state = state * 1103515245u + 12345u;
        offset = (state >> 4) % (kFileBytes - chunk);
    }
    return offsets;
}

void PlainSequential(benchmark::State& state) {
    auto chunk = static_cast<size_t>(state.range(0));
    std::vector<char> buffer(chunk);
    for (auto _ : state) {
        int fd = open(linuxPath.c_str(), O_RDONLY);
        while (read(fd, buffer.data(), chunk) > 0) {
        }
        close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}

void LayerSequential(benchmark::State& state) {
    auto chunk = static_cast<uint32_t>(state.range(0));
    int cache = static_cast<int>(state.range(1));
    std::vector<char> buffer(chunk);
    tessel::InstallFileOps(&tessel::PlainFileOps());
    for (auto _ : state) {
        tessel::FileHandle file = tessel::FsOpen(windowsPath.c_str(), cache, 0, 0);
        while (tessel::FsRead(buffer.data(), 1, chunk, file) > 0) {
        }
        tessel::FsClose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}

void PlainRandom(benchmark::State& state) {
    constexpr uint32_t chunk = 4096;
    std::vector<uint32_t> offsets = RandomOffsets(chunk);
    std::vector<char> buffer(chunk);
    int fd = open(linuxPath.c_str(), O_RDONLY);
    for (auto _ : state) {
        for (uint32_t offset : offsets) {
            lseek(fd, offset, SEEK_SET);
            benchmark::DoNotOptimize(read(fd, buffer.data(), chunk));
        }
    }
    close(fd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRandomReads * chunk);
}

void LayerRandom(benchmark::State& state) {
    constexpr uint32_t chunk = 4096;
    int cache = static_cast<int>(state.range(0));
    std::vector<uint32_t> offsets = RandomOffsets(chunk);
    std::vector<char> buffer(chunk);
    tessel::InstallFileOps(&tessel::PlainFileOps());
    tessel::FileHandle file = tessel::FsOpen(windowsPath.c_str(), cache, 0, 0);
    for (auto _ : state) {
        for (uint32_t offset : offsets) {
            tessel::FsSeek(file, static_cast<int32_t>(offset), 0);
            benchmark::DoNotOptimize(tessel::FsRead(buffer.data(), 1, chunk, file));
        }
    }
    tessel::FsClose(file);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRandomReads * chunk);
}

// Each file-layer case beside its plain counterpart, MB/s and their ratio.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("file layer case", "MB/s", "plain MB/s");
    for (const std::string& name : r.Names()) {
        if (name.find("/fileops") == std::string::npos) {
            continue;
        }
        const std::string kind = name.substr(0, name.find('/'));
        const size_t sizeStart = name.find('/', name.find("/fileops") + 1);
        const std::string size = name.substr(sizeStart, name.find('/', sizeStart + 1) - sizeStart);
        const std::string plain = r.NameStartingWith(kind + "/plain_read" + size);
        const benchspread::Samples ours =
            benchspread::Scaled(r.Get(name, "bytes_per_second"), 1e-6);
        const benchspread::Samples peer =
            benchspread::Scaled(r.Get(plain, "bytes_per_second"), 1e-6);
        benchspread::PrintSideBySideRow(name, ours, peer, benchspread::Ratios(ours, peer));
    }
}

}  // namespace

int main(int argc, char** argv) {
    MakeFile();
    // Real time: with a reader thread the work is not on the caller's CPU.
    benchmark::RegisterBenchmark("sequential/plain_read/4K", PlainSequential)
        ->Arg(4096)
        ->UseRealTime();
    benchmark::RegisterBenchmark("sequential/fileops/4K", LayerSequential)
        ->Args({4096, 0})
        ->UseRealTime();
    benchmark::RegisterBenchmark("sequential/fileops_cache/4K", LayerSequential)
        ->Args({4096, 1})
        ->UseRealTime();
    benchmark::RegisterBenchmark("sequential/plain_read/64K", PlainSequential)
        ->Arg(65536)
        ->UseRealTime();
    benchmark::RegisterBenchmark("sequential/fileops/64K", LayerSequential)
        ->Args({65536, 0})
        ->UseRealTime();
    benchmark::RegisterBenchmark("sequential/fileops_cache/64K", LayerSequential)
        ->Args({65536, 1})
        ->UseRealTime();
    benchmark::RegisterBenchmark("random/plain_read/4K", PlainRandom)->UseRealTime();
    benchmark::RegisterBenchmark("random/fileops/4K", LayerRandom)->Arg(0)->UseRealTime();
    benchmark::RegisterBenchmark("random/fileops_cache/4K", LayerRandom)->Arg(1)->UseRealTime();
    const int result = benchspread::RunWithSummary(argc, argv, PrintSummary);
    RemoveFile();
    return result;
}
