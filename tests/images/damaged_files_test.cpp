// Damaged files of every format offered to the whole loader chain: every
// truncation of each small file and every byte flipped. Nothing may crash,
// read out of bounds or leak; whatever is taken must be a usable image.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "foundation/files/files_test_support.h"
#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/image_samples.h"
#include "images/image_test_support.h"
#include "images/peak_memory.h"

namespace tessel_test {
namespace {

// A taken image must be readable in full: every pixel of its first level.
void Exercise(const Bytes& file, const std::string& what) {
    Decoded d;
    Decode(file, &d);
    if (d.result != 0) {
        ASSERT_EQ(d.result, -1) << what;
        ASSERT_EQ(d.image.pixels, nullptr) << what;
        return;
    }
    ASSERT_NE(d.image.pixels, nullptr) << what;
    ASSERT_GT(d.image.width, 0) << what;
    ASSERT_GT(d.image.height, 0) << what;
    if (d.image.width * d.image.height > 1 << 16) {
        return;  // a damaged size that still fits the data; sampled below
    }
    uint32_t sum = 0;
    for (int y = 0; y < d.image.height; ++y) {
        for (int x = 0; x < d.image.width; ++x) {
            sum += d.At(x, y);
        }
    }
    (void)sum;
}

// The number of live tracked blocks, from the leak report in the log.
int LiveTrackedBlocks(const LogScope& log) {
    tessel::DumpTrackedBlocks();
    std::string text = log.Text();
    size_t at = text.rfind("Alloc num:");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 10);
}

TEST(DamagedFiles, EveryTruncationIsRefusedOrDecodes) {
    LogScope log;
    int before = LiveTrackedBlocks(log);
    ASSERT_GE(before, 0);
    for (const ImageSample& sample : SmallImageSamples()) {
        ASSERT_FALSE(sample.file.empty()) << sample.name;
        Decoded whole;
        Decode(sample.file, &whole);
        ASSERT_EQ(whole.result, 0) << sample.name;
        for (size_t length = 0; length < sample.file.size(); ++length) {
            Bytes cut(sample.file.begin(), sample.file.begin() + length);
            Exercise(cut, std::string(sample.name) + " cut to " + std::to_string(length));
        }
    }
    EXPECT_EQ(LiveTrackedBlocks(log), before);  // every refusal freed its blocks
}

TEST(DamagedFiles, EveryByteFlippedIsRefusedOrDecodes) {
    LogScope log;
    int before = LiveTrackedBlocks(log);
    ASSERT_GE(before, 0);
    for (const ImageSample& sample : SmallImageSamples()) {
        for (size_t i = 0; i < sample.file.size(); ++i) {
            for (uint8_t pattern : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x01}}) {
                Bytes flipped = sample.file;
                flipped[i] ^= pattern;
                Exercise(flipped, std::string(sample.name) + " byte " + std::to_string(i) + " ^ " +
                                      std::to_string(pattern));
            }
        }
    }
    EXPECT_EQ(LiveTrackedBlocks(log), before);
}

// How far decoding the file raises the peak of virtual memory.
int64_t PeakGrowthOfDecoding(const Bytes& file) {
    return PeakGrowthOf([&file] {
        Decoded d;
        Decode(file, &d);
    });
}

// A JPEG whose frame header claims other sides than its data holds.
Bytes JpegClaiming(int width, int height) {
    Bytes file = MakeJpeg(8, 8, 3, SmallRgb(8, 8, 3), 75);
    for (size_t i = 0; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 5] = uint8_t(height >> 8);
            file[i + 6] = uint8_t(height);
            file[i + 7] = uint8_t(width >> 8);
            file[i + 8] = uint8_t(width);
            break;
        }
    }
    return file;
}

// A PNG whose header chunk claims other sides, its checksum mended.
Bytes PngClaiming(uint32_t width, uint32_t height) {
    PngRecipe recipe;
    recipe.width = 2;
    recipe.height = 1;
    recipe.rows = SmallRgb(2, 1, 3);
    Bytes file = MakePng(recipe);
    const size_t ihdr = 12;  // after the signature and the chunk's length
    for (int i = 0; i < 4; ++i) {
        file[ihdr + 4 + i] = uint8_t(width >> (24 - 8 * i));
        file[ihdr + 8 + i] = uint8_t(height >> (24 - 8 * i));
    }
    const uint32_t crc = uint32_t(crc32(0, file.data() + ihdr, 4 + 13));
    for (int i = 0; i < 4; ++i) {
        file[ihdr + 17 + i] = uint8_t(crc >> (24 - 8 * i));
    }
    return file;
}

TEST(DamagedFiles, HeadersClaimingHugeImagesAreRefusedCheaply) {
    BmpRecipe bmp;
    bmp.width = 0x7FFFFFF0;
    bmp.height = 2;
    bmp.bits = 24;
    bmp.pixels.assign(16, 1);
    // Run-length data that ends at once, for 65536 x 32767 pixels.
    BmpRecipe runs;
    runs.width = 65536;
    runs.height = 32767;
    runs.bits = 8;
    runs.compression = 1;
    runs.pixels = {0, 1, 0, 0, 0, 0};
    // A compression value no loader knows, on a layout of 750 MB.
    BmpRecipe unknown;
    unknown.width = 16000;
    unknown.height = 15700;
    unknown.bits = 24;
    unknown.compression = 7;
    unknown.pixels.assign(17, 0);
    TgaRecipe tga;
    tga.width = 8192;
    tga.height = 8192;
    tga.pixelBits = 32;
    tga.data.assign(16, 1);
    DdsRecipe dds;
    dds.width = 0xFFFFFFF0;
    dds.height = 0xFFFFFFF0;
    dds.pixelFlags = 4;
    dds.fourCc = FourCcOf("DXT1");
    dds.data.assign(16, 1);
    Bytes bgra = {'B', 'G', 'R', 'A'};
    PutLe32(&bgra, 0x08080808);
    PutLe32(&bgra, 0x40000000);
    PutLe32(&bgra, 0x40000000);
    const std::pair<const char*, Bytes> files[] = {
        {"bmp wide", MakeBmp(bmp)},
        {"bmp run-length", MakeBmp(runs)},
        {"bmp unknown compression", MakeBmp(unknown)},
        {"tga", MakeTga(tga)},
        {"dds", MakeDds(dds)},
        {"bgra", bgra},
        {"jpeg", JpegClaiming(25000, 25000)},
        {"png", PngClaiming(20000, 20000)},
    };
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        EXPECT_LT(file.size(), 1000u);
        Decoded d;
        Decode(file, &d);
        EXPECT_EQ(d.result, -1);
        EXPECT_LT(PeakGrowthOfDecoding(file), int64_t{64} << 20);
    }
}

}  // namespace
}  // namespace tessel_test
