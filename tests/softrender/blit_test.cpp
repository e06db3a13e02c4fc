// The blit against the oracle: each rule engine over a million biased pixels
// per source kind, mode and flag set; random scenes with clipping and guard
// bands; where each source pixel and mask byte lands; clipping invariance;
// the refusals.
#include "softrender/blit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "softrender/blit_fast_internal.h"
#include "softrender/blit_internal.h"
#include "softrender/blit_scene.h"
#include "softrender/run_table.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using kit::Source;

#if TESSEL_FULL_SIZE_RUNS
constexpr int kPixelsPerCase = 1 << 20;
#else
constexpr int kPixelsPerCase = 1 << 13;  // sanitizer builds
#endif

constexpr Source kKinds[] = {Source::k32,       Source::k32Alpha, Source::k565,
                             Source::k565Alpha, Source::kPal32,   Source::kPal565};
constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};

void CheckScene(const kit::BlitScene& scene) {
    const std::vector<uint32_t> got = kit::DrawScene(scene);
    const std::vector<uint32_t> want = kit::ExpectScene(scene);
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], want[i]) << "pixel " << i % scene.dw << "," << i / scene.dw << std::hex
                                   << " dest " << scene.dest[i];
    }
}

// A scene of any source kind, each size drawn from 1 to its bound.
kit::BlitScene SmallScene(kit::BiasedRandom& random, int sw, int sh, int dw, int dh) {
    const Source kind = kKinds[random.Below(6)];
    return kit::RandomScene(random, kind, random.Between(1, sw), random.Between(1, sh),
                            random.Between(1, dw), random.Between(1, dh));
}

class RuleEngine : public ::testing::TestWithParam<Source> {};

TEST_P(RuleEngine, MatchesTheOracleForEveryModeAndFlagSet) {
    const Source kind = GetParam();
    kit::BiasedRandom random(static_cast<uint32_t>(kind) + 100);
    constexpr int kWidth = 128, kHeight = 64;
    for (uint32_t mode : kModes) {
        for (int flags = 0; flags < 8; ++flags) {
            const bool mask = flags & 1, white = flags & 2, trans = flags & 4;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " mask " << mask << " white "
                                            << white << " trans " << trans);
            for (int drawn = 0; drawn < kPixelsPerCase; drawn += kWidth * kHeight) {
                kit::BlitScene s = kit::RandomScene(random, kind, kWidth, kHeight, kWidth, kHeight);
                s.x = s.y = 0;
                s.area = RECT{0, 0, kWidth, kHeight};
                s.mode = mode;
                s.useMask = mask;
                s.trans = trans ? 1 : 0;
                // Every fourth draw takes a parameter with a variant of its own.
                static constexpr int kSpecial[] = {0, 128, 255, 252};
                if (drawn % (4 * kWidth * kHeight) == 0) {
                    s.p = kSpecial[(drawn / (4 * kWidth * kHeight)) % 4];
                }
                if (!white) {
                    do {
                        s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
                    } while (s.brightness == 0xFFFFFF);
                }
                ASSERT_NO_FATAL_FAILURE(CheckScene(s)) << "p " << s.p << std::hex << " brightness "
                                                       << s.brightness << " key " << s.key;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EverySourceKind, RuleEngine, ::testing::ValuesIn(kKinds));

TEST(Blit, RandomScenesWithClippingMatchTheOracle) {
    kit::BiasedRandom random(77);
    for (int round = 0; round < 6000; ++round) {
        kit::BlitScene s = SmallScene(random, 19, 7, 23, 9);
        const Source kind = s.kind;
        if (random.Below(2) == 0) {
            s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
        }
        SCOPED_TRACE(testing::Message() << "round " << round << " kind " << int(kind) << " mode "
                                        << s.mode << " p " << s.p << " at " << s.x << "," << s.y);
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
    }
}

// A copy of an index-coded source shows which source pixel lands where, and
// a mask of 0 and 255 bytes shows which mask byte goes with it.
TEST(Blit, EachSourcePixelAndMaskByteLandsAtItsOffset) {
    kit::BiasedRandom random(5);
    for (int round = 0; round < 2000; ++round) {
        kit::BlitScene s = SmallScene(random, 21, 9, 25, 11);
        const Source kind = s.kind;
        s.mode = 0;
        s.trans = 0;
        s.brightness = 0xFFFFFF;
        for (int y = 0; y < s.sh; ++y) {
            for (int x = 0; x < s.sw; ++x) {
                const uint32_t code =
                    kit::IndexCode(kit::ColourTypeOf(kind), kit::IsPaletted(kind), x, y);
                s.source[y * s.sw + x] = kind == Source::k565Alpha ? (code | 0xFF0000) : code;
                s.mask[y * s.sw + x] = ((x * 7 + y * 3) % 5 == 0) ? 0 : 255;
            }
        }
        for (int i = 0; i < 256 && kit::IsPaletted(kind); ++i) {
            s.palette[i] =
                kit::ColourTypeOf(kind) == 1 ? 0x01000000u * i + 0x10101 * (i & 0x3F) : i * 3u;
        }
        std::fill(s.dest.begin(), s.dest.end(), 0);
        const std::vector<uint32_t> got = kit::DrawScene(s);
        for (int y = 0; y < s.dh; ++y) {
            for (int x = 0; x < s.dw; ++x) {
                const int sx = x - s.x, sy = y - s.y;
                const bool inside = sx >= 0 && sy >= 0 && sx < s.sw && sy < s.sh &&
                                    x >= s.area.left && x < s.area.right && y >= s.area.top &&
                                    y < s.area.bottom;
                const uint32_t v = got[y * s.dw + x];
                if (!inside) {
                    ASSERT_EQ(v, 0u) << x << "," << y;
                    continue;
                }
                const uint32_t stored = s.source[sy * s.sw + sx];
                uint32_t colour = kit::IsPaletted(kind) ? s.palette[stored] : stored;
                if (kind == Source::k565Alpha || kind == Source::k565) {
                    colour &= 0xFFFF;
                }
                if (!s.useMask) {
                    ASSERT_EQ(v, colour) << x << "," << y;
                } else if (s.mask[sy * s.sw + sx] == 0) {
                    ASSERT_EQ(v, 0u) << x << "," << y;
                }
            }
        }
    }
}

// A clipped draw equals the unclipped one inside the area (the RGB565 pair
// loops excepted: their pairs start at the first drawn pixel).
TEST(Blit, ClippingChangesNothingInsideTheArea) {
    kit::BiasedRandom random(31);
    for (int round = 0; round < 3000; ++round) {
        kit::BlitScene s = SmallScene(random, 17, 7, 21, 9);
        const Source kind = s.kind;
        const bool pairs = kit::ColourTypeOf(kind) == 0 && (s.mode == 2 || s.mode == 3) &&
                           s.p == 255 && !s.useMask && !kit::HasAlpha(kind);
        if (pairs) {
            continue;
        }
        kit::BlitScene whole = s;
        whole.area = RECT{0, 0, s.dw, s.dh};
        const std::vector<uint32_t> all = kit::DrawScene(whole);
        const std::vector<uint32_t> clipped = kit::DrawScene(s);
        for (int y = 0; y < s.dh; ++y) {
            for (int x = 0; x < s.dw; ++x) {
                const bool in =
                    x >= s.area.left && x < s.area.right && y >= s.area.top && y < s.area.bottom;
                const size_t i = size_t(y) * s.dw + x;
                ASSERT_EQ(clipped[i], in ? all[i] : s.dest[i])
                    << "round " << round << " at " << x << "," << y;
            }
        }
    }
}

TEST(Blit, RefusedDrawsLeaveTheDestination) {
    struct Case {
        const char* what;
        uint32_t srcType, dstType;
        int srcPalette, dstPalette, dstAlpha;
        int maskWidth;
    };
    const Case cases[] = {
        {"colour types differ", 1, 0, 0, 0, 0, 0},
        {"paletted destination", 1, 1, 0, 1, 0, 0},
        {"destination with alpha", 1, 1, 0, 0, 1, 0},
        {"single channel 8", 2, 2, 0, 0, 0, 0},
        {"single channel 16", 3, 3, 0, 0, 0, 0},
        {"a mask narrower than the source", 1, 1, 0, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage src(c.srcType, 4, 2, 0, c.srcPalette);
        kit::GuardedImage dst(c.dstType, 4, 2, c.dstAlpha, c.dstPalette);
        for (int x = 0; x < 4; ++x) {
            src.Set(x, 0, 0x7F);
            src.Set(x, 1, 0x7F);
        }
        kit::GuardedImage mask(kMemImgGray8, c.maskWidth > 0 ? c.maskWidth : 4, 2);
        MemImgBlit(DefaultSoftDrawState(RECT{0, 0, 4, 2}), dst.image(), src.image(), 0, 0, 0,
                   c.maskWidth > 0 ? mask.image() : nullptr);
        for (uint32_t v : dst.Pixels()) {
            EXPECT_EQ(v, 0u);
        }
        EXPECT_TRUE(dst.GuardsIntact());
    }
    // An empty draw area, and a source wholly outside it.
    kit::GuardedImage src(1, 4, 2), dst(1, 8, 8);
    src.Set(0, 0, 5);
    MemImgBlit(DefaultSoftDrawState(RECT{2, 2, 2, 8}), dst.image(), src.image(), 0, 0, 0, nullptr);
    MemImgBlit(DefaultSoftDrawState(RECT{0, 0, 8, 8}), dst.image(), src.image(), -4, 0, 0, nullptr);
    MemImgBlit(DefaultSoftDrawState(RECT{0, 0, 8, 8}), dst.image(), src.image(), 8, 0, 0, nullptr);
    for (uint32_t v : dst.Pixels()) {
        EXPECT_EQ(v, 0u);
    }
}

TEST(Blit, ADrawAreaBeyondTheDestinationStopsAtItsEdge) {
    kit::GuardedImage src(0, 6, 6), dst(0, 4, 4);
    for (int i = 0; i < 36; ++i) {
        src.Set(i % 6, i / 6, 0xFFFF);
    }
    MemImgBlit(DefaultSoftDrawState(RECT{-8, -8, 20, 20}), dst.image(), src.image(), -1, -1, 0,
               nullptr);
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_EQ(dst.Get(3, 3), 0xFFFFu);
}

TEST(Blit, TheRunTablePathNeedsTheWholeBaseImage) {
    kit::GuardedImage image(1, 8, 6);
    static uint8_t table[64];
    image.base()->runTable = table;
    image.base()->runTableValid = 1;
    EXPECT_TRUE(soft::TakesRunTablePath(image.image(), 8, 6, 1));
    EXPECT_FALSE(soft::TakesRunTablePath(image.image(), 8, 6, 2));
    EXPECT_FALSE(soft::TakesRunTablePath(image.image(), 7, 6, 1));
    MEMIMG view{};
    MemImgMakeView(&view, image.image(), 1, 0, 7, 6);
    EXPECT_FALSE(soft::TakesRunTablePath(&view, 7, 6, 1));
    MemImgRelease(&view);
    image.base()->runTableValid = 0;
    EXPECT_FALSE(soft::TakesRunTablePath(image.image(), 8, 6, 1));
    image.base()->runTable = nullptr;
}

// The fast paths against the general kernels on the same random scenes:
// widths from 1 to 37 (every row tail), keyed and not, sources with and
// without alpha, the parameters with variants of their own.
TEST(BlitFastPaths, DrawTheBitsOfTheGeneralKernels) {
    kit::BiasedRandom random(8);
    static constexpr uint32_t kModes[] = {0, 1, 2};
    static constexpr int kParams[] = {255, 128, 1, 127, 129, 200, 254};
    for (int round = 0; round < 4000; ++round) {
        static constexpr kit::Source kKindsWithFastPaths[] = {
            kit::Source::k32, kit::Source::k32Alpha, kit::Source::k565};
        const kit::Source kind = kKindsWithFastPaths[random.Below(3)];
        kit::BlitScene s =
            kit::RandomScene(random, kind, random.Between(1, 37), random.Between(1, 5),
                             random.Between(1, 41), random.Between(1, 7));
        // Most draws keep whole rows, so the vector steps run and leave every tail length.
        if (random.Below(4) != 0) {
            s.area = RECT{0, 0, s.dw, s.dh};
            s.x = random.Between(-2, std::max(-2, s.dw - s.sw + 2));
        }
        s.mode = kModes[random.Below(3)];
        s.p = kParams[random.Below(7)];
        s.useMask = false;
        if (kind == kit::Source::k565 && random.Below(8) == 0) {
            s.key |= 0x10000;  // matches no RGB565 pixel, though its low half does
        }
        s.brightness = 0xFFFFFF;
        soft::g_blitUseFastPaths = 0;
        const std::vector<uint32_t> general = kit::DrawScene(s);
        soft::g_blitUseFastPaths = 1;
        const std::vector<uint32_t> fast = kit::DrawScene(s);
        ASSERT_EQ(fast, general) << "round " << round << " kind " << int(kind) << " mode " << s.mode
                                 << " p " << s.p << " trans " << s.trans;
    }
}

// Sources and masks whose stores end with their last pixel: under the
// sanitizer build any read past a row's drawn part, the image or its run
// table shows. Every second draw goes through a run table.
TEST(Blit, ReadsNothingBeyondTheSourceOrTheMask) {
    kit::BiasedRandom random(41);
    kit::EnsureTables();
    for (int round = 0; round < 600; ++round) {
        const bool runs = round % 2 == 1;
        const kit::Source kind = static_cast<kit::Source>(random.Below(6));
        const int sw = random.Between(1, runs ? 70 : 9), sh = random.Between(1, 5);
        const int bytes = MemImgBytesPerPixel(kit::ColourTypeOf(kind), kit::HasAlpha(kind),
                                              kit::IsPaletted(kind));
        MEMIMG src{}, mask{};
        ASSERT_EQ(MemImgCreate(&src, sw, sh, sw * bytes, 0, int(kit::ColourTypeOf(kind)),
                               kit::IsPaletted(kind), kit::HasAlpha(kind), runs ? 1 : 0, nullptr),
                  0);
        ASSERT_EQ(MemImgCreate(&mask, sw, sh, sw, 0, kMemImgGray8, 0, 0, 0, nullptr), 0);
        std::memset(src.pixels, 0x11 * (round % 7), size_t(sw) * bytes * sh);
        for (int i = 0; runs && i < sw * bytes * sh; ++i) {
            src.pixels[i] = uint8_t(random.Below(3) == 0 ? 0 : random.Byte());
        }
        std::memset(mask.pixels, 0x80, size_t(sw) * sh);
        ASSERT_EQ(runs ? MemImgBuildRunTable(&src) : 0, 0);
        kit::GuardedImage dest(kit::ColourTypeOf(kind), 80, 8);
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 80, 8});
        state.blendMode = std::array<uint32_t, 7>{0, 1, 2, 3, 4, 10, 11}[random.Below(7)];
        state.blendParam = random.Below(2) ? 255 : int(random.Byte());
        state.brightness = random.Below(2) ? 0xFFFFFF : 0x808080;
        // A run-table draw lies wholly inside the area, with trans 1.
        const int x = runs ? random.Between(0, 80 - sw) : random.Between(-sw, 12);
        const int y = runs ? random.Between(0, 8 - sh) : random.Between(-sh, 8);
        MemImgBlit(state, dest.image(), &src, x, y, runs ? 1 : int(random.Below(2)),
                   random.Below(2) ? &mask : nullptr);
        EXPECT_TRUE(dest.GuardsIntact());
    }
}

}  // namespace
}  // namespace tessel
