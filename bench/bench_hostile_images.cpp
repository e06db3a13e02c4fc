// Tiny files claiming huge pictures, as fuzzing found them, through the
// loader chain as a program loads from memory: each must be refused or
// decoded in well under a tenth of a second. The run-length bitmaps claim up
// to 268 million pixels in 60 to 86 bytes; the JPEG claims 14344 x 14653 in
// 128 bytes. The largest one the default budget takes (4096 x 4096) is
// measured beside them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "images/image_loader.h"
#include "support/spread.h"
#include "tests/images/image_test_support.h"

namespace {

using tessel_test::Bytes;

Bytes RunLengthBmp(int width, int height, int bits, const Bytes& codes) {
    tessel_test::BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bits = bits;
    recipe.compression = bits == 8 ? 1 : 2;
    recipe.pixels = codes;
    return tessel_test::MakeBmp(recipe);
}

const Bytes kJpegClaiming14344x14653 = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x08, 0x06, 0x06, 0x07, 0x07, 0x07, 0x09,
    0x09, 0x08, 0x0a, 0x37, 0x29, 0x2c, 0x30, 0x00, 0x00, 0x34, 0x34, 0x1f, 0x27, 0x39, 0x3d, 0x38,
    0x32, 0x3c, 0x2e, 0x33, 0x34, 0x32, 0xc4, 0x00, 0xb5, 0x11, 0x00, 0x02, 0x01, 0x02, 0x04, 0x04,
    0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32,
    0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x39, 0x3d,
    0x38, 0x08, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x02, 0xf7, 0xf8, 0xf9, 0xeb,
    0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x0b, 0xff, 0xff, 0xe4, 0x32, 0x32, 0x32, 0x01};

Bytes Moves(int count) {
    Bytes codes;
    for (int i = 0; i < count; ++i) {
        codes.insert(codes.end(), {0, 2, 255, 255});
    }
    codes.insert(codes.end(), {1, 5, 0, 1});
    return codes;
}

Bytes Input(int which) {
    const Bytes end = {0, 0, 0, 0, 0, 1};
    switch (which) {
        case 0:
            return RunLengthBmp(16384, 16384, 8, end);
        case 1:
            return RunLengthBmp(16384, 16384, 4, end);
        case 2:
            return RunLengthBmp(65536, 4096, 4, Moves(2));
        case 3:
            return RunLengthBmp(4096, 4096, 8, {2, 1, 0, 0, 0, 1});
        case 4:
            return RunLengthBmp(4096, -4096, 8, Moves(7));
        default:
            return kJpegClaiming14344x14653;
    }
}

const char* const kNames[] = {"rle8 16384x16384", "rle4 16384x16384",     "rle4 65536x4096",
                              "rle8 4096x4096",   "rle8 moves 4096x4096", "jpeg 14344x14653"};

void BM_TinyFileClaimingAHugePicture(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const Bytes file = Input(which);
    int taken = 0;
    for (auto _ : state) {
        tessel::BASEIMAGE image = {};
        if (tessel::LoadImageBuffer(nullptr, file.data(), static_cast<int>(file.size()), 1, 0, 0,
                                    &image, nullptr, nullptr) == 0) {
            ++taken;
            benchmark::DoNotOptimize(image.pixels[0]);
            tessel::ReleaseImageBuffer(&image);
        }
    }
    state.SetLabel(std::string(kNames[which]) + (taken > 0 ? ", decoded" : ", refused"));
}
BENCHMARK(BM_TinyFileClaimingAHugePicture)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("ms a load, CPU");
    for (int which = 0; which < 6; ++which) {
        const std::string name = "BM_TinyFileClaimingAHugePicture/" + std::to_string(which);
        benchspread::PrintFigureRow(
            kNames[which], benchspread::Scaled(r.Get(name, "cpu_seconds"), 1e3), 100, true);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
