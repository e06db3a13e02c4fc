// The BMP loader over files made here: every bit depth, both row orders,
// run-length data, newer headers, and damaged data.
#include <gtest/gtest.h>

#include "foundation/files/files_test_support.h"
#include "images/image_loader.h"
#include "images/image_test_support.h"

namespace tessel_test {
namespace {

using tessel::BASEIMAGE;

constexpr int kW = 5;  // odd, so that rows are padded
constexpr int kH = 3;

const std::vector<uint32_t> kPalette16 = {
    0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    0x101010, 0x202020, 0x303030, 0x404040, 0x505050, 0x606060, 0x707070, 0x808080};

int IndexAt(int x, int y, int entries) {
    return (x * 3 + y * 7) % entries;
}

uint32_t Widen(uint32_t v, int width) {
    uint32_t result = 0;
    int bits = 0;
    while (bits < 8) {
        result = (result << width) | v;
        bits += width;
    }
    return result >> (bits - 8);
}

// Every palette index of the decoded rows (pitch bytes apart) against the
// expected rows.
template <int kRows, int kColumns>
void ExpectIndexRows(const Decoded& d, int pitch, const uint8_t (&expected)[kRows][kColumns]) {
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kColumns; ++x) {
            EXPECT_EQ(d.image.pixels[y * pitch + x], expected[y][x]) << x << "," << y;
        }
    }
}

// One stored pixel of the test picture (5-5-5 and 5-6-5 take the colour's top bits).
uint32_t StoredValue(int bits, uint32_t compression, int x, int y) {
    uint32_t c = TestColour(x, y);
    uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
    if (bits == 16 && compression == 3) {
        return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    }
    if (bits == 16) {
        return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    }
    if (bits == 32 && compression == 3) {  // masks red 0xFF, green 0xFF00, blue 0xFF0000
        return b << 16 | g << 8 | r;
    }
    return c | uint32_t((x + y * 9) & 0xFF) << 24;  // alpha byte for 32 bits
}

// The colour the loader must give back for that pixel.
uint32_t ExpectedRgb(int bits, uint32_t compression, int x, int y) {
    uint32_t v = StoredValue(bits, compression, x, y);
    if (bits <= 8) {
        return kPalette16[IndexAt(x, y, bits == 1 ? 2 : 16)];
    }
    if (bits == 16 && compression == 3) {
        return Widen(v >> 11, 5) << 16 | Widen((v >> 5) & 63, 6) << 8 | Widen(v & 31, 5);
    }
    if (bits == 16) {
        return Widen(v >> 10, 5) << 16 | Widen((v >> 5) & 31, 5) << 8 | Widen(v & 31, 5);
    }
    return TestColour(x, y);
}

BmpRecipe PictureBmp(int bits, uint32_t compression, bool topDown) {
    BmpRecipe recipe;
    recipe.width = kW;
    recipe.height = topDown ? -kH : kH;
    recipe.bits = bits;
    recipe.compression = compression;
    if (bits <= 8) {
        recipe.table.assign(kPalette16.begin(), kPalette16.begin() + (bits == 1 ? 2 : 16));
    } else if (compression == 3) {
        recipe.table = bits == 16 ? std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}
                                  : std::vector<uint32_t>{0xFF, 0xFF00, 0xFF0000};
    }
    int rowBytes = ((bits * kW + 7) / 8 + 3) & ~3;
    recipe.pixels.assign(size_t(rowBytes) * kH, 0);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = recipe.pixels.data() + rowBytes * (topDown ? y : kH - 1 - y);
        for (int x = 0; x < kW; ++x) {
            if (bits <= 8) {
                int index = IndexAt(x, y, bits == 1 ? 2 : 16);
                int bit = x * bits;
                row[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
                continue;
            }
            uint32_t v = StoredValue(bits, compression, x, y);
            for (int i = 0; i < bits / 8; ++i) {
                row[x * (bits / 8) + i] = static_cast<uint8_t>(v >> (8 * i));
            }
        }
    }
    return recipe;
}

struct DepthCase {
    int bits;
    uint32_t compression;
    int formatBits;  // of the loaded image
};

TEST(BmpReader, EveryDepthInBothRowOrdersGivesThePicture) {
    const DepthCase cases[] = {
        {1, 0, 24},  {4, 0, 8},   {8, 0, 8},   {16, 0, 24},
        {16, 3, 24}, {24, 0, 24}, {32, 0, 32}, {32, 3, 24},
    };
    for (const DepthCase& c : cases) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression
                                            << (topDown ? ", top-down" : ", bottom-up"));
            Decoded d;
            Decode(MakeBmp(PictureBmp(c.bits, c.compression, topDown)), &d, tessel::ReadBmpImage);
            ASSERT_EQ(d.result, 0);
            EXPECT_EQ(d.image.width, kW);
            EXPECT_EQ(d.image.height, kH);
            EXPECT_EQ(d.image.format.bits, c.formatBits);
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; ++x) {
                    ASSERT_EQ(d.Rgb(x, y), ExpectedRgb(c.bits, c.compression, x, y))
                        << x << "," << y;
                }
            }
            if (c.formatBits == 8) {
                EXPECT_EQ(d.image.format.palette[1].red, 0xFF);
                EXPECT_EQ(d.image.format.palette[7].alpha, 0);
            }
            if (c.formatBits == 32) {  // the fourth byte is alpha
                EXPECT_EQ(d.At(2, 1) >> 24, uint32_t((2 + 9) & 0xFF));
                EXPECT_EQ(d.image.format.alphaMask, 0xFF000000u);
            }
        }
    }
}

TEST(BmpReader, PitchesAreTheRowLengthsUsed) {
    Decoded eight, four, gdi;
    Decode(MakeBmp(PictureBmp(8, 0, false)), &eight, tessel::ReadBmpImage);
    Decode(MakeBmp(PictureBmp(4, 0, false)), &four, tessel::ReadBmpImage);
    Decode(MakeBmp(PictureBmp(16, 0, false)), &gdi, tessel::ReadBmpImage);
    EXPECT_EQ(eight.image.pitch, 8);
    EXPECT_EQ(four.image.pitch, 8);
    EXPECT_EQ(gdi.image.pitch, 16);  // 15 bytes of 24-bit pixels, rounded up
}

TEST(BmpReader, PaletteFollowsVersionFourAndFiveHeaders) {
    for (uint32_t headerSize : {108u, 124u}) {
        BmpRecipe recipe = PictureBmp(8, 0, false);
        recipe.headerSize = headerSize;
        Decoded d;
        Decode(MakeBmp(recipe), &d, tessel::ReadBmpImage);
        ASSERT_EQ(d.result, 0) << headerSize;
        EXPECT_EQ(d.Rgb(1, 0), ExpectedRgb(8, 0, 1, 0));
        EXPECT_EQ(d.Rgb(4, 2), ExpectedRgb(8, 0, 4, 2));
    }
}

// 8-bit run-length data: runs, a padded odd literal, a delta, line ends.
TEST(BmpReader, EightBitRunLengthDataFollowsItsCodes) {
    BmpRecipe recipe;
    recipe.width = 6;
    recipe.height = 3;  // bottom-up: the first line decoded is the bottom row
    recipe.bits = 8;
    recipe.compression = 1;
    recipe.table = kPalette16;
    recipe.pixels = {
        3, 1, 0, 3, 2, 3, 4, 0,  // bottom: 1 1 1, literal 2 3 4 (+pad)
        0, 0,                    // end of line
        2, 5, 0, 2, 2, 1,        // middle: 5 5, move right 2 and down 1
        1, 6, 0, 1,              // top at x 4: 6, end of bitmap
    };
    Decoded d;
    Decode(MakeBmp(recipe), &d, tessel::ReadBmpImage);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.pitch, 8);
    const uint8_t expected[3][6] = {{0, 0, 0, 0, 6, 0}, {5, 5, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 4}};
    ExpectIndexRows(d, 8, expected);
    EXPECT_EQ(d.image.format.palette[6].blue, 0xFF);
    EXPECT_EQ(d.image.format.palette[6].alpha, 0);
}

TEST(BmpReader, FourBitRunLengthDataAlternatesNibbles) {
    BmpRecipe recipe;
    recipe.width = 7;
    recipe.height = -2;  // top-down
    recipe.bits = 4;
    recipe.compression = 2;
    recipe.table = kPalette16;
    recipe.pixels = {
        5, 0x12, 0,    0,     // top: 1 2 1 2 1
        0, 3,    0x34, 0x50,  // bottom: literal 3 4 5 (2 bytes, even)
        2, 0x77, 0,    1,     // 7 7, end
    };
    Decoded d;
    Decode(MakeBmp(recipe), &d, tessel::ReadBmpImage);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.pitch, 8);
    const uint8_t expected[2][7] = {{1, 2, 1, 2, 1, 0, 0}, {3, 4, 5, 7, 7, 0, 0}};
    ExpectIndexRows(d, 8, expected);
    EXPECT_EQ(d.image.format.palette[15].red, 0x80);
    EXPECT_EQ(d.image.format.palette[16].red, 0);
}

TEST(BmpReader, RunLengthDataStopsAtTheImageEnd) {
    BmpRecipe recipe;
    recipe.width = 4;
    recipe.height = 2;
    recipe.bits = 8;
    recipe.compression = 1;
    recipe.table = kPalette16;
    // A run far wider than a row, a delta far below the image, a literal
    // that claims more bytes than there are.
    recipe.pixels = {255, 9, 0, 0, 255, 8, 0, 2, 200, 200, 3, 3, 0, 40, 1, 2};
    Decoded d;
    Decode(MakeBmp(recipe), &d, tessel::ReadBmpImage);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.pixels[4], 9);  // bottom row (stored second)
    EXPECT_EQ(d.image.pixels[0], 8);
    EXPECT_EQ(d.image.pixels[7], 9);
}

TEST(BmpReader, RefusesWhatIsNotABitmapOrIsCut) {
    Bytes good = MakeBmp(PictureBmp(24, 0, false));
    Bytes notBm = good;
    notBm[1] = 'A';
    Bytes cut(good.begin(), good.end() - 1);
    Bytes coreHeader = good;
    coreHeader[14] = 12;
    Bytes badBits = good;
    badBits[28] = 7;
    Bytes rleWrongDepth = MakeBmp(PictureBmp(4, 0, false));
    rleWrongDepth[30] = 1;
    BmpRecipe twoBit = PictureBmp(4, 0, false);  // GDI draws no 2-bit bitmaps either
    twoBit.bits = 2;
    Bytes twoBitFile = MakeBmp(twoBit);
    Bytes offsetPastEnd = good;
    offsetPastEnd[10] = 0xFF;
    offsetPastEnd[11] = 0xFF;
    for (const Bytes* file :
         {&notBm, &cut, &coreHeader, &badBits, &rleWrongDepth, &twoBitFile, &offsetPastEnd}) {
        Decoded d;
        Decode(*file, &d, tessel::ReadBmpImage);
        EXPECT_NE(d.result, 0);
        EXPECT_EQ(d.image.pixels, nullptr);
    }
}

}  // namespace
}  // namespace tessel_test
