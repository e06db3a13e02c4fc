// Writes the seed corpus of every fuzz target: small valid files of each
// layout the loaders take, made by the test fixtures' recipes and by our own
// writers and packers. Run once after a loader learns a new layout, and keep
// what it writes under tests/fuzz/corpus/.
//
//   fuzz_make_seeds CORPUS_ROOT
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files/archive.h"
#include "foundation/files/files_test_support.h"
#include "images/image_test_support.h"
#include "images/image_writer.h"
#include "platform/kernel/files.h"
#include "tools/archive_test_support.h"
#include "tools/lib/lz_compress.h"
#include "tools/lib/sample_data.h"

namespace {

using tessel_test::Bytes;

std::string corpusRoot;
int written = 0;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::string dir = corpusRoot + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE* file = std::fopen((dir + "/" + name).c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ++written;
}

Bytes FromString(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Rgb(int w, int h, int channels) {
    Bytes out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = tessel_test::TestColour(x, y);
            out.push_back(uint8_t(c >> 16));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c));
            if (channels == 4) {
                out.push_back(uint8_t(x * 29 + y));
            }
        }
    }
    return out;
}

// An image seed goes to its loader's target and to the chain's.
void PutImage(const std::string& format, const std::string& name, const Bytes& bytes) {
    Put("image_" + format, name, bytes);
    Put("image_chain", format + "_" + name, bytes);
}

void BmpSeeds() {
    using tessel_test::BmpRecipe;
    BmpRecipe pal8;
    pal8.width = 3;
    pal8.height = 2;
    pal8.bits = 8;
    pal8.table = {0x112233, 0x445566, 0x778899};
    pal8.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
    PutImage("bmp", "pal8", MakeBmp(pal8));
    BmpRecipe rle8 = pal8;
    rle8.compression = 1;
    rle8.pixels = {2, 1, 0, 3, 1, 2, 0, 0, 0, 0, 0, 2, 1, 0, 3, 2, 0, 1};
    PutImage("bmp", "rle8", MakeBmp(rle8));
    BmpRecipe rle4 = pal8;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.pixels = {3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1};
    PutImage("bmp", "rle4", MakeBmp(rle4));
    BmpRecipe pal1;
    pal1.width = 9;
    pal1.height = 2;
    pal1.bits = 1;
    pal1.table = {0, 0xFFFFFF};
    pal1.pixels = {0xA5, 0x80, 0, 0, 0x5A, 0, 0, 0};
    PutImage("bmp", "pal1", MakeBmp(pal1));
    BmpRecipe fields16;
    fields16.width = 2;
    fields16.height = -2;
    fields16.bits = 16;
    fields16.compression = 3;
    fields16.table = {0xF800, 0x7E0, 0x1F};
    fields16.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    PutImage("bmp", "fields16_topdown", MakeBmp(fields16));
    BmpRecipe fields32;
    fields32.width = 2;
    fields32.height = 1;
    fields32.bits = 32;
    fields32.compression = 3;
    fields32.headerSize = 108;
    fields32.table = {0xFF0000, 0xFF00, 0xFF};
    fields32.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    PutImage("bmp", "fields32_v4", MakeBmp(fields32));
}

void TgaSeeds() {
    using tessel_test::TgaRecipe;
    TgaRecipe mapped;
    mapped.type = 9;
    mapped.width = 3;
    mapped.height = 2;
    mapped.pixelBits = 8;
    mapped.mapLength = 3;
    mapped.mapBits = 24;
    mapped.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    mapped.data = {0x81, 1, 0x03, 0, 1, 2, 0};
    mapped.footer = true;
    PutImage("tga", "mapped_rle", MakeTga(mapped));
    TgaRecipe rle16;
    rle16.type = 10;
    rle16.width = 2;
    rle16.height = 2;
    rle16.pixelBits = 16;
    rle16.descriptor = 0x10;
    rle16.data = {0x83, 0x34, 0x12};
    PutImage("tga", "rle16", MakeTga(rle16));
    TgaRecipe true32;
    true32.width = 2;
    true32.height = 2;
    true32.pixelBits = 32;
    true32.descriptor = 0x28;
    true32.id = {'i', 'd'};
    true32.data = Rgb(2, 2, 4);
    PutImage("tga", "true32", MakeTga(true32));
    TgaRecipe grey;
    grey.type = 3;
    grey.width = 3;
    grey.height = 1;
    grey.pixelBits = 8;
    grey.descriptor = 0;
    grey.data = {10, 128, 250};
    PutImage("tga", "grey", MakeTga(grey));
}

void DdsSeeds() {
    using tessel_test::DdsRecipe;
    DdsRecipe dxt5;
    dxt5.width = 8;
    dxt5.height = 8;
    dxt5.flags |= 0x20000;
    dxt5.caps |= 0x400008;
    dxt5.mipCount = 4;
    dxt5.pixelFlags = 4;
    dxt5.fourCc = tessel_test::FourCcOf("DXT5");
    dxt5.data.assign(64 + 16 + 16 + 16, 0x6C);
    PutImage("dds", "dxt5_mips", MakeDds(dxt5));
    DdsRecipe dxt1;
    dxt1.width = 5;
    dxt1.height = 3;
    dxt1.pixelFlags = 4;
    dxt1.fourCc = tessel_test::FourCcOf("DXT1");
    dxt1.data = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, 0x93,
                 0xFF, 0xFF, 0x00, 0x00, 0x55, 0xAA, 0x55, 0xAA};
    PutImage("dds", "dxt1", MakeDds(dxt1));
    DdsRecipe argb4;
    argb4.width = 3;
    argb4.height = 2;
    argb4.pixelFlags = 0x41;
    argb4.rgbBits = 16;
    argb4.masks[0] = 0xF00;
    argb4.masks[1] = 0xF0;
    argb4.masks[2] = 0xF;
    argb4.masks[3] = 0xF000;
    argb4.data.assign(12, 0x9A);
    PutImage("dds", "argb4444", MakeDds(argb4));
    DdsRecipe code;
    code.width = 2;
    code.height = 2;
    code.flags |= 0x8;
    code.pitch = 12;
    code.pixelFlags = 4;
    code.fourCc = 20;  // 24-bit by format code
    code.data = Rgb(4, 2, 3);
    PutImage("dds", "format_code_pitch", MakeDds(code));
}

void BgraSeeds() {
    for (uint32_t channels : {0x08080808u, 0x10101010u}) {
        Bytes bgra = {'B', 'G', 'R', 'A'};
        tessel_test::PutLe32(&bgra, channels);
        tessel_test::PutLe32(&bgra, 3);
        tessel_test::PutLe32(&bgra, 2);
        const Bytes pixels = Rgb(3, 2, 4);
        for (uint8_t byte : pixels) {
            if (channels == 0x10101010u) {
                bgra.push_back(0x5A);
            }
            bgra.push_back(byte);
        }
        PutImage("bgra", channels == 0x08080808u ? "channels8" : "channels16", bgra);
    }
}

void PngSeeds() {
    using tessel_test::PngRecipe;
    PngRecipe palette;
    palette.width = 3;
    palette.height = 2;
    palette.bitDepth = 2;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    palette.transparency = {0, 128};
    palette.rows = {0x24, 0x90};
    PutImage("png", "palette_trns", MakePng(palette));
    PngRecipe rgba;
    rgba.width = 4;
    rgba.height = 3;
    rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba.interlaced = true;
    rgba.rows = Rgb(4, 3, 4);
    PutImage("png", "rgba_interlaced", MakePng(rgba));
    PngRecipe grey16;
    grey16.width = 2;
    grey16.height = 2;
    grey16.bitDepth = 16;
    grey16.colorType = PNG_COLOR_TYPE_GRAY;
    grey16.greyTransparency = true;
    grey16.rows = {0, 0, 0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF};
    PutImage("png", "grey16_trns", MakePng(grey16));
    PngRecipe greyAlpha;
    greyAlpha.width = 2;
    greyAlpha.height = 1;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {10, 200, 240, 30};
    PutImage("png", "grey_alpha", MakePng(greyAlpha));
}

void JpegSeeds() {
    PutImage("jpeg", "colour", tessel_test::MakeJpeg(8, 8, 3, Rgb(8, 8, 3), 75));
    Bytes grey(16 * 8);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = uint8_t(i * 3);
    }
    PutImage("jpeg", "grey", tessel_test::MakeJpeg(16, 8, 1, grey, 50));
}

// The library's own writers, over one small picture with alpha.
void WrittenImageSeeds() {
    tessel::BASEIMAGE image = {};
    if (tessel::CreateArgbImageBuffer(5, 3, &image) != 0) {
        return;
    }
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint32_t c = tessel_test::TestColour(x, y);
            tessel::WriteImagePixel(&image, x, y, c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF, x * 50);
        }
    }
    const std::string scratch = corpusRoot + "/written.tmp";
    const std::string windows = platform::WindowsPathFromLinux(scratch);
    struct Writer {
        const char* format;
        int (*write)(const char* path, tessel::BASEIMAGE* image);
    };
    const Writer writers[] = {
        {"bmp", [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsBmp(p, i); }},
        {"png",
         [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsPng(p, i, 6); }},
        {"jpeg",
         [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsJpeg(p, i, 80); }},
    };
    for (const Writer& writer : writers) {
        if (writer.write(windows.c_str(), &image) == 0) {
            const std::string bytes = tessel_test::ReadWholeFile(scratch);
            PutImage(writer.format, "written", FromString(bytes));
        }
        std::remove(scratch.c_str());
    }
    tessel::ReleaseImageBuffer(&image);
}

void ArchiveSeeds() {
    tessel_test::FileTree tree;
    tree["a.txt"] = tessel_test::RepeatingBytes(300);
    tree["d\\b.bin"] = tessel_test::NoiseBytes(40, 1);
    tree["d\\e\\c.txt"] = "";
    tree["データ\\表.csv"] = "a,b\r\n1,2\r\n";
    struct Variant {
        const char* name;
        uint16_t version;
        bool compress;
        bool secondKey;
    };
    const Variant variants[] = {
        {"v4_packed", 4, true, false},    {"v4_stored", 4, false, false},
        {"v2_packed", 2, true, false},    {"v0", 0, false, false},
        {"v4_second_key", 4, true, true},
    };
    for (const Variant& v : variants) {
        tessel::ArchivePackOptions options;
        options.version = v.version;
        options.compress = v.compress;
        options.secondKey = v.secondKey;
        const Bytes bytes = tessel_test::BuildArchive(tree, options);
        for (const char* target : {"archive_memory", "archive_streamed", "archive_whole"}) {
            Put(target, v.name, bytes);
        }
    }
}

void LzSeeds() {
    struct Source {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Source sources[] = {
        {"text", tessel::MakeSampleText(600, 3)},
        {"image", tessel::MakeSampleImage(12, 8, 5)},
        {"noise", tessel::MakeRandomBytes(64, 9)},
        {"runs", std::vector<uint8_t>(300, 0xAB)},
        {"empty", {}},
    };
    for (const Source& source : sources) {
        for (int level : {1, 9}) {
            Bytes block;
            if (tessel::LzCompress(source.bytes.data(), source.bytes.size(), &block, level) == 0) {
                Put("lz_block", std::string(source.name) + "_level" + std::to_string(level), block);
            }
        }
    }
}

void CodePageSeeds() {
    // Byte 0 picks the code page (index into the target's table), byte 1 the
    // flags; the rest is text.
    struct Seed {
        const char* name;
        uint8_t page;
        uint8_t flags;
        std::string text;
    };
    const Seed seeds[] = {
        {"cp932", 2, 0, "表示\x81\x40ソ能ｱ abc"},
        {"cp932_strict_terminated", 2, 5, "データ\x81"},
        {"cp936", 3, 8, "\xC4\xE3\xBA\xC3 x"},
        {"cp949", 4, 2, "\xC7\xD1\xB1\xB9"},
        {"cp950", 5, 0, "\xA4\xA4\xA4\xE5"},
        {"utf8", 6, 1, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"utf16_surrogates", 7, 8, std::string("\x3D\xD8\x00\xDE\x00\xD8\x41\x00", 8)},
        {"cp1252", 7, 0, "na\xEFve"},
        {"unknown_page", 8, 0, "x"},
    };
    for (const Seed& seed : seeds) {
        Bytes bytes = {seed.page, seed.flags};
        bytes.insert(bytes.end(), seed.text.begin(), seed.text.end());
        Put("codepage", seed.name, bytes);
    }
}

void ConfigSeeds() {
    Put("config_word", "empty", {});
    Put("config_word", "short", {2});
    Put("config_word", "window_960", {1, 0, 0, 0x0A});
    Put("config_word", "full_1280_16bit", {2, 1, 1, 0x0F});
    Put("config_word", "long", {0, 2, 0, 0xF3, 0x55});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_ROOT\n");
        return 2;
    }
    corpusRoot = argv[1];
    mkdir(corpusRoot.c_str(), 0755);
    BmpSeeds();
    TgaSeeds();
    DdsSeeds();
    BgraSeeds();
    PngSeeds();
    JpegSeeds();
    WrittenImageSeeds();
    ArchiveSeeds();
    LzSeeds();
    CodePageSeeds();
    ConfigSeeds();
    std::printf("%d seeds written under %s\n", written, corpusRoot.c_str());
    return 0;
}
