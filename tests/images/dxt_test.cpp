// DXT block decoding, bit for bit against the formulas.
#include "images/dxt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/memory/memory.h"

namespace tessel {
namespace {

uint16_t Pack565(int r5, int g6, int b5) {
    return static_cast<uint16_t>((r5 << 11) | (g6 << 5) | b5);
}

// A colour half: two endpoints and one 2-bit code per pixel (row by row).
std::vector<uint8_t> ColorHalf(uint16_t c0, uint16_t c1, const int codes[16]) {
    uint32_t bits = 0;
    for (int k = 0; k < 16; ++k) {
        bits |= uint32_t(codes[k]) << (2 * k);
    }
    return {uint8_t(c0),   uint8_t(c0 >> 8),   uint8_t(c1),         uint8_t(c1 >> 8),
            uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
}

std::vector<uint8_t> ExplicitAlphaHalf(const int nibbles[16]) {
    std::vector<uint8_t> half(8);
    for (int k = 0; k < 16; ++k) {
        half[k / 2] |= uint8_t(nibbles[k] << (4 * (k % 2)));
    }
    return half;
}

std::vector<uint8_t> InterpolatedAlphaHalf(int a0, int a1, const int codes[16]) {
    uint64_t bits = 0;
    for (int k = 0; k < 16; ++k) {
        bits |= uint64_t(codes[k]) << (3 * k);
    }
    std::vector<uint8_t> half = {uint8_t(a0), uint8_t(a1)};
    for (int k = 0; k < 6; ++k) {
        half.push_back(uint8_t(bits >> (8 * k)));
    }
    return half;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A compressed image over a copy of the given block bytes.
BASEIMAGE Compressed(uint32_t kind, int width, int height, const std::vector<uint8_t>& data) {
    BASEIMAGE image;
    std::memset(&image, 0, sizeof(image));
    SetPixelFormatArgb32(&image.format);
    image.format.bits = kind == kPixelsDxt1 ? 4 : 8;
    image.format.compressedKind = kind;
    image.width = width;
    image.height = height;
    image.pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(data.size()), __FILE__, __LINE__));
    std::memcpy(image.pixels, data.data(), data.size());
    return image;
}

struct Argb {
    int a, r, g, b;
    bool operator==(const Argb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Argb& c) {
    return out << "(a" << c.a << " r" << c.r << " g" << c.g << " b" << c.b << ")";
}

Argb PixelAt(const BASEIMAGE& image, int x, int y) {
    const uint8_t* p = image.pixels + y * image.pitch + x * 4;
    return Argb{p[3], p[2], p[1], p[0]};
}

const int kAllCodes[16] = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1, 2, 2, 3, 3};

TEST(Dxt, Dxt1FourColourTable) {
    // Red 16, green 32, blue 16 widens to (131, 129, 131); white to 255s.
    uint16_t c0 = 0xFFFF, c1 = Pack565(16, 32, 16);
    BASEIMAGE image = Compressed(kPixelsDxt1, 4, 4, ColorHalf(c0, c1, kAllCodes));
    image.mipCount = 3;
    ASSERT_EQ(DecodeDxtImage(&image), 0);
    EXPECT_EQ(image.mipCount, 0) << "the expanded block holds the first level only";
    const Argb table[4] = {{255, 255, 255, 255},
                           {255, 131, 129, 131},
                           {255, (2 * 255 + 131) / 3, (2 * 255 + 129) / 3, (2 * 255 + 131) / 3},
                           {255, (255 + 2 * 131) / 3, (255 + 2 * 129) / 3, (255 + 2 * 131) / 3}};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(PixelAt(image, k % 4, k / 4), table[kAllCodes[k]]) << k;
    }
    EXPECT_EQ(image.format.compressedKind, 0u);
    EXPECT_EQ(image.format.bits, 32);
    EXPECT_EQ(image.format.bytes, 4);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.format.alphaWidth, 8);
    EXPECT_EQ(image.format.unusedMask, 0u);
    EXPECT_EQ(image.pitch, 16);
    ReleaseImageBuffer(&image);
}

TEST(Dxt, Dxt1ThreeColourTableWhenEndpointsDoNotDescend) {
    for (auto [c0, c1] : {std::pair{Pack565(10, 20, 30), Pack565(10, 20, 30)},
                          std::pair{Pack565(1, 2, 3), Pack565(30, 60, 31)}}) {
        SCOPED_TRACE(c0);
        BASEIMAGE image = Compressed(kPixelsDxt1, 4, 4, ColorHalf(c0, c1, kAllCodes));
        ASSERT_EQ(DecodeDxtImage(&image), 0);
        int r0 = (c0 >> 11) * 255 / 31, g0 = ((c0 >> 5) & 63) * 255 / 63, b0 = (c0 & 31) * 255 / 31;
        int r1 = (c1 >> 11) * 255 / 31, g1 = ((c1 >> 5) & 63) * 255 / 63, b1 = (c1 & 31) * 255 / 31;
        Argb average{255, (r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2};
        Argb transparent = average;
        transparent.a = 0;  // the average colour, not black
        const Argb table[4] = {{255, r0, g0, b0}, {255, r1, g1, b1}, average, transparent};
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(PixelAt(image, k % 4, k / 4), table[kAllCodes[k]]) << k;
        }
        ReleaseImageBuffer(&image);
    }
}

TEST(Dxt, ExplicitAlpha) {
    int nibbles[16];
    for (int k = 0; k < 16; ++k) {
        nibbles[k] = k;
    }
    nibbles[0] = 0xF;
    nibbles[1] = 0x8;
    // DXT3 colour halves always use four colours, even with c0 <= c1.
    uint16_t c0 = Pack565(0, 0, 0), c1 = Pack565(31, 63, 31);
    BASEIMAGE image = Compressed(kPixelsDxt3, 4, 4,
                                 Concat(ExplicitAlphaHalf(nibbles), ColorHalf(c0, c1, kAllCodes)));
    ASSERT_EQ(DecodeDxtImage(&image), 0);
    EXPECT_EQ(PixelAt(image, 0, 0).a, 255);
    EXPECT_EQ(PixelAt(image, 1, 0).a, 136);
    const int levels[4] = {0, 255, 85, 170};
    for (int k = 0; k < 16; ++k) {
        Argb c = PixelAt(image, k % 4, k / 4);
        EXPECT_EQ(c.a, nibbles[k] * 255 / 15) << k;
        int level = levels[kAllCodes[k]];
        EXPECT_EQ(c, (Argb{c.a, level, level, level})) << k;
    }
    ReleaseImageBuffer(&image);
}

TEST(Dxt, InterpolatedAlphaBothTables) {
    int codes[16];
    for (int k = 0; k < 16; ++k) {
        codes[k] = k % 8;
    }
    struct Case {
        int a0, a1;
        int table[8];
    };
    const Case cases[] = {
        {200,
         10,
         {200, 10, (6 * 200 + 10) / 7, (5 * 200 + 20) / 7, (4 * 200 + 30) / 7, (3 * 200 + 40) / 7,
          (2 * 200 + 50) / 7, (200 + 60) / 7}},
        {10, 20, {10, 20, (40 + 20) / 5, (30 + 40) / 5, (20 + 60) / 5, (10 + 80) / 5, 0, 255}},
        {77, 77, {77, 77, 77, 77, 77, 77, 0, 255}},
    };
    uint16_t grey = Pack565(16, 32, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a0);
        BASEIMAGE image = Compressed(
            kPixelsDxt5, 4, 4,
            Concat(InterpolatedAlphaHalf(c.a0, c.a1, codes), ColorHalf(grey, grey, kAllCodes)));
        ASSERT_EQ(DecodeDxtImage(&image), 0);
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(PixelAt(image, k % 4, k / 4), (Argb{c.table[codes[k]], 131, 129, 131})) << k;
        }
        ReleaseImageBuffer(&image);
    }
}

// Straight colour recovered from premultiplied data: value x 255 / alpha,
// clamped to 255; pixels without alpha get colour 0.
Argb Straight(int a, int r, int g, int b) {
    if (a == 0) {
        return Argb{0, 0, 0, 0};
    }
    auto up = [a](int v) { return std::min(255, v * 255 / a); };
    return Argb{a, up(r), up(g), up(b)};
}

TEST(Dxt, PremultipliedKindsAreUnpremultiplied) {
    // Colours: c0 (66, 130, 66) = 565 (8, 32, 8) -> (65, 129, 65); c1 black.
    uint16_t c0 = Pack565(8, 32, 8), c1 = 0;
    const Argb palette[4] = {{0, 65, 129, 65},
                             {0, 0, 0, 0},
                             {0, 2 * 65 / 3, 2 * 129 / 3, 2 * 65 / 3},
                             {0, 65 / 3, 129 / 3, 65 / 3}};
    int nibbles[16];
    int alphaCodes[16];
    for (int k = 0; k < 16; ++k) {
        nibbles[k] = (k * 5) % 16;
        alphaCodes[k] = k % 8;
    }
    nibbles[0] = 0;  // alpha 0: colour 0
    nibbles[5] = 2;  // alpha 34 under colour 65/129: clamps to 255
    const int a0 = 100, a1 = 30;
    int interpolated[8] = {a0, a1};
    for (int k = 1; k <= 6; ++k) {
        interpolated[k + 1] = ((7 - k) * a0 + k * a1) / 7;
    }
    for (uint32_t kind : {kPixelsDxt2, kPixelsDxt4}) {
        SCOPED_TRACE(kind);
        std::vector<uint8_t> alphaHalf = kind == kPixelsDxt2
                                             ? ExplicitAlphaHalf(nibbles)
                                             : InterpolatedAlphaHalf(a0, a1, alphaCodes);
        BASEIMAGE image = Compressed(kind, 4, 4, Concat(alphaHalf, ColorHalf(c0, c1, kAllCodes)));
        ASSERT_EQ(DecodeDxtImage(&image), 0);
        for (int k = 0; k < 16; ++k) {
            int a = kind == kPixelsDxt2 ? nibbles[k] * 255 / 15 : interpolated[alphaCodes[k]];
            const Argb& p = palette[kAllCodes[k]];
            EXPECT_EQ(PixelAt(image, k % 4, k / 4), Straight(a, p.r, p.g, p.b)) << k;
        }
        if (kind == kPixelsDxt2) {
            EXPECT_EQ(PixelAt(image, 0, 0), (Argb{0, 0, 0, 0}));
            EXPECT_EQ(PixelAt(image, 1, 1), (Argb{34, 255, 255, 255}));
        }
        ReleaseImageBuffer(&image);
    }
}

// A reference decode of one DXT1 block straight from the formulas.
Argb ReferenceDxt1(const uint8_t* block, int k) {
    uint16_t v0 = block[0] | block[1] << 8, v1 = block[2] | block[3] << 8;
    int c0[3] = {(v0 >> 11) * 255 / 31, ((v0 >> 5) & 63) * 255 / 63, (v0 & 31) * 255 / 31};
    int c1[3] = {(v1 >> 11) * 255 / 31, ((v1 >> 5) & 63) * 255 / 63, (v1 & 31) * 255 / 31};
    int code = (block[4 + k / 4] >> (2 * (k % 4))) & 3;
    int out[3];
    for (int i = 0; i < 3; ++i) {
        int table[4] = {c0[i], c1[i], 0, 0};
        if (v0 > v1) {
            table[2] = (2 * c0[i] + c1[i]) / 3;
            table[3] = (c0[i] + 2 * c1[i]) / 3;
        } else {
            table[2] = table[3] = (c0[i] + c1[i]) / 2;
        }
        out[i] = table[code];
    }
    return Argb{(v0 <= v1 && code == 3) ? 0 : 255, out[0], out[1], out[2]};
}

TEST(Dxt, SidesNotMultipleOfFourUseWholeBlocksAndClip) {
    struct Case {
        int width, height;
    };
    for (const Case& c : {Case{6, 6}, Case{8, 8}, Case{5, 3}, Case{1, 1}, Case{12, 4}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        int across = (c.width + 3) / 4, down = (c.height + 3) / 4;
        std::mt19937 random(c.width * 31 + c.height);
        std::vector<uint8_t> data(size_t(across) * down * 8);
        for (uint8_t& byte : data) {
            byte = uint8_t(random());
        }
        BASEIMAGE image = Compressed(kPixelsDxt1, c.width, c.height, data);
        ASSERT_EQ(DecodeDxtImage(&image), 0);
        EXPECT_EQ(image.pitch, c.width * 4);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const uint8_t* block = data.data() + ((y / 4) * across + x / 4) * 8;
                ASSERT_EQ(PixelAt(image, x, y), ReferenceDxt1(block, (y % 4) * 4 + x % 4))
                    << x << "," << y;
            }
        }
        ReleaseImageBuffer(&image);
    }
}

TEST(Dxt, PlainImagesAreLeftAloneAndPixelReadsExpand) {
    BASEIMAGE plain;
    std::memset(&plain, 0, sizeof(plain));
    ASSERT_EQ(CreateXrgbImageBuffer(2, 2, &plain), 0);
    uint8_t* before = plain.pixels;
    BASEIMAGE copy = plain;
    EXPECT_EQ(DecodeDxtImage(&plain), 0);
    EXPECT_EQ(std::memcmp(&copy, &plain, sizeof(plain)), 0);
    EXPECT_EQ(plain.pixels, before);
    ReleaseImageBuffer(&plain);

    BASEIMAGE image = Compressed(kPixelsDxt1, 4, 4, ColorHalf(0xFFFF, 0, kAllCodes));
    int r = -1, a = -1;
    ASSERT_EQ(ReadImagePixel(&image, 1, 0, &r, nullptr, nullptr, &a), 0);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(a, 255);
    EXPECT_EQ(image.format.compressedKind, 0u);
    ReleaseImageBuffer(&image);

    // A failed allocation leaves the compressed image as it was.
    BASEIMAGE blocks = Compressed(kPixelsDxt1, 4, 4, ColorHalf(0xFFFF, 0, kAllCodes));
    BASEIMAGE saved = blocks;
    SetTrackedHeapFailing(true);
    EXPECT_EQ(DecodeDxtImage(&blocks), -1);
    EXPECT_EQ(ReadImagePixel(&blocks, 0, 0, &r, nullptr, nullptr, nullptr), -1);
    SetTrackedHeapFailing(false);
    EXPECT_EQ(std::memcmp(&saved, &blocks, sizeof(blocks)), 0);
    ReleaseImageBuffer(&blocks);

    BASEIMAGE unknown = Compressed(kPixelsDxt1, 4, 4, std::vector<uint8_t>(8));
    unknown.format.compressedKind = 6;
    EXPECT_EQ(DecodeDxtImage(&unknown), -1);
    EXPECT_EQ(WriteImagePixel(&unknown, 0, 0, 1, 2, 3, 4), -1);
    unknown.format.compressedKind = 0;
    ReleaseImageBuffer(&unknown);
}

}  // namespace
}  // namespace tessel
