// PNG and JPEG decoding through the loader chain against libpng and libjpeg
// called directly on the same bytes. The chain's benchmarks also report
// vs_direct: their time over the direct decoder's (the chain's overhead).
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <vector>

#include "images/image_loader.h"
#include "platform/kernel.h"
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

double Seconds() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

// The direct decoder's time per decode, measured once per input.
double DirectSeconds(bool png, int side) {
    static std::map<std::pair<bool, int>, double> cache;
    auto key = std::make_pair(png, side);
    auto found = cache.find(key);
    if (found != cache.end()) {
        return found->second;
    }
    const Bytes& file = Encoded(png, side);
    Bytes pixels;
    int runs = side == 640 ? 40 : 6;
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        double start = Seconds();
        png ? DecodePngDirectly(file, &pixels) : DecodeJpegDirectly(file, &pixels);
        best = std::min(best, Seconds() - start);
    }
    cache[key] = best;
    return best;
}

void SetPixelRate(benchmark::State& state, int side) {
    double pixels = side == 640 ? 640.0 * 480.0 : double(side) * side;
    state.counters["Mpixels"] =
        benchmark::Counter(double(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
}

void Chain(benchmark::State& state, bool png) {
    int side = static_cast<int>(state.range(0));
    const Bytes& file = Encoded(png, side);
    double direct = DirectSeconds(png, side);
    double best = 1e30;
    for (auto _ : state) {
        double start = Seconds();
        DecodeThroughChain(file);
        best = std::min(best, Seconds() - start);
    }
    SetPixelRate(state, side);
    state.counters["vs_direct"] = best / direct;  // best chain run over best direct run
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
void BM_JpegThroughChain(benchmark::State& state) {
    Chain(state, false);
}
void BM_JpegLibjpegDirect(benchmark::State& state) {
    Direct(state, false);
}

// Argument 640 is a 640 x 480 image; 2048 is 2048 x 2048.
BENCHMARK(BM_PngThroughChain)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpngDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegThroughChain)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibjpegDirect)->Arg(640)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
