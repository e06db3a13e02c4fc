// Damaged files of every format offered to the whole loader chain: every
// truncation of each small file and every byte flipped. Nothing may crash,
// read out of bounds or leak; whatever is taken must be a usable image.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>
#include <string>

#include "foundation/files/files_test_support.h"
#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/image_test_support.h"

namespace tessel_test {
namespace {

Bytes SmallRgb(int w, int h, int channels) {
    Bytes out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = TestColour(x, y);
            out.push_back(uint8_t(c >> 16));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c));
            if (channels == 4) {
                out.push_back(uint8_t(x * 9));
            }
        }
    }
    return out;
}

struct Sample {
    const char* name;
    Bytes file;
};

std::vector<Sample> Corpus() {
    std::vector<Sample> corpus;
    BmpRecipe bmp8;
    bmp8.width = 3;
    bmp8.height = 2;
    bmp8.bits = 8;
    bmp8.table = {0x112233, 0x445566, 0x778899};
    bmp8.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
    corpus.push_back({"bmp 8", MakeBmp(bmp8)});
    BmpRecipe rle8 = bmp8;
    rle8.compression = 1;
    rle8.pixels = {2, 1, 0, 3, 1, 2, 0, 0, 0, 0, 0, 2, 1, 0, 3, 2, 0, 1};
    corpus.push_back({"bmp rle8", MakeBmp(rle8)});
    BmpRecipe rle4 = bmp8;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.pixels = {3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1};
    corpus.push_back({"bmp rle4", MakeBmp(rle4)});
    BmpRecipe bmp16;
    bmp16.width = 2;
    bmp16.height = -2;
    bmp16.bits = 16;
    bmp16.compression = 3;
    bmp16.table = {0xF800, 0x7E0, 0x1F};
    bmp16.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    corpus.push_back({"bmp 16 fields", MakeBmp(bmp16)});
    // Pixels with every bit set: a mask damaged into more than one run of
    // bits must not index past the channel tables.
    BmpRecipe fields16 = bmp16;
    fields16.pixels.assign(8, 0xFF);
    corpus.push_back({"bmp 16 fields, high bits", MakeBmp(fields16)});
    BmpRecipe fields32 = bmp16;
    fields32.bits = 32;
    fields32.table = {0xFF0000, 0xFF00, 0xFF};
    fields32.pixels.assign(16, 0xFF);
    corpus.push_back({"bmp 32 fields, high bits", MakeBmp(fields32)});
    BmpRecipe bmp1;
    bmp1.width = 9;
    bmp1.height = 2;
    bmp1.bits = 1;
    bmp1.table = {0, 0xFFFFFF};
    bmp1.pixels = {0xA5, 0x80, 0, 0, 0x5A, 0, 0, 0};
    corpus.push_back({"bmp 1", MakeBmp(bmp1)});

    TgaRecipe tga;
    tga.type = 9;
    tga.width = 3;
    tga.height = 2;
    tga.pixelBits = 8;
    tga.mapLength = 3;
    tga.mapBits = 24;
    tga.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    tga.data = {0x81, 1, 0x03, 0, 1, 2, 0};
    tga.footer = true;
    corpus.push_back({"tga mapped rle", MakeTga(tga)});
    TgaRecipe tga16;
    tga16.type = 10;
    tga16.width = 2;
    tga16.height = 2;
    tga16.pixelBits = 16;
    tga16.descriptor = 0x10;
    tga16.data = {0x83, 0x34, 0x12};
    corpus.push_back({"tga 16 rle", MakeTga(tga16)});

    corpus.push_back({"dds dxt5", MakeDds(LevelledDxt("DXT5", 8, 4, 64 + 16 + 16 + 16, 0x6C))});
    DdsRecipe plain;
    plain.width = 3;
    plain.height = 2;
    plain.pixelFlags = 0x41;
    plain.rgbBits = 16;
    plain.masks[0] = 0xF00;
    plain.masks[1] = 0xF0;
    plain.masks[2] = 0xF;
    plain.masks[3] = 0xF000;
    plain.data.assign(12, 0x9A);
    corpus.push_back({"dds 4444", MakeDds(plain)});

    Bytes bgra = {'B', 'G', 'R', 'A'};
    PutLe32(&bgra, 0x10101010);
    PutLe32(&bgra, 2);
    PutLe32(&bgra, 1);
    bgra.resize(bgra.size() + 16, 0x44);
    corpus.push_back({"bgra 16", bgra});

    PngRecipe palette;
    palette.width = 3;
    palette.height = 2;
    palette.bitDepth = 2;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    palette.transparency = {0, 128};
    palette.rows = {0x24, 0x90};
    corpus.push_back({"png palette trns", MakePng(palette)});
    PngRecipe rgba;
    rgba.width = 4;
    rgba.height = 3;
    rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba.interlaced = true;
    rgba.rows = SmallRgb(4, 3, 4);
    corpus.push_back({"png rgba interlaced", MakePng(rgba)});

    corpus.push_back({"jpeg colour", MakeJpeg(8, 8, 3, SmallRgb(8, 8, 3), 75)});
    Bytes grey(16 * 8);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = uint8_t(i * 3);
    }
    corpus.push_back({"jpeg grey", MakeJpeg(16, 8, 1, grey, 50)});
    return corpus;
}

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
    for (const Sample& sample : Corpus()) {
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
    for (const Sample& sample : Corpus()) {
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

// The process's peak of virtual memory: an allocation the size a header
// claims shows here even when its pages are never touched.
int64_t PeakVirtualBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmPeak:", 0) == 0) {
            return std::atoll(line.c_str() + 7) * 1024;
        }
    }
    return -1;
}

// How far decoding the file raises the peak, measured in a child process
// whose peak starts where the test stands now.
int64_t PeakGrowthOfDecoding(const Bytes& file) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const int64_t before = PeakVirtualBytes();
        Decoded d;
        Decode(file, &d);
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
