// The stretch blit against the walk's worked tables, the oracle and the blit.
//
// Routes: where each source pixel lands under both advance rules (mirrored and
// clipped); random scenes and every variant against the oracle; clipping
// invariance; same-size draws equal the blit; the kernels' own numbers; the
// refusals, ratios the walk cannot run, guard bands and reads past a source;
// the fast paths against the general kernels.
#include "softrender/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "softrender/stretch_internal.h"
#include "softrender/stretch_scene.h"

namespace tessel {
namespace {

using kit::Source;

constexpr Source kKinds[] = {Source::k32,       Source::k32Alpha, Source::k565,
                             Source::k565Alpha, Source::kPal32,   Source::kPal565};

void CheckStretch(const kit::StretchScene& scene) {
    const std::vector<uint32_t> got = kit::DrawStretch(scene);
    const std::vector<uint32_t> want = kit::ExpectStretch(scene);
    const kit::BlitScene& b = scene.blit;
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], want[i])
            << "pixel " << i % b.dw << "," << i / b.dw << std::hex << " dest " << b.dest[i]
            << " rect " << std::dec << scene.rect.left << "," << scene.rect.top << ","
            << scene.rect.right << "," << scene.rect.bottom;
    }
}

// A source whose colour says where it came from: green the column, red the
// row, both untouched by a blue brightness of 254. Paletted sources hold
// index y x 16 + x with that colour as its entry.
uint32_t PlaceCode(Source kind, int x, int y) {
    if (kit::ColourTypeOf(kind) == 1) {
        return 0xFF000000u | uint32_t(y) << 16 | uint32_t(x) << 8 | 0x80;
    }
    return uint32_t(y) << 11 | uint32_t(x) << 5 | 0x10;
}

struct Mapping {
    const char* what;
    int sourceSide;
    RECT rect;  // applied to both axes: left/right on x, top/bottom on y alike
    int clip;   // the draw area starts this many pixels into the rectangle
    std::vector<int> standard, strict;  // source index per drawn pixel
};

// The worked examples of the walk, on both axes at once, through every source
// kind; the white copy of a source without alpha walks strictly, the others
// (blue brightness 254, alpha sources) by the standard rule.
TEST(Stretch, WorkedMappingTablesHoldOnBothAxes) {
    const Mapping cases[] = {
        {"4 into 10", 4, {0, 0, 10, 10}, 0, {0, 0, 0, 1, 1, 2, 2, 2, 3, 3}, {}},
        {"4 into 10 mirrored", 4, {10, 10, 0, 0}, 0, {3, 3, 3, 2, 2, 1, 1, 1, 0, 0}, {}},
        {"4 into 10 mirrored, 3 in", 4, {10, 10, 0, 0}, 3, {2, 2, 1, 1, 1, 0, 0}, {}},
        {"10 into 4", 10, {0, 0, 4, 4}, 0, {0, 2, 5, 7}, {}},
        {"8 into 4", 8, {0, 0, 4, 4}, 0, {0, 2, 4, 6}, {0, 1, 3, 5}},
        {"8 into 4 mirrored", 8, {4, 4, 0, 0}, 0, {7, 5, 3, 1}, {7, 6, 4, 2}},
        {"8 into 4, 1 in", 8, {0, 0, 4, 4}, 1, {2, 4, 6}, {1, 3, 5}},
        {"8 into 4 mirrored, 2 in", 8, {4, 4, 0, 0}, 2, {3, 1}, {4, 2}},
        {"5 into 5 mirrored", 5, {5, 5, 0, 0}, 0, {4, 3, 2, 1, 0}, {}},
        {"8 into 3 placed at 2", 8, {2, 2, 5, 5}, 0, {0, 2, 5}, {}},
        {"6 into 3", 6, {0, 0, 3, 3}, 0, {0, 2, 4}, {0, 1, 3}},
        {"8 into 6", 8, {0, 0, 6, 6}, 0, {0, 1, 2, 4, 5, 6}, {0, 1, 2, 3, 5, 6}},
        {"8 into 6, 3 in", 8, {0, 0, 6, 6}, 3, {4, 5, 6}, {3, 5, 6}},
        {"8 into 6 mirrored, 3 in", 8, {6, 6, 0, 0}, 3, {3, 2, 1}, {4, 2, 1}},
    };
    kit::EnsureTables();
    for (const Mapping& m : cases) {
        for (Source kind : kKinds) {
            for (bool white : {true, false}) {
                SCOPED_TRACE(testing::Message()
                             << m.what << " kind " << int(kind) << " white " << white);
                const int n = m.sourceSide;
                kit::SourceImage src(kind, n, n, 0x1234);
                for (int y = 0; y < n; ++y) {
                    for (int x = 0; x < n; ++x) {
                        if (kit::IsPaletted(kind)) {
                            src.SetIndex(x, y, uint32_t(y * 16 + x));
                            src.SetEntry(uint32_t(y * 16 + x), PlaceCode(kind, x, y));
                        } else {
                            src.Set(x, y, PlaceCode(kind, x, y), 255);
                        }
                    }
                }
                kit::GuardedImage dst(kit::ColourTypeOf(kind), 12, 12);
                const int start = std::min(m.rect.left, m.rect.right);
                SoftDrawState state =
                    DefaultSoftDrawState(RECT{start + m.clip, start + m.clip, 12, 12});
                state.brightness = white ? 0xFFFFFF : PackBrightness(255, 255, 254);
                MemImgStretchBlit(state, dst.image(), src.image(), &m.rect,
                                  kit::HasAlpha(kind) ? 1 : 0, nullptr);
                ASSERT_TRUE(dst.GuardsIntact());
                const bool strict = white && !kit::HasAlpha(kind) && !m.strict.empty();
                const std::vector<int>& want = strict ? m.strict : m.standard;
                for (size_t j = 0; j < want.size(); ++j) {
                    for (size_t i = 0; i < want.size(); ++i) {
                        const int x = start + m.clip + int(i), y = start + m.clip + int(j);
                        const uint32_t v = dst.Get(x, y);
                        const bool wide = kit::ColourTypeOf(kind) == 1;
                        const int column = wide ? int((v >> 8) & 0xFF) : int((v >> 5) & 63);
                        const int row = wide ? int((v >> 16) & 0xFF) : int(v >> 11);
                        ASSERT_EQ(column, want[i]) << "at " << x << "," << y;
                        ASSERT_EQ(row, want[j]) << "at " << x << "," << y;
                    }
                }
                // Nothing past the rectangle.
                EXPECT_EQ(dst.Get(start + m.clip + int(want.size()), start + m.clip), 0u);
            }
        }
    }
}

// A scene of any source kind, each size drawn from 1 to its bound; half of
// them with a brightness that is not white.
kit::StretchScene SmallStretch(kit::BiasedRandom& random, int sw, int sh, int dw, int dh,
                               int rectSide) {
    const Source kind = kKinds[random.Below(6)];
    kit::StretchScene s =
        kit::RandomStretch(random, kind, random.Between(1, sw), random.Between(1, sh),
                           random.Between(1, dw), random.Between(1, dh), rectSide);
    if (random.Below(2) == 0) {
        s.blit.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
    }
    // Parameters with variants of their own come often.
    static constexpr int kSpecial[] = {0, 128, 255, 255};
    if (random.Below(3) == 0) {
        s.blit.p = kSpecial[random.Below(4)];
    }
    return s;
}

TEST(Stretch, RandomScenesMatchTheOracle) {
    kit::BiasedRandom random(2024);
    for (int round = 0; round < 12000; ++round) {
        const kit::StretchScene s = SmallStretch(random, 11, 9, 23, 17, 26);
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " kind " << int(s.blit.kind) << " mode " << s.blit.mode
                     << " p " << s.blit.p << " trans " << s.blit.trans << " mask " << s.blit.useMask
                     << std::hex << " brightness " << s.blit.brightness);
        ASSERT_NO_FATAL_FAILURE(CheckStretch(s));
    }
}

// Every mode, mask, brightness and transparent flag of every source kind on
// 1:1 mirrored draws and on larger shrinking and enlarging ones.
TEST(Stretch, EveryVariantMatchesTheOracleMirroredAtOneToOneAndScaled) {
    kit::BiasedRandom random(99);
    static constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};
    static constexpr int kParams[] = {1, 128, 200, 254, 255};
    const RECT rects[] = {{40, 0, 0, 24}, {0, 24, 40, 0}, {40, 24, 0, 0},
                          {3, 1, 63, 29}, {59, 30, 5, 2}, {0, 0, 17, 9}};
    for (Source kind : kKinds) {
        for (uint32_t mode : kModes) {
            for (int flags = 0; flags < 8; ++flags) {
                for (const RECT& rect : rects) {
                    kit::StretchScene s{kit::RandomScene(random, kind, 40, 24, 64, 32), rect};
                    s.blit.area = RECT{0, 0, 64, 32};
                    s.blit.mode = mode;
                    s.blit.useMask = flags & 1;
                    s.blit.trans = (flags & 4) ? 1 : 0;
                    s.blit.p = kParams[random.Below(5)];
                    if ((flags & 2) == 0) {
                        s.blit.brightness = random.Byte() << 16 | random.Byte() << 8 | 254;
                    }
                    SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " mode " << mode
                                                    << " flags " << flags << " p " << s.blit.p);
                    ASSERT_NO_FATAL_FAILURE(CheckStretch(s));
                }
            }
        }
    }
}

// A clipped draw equals the unclipped one inside the area, under both walks.
TEST(Stretch, ClippingNeverShiftsTheImage) {
    kit::BiasedRandom random(17);
    for (int round = 0; round < 6000; ++round) {
        kit::StretchScene s = SmallStretch(random, 12, 9, 21, 15, 24);
        if (round % 2 == 0) {  // the strict walk's copies, shrinking
            s.blit.mode = 0;
            s.blit.brightness = 0xFFFFFF;
            s.blit.useMask = false;
        }
        kit::StretchScene whole = s;
        whole.blit.area = RECT{0, 0, s.blit.dw, s.blit.dh};
        const std::vector<uint32_t> all = kit::DrawStretch(whole);
        const std::vector<uint32_t> clipped = kit::DrawStretch(s);
        const RECT& a = s.blit.area;
        for (int y = 0; y < s.blit.dh; ++y) {
            for (int x = 0; x < s.blit.dw; ++x) {
                const bool in = x >= a.left && x < a.right && y >= a.top && y < a.bottom;
                const size_t i = size_t(y) * s.blit.dw + x;
                ASSERT_EQ(clipped[i], in ? all[i] : s.blit.dest[i])
                    << "round " << round << " at " << x << "," << y;
            }
        }
    }
}

// The decision where the strict walk's clipped start would disagree: a strict
// 8 to 4 draw clipped one column in equals the unclipped draw inside the area.
TEST(Stretch, AStrictShrinkClippedOneColumnInEqualsTheUnclippedDraw) {
    kit::EnsureTables();
    for (Source kind : {Source::k32, Source::k565, Source::kPal32}) {
        SCOPED_TRACE(int(kind));
        kit::GuardedImage src(kit::ColourTypeOf(kind), 8, 8, 0, kit::IsPaletted(kind));
        kit::FillIndexCoded(src);
        for (int i = 0; i < 256 && kit::IsPaletted(kind); ++i) {
            std::memcpy(src.base()->palette + 4 * i, &i, 4);
        }
        kit::GuardedImage whole(kit::ColourTypeOf(kind), 4, 4),
            clipped(kit::ColourTypeOf(kind), 4, 4);
        const RECT rect{0, 0, 4, 4};
        MemImgStretchBlit(DefaultSoftDrawState(RECT{0, 0, 4, 4}), whole.image(), src.image(), &rect,
                          0, nullptr);
        MemImgStretchBlit(DefaultSoftDrawState(RECT{1, 0, 4, 4}), clipped.image(), src.image(),
                          &rect, 0, nullptr);
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(clipped.Get(0, y), 0u);
            for (int x = 1; x < 4; ++x) {
                EXPECT_EQ(clipped.Get(x, y), whole.Get(x, y)) << x << "," << y;
            }
        }
    }
}

// A rectangle of the source's size, not mirrored, draws what the blit draws,
// RGB565 pair loops and white-only variants included.
TEST(Stretch, ASameSizeDrawIsTheBlit) {
    kit::BiasedRandom random(3);
    for (int round = 0; round < 3000; ++round) {
        kit::StretchScene s = SmallStretch(random, 13, 7, 19, 11, 1);
        const kit::BlitScene& b = s.blit;
        s.rect = RECT{b.x, b.y, b.x + b.sw, b.y + b.sh};
        const std::vector<uint32_t> stretched = kit::DrawStretch(s);
        ASSERT_EQ(stretched, kit::DrawScene(b)) << "round " << round;
        ASSERT_NO_FATAL_FAILURE(CheckStretch(s));
    }
}

TEST(Stretch, RefusedDrawsLeaveTheDestination) {
    struct Case {
        const char* what;
        uint32_t srcType, dstType;
        int srcPalette, dstPalette, dstAlpha;
        int maskWidth;
        RECT rect;
        uint32_t mode;
    };
    const Case cases[] = {
        {"colour types differ", 1, 0, 0, 0, 0, 0, {0, 0, 8, 4}, 0},
        {"paletted destination", 1, 1, 0, 1, 0, 0, {0, 0, 8, 4}, 0},
        {"destination with alpha", 1, 1, 0, 0, 1, 0, {0, 0, 8, 4}, 0},
        {"single channel 8", 2, 2, 0, 0, 0, 0, {0, 0, 8, 4}, 0},
        {"single channel 16", 3, 3, 0, 0, 0, 0, {0, 0, 8, 4}, 0},
        {"a mask narrower than the source", 1, 1, 0, 0, 0, 3, {0, 0, 8, 4}, 0},
        {"a zero width", 1, 1, 0, 0, 0, 0, {3, 0, 3, 4}, 0},
        {"a zero height", 1, 1, 0, 0, 0, 0, {0, 2, 8, 2}, 0},
        {"32768 wide", 1, 1, 0, 0, 0, 0, {-32760, 0, 8, 4}, 0},
        {"32768 high, mirrored", 0, 0, 0, 0, 0, 0, {0, 4, 8, -32764}, 0},
        {"mode 7", 1, 1, 0, 0, 0, 0, {0, 0, 8, 4}, 7},
        {"mode 12", 0, 0, 0, 0, 0, 0, {0, 0, 8, 4}, 12},
        {"a negative mode", 1, 1, 0, 0, 0, 0, {0, 0, 8, 4}, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage src(c.srcType, 4, 2, 0, c.srcPalette);
        kit::GuardedImage dst(c.dstType, 8, 4, c.dstAlpha, c.dstPalette);
        for (int x = 0; x < 4; ++x) {
            src.Set(x, 0, 0x7F);
            src.Set(x, 1, 0x7F);
        }
        kit::GuardedImage mask(kMemImgGray8, c.maskWidth > 0 ? c.maskWidth : 4, 2);
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 8, 4});
        state.blendMode = c.mode;
        MemImgStretchBlit(state, dst.image(), src.image(), &c.rect, 0,
                          c.maskWidth > 0 ? mask.image() : nullptr);
        for (uint32_t v : dst.Pixels()) {
            EXPECT_EQ(v, 0u);
        }
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

// A source more than 65536 times as wide as the rectangle has a ratio of 0,
// and a source over 65536 wide can have a truncated ratio whose last pixel
// lies past its edge: both draw nothing instead of looping for ever or
// reading past the source. Sources just within draw.
TEST(Stretch, RatiosTheWalkCannotRunDrawNothing) {
    struct Case {
        int sourceWidth, rectWidth;
        bool draws;
    };
    const Case cases[] = {
        {65537, 1, false}, {65536, 1, true}, {100000, 30000, false}, {100000, 30001, true}};
    kit::EnsureTables();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << " into " << c.rectWidth);
        MEMIMG src{};
        ASSERT_EQ(MemImgCreate(&src, c.sourceWidth, 1, c.sourceWidth * 4, 0, 1, 0, 0, 0, nullptr),
                  0);
        for (int x = 0; x < c.sourceWidth; ++x) {
            const uint32_t v = 0x01000000u | uint32_t(x);
            std::memcpy(src.pixels + 4 * x, &v, 4);
        }
        kit::GuardedImage dst(1, c.rectWidth, 2);
        const RECT rect{0, 0, c.rectWidth, 2};
        MemImgStretchBlit(DefaultSoftDrawState(RECT{0, 0, c.rectWidth, 2}), dst.image(), &src,
                          &rect, 0, nullptr);
        EXPECT_EQ(dst.Get(0, 0), c.draws ? 0x01000000u : 0u);
        const uint32_t last = dst.Get(c.rectWidth - 1, 1);
        EXPECT_EQ(last, c.draws
                            ? 0x01000000u | uint32_t(kit::ShownIndex(c.rectWidth - 1, c.rectWidth,
                                                                     c.sourceWidth, true))
                            : 0u);
        EXPECT_TRUE(dst.GuardsIntact());
        MemImgRelease(&src);
    }
}

// The kernels' own numbers: a 1x1 source stretched over 3x2 pixels, every one
// of which must show the row's result (or keep its value when skipped).
TEST(Stretch, TheKernelsNumbersHold) {
    struct Row {
        const char* what;
        Source kind;
        uint32_t mode;
        int p;
        uint32_t brightness;
        int trans;
        uint32_t key;
        int maskByte;  // -1: no mask
        uint32_t alpha, colour, dest, want;
    };
    constexpr uint32_t W = 0xFFFFFF;
    const uint32_t blue254 = PackBrightness(255, 255, 254);
    const Row rows[] = {
        {"alpha 0, flag off, leaves d", Source::k32Alpha, 0, 255, W, 0, 0, -1, 0, 0xFF8040,
         0x12345678, 0x12345678},
        {"alpha 255, flag off, blends", Source::k32Alpha, 0, 255, W, 0, 0, -1, 255, 0xFF8040,
         0x12345678, 0x12FE7F40},
        {"alpha 255, flag on, copies whole", Source::k32Alpha, 0, 255, W, 1, 0, -1, 255, 0xFF8040,
         0x12345678, 0xFFFF8040},
        {"mode 1 at 128 does not halve", Source::k32, 1, 128, W, 0, 0, -1, 255, 0x010101,
         0x77010101, 0x77010101},
        {"mode 2 at 255 keeps the low bits", Source::k32, 2, 255, W, 0, 0, -1, 255, 0x000100,
         0x00000100, 0x00000100},
        {"mode 3 at 255 as the general rule", Source::k32, 3, 255, W, 0, 0, -1, 255, 0x102030,
         0x00808080, 0x00716150},
        {"mode 4, alpha 0, flag on, skips", Source::k32Alpha, 4, 9, W, 1, 0, -1, 0, 0xFFFFFF,
         0x12345678, 0x12345678},
        {"mode 4, alpha 0, flag off, blackens", Source::k32Alpha, 4, 9, W, 0, 0, -1, 0, 0xFFFFFF,
         0x12345678, 0x12000000},
        {"mode 1 at 0", Source::k32, 1, 0, W, 0, 0, -1, 255, 0xFFFFFF, 0xAB123456, 0xAB123456},
        {"mode 2 at 0", Source::kPal32, 2, 0, W, 0, 0, -1, 255, 0xFFFFFF, 0xAB123456, 0xAB123456},
        {"mode 3 at 0, direct", Source::k32, 3, 0, W, 0, 0, -1, 255, 0xFFFFFF, 0xAB123456,
         0xAB123456},
        {"mode 10 at 0", Source::k32Alpha, 10, 0, blue254, 1, 0, 77, 200, 0xFFFFFF, 0xAB123456,
         0xAB123456},
        {"mode 11 at 0", Source::kPal32, 11, 0, W, 0, 0, -1, 255, 0xFFFFFF, 0xAB123456, 0xAB123456},
        {"palette entry whole", Source::kPal32, 0, 255, W, 0, 0, -1, 255, 0x9A112233, 0x12345678,
         0x9A112233},
        {"palette entry not white", Source::kPal32, 1, 255, blue254, 0, 0, -1, 255, 0x9A112233,
         0x12345678, 0x12112232},
        {"paletted mode 3 at 0 draws", Source::kPal32, 3, 0, W, 0, 0, -1, 255, 0x445566, 0x55000000,
         0x00010100},
        {"index key above 255 skips nothing", Source::kPal32, 0, 255, W, 1, 257, -1, 255, 0x445566,
         0x0, 0x445566},
        {"index key skips its index", Source::kPal32, 0, 255, W, 1, 1, -1, 255, 0x445566, 0x0, 0x0},
        {"key differing in the top byte draws", Source::k32, 0, 255, W, 1, 0xFF00FF, -1, 255,
         0x01FF00FF, 0x0, 0x01FF00FF},
        {"key skips", Source::k32, 0, 255, blue254, 2, 0x01FF00FF, -1, 255, 0x01FF00FF, 0x7, 0x7},
        {"paletted mode 4, mask 0", Source::kPal32, 4, 0, W, 0, 0, 0, 255, 0xFFFFFF, 0x12FFFFFF,
         0x12000000},
        {"RGB565 alpha 255, flag off, blends", Source::k565Alpha, 0, 255, W, 0, 0, -1, 255, 0x001F,
         0x0000, 0x001E},
        {"RGB565 alpha 255, flag on, copies", Source::k565Alpha, 0, 255, W, 1, 0, -1, 255, 0x001F,
         0x0000, 0x001F},
        {"RGB565 alpha 0, flag on, skips", Source::k565Alpha, 0, 255, W, 1, 0, -1, 0, 0x001F,
         0x1234, 0x1234},
        {"RGB565 mode 1 at 128", Source::k565, 1, 128, W, 0, 0, -1, 255, 0x0020, 0x0020, 0x0020},
        {"RGB565 mode 1 at 100", Source::k565, 1, 100, W, 0, 0, -1, 255, 0x07E0, 0x0000, 0x0300},
        {"RGB565 mode 2 at 255", Source::k565, 2, 255, W, 0, 0, -1, 255, 0x0020, 0x0020, 0x0020},
        {"RGB565 mode 3 at 255", Source::k565, 3, 255, W, 0, 0, -1, 255, 0x0000, 0x0004, 0x0804},
        {"RGB565 mode 4, alpha 0, flag on", Source::k565Alpha, 4, 9, W, 1, 0, -1, 0, 0xFFFF, 0xFFFF,
         0xFFFF},
        {"RGB565 mode 4, alpha 0, flag off", Source::k565Alpha, 4, 9, W, 0, 0, -1, 0, 0xFFFF,
         0xFFFF, 0x0000},
        {"RGB565 mode 11 finer green", Source::k565Alpha, 11, 255, W, 0, 0, -1, 255, 0x0020, 0x0580,
         0x0020},
        {"RGB565 mode 11 not white", Source::k565Alpha, 11, 255, blue254, 0, 0, -1, 255, 0x0020,
         0x0580, 0x0000},
        {"paletted add, green 63 + 1", Source::kPal565, 2, 255, W, 0, 0, -1, 255, 0x0020, 0x07E0,
         0x07E0},
        {"paletted add, green 62 + 2", Source::kPal565, 2, 255, W, 0, 0, -1, 255, 0x0040, 0x07C0,
         0x0FC0},
        {"paletted subtract of 0 from white", Source::kPal565, 3, 0, W, 0, 0, -1, 255, 0x1234,
         0xFFFF, 0xFFDF},
        {"paletted subtract of 0 from black", Source::kPal565, 3, 0, W, 0, 0, -1, 255, 0x1234,
         0x0000, 0x0800},
        {"paletted mode 1 at 128", Source::kPal565, 1, 128, W, 0, 0, -1, 255, 0x001F, 0x0000,
         0x000F},
        {"paletted RGB565 mode 4, mask 0", Source::kPal565, 4, 0, W, 0, 0, 0, 255, 0xFFFF, 0xFFFF,
         0x0000},
    };
    kit::EnsureTables();
    kit::IdentityFade();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        kit::SourceImage src(r.kind, 1, 1, r.key);
        src.Set(0, 0, r.colour, r.alpha);
        kit::GuardedImage mask(kMemImgGray8, 1, 1);
        mask.Set(0, 0, uint32_t(std::max(r.maskByte, 0)));
        kit::GuardedImage dst(kit::ColourTypeOf(r.kind), 4, 3);
        for (int i = 0; i < 12; ++i) {
            dst.Set(i % 4, i / 4, r.dest);
        }
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 4, 3});
        state.blendMode = r.mode;
        state.blendParam = r.p;
        state.brightness = r.brightness;
        const RECT rect{4, 0, 1, 2};  // mirrored, for good measure
        MemImgStretchBlit(state, dst.image(), src.image(), &rect, r.trans,
                          r.maskByte >= 0 ? mask.image() : nullptr);
        for (int i = 0; i < 12; ++i) {
            const int x = i % 4, y = i / 4;
            const bool inside = x >= 1 && y < 2;
            EXPECT_EQ(dst.Get(x, y), inside ? r.want : r.dest)
                << std::hex << "at " << x << "," << y;
        }
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

// Sources and masks whose stores end with their last pixel, stretched and
// mirrored: under the sanitizer build any read past the source or the mask
// shows.
TEST(Stretch, ReadsNothingBeyondTheSourceOrTheMask) {
    kit::BiasedRandom random(43);
    kit::EnsureTables();
    for (int round = 0; round < 600; ++round) {
        const Source kind = kKinds[random.Below(6)];
        const int sw = random.Between(1, 9), sh = random.Between(1, 6);
        kit::TightSource src(kind, sw, sh, uint8_t(0x11 * (round % 7)));
        ASSERT_TRUE(src.made());
        kit::GuardedImage dest(kit::ColourTypeOf(kind), 14, 10);
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 14, 10});
        state.blendMode = std::array<uint32_t, 7>{0, 1, 2, 3, 4, 10, 11}[random.Below(7)];
        state.blendParam = random.Below(2) ? 255 : int(random.Byte());
        state.brightness = random.Below(2) ? 0xFFFFFF : 0x808080;
        const RECT rect{random.Between(-4, 16), random.Between(-4, 12), random.Between(-4, 16),
                        random.Between(-4, 12)};
        MemImgStretchBlit(state, dest.image(), src.image(), &rect, int(random.Below(2)),
                          random.Below(2) ? src.mask() : nullptr);
        EXPECT_TRUE(dest.GuardsIntact());
    }
}

// The fast paths against the general kernels on the same random scenes.
TEST(StretchFastPaths, DrawTheBitsOfTheGeneralKernels) {
    kit::BiasedRandom random(12);
    static constexpr uint32_t kModes[] = {0, 1, 2, 3};
    static constexpr int kParams[] = {255, 128, 1, 200, 254};
    for (int round = 0; round < 6000; ++round) {
        const Source kind = kKinds[random.Below(6)];
        kit::StretchScene s =
            kit::RandomStretch(random, kind, random.Between(1, 23), random.Between(1, 9),
                               random.Between(1, 41), random.Between(1, 13), 48);
        if (random.Below(4) != 0) {
            s.blit.area = RECT{0, 0, s.blit.dw, s.blit.dh};
        }
        s.blit.mode = kModes[random.Below(4)];
        s.blit.p = kParams[random.Below(5)];
        s.blit.useMask = false;
        s.blit.brightness = 0xFFFFFF;
        if (kind == Source::k565 && random.Below(8) == 0) {
            s.blit.key |= 0x10000;  // matches no RGB565 pixel, though its low half does
        }
        soft::g_stretchUseFastPaths = 0;
        const std::vector<uint32_t> general = kit::DrawStretch(s);
        soft::g_stretchUseFastPaths = 1;
        const std::vector<uint32_t> fast = kit::DrawStretch(s);
        ASSERT_EQ(fast, general) << "round " << round << " kind " << int(kind) << " mode "
                                 << s.blit.mode << " p " << s.blit.p << " trans " << s.blit.trans;
    }
}

}  // namespace
}  // namespace tessel
