// PNG and JPEG decoding through the loader chain against libpng and libjpeg
// called directly on the same bytes. The overhead benchmarks decode the same
// file both ways call by call, alternating which goes first, and report
// vs_direct: the median thread CPU time through the chain over the median
// direct one (the chain's overhead, never below 1 but for noise); the summary
// gives it with its spread over the repetitions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include "images/image_loader.h"
#include "platform/kernel.h"
#include "support/spread.h"
#include "tests/images/image_test_support.h"

namespace {

using tessel_test::Bytes;

// Smooth gradients with a little noise, as photographs and game art have.
Bytes Picture(int width, int height) {
    Bytes rgb(size_t(width) * height * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            int noise = int(seed >> 28) - 8;
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t((x * 255 / width + noise) & 0xFF);
            p[1] = uint8_t((y * 255 / height + noise) & 0xFF);
            p[2] = uint8_t(((x + y) * 128 / (width + height) + 64 + noise) & 0xFF);
        }
    }
    return rgb;
}

Bytes EncodePng(int width, int height) {
    tessel_test::PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.rows = Picture(width, height);
    return tessel_test::MakePng(recipe);
}

Bytes EncodeJpeg(int width, int height) {
    return tessel_test::MakeJpeg(width, height, 3, Picture(width, height), 90);
}

const Bytes& Encoded(bool png, int side) {
    static std::map<std::pair<bool, int>, Bytes> cache;
    auto key = std::make_pair(png, side);
    auto found = cache.find(key);
    if (found == cache.end()) {
        int width = side == 640 ? 640 : side;
        int height = side == 640 ? 480 : side;
        found =
            cache.emplace(key, png ? EncodePng(width, height) : EncodeJpeg(width, height)).first;
    }
    return found->second;
}

struct MemoryReader {
    const Bytes* bytes;
    size_t position;
};

void ReadFromMemory(png_structp png, png_bytep data, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->position + length > reader->bytes->size()) {
        png_error(png, "short");
    }
    std::memcpy(data, reader->bytes->data() + reader->position, length);
    reader->position += length;
}

// libpng by itself: the same transforms the loader asks for, rows into one block.
void DecodePngDirectly(const Bytes& file, Bytes* pixels) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader = {&file, 0};
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    pixels->resize(rowBytes * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = pixels->data() + rowBytes * y;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

// libjpeg by itself: scanlines straight into one block.
void DecodeJpegDirectly(const Bytes& file, Bytes* pixels) {
    int width = 0;
    int height = 0;
    int components = 0;
    tessel_test::DecodeJpegInto(file, pixels, &width, &height, &components);
}

void DecodeThroughChain(const Bytes& file) {
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()));
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(), tessel::StreamHandleOf(memory));
    tessel::BASEIMAGE image;
    if (tessel::DecodeImageStream(&stream, &image) != 0) {
        std::abort();
    }
    benchmark::DoNotOptimize(image.pixels);
    tessel::ReleaseImageBuffer(&image);
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
}

// CPU time of this thread: a neighbour's load on a shared machine does not count.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void SetPixelRate(benchmark::State& state, int side) {
    double pixels = side == 640 ? 640.0 * 480.0 : double(side) * side;
    state.counters["Mpixels"] =
        benchmark::Counter(double(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
}

void Chain(benchmark::State& state, bool png) {
    int side = static_cast<int>(state.range(0));
    const Bytes& file = Encoded(png, side);
    for (auto _ : state) {
        DecodeThroughChain(file);
    }
    SetPixelRate(state, side);
}

// Each iteration decodes the file both ways, the order alternating, so that
// the two see the same machine; one iteration is a pair.
void ChainOverDirect(benchmark::State& state, bool png) {
    int side = static_cast<int>(state.range(0));
    const Bytes& file = Encoded(png, side);
    Bytes pixels;
    std::vector<double> chain, direct;
    bool chainFirst = false;
    auto timeChain = [&] {
        const double start = ThreadSeconds();
        DecodeThroughChain(file);
        chain.push_back(ThreadSeconds() - start);
    };
    auto timeDirect = [&] {
        const double start = ThreadSeconds();
        png ? DecodePngDirectly(file, &pixels) : DecodeJpegDirectly(file, &pixels);
        benchmark::DoNotOptimize(pixels.data());
        direct.push_back(ThreadSeconds() - start);
    };
    for (auto _ : state) {
        chainFirst = !chainFirst;
        if (chainFirst) {
            timeChain();
            timeDirect();
        } else {
            timeDirect();
            timeChain();
        }
    }
    const double chainMedian = Median(chain), directMedian = Median(direct);
    state.counters["chain_ms"] = chainMedian * 1e3;
    state.counters["direct_ms"] = directMedian * 1e3;
    state.counters["vs_direct"] = directMedian > 0 ? chainMedian / directMedian : 0.0;
}

void Direct(benchmark::State& state, bool png) {
    int side = static_cast<int>(state.range(0));
    const Bytes& file = Encoded(png, side);
    Bytes pixels;
    for (auto _ : state) {
        png ? DecodePngDirectly(file, &pixels) : DecodeJpegDirectly(file, &pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    SetPixelRate(state, side);
}

void BM_PngThroughChain(benchmark::State& state) {
    Chain(state, true);
}
void BM_PngLibpngDirect(benchmark::State& state) {
    Direct(state, true);
}
void BM_PngChainOverDirect(benchmark::State& state) {
    ChainOverDirect(state, true);
}
void BM_JpegThroughChain(benchmark::State& state) {
    Chain(state, false);
}
void BM_JpegLibjpegDirect(benchmark::State& state) {
    Direct(state, false);
}
void BM_JpegChainOverDirect(benchmark::State& state) {
    ChainOverDirect(state, false);
}

// Argument 640 is a 640 x 480 image; 2048 is 2048 x 2048.
BENCHMARK(BM_PngThroughChain)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpngDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngChainOverDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegThroughChain)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibjpegDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegChainOverDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    std::printf("\n%-48s %-24s\n", "chain over direct, thread CPU [spread]", "ratio");
    for (const char* format : {"Png", "Jpeg"}) {
        for (const char* side : {"640", "2048"}) {
            const std::string name = std::string("BM_") + format + "ChainOverDirect/" + side;
            benchspread::PrintRatioRow(name, r.Get(name, "vs_direct"));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
