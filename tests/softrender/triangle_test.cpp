// The triangle kernels against the oracle: the 32-bit textured family over
// every mode and flag set, random scenes of textured and solid triangles and
// quads with clipping and guard bands, and nothing read past a source or mask.
#include <gtest/gtest.h>

#include <cstring>

#include "softrender/blit_kit.h"
#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using kit::Triangle;

#if TESSEL_FULL_SIZE_RUNS
constexpr int kRounds = 1;
#else
constexpr int kRounds = 0;  // sanitizer builds: one scene per case only
#endif

using kit::CheckTriScene;
using kit::kDrawnModes;

// One triangle over the whole destination whose texels are u = x, v = y, so
// every texel is drawn once through the rule under test.
TEST(TexturedTriangle32, MatchesTheOracleForEveryModeAndFlagSet) {
    kit::BiasedRandom random(43);
    constexpr int kSize = 48;
    for (uint32_t mode : kDrawnModes) {
        for (int flags = 0; flags < 16; ++flags) {
            const bool mask = flags & 1, white = flags & 2, trans = flags & 4, alpha = flags & 8;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " mask " << mask << " white "
                                            << white << " trans " << trans << " alpha " << alpha);
            for (int round = 0; round <= 8 * kRounds; ++round) {
                kit::TriScene s = kit::CoverScene(random, kSize);
                s.mode = mode;
                s.useMask = mask;
                s.trans = trans ? 1 : 0;
                s.alphaSource = alpha;
                static constexpr int kSpecial[] = {0, 1, 128, 255};
                s.p = round < 4 ? kSpecial[round] : int(random.Byte());
                if (!white) {
                    s.brightness = kit::NonWhiteBrightness(random);
                }
                ASSERT_NO_FATAL_FAILURE(CheckTriScene(s))
                    << "p " << s.p << std::hex << " brightness " << s.brightness;
            }
        }
    }
}

// A scene of up to 9 x 7 texels on up to 21 x 17 pixels, random settings.
kit::TriScene SmallScene(kit::BiasedRandom& random, int smallestDest) {
    kit::TriScene s =
        kit::RandomTriScene(random, random.Between(1, 9), random.Between(1, 7),
                            random.Between(smallestDest, 21), random.Between(smallestDest, 17));
    kit::RandomSettings(random, s);
    return s;
}

TEST(TexturedTriangle32, RandomScenesOfOneToThreeTrianglesMatchTheOracle) {
    kit::BiasedRandom random(101);
    for (int round = 0; round < 3000; ++round) {
        kit::TriScene s = SmallScene(random, 1);
        const int more = int(random.Below(3));
        for (int i = 0; i < more; ++i) {
            s.triangles.push_back(kit::RandomTriangle(random, s.sw, s.sh, s.dw, s.dh));
        }
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << s.mode << " p " << s.p);
        ASSERT_NO_FATAL_FAILURE(CheckTriScene(s));
    }
}

TEST(SolidTriangle, RandomScenesOnBothDepthsMatchTheOracle) {
    kit::BiasedRandom random(7);
    for (int round = 0; round < 4000; ++round) {
        kit::TriScene s =
            kit::RandomTriScene(random, 1, 1, random.Between(1, 21), random.Between(1, 17));
        s.solid = true;
        s.destType = random.Below(2) ? kMemImgRgb32 : kMemImgRgb565;
        if (s.destType == kMemImgRgb565) {
            s.colour = random.Pixel565() | (random.Below(2) ? 0xABCD0000u : 0u);
        }
        s.mode = kDrawnModes[random.Below(7)];
        s.p = int(random.Byte());
        if (random.Below(2) == 0) {
            s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
        }
        s.triangles.push_back(kit::RandomTriangle(random, 1, 1, s.dw, s.dh));
        SCOPED_TRACE(testing::Message() << "round " << round << " depth " << s.destType << " mode "
                                        << s.mode << " p " << s.p);
        ASSERT_NO_FATAL_FAILURE(CheckTriScene(s));
    }
}

// The quad's two triangles, as the oracle draws them one after the other.
TEST(TexturedQuad, RandomQuadsMatchTheirTwoTrianglesInTheOracle) {
    kit::BiasedRandom random(55);
    for (int round = 0; round < 1500; ++round) {
        kit::TriScene s = SmallScene(random, 4);
        MemImgQuadCorner c[4];
        for (MemImgQuadCorner& k : c) {
            k = {random.Between(-6, s.dw + 6), random.Between(-6, s.dh + 6)};
        }
        const int w = s.sw, h = s.sh;
        s.triangles = {
            Triangle{{{c[0].x, c[0].y, 0, 0}, {c[1].x, c[1].y, w, 0}, {c[2].x, c[2].y, 0, h}}},
            Triangle{{{c[1].x, c[1].y, w, 0}, {c[2].x, c[2].y, 0, h}, {c[3].x, c[3].y, w, h}}}};
        kit::GuardedImage source(kMemImgRgb32, s.sw, s.sh, s.alphaSource ? 1 : 0, 0, s.key);
        source.SetPixels(s.source);
        kit::GuardedImage dest(kMemImgRgb32, s.dw, s.dh);
        dest.SetPixels(s.dest);
        kit::GuardedImage mask(kMemImgGray8, s.sw, s.sh);
        mask.SetPixels(s.mask);
        kit::IdentityFade();
        const SoftDrawState state{s.mode, s.p, s.brightness, s.area, &g_blendTables};
        MemImgTexturedQuad(state, dest.image(), source.image(), c, s.trans,
                           s.useMask ? mask.image() : nullptr);
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << s.mode);
        ASSERT_TRUE(dest.GuardsIntact());
        const std::vector<uint32_t> got = dest.Pixels();
        const std::vector<uint32_t> want = kit::ExpectTriScene(s);
        ASSERT_TRUE(got == want) << kit::Differences(s, got, want);
    }
}

// Sources and masks with rows of their exact width: under the address
// sanitizer any read past either fails.
TEST(TexturedTriangle32, ReadsNothingBeyondTheSourceOrTheMask) {
    kit::BiasedRandom random(47);
    kit::EnsureTables();
    for (int round = 0; round < 400; ++round) {
        const int sw = random.Between(1, 9), sh = random.Between(1, 5);
        const int alpha = int(random.Below(2));
        MEMIMG src{}, mask{};
        ASSERT_EQ(MemImgCreate(&src, sw, sh, sw * 4, 0, kMemImgRgb32, 0, alpha, 0, nullptr), 0);
        ASSERT_EQ(MemImgCreate(&mask, sw, sh, sw, 0, kMemImgGray8, 0, 0, 0, nullptr), 0);
        std::memset(src.pixels, 0x11 * (round % 7 + 1), size_t(sw) * 4 * sh);
        std::memset(mask.pixels, 0x80, size_t(sw) * sh);
        kit::GuardedImage dest(kMemImgRgb32, 12, 8);
        kit::TriScene settings{};
        kit::RandomSettings(random, settings);
        const SoftDrawState state{settings.mode, settings.p, settings.brightness, RECT{0, 0, 12, 8},
                                  &g_blendTables};
        const Triangle t = kit::RandomTriangle(random, sw, sh, 12, 8);
        MemImgTexturedTriangle(state, dest.image(), &src, t.data(), settings.trans,
                               settings.useMask ? &mask : nullptr, 0);
        EXPECT_TRUE(dest.GuardsIntact());
        MemImgRelease(&src);
        MemImgRelease(&mask);
    }
}

}  // namespace
}  // namespace tessel
