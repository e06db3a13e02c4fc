// The PNG and JPEG loaders over files libpng and libjpeg made here.
#include <gtest/gtest.h>

#include "images/image_loader.h"
#include "images/image_test_support.h"

namespace tessel_test {
namespace {

constexpr int kW = 5;
constexpr int kH = 3;

PngRecipe RgbPicture(int bitDepth, bool alpha) {
    PngRecipe recipe;
    recipe.width = kW;
    recipe.height = kH;
    recipe.bitDepth = bitDepth;
    recipe.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            uint32_t c = TestColour(x, y);
            uint8_t channels[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c),
                                   uint8_t(x * 50 + y)};
            for (int i = 0; i < (alpha ? 4 : 3); ++i) {
                recipe.rows.push_back(channels[i]);
                if (bitDepth == 16) {
                    recipe.rows.push_back(0x5A);  // low byte, stripped
                }
            }
        }
    }
    return recipe;
}

TEST(PngReader, TrueColourWithAndWithoutAlphaAndSixteenBitChannels) {
    struct Case {
        int bitDepth;
        bool alpha;
        bool interlaced;
    };
    for (Case c : {Case{8, false, false}, Case{16, false, false}, Case{8, true, false},
                   Case{16, true, false}, Case{8, false, true}}) {
        SCOPED_TRACE(testing::Message() << c.bitDepth << (c.alpha ? " RGBA" : " RGB")
                                        << (c.interlaced ? " interlaced" : ""));
        PngRecipe recipe = RgbPicture(c.bitDepth, c.alpha);
        recipe.interlaced = c.interlaced;
        Decoded d;
        Decode(MakePng(recipe), &d, tessel::ReadPngImage);
        ASSERT_EQ(d.result, 0);
        EXPECT_EQ(d.image.format.bits, c.alpha ? 32 : 24);
        EXPECT_EQ(d.image.pitch, kW * (c.alpha ? 4 : 3));
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                uint32_t expected = TestColour(x, y) | (c.alpha ? uint32_t(x * 50 + y) << 24 : 0);
                ASSERT_EQ(d.At(x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(PngReader, PaletteImagesKeepTheirIndicesUnlessTransparent) {
    PngRecipe recipe;
    recipe.width = kW;
    recipe.height = kH;
    recipe.bitDepth = 4;
    recipe.colorType = PNG_COLOR_TYPE_PALETTE;
    recipe.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    for (int y = 0; y < kH; ++y) {  // 5 pixels of 4 bits: 3 bytes a row
        uint8_t idx[6] = {};
        for (int x = 0; x < kW; ++x) {
            idx[x] = static_cast<uint8_t>((x + y) % 4);
        }
        for (int i = 0; i < 3; ++i) {
            recipe.rows.push_back(static_cast<uint8_t>(idx[i * 2] << 4 | idx[i * 2 + 1]));
        }
    }
    Decoded plain;
    Decode(MakePng(recipe), &plain, tessel::ReadPngImage);
    ASSERT_EQ(plain.result, 0);
    EXPECT_EQ(plain.image.format.bits, 8);
    EXPECT_EQ(plain.image.pitch, kW);
    EXPECT_EQ(plain.image.pixels[kW + 4], 1);  // (4, 1): index 5 % 4
    EXPECT_EQ(plain.image.format.palette[3].red, 10);
    EXPECT_EQ(plain.image.format.palette[3].blue, 30);
    EXPECT_EQ(plain.image.format.palette[3].alpha, 0);
    for (int i = 4; i < 256; ++i) {  // entries the file does not give are black
        ASSERT_EQ(plain.image.format.palette[i].red | plain.image.format.palette[i].green |
                      plain.image.format.palette[i].blue,
                  0);
    }

    recipe.transparency = {255, 128, 0};  // entry 3 stays opaque
    Decoded expanded;
    Decode(MakePng(recipe), &expanded, tessel::ReadPngImage);
    ASSERT_EQ(expanded.result, 0);
    EXPECT_EQ(expanded.image.format.bits, 32);
    EXPECT_EQ(expanded.At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(expanded.At(1, 0), 0x8000FF00u);
    EXPECT_EQ(expanded.At(2, 0), 0x000000FFu);
    EXPECT_EQ(expanded.At(3, 0), 0xFF0A141Eu);
}

TEST(PngReader, GreyImages) {
    // 2-bit grey: one byte per pixel, the grey ramp of Gray8.
    PngRecipe two;
    two.width = 4;
    two.height = 1;
    two.bitDepth = 2;
    two.colorType = PNG_COLOR_TYPE_GRAY;
    two.rows = {0x1B};  // 0 1 2 3
    Decoded a;
    Decode(MakePng(two), &a, tessel::ReadPngImage);
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(a.image.format.bits, 8);
    EXPECT_EQ(a.image.pitch, 4);
    EXPECT_EQ(a.image.pixels[1], 0x55);
    EXPECT_EQ(a.image.pixels[3], 0xFF);
    EXPECT_EQ(a.image.format.palette[0x55].green, 0x55);

    // Grey with alpha: 16 bits a pixel, the grey kept, the alpha dropped.
    PngRecipe ga;
    ga.width = 2;
    ga.height = 1;
    ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    ga.rows = {0x40, 0x11, 0xC0, 0xFF};
    Decoded b;
    Decode(MakePng(ga), &b, tessel::ReadPngImage);
    ASSERT_EQ(b.result, 0);
    EXPECT_EQ(b.image.format.bits, 16);
    EXPECT_EQ(b.image.format.alphaWidth, 0);
    EXPECT_EQ(b.image.format.unusedMask, 0xFF00u);
    EXPECT_EQ(b.At(0, 0), 0x404040u);
    EXPECT_EQ(b.At(1, 0), 0xC0C0C0u);

    // 16-bit grey is stripped to 8 bits.
    PngRecipe wide;
    wide.width = 2;
    wide.height = 1;
    wide.bitDepth = 16;
    wide.colorType = PNG_COLOR_TYPE_GRAY;
    wide.rows = {0x12, 0x34, 0xAB, 0xCD};
    Decoded c;
    Decode(MakePng(wide), &c, tessel::ReadPngImage);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.image.format.bits, 8);
    EXPECT_EQ(c.image.pixels[1], 0xAB);
}

TEST(PngReader, ShortOrForeignDataIsRefused) {
    Bytes file = MakePng(RgbPicture(8, false));
    Bytes cut(file.begin(), file.begin() + file.size() / 2);
    Decoded d;
    Decode(cut, &d, tessel::ReadPngImage);
    EXPECT_NE(d.result, 0);
    EXPECT_EQ(d.image.pixels, nullptr);
    Decoded bmp;
    Decode(Bytes{'B', 'M', 0, 0}, &bmp, tessel::ReadPngImage);
    EXPECT_NE(bmp.result, 0);
}

Bytes JpegPicture(int width, int height, int components) {
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = TestColour(x / 4, y / 4);
            if (components == 1) {
                pixels.push_back(static_cast<uint8_t>(c));
            } else {
                pixels.push_back(static_cast<uint8_t>(c >> 16));
                pixels.push_back(static_cast<uint8_t>(c >> 8));
                pixels.push_back(static_cast<uint8_t>(c));
            }
        }
    }
    return pixels;
}

TEST(JpegReader, DecodesAsLibjpegDoesWithChannelsAsBlueGreenRed) {
    for (int components : {1, 3}) {
        Bytes file = JpegPicture(21, 13, components);
        file = MakeJpeg(21, 13, components, file, 90);
        int w = 0, h = 0, n = 0;
        Bytes direct = DecodeJpegDirectly(file, &w, &h, &n);
        Decoded d;
        Decode(file, &d, tessel::ReadJpegImage);
        ASSERT_EQ(d.result, 0);
        EXPECT_EQ(d.image.width, 21);
        EXPECT_EQ(d.image.height, 13);
        EXPECT_EQ(d.image.pitch, 21 * components);  // not rounded
        EXPECT_EQ(d.image.format.bits, components * 8);
        for (int i = 0; i < 21 * 13; ++i) {
            const uint8_t* ours = d.image.pixels + i * components;
            const uint8_t* theirs = direct.data() + i * components;
            if (components == 1) {
                ASSERT_EQ(ours[0], theirs[0]) << i;
            } else {
                ASSERT_EQ(ours[0], theirs[2]) << i;
                ASSERT_EQ(ours[1], theirs[1]) << i;
                ASSERT_EQ(ours[2], theirs[0]) << i;
            }
        }
    }
}

// Our pixels (blue, green, red) against libjpeg's (red, green, blue).
void ExpectSameAsLibjpeg(const Bytes& file, int components) {
    int w = 0, h = 0, n = 0;
    Bytes direct = DecodeJpegDirectly(file, &w, &h, &n);
    Decoded d;
    Decode(file, &d, tessel::ReadJpegImage);
    ASSERT_EQ(d.result, 0);
    ASSERT_EQ(d.image.width, w);
    ASSERT_EQ(d.image.height, h);
    for (int i = 0; i < w * h; ++i) {
        const uint8_t* ours = d.image.pixels + i * components;
        const uint8_t* theirs = direct.data() + i * components;
        for (int c = 0; c < components; ++c) {
            ASSERT_EQ(ours[c], theirs[components - 1 - c]) << "pixel " << i << " channel " << c;
        }
    }
}

TEST(JpegReader, ACutFileDecodesAsLibjpegCompletesIt) {
    // Tall pictures, so that most rows lie far below where the data ends:
    // those are filled rather than decoded, and must come out the same.
    for (int components : {1, 3}) {
        Bytes file = MakeJpeg(40, 600, components, JpegPicture(40, 600, components), 85);
        // Cut within the scan's data, which starts behind its header.
        size_t scan = 0;
        while (scan + 1 < file.size() && !(file[scan] == 0xFF && file[scan + 1] == 0xDA)) {
            ++scan;
        }
        ASSERT_LT(scan + 20, file.size());
        for (size_t length = scan + 20; length < file.size(); length += file.size() / 23) {
            SCOPED_TRACE(testing::Message() << components << " components, cut to " << length);
            ExpectSameAsLibjpeg(Bytes(file.begin(), file.begin() + length), components);
        }
    }
}

TEST(JpegReader, ACutFileStillDecodesAndAnEmptyOneIsRefused) {
    Bytes file = MakeJpeg(64, 64, 3, JpegPicture(64, 64, 3), 80);
    Bytes cut(file.begin(), file.begin() + file.size() * 2 / 3);
    Decoded d;
    Decode(cut, &d, tessel::ReadJpegImage);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.image.width, 64);

    Decoded empty;
    Decode(Bytes{}, &empty, tessel::ReadJpegImage);
    EXPECT_NE(empty.result, 0);
    Decoded chain;
    Decode(Bytes{}, &chain);
    EXPECT_EQ(chain.result, -1);
}

}  // namespace
}  // namespace tessel_test
