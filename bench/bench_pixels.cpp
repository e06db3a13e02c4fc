// Pixel conversion and DXT expansion throughput, in Mpixels/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "foundation/memory/memory.h"
#include "images/convert.h"
#include "images/dxt.h"
#include "support/spread.h"

namespace {

using namespace tessel;

constexpr int kSide = 1024;

void SetRate(benchmark::State& state, int64_t pixelsPerIteration) {
    state.counters["Mpixels"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(pixelsPerIteration) / 1e6,
        benchmark::Counter::kIsRate);
}

// ARGB32 to RGB565; argument: dither mode (0 takes the fixed pair).
void BM_Argb32ToRgb565(benchmark::State& state) {
    PixelFormatDesc argb, rgb565;
    std::memset(&argb, 0, sizeof(argb));
    std::memset(&rgb565, 0, sizeof(rgb565));
    SetPixelFormatArgb32(&argb);
    SetPixelFormatFromMasks(&rgb565, 16, 0xF800, 0x7E0, 0x1F, 0);
    std::vector<uint32_t> src(kSide * kSide);
    std::mt19937 random(1);
    for (uint32_t& p : src) {
        p = random();
    }
    std::vector<uint16_t> dst(kSide * kSide);
    RECT rect{0, 0, kSide, kSide};
    int dither = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ConvertImagePixels({.dstPixels = dst.data(),
                            .dstPitch = kSide * 2,
                            .dstFormat = &rgb565,
                            .srcPixels = src.data(),
                            .srcPitch = kSide * 4,
                            .srcFormat = &argb,
                            .srcRect = rect,
                            .ditherMode = dither});
        benchmark::DoNotOptimize(dst.data());
    }
    SetRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_Argb32ToRgb565)->Arg(0)->Arg(1)->Arg(2)->ArgName("dither");

void BM_DecodeDxt5(benchmark::State& state) {
    std::vector<uint8_t> blocks(size_t(kSide / 4) * (kSide / 4) * 16);
    std::mt19937 random(2);
    for (uint8_t& b : blocks) {
        b = static_cast<uint8_t>(random());
    }
    for (auto _ : state) {
        state.PauseTiming();
        BASEIMAGE image;
        std::memset(&image, 0, sizeof(image));
        SetPixelFormatArgb32(&image.format);
        image.format.bits = 8;
        image.format.compressedKind = kPixelsDxt5;
        image.width = kSide;
        image.height = kSide;
        image.pixels = static_cast<uint8_t*>(
            AllocTracked(static_cast<uint32_t>(blocks.size()), __FILE__, __LINE__));
        std::memcpy(image.pixels, blocks.data(), blocks.size());
        state.ResumeTiming();
        DecodeDxtImage(&image);
        benchmark::DoNotOptimize(image.pixels);
        state.PauseTiming();
        ReleaseImageBuffer(&image);
        state.ResumeTiming();
    }
    SetRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_DecodeDxt5)->Unit(benchmark::kMillisecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("Mpixels a second");
    for (const char* name : {"BM_Argb32ToRgb565/dither:0", "BM_Argb32ToRgb565/dither:1",
                             "BM_Argb32ToRgb565/dither:2", "BM_DecodeDxt5"}) {
        benchspread::PrintFigureRow(name, r.Get(name, "Mpixels"), 0, false, "%.0f");
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
