// The rotated blit's entry: what it refuses, with and without the turn flag;
// the mirrored form through the quad; the limits of the tables and of 14.18
// positions; and the digest that optimised and unoptimised builds both give.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "softrender/rotate_scene.h"
#include "softrender/triangle.h"

namespace tessel {
namespace {

using kit::Source;

bool Untouched(const kit::RotateScene& s) {
    return kit::DrawRotateScene(s) == s.blit.dest;
}

TEST(RotateBlit, RefusesWhatItCannotDrawWithOrWithoutTheTurnFlag) {
    kit::EnsureTables();
    struct Case {
        const char* what;
        uint32_t destType;
        int destPalette;
        int destAlpha;
        uint32_t mode;
        int p;
        float scale;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"colour types differ", kMemImgRgb565, 0, 0, 0, 255, 1.0f},
        {"paletted destination", kMemImgRgb32, 1, 0, 0, 255, 1.0f},
        {"destination with alpha", kMemImgRgb32, 0, 1, 0, 255, 1.0f},
        {"scale 0", kMemImgRgb32, 0, 0, 0, 255, 0.0f},
        {"scale not a number", kMemImgRgb32, 0, 0, 0, 255, nan},
    };
    for (const Case& c : cases) {
        for (int turn : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.what << " turn " << turn);
            kit::GuardedImage source(kMemImgRgb32, 6, 6);
            kit::FillIndexCoded(source);
            kit::GuardedImage dest(c.destType, 16, 16, c.destAlpha, c.destPalette);
            const std::vector<uint32_t> before = dest.Pixels();
            SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 16, 16});
            state.blendMode = c.mode;
            state.blendParam = c.p;
            MemImgRotateBlit(state, dest.image(), source.image(), 8, 8, 0.3f, c.scale, 0, turn,
                             nullptr);
            EXPECT_EQ(dest.Pixels(), before);
            EXPECT_TRUE(dest.GuardsIntact());
        }
    }
}

// Modes without a kernel, and the parameter short-cuts, draw nothing; the
// turn flag leaves the modes to the quad, which draws nothing for them
// either.
TEST(RotateBlit, DrawsNothingInModesWithoutAKernelOrAtTheirShortCuts) {
    const struct {
        uint32_t mode;
        int p;
    } cases[] = {{5, 255}, {7, 128}, {9, 1}, {12, 255}, {0xFFFFFFFFu, 255}, {1, 0}, {2, 0}, {3, 0}};
    for (const auto& c : cases) {
        for (int turn : {0, 1}) {
            SCOPED_TRACE(testing::Message()
                         << "mode " << c.mode << " p " << c.p << " turn " << turn);
            kit::RotateScene s = kit::IndexCodedScene(6, 5, 20, 20);
            s.blit.mode = c.mode;
            s.blit.p = c.p;
            s.turn = turn;
            EXPECT_TRUE(Untouched(s));
        }
    }
}

// A box wholly outside the draw area, or the view, draws nothing.
TEST(RotateBlit, DrawsNothingWhenTheBoxMissesTheArea) {
    kit::RotateScene s = kit::IndexCodedScene(6, 5, 20, 20);
    s.blit.area = RECT{14, 0, 20, 20};
    s.cx = 4;  // box 1..10 wide
    EXPECT_TRUE(Untouched(s));
    s.blit.area = RECT{0, 0, 20, 20};
    s.cx = -8;
    EXPECT_TRUE(Untouched(s));
    s.cx = 4;
    s.cy = 30;
    EXPECT_TRUE(Untouched(s));
}

// Sources past the row tables or 14.18 positions, masks smaller than the
// source, centres and corners too far out: nothing is drawn. The limits
// themselves draw.
TEST(RotateBlit, RefusesSourcesMasksAndPositionsBeyondItsLimits) {
    kit::EnsureTables();
    kit::IdentityFade();
    struct Case {
        const char* what;
        int sw, sh, mw, mh;
        int cx, cy;
        float scale;
        bool draws;
    };
    const Case cases[] = {
        {"4096 rows", 2, 4096, 0, 0, 8, 8, 1.0f, true},
        {"4097 rows", 2, 4097, 0, 0, 8, 8, 1.0f, false},
        {"8191 columns", 8191, 2, 0, 0, 8, 8, 1.0f, true},
        {"8192 columns", 8192, 2, 0, 0, 8, 8, 1.0f, false},
        {"a mask of the source's size", 5, 4, 5, 4, 8, 8, 1.0f, true},
        {"a mask taller than the tables", 5, 4, 5, 5000, 8, 8, 1.0f, true},
        {"a mask one column short", 5, 4, 4, 4, 8, 8, 1.0f, false},
        {"a mask one row short", 5, 4, 5, 3, 8, 8, 1.0f, false},
        // At 16400 the 14.18 centre would wrap to pixel 16, inside the view.
        {"a centre 16384 pixels right", 5, 4, 0, 0, 16384 + 8, 8, 1.0f, false},
        {"a centre at -8193", 5, 4, 0, 0, -8193, 8, 1.0f, false},
        {"corners 8192 pixels out", 5, 4, 0, 0, 8, 8, 3300.0f, false},
        {"a scale that reaches 8000 pixels", 5, 4, 0, 0, 8, 8, 3000.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage source(kMemImgRgb32, c.sw, c.sh);
        for (int y = 0; y < std::min(c.sh, 20); ++y) {
            for (int x = 0; x < std::min(c.sw, 20); ++x) {
                source.Set(x, y, 0xFF123456u);
            }
        }
        // A huge scale shows the source's middle around the centre.
        for (int y = c.sh / 2 - 1; y <= c.sh / 2; ++y) {
            for (int x = c.sw / 2 - 1; x <= c.sw / 2; ++x) {
                source.Set(x, y, 0xFF123456u);
            }
        }
        kit::GuardedImage mask(kMemImgGray8, std::max(c.mw, 1), std::max(c.mh, 1));
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                mask.Set(x, y, 255);
            }
        }
        kit::GuardedImage dest(kMemImgRgb32, 16, 16);
        MemImgRotateBlit(DefaultSoftDrawState(RECT{0, 0, 16, 16}), dest.image(), source.image(),
                         c.cx, c.cy, 0.0f, c.scale, 0, 0, c.mw > 0 ? mask.image() : nullptr);
        const std::vector<uint32_t> got = dest.Pixels();
        const bool drew = std::count(got.begin(), got.end(), 0u) != long(got.size());
        EXPECT_EQ(drew, c.draws);
        EXPECT_TRUE(dest.GuardsIntact());
    }
}

// A centre near the end of the 14.18 range with corners past it, on a
// destination wider than that: the image lands where it belongs, its box
// taken from the corners as they are rather than wrapped to the far left.
TEST(RotateBlit, DrawsCornersPastThePositionRangeWhereTheyBelong) {
    constexpr int kWide = 8400;
    kit::GuardedImage source(kMemImgRgb32, 400, 2);
    kit::FillIndexCoded(source);
    kit::GuardedImage dest(kMemImgRgb32, kWide, 3);
    MemImgRotateBlit(DefaultSoftDrawState(RECT{0, 0, kWide, 3}), dest.image(), source.image(), 8100,
                     1, 0.0f, 1.0f, 0, 0, nullptr);
    for (int x = 0; x < kWide; ++x) {
        const bool inside = x >= 7900 && x < 8300;
        ASSERT_EQ(dest.Get(x, 0), inside ? kit::IndexCode(kMemImgRgb32, 0, x - 7900, 0) : 0u) << x;
    }
    EXPECT_TRUE(dest.GuardsIntact());
}

// Turned by 45 degrees, an image whose corners stay within 8191 pixels of the
// centre has a box whose corner lies 11300 pixels away: the walk's start
// position does not fit in 32 bits and nothing is drawn, rather than texels
// from a wrapped position.
TEST(RotateBlit, DrawsNothingWhenTheWalkStartsTooFarFromTheCentre) {
    kit::GuardedImage source(kMemImgRgb32, 11, 11);
    kit::FillIndexCoded(source);
    kit::GuardedImage dest(kMemImgRgb32, 16, 8010);
    MemImgRotateBlit(DefaultSoftDrawState(RECT{0, 0, 16, 8010}), dest.image(), source.image(), 8002,
                     8002, 0.7853982f, 1028.0f, 0, 0, nullptr);
    const std::vector<uint32_t> got = dest.Pixels();
    EXPECT_EQ(std::count(got.begin(), got.end(), 0u), long(got.size()));
}

// The turn flag draws the quad through the turned corners in the order
// top-right, top-left, bottom-right, bottom-left: unturned, texel i lands
// where texel width - i would; the transparent flag and the mask go with it.
TEST(RotateBlit, TheTurnFlagDrawsTheMirroredQuad) {
    kit::IdentityFade();
    {
        kit::RotateScene s = kit::IndexCodedScene(6, 4, 20, 20);
        s.turn = 1;
        s.cx = 10;
        s.cy = 9;
        const std::vector<uint32_t> got = kit::DrawRotateScene(s);
        // Corners at x 7 .. 13; the quad puts texel i at column 13 - i.
        for (int j = 0; j < 4; ++j) {
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(got[size_t(7 + j) * 20 + 13 - i], kit::IndexCode(kMemImgRgb32, 0, i, j))
                    << i << "," << j;
            }
            EXPECT_EQ(got[size_t(7 + j) * 20 + 7], 0x11111111u);
        }
    }
    kit::BiasedRandom random(76);
    for (int round = 0; round < 200; ++round) {
        kit::RotateScene s = kit::RandomRotateScene(random, Source::k32Alpha, 9, 7, 30, 30);
        s.turn = 1;
        s.cx = random.Between(0, 30);
        s.cy = random.Between(0, 30);
        SCOPED_TRACE(testing::Message() << "round " << round);
        const std::vector<uint32_t> got = kit::DrawRotateScene(s);

        const kit::BlitScene& b = s.blit;
        const soft::RotateFrame f = soft::TurnSource(b.sw, b.sh, s.cx, s.cy, s.angle, s.scale);
        const int order[4] = {3, 0, 2, 1};
        std::array<MemImgQuadCorner, 4> corners{};
        for (int k = 0; k < 4; ++k) {
            corners[k] = {int32_t(f.x[order[k]] / 262144), int32_t(f.y[order[k]] / 262144)};
        }
        kit::SourceImage source(b.kind, b.sw, b.sh, b.key);
        source.guarded().SetPixels(b.source);
        kit::GuardedImage dest(kMemImgRgb32, b.dw, b.dh);
        dest.SetPixels(b.dest);
        kit::GuardedImage mask(kMemImgGray8, b.sw, b.sh);
        mask.SetPixels(b.mask);
        SoftDrawState state = DefaultSoftDrawState(b.area);
        state.blendMode = b.mode;
        state.blendParam = b.p;
        state.brightness = b.brightness;
        MemImgTexturedQuad(state, dest.image(), source.image(), corners.data(), b.trans,
                           b.useMask ? mask.image() : nullptr);
        ASSERT_EQ(got, dest.Pixels());
    }
}

uint64_t Fnv(const std::vector<uint32_t>& pixels, uint64_t h) {
    for (uint32_t v : pixels) {
        for (int i = 0; i < 4; ++i) {
            h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
        }
    }
    return h;
}

// Angles and scales whose products round: the images hash to the same value
// in every build, optimised or not (the set-up's floating point is strict
// and uncontracted).
TEST(RotateSetUp, DrawsTheSameImagesInEveryBuild) {
    kit::BiasedRandom random(2028);
    uint64_t h = 14695981039346656037ull;
    for (int round = 0; round < 300; ++round) {
        kit::RotateScene s =
            kit::IndexCodedScene(random.Between(1, 23), random.Between(1, 19), 40, 40);
        s.cx = random.Between(-10, 50);
        s.cy = random.Between(-10, 50);
        s.angle = static_cast<float>(random.Between(-1000000, 1000000)) * 1.7e-5f;
        s.scale = static_cast<float>(random.Between(1, 100000)) * 3.1e-5f;
        h = Fnv(kit::DrawRotateScene(s), h);
    }
    EXPECT_EQ(h, 0xfe72df42e0b6d1f6ull) << std::hex << h;
}

}  // namespace
}  // namespace tessel
