#include "images/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace tessel {
namespace {

PixelFormatDesc Format(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    PixelFormatDesc f;
    std::memset(&f, 0, sizeof(f));
    SetPixelFormatFromMasks(&f, bits, r, g, b, a);
    return f;
}

PixelFormatDesc Rgb565() {
    return Format(16, 0xF800, 0x7E0, 0x1F, 0);
}
PixelFormatDesc Rgb555() {
    return Format(16, 0x7C00, 0x3E0, 0x1F, 0);
}
PixelFormatDesc Argb1555() {
    return Format(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
}
PixelFormatDesc Argb4444() {
    return Format(16, 0xF00, 0xF0, 0xF, 0xF000);
}
PixelFormatDesc Rgb24() {
    return Format(24, 0xFF0000, 0xFF00, 0xFF, 0);
}
PixelFormatDesc Xrgb32() {
    return Format(32, 0xFF0000, 0xFF00, 0xFF, 0);
}
PixelFormatDesc Argb32() {
    return Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}
PixelFormatDesc Pal8(uint32_t seed) {
    PixelFormatDesc f;
    std::memset(&f, 0, sizeof(f));
    SetPixelFormatPal8(&f);
    std::mt19937 random(seed);
    for (PaletteEntry& e : f.palette) {
        uint32_t v = random();
        e = PaletteEntry{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    return f;
}

// A block of pixels with its own format, tightly packed.
struct Pixels {
    PixelFormatDesc format;
    int width;
    int height;
    std::vector<uint8_t> bytes;

    Pixels(const PixelFormatDesc& f, int w, int h)
        : format(f), width(w), height(h), bytes(size_t(w) * h * f.bytes) {}
    int Pitch() const { return width * format.bytes; }
    uint32_t Get(int x, int y) const {
        uint32_t v = 0;
        for (int k = 0; k < format.bytes; ++k) {
            v |= uint32_t{bytes[(y * width + x) * format.bytes + k]} << (8 * k);
        }
        return v;
    }
    void Set(int x, int y, uint32_t v) {
        for (int k = 0; k < format.bytes; ++k) {
            bytes[(y * width + x) * format.bytes + k] = uint8_t(v >> (8 * k));
        }
    }
};

struct Options {
    int mirror = 0;
    int colorKey = 0;
    uint32_t keyColor = 0;
    int dither = 0;
    int alphaOnly = 0;
    int redAsAlpha = 0;
    int transparentCopy = 0;
    int paletteRemap = 0;
    const Pixels* alpha = nullptr;
};

int Convert(Pixels& dst, const Pixels& src, const Options& o = {}, int dx = 0, int dy = 0) {
    RECT rect{0, 0, src.width, src.height};
    return ConvertImagePixels(dst.bytes.data(), dst.Pitch(), &dst.format, src.bytes.data(),
                              src.Pitch(), &src.format, o.alpha ? o.alpha->bytes.data() : nullptr,
                              o.alpha ? o.alpha->Pitch() : 0, o.alpha ? &o.alpha->format : nullptr,
                              dx, dy, &rect, o.mirror, o.colorKey, o.keyColor, o.dither,
                              o.alphaOnly, o.redAsAlpha, o.transparentCopy, o.paletteRemap);
}

// Runs the conversion with the fixed pairs on or off.
int ConvertWith(int fixedPairs, Pixels& dst, const Pixels& src, const Options& o = {}) {
    g_convertUseFixedPairs = fixedPairs;
    int result = Convert(dst, src, o);
    g_convertUseFixedPairs = 1;
    return result;
}

TEST(Convert, EmptyRectangleFails) {
    Pixels src(Argb32(), 4, 4), dst(Argb32(), 4, 4);
    for (RECT rect : {RECT{1, 0, 1, 4}, RECT{0, 2, 4, 2}, RECT{3, 0, 1, 4}}) {
        EXPECT_EQ(
            ConvertImagePixels(dst.bytes.data(), 16, &dst.format, src.bytes.data(), 16, &src.format,
                               nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0),
            -1);
    }
}

TEST(Convert, WhiteFrom565IntoXrgbByPath) {
    Pixels src(Rgb565(), 1, 1), dst(Xrgb32(), 1, 1);
    src.Set(0, 0, 0xFFFF);
    Options dithered;
    dithered.dither = kDitherOrdered;
    EXPECT_EQ(Convert(dst, src, dithered), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xFFFFFFFFu);  // generic: widened with the scale, unused bits 1
    EXPECT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 0x00F8FCF8u);  // fixed pair: shifted, top byte 0
}

TEST(Convert, ArgbIntoXrgbSetsTheTopByte) {
    Pixels src(Argb32(), 2, 1), dst(Xrgb32(), 2, 1);
    src.Set(0, 0, 0x00123456);
    src.Set(1, 0, 0x7F000001);
    EXPECT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xFF123456u);
    EXPECT_EQ(dst.Get(1, 0), 0xFF000001u);
}

TEST(Convert, MirrorWritesRightToLeftOnEveryPath) {
    const PixelFormatDesc formats[] = {Argb32(), Rgb24(), Rgb565(), Pal8(1)};
    for (const PixelFormatDesc& from : formats) {
        for (const PixelFormatDesc& to : formats) {
            SCOPED_TRACE(testing::Message() << from.bits << " -> " << to.bits);
            Pixels src(from, 3, 2), same(to, 3, 2), mirrored(to, 3, 2);
            for (int k = 0; k < 6; ++k) {
                src.Set(k % 3, k / 3, 0x01020304u * (k + 1) + 0x33);
            }
            Options mirror;
            mirror.mirror = 1;
            // Mirrored copies never take the fixed pairs; compare like with like.
            ConvertWith(0, same, src);
            Convert(mirrored, src, mirror);
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 3; ++x) {
                    EXPECT_EQ(mirrored.Get(x, y), same.Get(2 - x, y));
                }
            }
        }
    }
    Pixels row(Argb32(), 3, 1), out(Argb32(), 3, 1);
    row.Set(0, 0, 1);
    row.Set(1, 0, 2);
    row.Set(2, 0, 3);
    Options mirror;
    mirror.mirror = 1;
    Convert(out, row, mirror);
    EXPECT_EQ(out.Get(0, 0), 3u);
    EXPECT_EQ(out.Get(1, 0), 2u);
    EXPECT_EQ(out.Get(2, 0), 1u);
}

// A palette entry as the generic rule reads it: blue, green, red, alpha bytes.
uint32_t EntryValue(const PixelFormatDesc& f, int index) {
    const PaletteEntry& e = f.palette[index];
    return e.blue | uint32_t{e.green} << 8 | uint32_t{e.red} << 16 | uint32_t{e.alpha} << 24;
}

TEST(Convert, TransparentCopySkipsTheKeyOnEveryPathThatKeys) {
    struct Case {
        PixelFormatDesc from, to;
        bool keyIsEntry;  // a palette source into another format compares its entries
    };
    const Case cases[] = {{Xrgb32(), Xrgb32(), false}, {Rgb565(), Rgb565(), false},
                          {Rgb24(), Rgb565(), false},  {Rgb565(), Argb32(), false},
                          {Pal8(2), Pal8(2), false},   {Pal8(2), Xrgb32(), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.bits << " -> " << c.to.bits);
        Pixels src(c.from, 4, 1), dst(c.to, 4, 1);
        const uint32_t key = c.keyIsEntry ? EntryValue(c.from, 0x1F) : 0x1F;
        for (int x = 0; x < 4; ++x) {
            src.Set(x, 0, x % 2 == 0 ? 0x1F : 0x23);
            dst.Set(x, 0, 0xAAAAAAAA);
        }
        Options o;
        o.transparentCopy = 1;
        o.keyColor = key;
        Convert(dst, src, o);
        uint32_t untouched =
            0xAAAAAAAAu & (c.to.bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * c.to.bytes)) - 1);
        EXPECT_EQ(dst.Get(0, 0), untouched);
        EXPECT_EQ(dst.Get(2, 0), untouched);
        EXPECT_NE(dst.Get(1, 0), untouched);
    }
}

TEST(Convert, APaletteSourceIsKeyedByItsEntryNotItsIndex) {
    PixelFormatDesc from = Pal8(4);
    from.palette[2] = PaletteEntry{0x60, 0x50, 0x40, 0};
    from.palette[5] = PaletteEntry{0x02, 0, 0, 0};  // the entry whose value is the key
    Pixels src(from, 2, 1), dst(Xrgb32(), 2, 1);
    src.Set(0, 0, 2);
    src.Set(1, 0, 5);
    dst.Set(0, 0, 0xAAAAAAAA);
    dst.Set(1, 0, 0xAAAAAAAA);
    Options o;
    o.transparentCopy = 1;
    o.keyColor = 2;
    Convert(dst, src, o);
    EXPECT_EQ(dst.Get(0, 0), 0xFF405060u) << "index 2 is not the key";
    EXPECT_EQ(dst.Get(1, 0), 0xAAAAAAAAu) << "entry 5 is";
}

TEST(Convert, IntoEightBitsFromWiderPixelsNothingIsKeyed) {
    for (const PixelFormatDesc& from : {Rgb24(), Rgb565(), Xrgb32()}) {
        SCOPED_TRACE(from.bits);
        Pixels src(from, 4, 1), dst(Pal8(3), 4, 1);
        for (int x = 0; x < 4; ++x) {
            src.Set(x, 0, x % 2 == 0 ? 0x1F : 0x23);
            dst.Set(x, 0, 0xAA);
        }
        Pixels plain = dst;
        Convert(plain, src);
        Options o;
        o.transparentCopy = 1;
        o.keyColor = 0x1F;
        Convert(dst, src, o);
        EXPECT_EQ(dst.bytes, plain.bytes) << "every pixel is matched, the key's too";
    }
}

TEST(Convert, ColourKeyGivesAlphaZeroExactlyOnTheKey) {
    // Fixed pair, key into alpha and generic paths all agree on where alpha is 0.
    struct Case {
        PixelFormatDesc from, to;
        int dither;
    };
    const Case cases[] = {{Rgb24(), Argb32(), 0},
                          {Rgb24(), Argb32(), kDitherOrdered},
                          {Xrgb32(), Argb32(), 0},
                          {Rgb24(), Argb4444(), 0},
                          {Rgb565(), Argb1555(), 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.bits << " -> " << c.to.bits << " " << c.dither);
        std::mt19937 random(3);
        Pixels src(c.from, 16, 4), dst(c.to, 16, 4);
        const uint32_t keyRaw = EncodePixelColor(&c.from, 0x40, 0x80, 0xC0, 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 16; ++x) {
                src.Set(x, y, (x + y) % 3 == 0 ? keyRaw : random() & 0xFFFFFF);
            }
        }
        Options o;
        o.colorKey = 1;
        o.keyColor = 0x4080C0;
        o.dither = c.dither;
        ASSERT_EQ(Convert(dst, src, o), 0);
        uint32_t colour = c.from.redMask | c.from.greenMask | c.from.blueMask;
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 16; ++x) {
                bool isKey = (src.Get(x, y) & colour) == (keyRaw & colour);
                EXPECT_EQ(dst.Get(x, y) & c.to.alphaMask, isKey ? 0u : c.to.alphaMask);
            }
        }
    }
}

TEST(Convert, APaletteSourceIsKeyedByTheColourOfItsEntries) {
    PixelFormatDesc from = Pal8(6);
    from.palette[7] = PaletteEntry{0xC0, 0x80, 0x40, 0};
    from.palette[9] = PaletteEntry{0xC0, 0x80, 0x40, 0x55};  // the same colour again
    from.palette[3] = PaletteEntry{0xC1, 0x80, 0x40, 0};     // one step away
    const uint8_t indices[] = {7, 9, 3, 12};
    const bool keyed[] = {true, true, false, false};
    for (const PixelFormatDesc& to : {Argb32(), Argb1555()}) {
        for (int dither : {0, int{kDitherOrdered}}) {  // the fixed pair, then the generic rule
            SCOPED_TRACE(testing::Message() << to.bits << " bits, dither " << dither);
            Pixels src(from, 4, 1), dst(to, 4, 1);
            for (int x = 0; x < 4; ++x) {
                src.Set(x, 0, indices[x]);
            }
            Options o;
            o.colorKey = 1;
            o.keyColor = 0x4080C0;
            o.dither = dither;
            ASSERT_EQ(Convert(dst, src, o), 0);
            for (int x = 0; x < 4; ++x) {
                EXPECT_EQ(dst.Get(x, 0) & to.alphaMask, keyed[x] ? 0u : to.alphaMask) << x;
            }
        }
    }
}

TEST(Convert, TheOrderedDitherStartsAtTheRectanglesFirstPixel) {
    Pixels whole(Argb32(), 9, 7);
    std::mt19937 random(8);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            whole.Set(x, y, random());
        }
    }
    // The same pixels as an image of their own, converted from its origin.
    const RECT part{3, 1, 8, 6};
    Pixels alone(Argb32(), 5, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            alone.Set(x, y, whole.Get(part.left + x, part.top + y));
        }
    }
    Pixels expected(Rgb565(), 5, 5), got(Rgb565(), 7, 7);
    Options o;
    o.dither = kDitherOrdered;
    ASSERT_EQ(Convert(expected, alone, o), 0);
    ASSERT_EQ(ConvertImagePixels(got.bytes.data(), got.Pitch(), &got.format, whole.bytes.data(),
                                 whole.Pitch(), &whole.format, nullptr, 0, nullptr, 2, 1, &part, 0,
                                 0, 0, kDitherOrdered, 0, 0, 0, 0),
              0);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(got.Get(2 + x, 1 + y), expected.Get(x, y)) << x << ", " << y;
        }
    }
}

TEST(Convert, EightBitCopyReturnsTheHighestIndex) {
    Pixels src(Pal8(5), 3, 2), dst(Pal8(5), 3, 2);
    const uint8_t indices[] = {4, 200, 17, 0, 199, 3};
    for (int k = 0; k < 6; ++k) {
        src.Set(k % 3, k / 3, indices[k]);
    }
    EXPECT_EQ(Convert(dst, src), 200);
    EXPECT_EQ(dst.bytes, src.bytes);
    Options remap;
    remap.paletteRemap = 1;
    EXPECT_EQ(Convert(dst, src, remap), 200);  // same palettes: still a plain copy
}

TEST(Convert, PaletteRemapMatchesColours) {
    Pixels src(Pal8(1), 4, 1), dst(Pal8(9), 4, 1);
    dst.format.palette[77] = src.format.palette[10];
    dst.format.palette[78] = src.format.palette[11];
    for (int x = 0; x < 4; ++x) {
        src.Set(x, 0, 10 + x % 2);
    }
    Options remap;
    remap.paletteRemap = 1;
    EXPECT_EQ(Convert(dst, src, remap), 0);
    EXPECT_EQ(dst.Get(0, 0), 77u);
    EXPECT_EQ(dst.Get(1, 0), 78u);
}

TEST(Convert, SixteenBitSourcesAreWidenedBeforeThePaletteMatch) {
    Pixels src(Rgb565(), 2, 1), dst(Pal8(0), 2, 1);
    for (PaletteEntry& e : dst.format.palette) {
        e = PaletteEntry{128, 128, 128, 0};
    }
    dst.format.palette[1] = PaletteEntry{31, 63, 31, 0};  // the raw fields of white
    dst.format.palette[2] = PaletteEntry{255, 255, 255, 0};
    dst.format.palette[3] = PaletteEntry{0, 0, 0, 0};
    src.Set(0, 0, 0xFFFF);
    src.Set(1, 0, 0);
    EXPECT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 2u);
    EXPECT_EQ(dst.Get(1, 0), 3u);

    Pixels rgb(Xrgb32(), 1, 1);
    rgb.Set(0, 0, 0xFF1F3F1F);
    EXPECT_EQ(Convert(dst, rgb), 0);
    EXPECT_EQ(dst.Get(0, 0), 1u);  // 8-bit fields are matched as they are
}

// Field of the destination for channel c of one converted pixel.
uint32_t Field(uint32_t v, uint32_t mask) {
    int shift = 0;
    while (mask != 0 && ((mask >> shift) & 1) == 0) {
        ++shift;
    }
    return (v & mask) >> shift;
}

int Width(uint32_t mask) {
    int width = 0;
    for (; mask != 0; mask >>= 1) {
        width += mask & 1;
    }
    return width;
}

// Every fixed pair against the generic rule: narrowed channels are equal,
// widened ones are the generic value with its new low bits cleared; the bits
// outside the colour channels follow the key, are 1, or are 0 for 5-6-5
// sources.
TEST(Convert, FixedPairsAgreeWithTheGenericRule) {
    struct Pair {
        const char* name;
        PixelFormatDesc from, to;
        bool keyed;
    };
    const Pair pairs[] = {
        {"pal8>565", Pal8(11), Rgb565(), false},       {"pal8>555", Pal8(12), Rgb555(), false},
        {"pal8>xrgb", Pal8(13), Xrgb32(), false},      {"rgb24>565", Rgb24(), Rgb565(), false},
        {"rgb24>555", Rgb24(), Rgb555(), false},       {"rgb24>xrgb", Rgb24(), Xrgb32(), false},
        {"xrgb>565", Xrgb32(), Rgb565(), false},       {"argb>565", Argb32(), Rgb565(), false},
        {"565>rgb24", Rgb565(), Rgb24(), false},       {"565>xrgb", Rgb565(), Xrgb32(), false},
        {"565>555", Rgb565(), Rgb555(), false},        {"555>565", Rgb555(), Rgb565(), false},
        {"pal8>1555 key", Pal8(14), Argb1555(), true}, {"pal8>argb key", Pal8(15), Argb32(), true},
        {"rgb24>1555 key", Rgb24(), Argb1555(), true}, {"rgb24>argb key", Rgb24(), Argb32(), true},
        {"565>1555 key", Rgb565(), Argb1555(), true},  {"565>argb key", Rgb565(), Argb32(), true},
        {"555>1555 key", Rgb555(), Argb1555(), true},  {"555>argb key", Rgb555(), Argb32(), true},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.name);
        std::mt19937 random(17);
        const int w = 37, h = 9;
        Pixels src(pair.from, w, h), fixed(pair.to, w, h), generic(pair.to, w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                src.Set(x, y, random());
            }
        }
        src.Set(0, 0, 0xFFFFFFFF);
        src.Set(1, 0, 0);
        Options o;
        const PixelFormatDesc& s = pair.from;
        if (pair.keyed) {
            // The key is the colour of one source pixel; a quarter of the pixels share it.
            int r, g, b;
            if (s.bytes == 1) {
                const PaletteEntry& e = s.palette[src.Get(5, 5)];
                r = e.red, g = e.green, b = e.blue;
            } else {
                DecodePixelColor(&s, src.Get(5, 5), &r, &g, &b, nullptr);
            }
            o.colorKey = 1;
            o.keyColor = (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
            for (int x = 0; x < w; x += 4) {
                src.Set(x, 3, src.Get(5, 5));
            }
        }
        ASSERT_EQ(ConvertWith(1, fixed, src, o), 0);
        ASSERT_EQ(ConvertWith(0, generic, src, o), 0);
        const PixelFormatDesc& d = pair.to;
        // A palette source has 8-bit fields (its entries).
        const int srcWidths[3] = {s.bytes == 1 ? 8 : s.redWidth, s.bytes == 1 ? 8 : s.greenWidth,
                                  s.bytes == 1 ? 8 : s.blueWidth};
        const uint32_t dstMasks[3] = {d.redMask, d.greenMask, d.blueMask};
        uint32_t colourMask = d.redMask | d.greenMask | d.blueMask;
        uint32_t outside = LowBitsMask(d.bits) & ~colourMask;
        bool sawWidening = false;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint32_t f = fixed.Get(x, y), g = generic.Get(x, y);
                for (int c = 0; c < 3; ++c) {
                    int gain = Width(dstMasks[c]) - srcWidths[c];
                    uint32_t expected = Field(g, dstMasks[c]);
                    if (gain > 0) {
                        expected = (expected >> gain) << gain;
                        sawWidening |= expected != Field(g, dstMasks[c]);
                    }
                    ASSERT_EQ(Field(f, dstMasks[c]), expected)
                        << "channel " << c << " at " << x << "," << y;
                }
                uint32_t expectedOutside = g & outside;
                if (!pair.keyed && s.bits == 16 && s.greenWidth == 6) {
                    expectedOutside = 0;
                }
                ASSERT_EQ(f & outside, expectedOutside) << x << "," << y;
            }
        }
        // Where a channel widens, the fast path really ran (the generic rule
        // fills the new low bits, the fixed pairs leave them 0).
        bool widens = false;
        for (int c = 0; c < 3; ++c) {
            widens |= Width(dstMasks[c]) > srcWidths[c];
        }
        EXPECT_EQ(sawWidening, widens);
    }
}

// The generic rule written out for one 8-8-8-8 source pixel into 5-6-5 with
// the ordered matrix.
TEST(Convert, OrderedDitherFollowsTheMatrix) {
    const uint32_t matrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    std::mt19937 random(5);
    Pixels src(Argb32(), 9, 7), dst(Rgb565(), 9, 7);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            src.Set(x, y, random());
        }
    }
    src.Set(0, 0, 0xFFFFFFFF);
    Options o;
    o.dither = kDitherOrdered;
    ASSERT_EQ(Convert(dst, src, o), 0);
    auto narrow = [](uint32_t v, int dropped, uint32_t m) {
        uint32_t out = (v >> dropped) + ((v & ((1u << dropped) - 1)) > (m << dropped) / 16);
        uint32_t max = (1u << (8 - dropped)) - 1;
        return out > max ? max : out;
    };
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            uint32_t v = src.Get(x, y);
            uint32_t m = matrix[(x & 3) + (y & 3) * 4];
            uint32_t expected = (narrow((v >> 16) & 255, 3, m) << 11) |
                                (narrow((v >> 8) & 255, 2, m) << 5) | narrow(v & 255, 3, m);
            ASSERT_EQ(dst.Get(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(dst.Get(0, 0), 0xFFFFu);  // clamped, not wrapped
}

TEST(Convert, CarriedDitherCarriesAcrossRows) {
    std::mt19937 random(6);
    Pixels src(Xrgb32(), 5, 4), dst(Argb1555(), 5, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            src.Set(x, y, random());
        }
    }
    Options o;
    o.dither = kDitherCarried;
    ASSERT_EQ(Convert(dst, src, o), 0);
    uint32_t sums[3] = {0, 0, 0};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            uint32_t v = src.Get(x, y);
            uint32_t expected = 0x8000;  // no alpha in the source: full alpha
            for (int c = 0; c < 3; ++c) {
                uint32_t field = (v >> (16 - 8 * c)) & 255;
                uint32_t out = field >> 3;
                sums[c] += field & 7;
                if (sums[c] >= 8) {
                    sums[c] -= 8;
                    out = out + 1 > 31 ? 31 : out + 1;
                }
                expected |= out << (10 - 5 * c);
            }
            ASSERT_EQ(dst.Get(x, y), expected) << x << "," << y;
        }
    }
}

TEST(Convert, AlphaSourcesOfTheGenericRule) {
    std::mt19937 random(8);
    Pixels src(Xrgb32(), 4, 3), alpha(Argb4444(), 4, 3), dst(Argb32(), 4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            src.Set(x, y, random());
            alpha.Set(x, y, random() & 0xFFFF);
        }
    }
    // From an alpha image: its red channel, widened from 4 bits.
    Options fromImage;
    fromImage.alpha = &alpha;
    ASSERT_EQ(Convert(dst, src, fromImage), 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            uint32_t a4 = (alpha.Get(x, y) >> 8) & 15;
            ASSERT_EQ(dst.Get(x, y), (a4 * 17) << 24 | (src.Get(x, y) & 0xFFFFFF));
        }
    }
    // Red as alpha, alpha only.
    Options redAlpha;
    redAlpha.redAsAlpha = 1;
    redAlpha.alphaOnly = 1;
    ASSERT_EQ(Convert(dst, src, redAlpha), 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            ASSERT_EQ(dst.Get(x, y), (src.Get(x, y) & 0xFF0000) << 8);
        }
    }
    // A source with alpha keeps it through a narrowing conversion.
    Pixels argb(Argb32(), 1, 1), a4444(Argb4444(), 1, 1);
    argb.Set(0, 0, 0x9F8F7F6F);
    ASSERT_EQ(Convert(a4444, argb), 0);
    EXPECT_EQ(a4444.Get(0, 0), 0x9876u);
}

TEST(Convert, KeyIntoAlphaKeepsTheColourBits) {
    Pixels src(Xrgb32(), 3, 1), dst(Argb32(), 3, 1);
    src.Set(0, 0, 0x00102030);
    src.Set(1, 0, 0x55102030);  // the top byte plays no part in the match
    src.Set(2, 0, 0x00102031);
    Options o;
    o.colorKey = 1;
    o.keyColor = 0x102030;
    ASSERT_EQ(Convert(dst, src, o), 0);
    EXPECT_EQ(dst.Get(0, 0), 0x00102030u);
    EXPECT_EQ(dst.Get(1, 0), 0x00102030u);
    EXPECT_EQ(dst.Get(2, 0), 0xFF102031u);
}

TEST(Convert, DestinationOffsetAndSourceRectangle) {
    Pixels src(Rgb24(), 4, 4), dst(Rgb24(), 6, 5);
    for (int k = 0; k < 16; ++k) {
        src.Set(k % 4, k / 4, 0x10101 * (k + 1));
    }
    RECT rect{1, 2, 3, 4};
    ASSERT_EQ(ConvertImagePixels(dst.bytes.data(), dst.Pitch(), &dst.format, src.bytes.data(),
                                 src.Pitch(), &src.format, nullptr, 0, nullptr, 3, 1, &rect, 0, 0,
                                 0, 0, 0, 0, 0, 0),
              0);
    EXPECT_EQ(dst.Get(3, 1), src.Get(1, 2));
    EXPECT_EQ(dst.Get(4, 2), src.Get(2, 3));
    EXPECT_EQ(dst.Get(5, 1), 0u);
    EXPECT_EQ(dst.Get(2, 1), 0u);
}

}  // namespace
}  // namespace tessel
