// Small valid files of every image format and layout the loaders take, one
// or two of each, named "<format> <layout>": what the damaged-file tests cut
// and flip, and what the fuzz targets start from.
#pragma once

#include <vector>

#include "images/image_test_support.h"

namespace tessel_test {

// Rows of RGB (channels 3) or RGBA (4) bytes, a different colour at every pixel.
inline Bytes SmallRgb(int w, int h, int channels) {
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

struct ImageSample {
    const char* name;  // the format, a space, the layout
    Bytes file;
};

inline std::vector<ImageSample> SmallImageSamples() {
    std::vector<ImageSample> corpus;
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

}  // namespace tessel_test
