// Expansion speed of the library's LZ blocks against zlib's inflate of the
// same data packed at level 6, on pictures, text and incompressible data, each
// packed on its own as an archive entry would be, and on the mix of all three.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files/lz.h"
#include "support/spread.h"
#include "tools/lib/lz_compress.h"
#include "tools/lib/sample_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
    std::string name;
    Bytes plain;
    Bytes lz;
    Bytes zlib;
};

std::vector<Sample> MakeSamples() {
    std::vector<Sample> samples = {
        {"image", tessel::MakeSampleImage(512, 512, 1), {}, {}},
        {"text", tessel::MakeSampleText(512 * 1024, 2), {}, {}},
        {"random", tessel::MakeRandomBytes(256 * 1024, 3), {}, {}},
    };
    for (Sample& s : samples) {
        tessel::LzCompress(s.plain.data(), s.plain.size(), &s.lz);
        uLongf packedSize = compressBound(s.plain.size());
        s.zlib.resize(packedSize);
        compress2(s.zlib.data(), &packedSize, s.plain.data(), s.plain.size(), 6);
        s.zlib.resize(packedSize);
    }
    return samples;
}

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = MakeSamples();
    return samples;
}

// The samples one benchmark expands: one of them, or all for the mix.
std::vector<const Sample*> Selection(int index) {
    std::vector<const Sample*> chosen;
    for (size_t i = 0; i < Samples().size(); ++i) {
        if (index < 0 || static_cast<size_t>(index) == i) {
            chosen.push_back(&Samples()[i]);
        }
    }
    return chosen;
}

int64_t PlainBytes(const std::vector<const Sample*>& chosen) {
    int64_t total = 0;
    for (const Sample* s : chosen) {
        total += static_cast<int64_t>(s->plain.size());
    }
    return total;
}

void LzExpandBench(benchmark::State& state, int index) {
    const std::vector<const Sample*> chosen = Selection(index);
    Bytes out(PlainBytes(chosen));
    for (auto _ : state) {
        for (const Sample* s : chosen) {
            const int size = tessel::LzExpand(s->lz.data(), static_cast<uint32_t>(s->lz.size()),
                                              out.data(), static_cast<uint32_t>(out.size()));
            if (size != static_cast<int>(s->plain.size())) {
                state.SkipWithError("expansion failed");
                return;
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * PlainBytes(chosen));
}

void ZlibInflateBench(benchmark::State& state, int index) {
    const std::vector<const Sample*> chosen = Selection(index);
    Bytes out(PlainBytes(chosen));
    z_stream stream = {};
    inflateInit(&stream);
    for (auto _ : state) {
        for (const Sample* s : chosen) {
            inflateReset(&stream);
            stream.next_in = const_cast<Bytef*>(s->zlib.data());
            stream.avail_in = static_cast<uInt>(s->zlib.size());
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.total_out != s->plain.size()) {
                state.SkipWithError("inflate failed");
                inflateEnd(&stream);
                return;
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    inflateEnd(&stream);
    state.SetBytesProcessed(state.iterations() * PlainBytes(chosen));
}

const char* const kSelections[] = {"image", "text", "random", "mix"};

void RegisterAll() {
    for (int i = 0; i < 4; ++i) {
        const int index = i == 3 ? -1 : i;
        const std::string kind = kSelections[i];
        benchmark::RegisterBenchmark(("LzExpand/" + kind).c_str(), LzExpandBench, index);
        benchmark::RegisterBenchmark(("ZlibInflate/" + kind).c_str(), ZlibInflateBench, index);
    }
}

// The two decoders side by side, then how small each packs the data.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("data", "ours MB/s", "zlib MB/s", "ours/zlib [spread]");
    for (int i = 0; i < 4; ++i) {
        const std::string kind = kSelections[i];
        const benchspread::Samples ours =
            benchspread::Scaled(r.Get("LzExpand/" + kind, "bytes_per_second"), 1e-6);
        const benchspread::Samples zlib =
            benchspread::Scaled(r.Get("ZlibInflate/" + kind, "bytes_per_second"), 1e-6);
        if (ours.Empty() || zlib.Empty()) {
            continue;
        }
        benchspread::PrintSideBySideRow(kind, ours, zlib, benchspread::Ratios(ours, zlib));
    }
    std::printf("\n%-8s %12s %12s\n", "data", "ours packed", "zlib packed");
    for (int i = 0; i < 4; ++i) {
        size_t plain = 0;
        size_t lz = 0;
        size_t zl = 0;
        for (const Sample* s : Selection(i == 3 ? -1 : i)) {
            plain += s->plain.size();
            lz += s->lz.size();
            zl += s->zlib.size();
        }
        std::printf("%-8s %11.1f%% %11.1f%%\n", kSelections[i], 100.0 * lz / plain,
                    100.0 * zl / plain);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
