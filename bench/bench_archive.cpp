// Reading every file of a data folder of a few thousand files, plainly and
// through the archive that replaces it: MB/s of each and their ratio.
//
// Two folders: in "png" the image-sized files are already compressed data
// (as PNG and JPEG files are), so the packer stores them; in "bmp" they are
// raw pixels that LZ packs, so reading them through the archive includes
// decoding.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "platform/kernel.h"
#include "support/spread.h"
#include "tools/lib/archive_pack.h"

namespace {

using namespace tessel;

constexpr int kImageFiles = 400;
constexpr int kSmallFiles = 2600;

struct DataSet {
    std::string linuxRoot;
    std::vector<std::string> plainPaths;     // through the plain folder
    std::vector<std::string> archivedPaths;  // through the folder's archive
    uint64_t totalBytes = 0;
};

DataSet* dataSets[2] = {};

uint32_t Next(uint32_t* x) {
    *x ^= *x << 13;
    *x ^= *x >> 17;
    *x ^= *x << 5;
    return *x;
}

// Compressed image data: no repeats for LZ to find.
std::string CompressedImageBytes(uint32_t seed, size_t size) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        c = static_cast<char>(Next(&x));
    }
    return s;
}

// Raw pixels: runs of similar pixels with noise, so that LZ packs some of
// it; small files are short texts and tables.
std::string ImageBytes(uint32_t seed, size_t size) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    uint8_t pixel = 0;
    for (size_t i = 0; i < size; ++i) {
        if (i % 64 == 0) {
            pixel = static_cast<uint8_t>(Next(&x));
        }
        s[i] = static_cast<char>(pixel + (Next(&x) & 3));
    }
    return s;
}

std::string SmallBytes(uint32_t seed, size_t size) {
    std::string s;
    uint32_t x = seed + 17;
    while (s.size() < size) {
        s += std::to_string(Next(&x) % 1000) + ",enemy,shot," + std::to_string(seed) + "\r\n";
    }
    s.resize(size);
    return s;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

DataSet* MakeDataSet(bool rawImages) {
    auto* set = new DataSet;
    char pattern[] = "/tmp/tessel_bench_archive_XXXXXX";
    set->linuxRoot = mkdtemp(pattern);
    const std::string plain = set->linuxRoot + "/plain";
    mkdir(plain.c_str(), 0755);
    uint32_t x = 1;
    for (int dir = 0; dir < 10; ++dir) {
        mkdir((plain + "/d" + std::to_string(dir)).c_str(), 0755);
    }
    for (int i = 0; i < kImageFiles + kSmallFiles; ++i) {
        const bool image = i < kImageFiles;
        const size_t size = image ? 32768 + Next(&x) % 229376 : 100 + Next(&x) % 4000;
        const std::string name =
            "d" + std::to_string(i % 10) + "/f" + std::to_string(i) + (image ? ".png" : ".csv");
        const std::string bytes = !image      ? SmallBytes(i, size)
                                  : rawImages ? ImageBytes(i, size)
                                              : CompressedImageBytes(i, size);
        WriteFile(plain + "/" + name, bytes);
        std::string windowsName = name;
        windowsName[windowsName.find('/')] = '\\';
        set->plainPaths.push_back("plain\\" + windowsName);
        set->archivedPaths.push_back("packed\\" + windowsName);
        set->totalBytes += bytes.size();
    }
    const std::string windowsRoot = platform::WindowsPathFromLinux(set->linuxRoot);
    if (PackFolderToFile((windowsRoot + "\\plain").c_str(), (windowsRoot + "\\packed.dat").c_str(),
                         ArchivePackOptions{}) != 0) {
        std::fprintf(stderr, "packing failed\n");
        std::exit(1);
    }
    // Absolute paths, so that both sets are read from wherever we stand.
    for (auto* paths : {&set->plainPaths, &set->archivedPaths}) {
        for (std::string& path : *paths) {
            path = windowsRoot + "\\" + path;
        }
    }
    return set;
}

void RemoveDataSet(DataSet* set) {
    {
        nftw(
            set->linuxRoot.c_str(),
            [](const char* name, const struct stat*, int, struct FTW*) { return ::remove(name); },
            16, FTW_DEPTH | FTW_PHYS);
    }
    delete set;
}

uint64_t ReadAll(const FileOps& ops, const std::vector<std::string>& paths,
                 std::vector<char>* buffer) {
    uint64_t bytes = 0;
    for (const std::string& path : paths) {
        FileHandle file = ops.open(path.c_str(), 0, 1, 0);
        if (file == 0) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            std::exit(1);
        }
        uint32_t got = 0;
        while ((got = ops.read(buffer->data(), 1, static_cast<uint32_t>(buffer->size()), file)) >
               0) {
            bytes += got;
        }
        ops.close(file);
    }
    return bytes;
}

// Reads every file of one list per iteration and reports the bytes, the file
// count and the rate.
void ReadEveryFile(benchmark::State& state, const FileOps& ops,
                   const std::vector<std::string>& paths) {
    std::vector<char> buffer(1 << 20);
    uint64_t bytes = 0;
    for (auto _ : state) {
        bytes += ReadAll(ops, paths, &buffer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["files"] = static_cast<double>(paths.size());
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsRate);
}

void BM_PlainFolder(benchmark::State& state) {
    ReadEveryFile(state, PlainFileOps(), dataSets[state.range(0)]->plainPaths);
}

void BM_ThroughArchive(benchmark::State& state) {
    ReadEveryFile(state, ArchiveFileOps(), dataSets[state.range(0)]->archivedPaths);
    PurgeUnusedArchives();
}

// Both in one timing loop, so that the ratio compares like with like.
void BM_ArchiveOverPlainRatio(benchmark::State& state) {
    const DataSet* data = dataSets[state.range(0)];
    std::vector<char> buffer(1 << 20);
    double plainSeconds = 0;
    double archiveSeconds = 0;
    for (auto _ : state) {
        LARGE_INTEGER frequency;
        LARGE_INTEGER t0;
        LARGE_INTEGER t1;
        LARGE_INTEGER t2;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&t0);
        ReadAll(PlainFileOps(), data->plainPaths, &buffer);
        QueryPerformanceCounter(&t1);
        ReadAll(ArchiveFileOps(), data->archivedPaths, &buffer);
        QueryPerformanceCounter(&t2);
        plainSeconds += static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart;
        archiveSeconds += static_cast<double>(t2.QuadPart - t1.QuadPart) / frequency.QuadPart;
    }
    const double megabytes = static_cast<double>(data->totalBytes) * state.iterations() / 1e6;
    state.counters["plain_MB/s"] = megabytes / plainSeconds;
    state.counters["archive_MB/s"] = megabytes / archiveSeconds;
    state.counters["archive/plain"] = plainSeconds / archiveSeconds;
    PurgeUnusedArchives();
}

// Argument 0: the "png" folder; 1: the "bmp" folder.
BENCHMARK(BM_PlainFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ThroughArchive)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ArchiveOverPlainRatio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(4.0);

// Both folders: the MB/s of the separate runs side by side, then the ratio
// of the run that times both in one loop.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("folder", "archive MB/s", "plain MB/s",
                                       "archive/plain [spread]");
    for (const char* arg : {"0", "1"}) {
        const std::string label = arg[0] == '0' ? "png" : "bmp";
        const benchspread::Samples archive = r.Get(std::string("BM_ThroughArchive/") + arg, "MB/s");
        const benchspread::Samples plain = r.Get(std::string("BM_PlainFolder/") + arg, "MB/s");
        benchspread::PrintSideBySideRow(label + ", separate runs", archive, plain,
                                        benchspread::Ratios(archive, plain));
        const std::string both = std::string("BM_ArchiveOverPlainRatio/") + arg;
        benchspread::PrintSideBySideRow(label + ", one loop", r.Get(both, "archive_MB/s"),
                                        r.Get(both, "plain_MB/s"), r.Get(both, "archive/plain"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    UseArchiveSuffix("dat");
    for (int kind = 0; kind < 2; ++kind) {
        dataSets[kind] = MakeDataSet(kind == 1);
        std::printf("%s: %zu files, %.1f MB\n", kind == 0 ? "png" : "bmp",
                    dataSets[kind]->plainPaths.size(), dataSets[kind]->totalBytes / 1e6);
    }
    const int result = benchspread::RunWithSummary(argc, argv, PrintSummary);
    RemoveDataSet(dataSets[0]);
    RemoveDataSet(dataSets[1]);
    return result;
}
