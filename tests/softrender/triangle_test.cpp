// The triangle kernels against the oracle: the 32-bit textured family over
// every mode and flag set, random scenes of textured and solid triangles and
// quads with clipping and guard bands; the set-up's gradients and range; the
// refusals; and the digest that -O0 and -O2 builds must both give.
#include <gtest/gtest.h>

#include <cstring>

#include "softrender/blit_kit.h"
#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"
#include "softrender/triangle_walk.h"

namespace tessel {
namespace {

using kit::Triangle;

#ifdef __OPTIMIZE__
constexpr int kRounds = 1;
#else
constexpr int kRounds = 0;  // sanitizer builds: one scene per case only
#endif

constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};

void CheckScene(const kit::TriScene& s) {
    const std::vector<uint32_t> got = kit::DrawTriScene(s);
    const std::vector<uint32_t> want = kit::ExpectTriScene(s);
    ASSERT_TRUE(got == want) << kit::Differences(s, got, want);
}

// One triangle over the whole destination whose texels are u = x, v = y, so
// every texel is drawn once through the rule under test.
TEST(TexturedTriangle32, MatchesTheOracleForEveryModeAndFlagSet) {
    kit::BiasedRandom random(43);
    constexpr int kSize = 48;
    const Triangle cover{
        {{0, 0, 0, 0}, {2 * kSize, 0, 2 * kSize, 0}, {0, 2 * kSize, 0, 2 * kSize}}};
    for (uint32_t mode : kModes) {
        for (int flags = 0; flags < 16; ++flags) {
            const bool mask = flags & 1, white = flags & 2, trans = flags & 4, alpha = flags & 8;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " mask " << mask << " white "
                                            << white << " trans " << trans << " alpha " << alpha);
            for (int round = 0; round <= 8 * kRounds; ++round) {
                kit::TriScene s = kit::RandomTriScene(random, kSize, kSize, kSize, kSize);
                s.area = RECT{0, 0, kSize, kSize};
                s.triangles = {cover};
                s.mode = mode;
                s.useMask = mask;
                s.trans = trans ? 1 : 0;
                s.alphaSource = alpha;
                static constexpr int kSpecial[] = {0, 1, 128, 255};
                s.p = round < 4 ? kSpecial[round] : int(random.Byte());
                if (!white) {
                    do {
                        s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
                    } while (s.brightness == 0xFFFFFF);
                }
                ASSERT_NO_FATAL_FAILURE(CheckScene(s))
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
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
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
        s.mode = kModes[random.Below(7)];
        s.p = int(random.Byte());
        if (random.Below(2) == 0) {
            s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
        }
        s.triangles.push_back(kit::RandomTriangle(random, 1, 1, s.dw, s.dh));
        SCOPED_TRACE(testing::Message() << "round " << round << " depth " << s.destType << " mode "
                                        << s.mode << " p " << s.p);
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
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

// The gradients are the exact quotients truncated toward zero (the double
// division is exact enough over the whole coordinate range; a float one is
// not).
TEST(TriangleSetUp, GradientsAreTheTruncatedQuotients) {
    kit::BiasedRandom random(3);
    int checked = 0;
    for (int round = 0; round < 20000; ++round) {
        MemImgTriVertex v[3];
        for (MemImgTriVertex& k : v) {
            k = {random.Between(-4000, 4000), random.Between(-4000, 4000),
                 random.Between(-8192, 8191), random.Between(-8192, 8191)};
        }
        soft::TriGeometry g{};
        if (!soft::SetUpTriangle(v, &g) || !g.plane.fits) {
            continue;
        }
        // P is the first vertex with the smallest x.
        int p = 0;
        for (int i = 1; i < 3; ++i) {
            p = v[i].x < v[p].x ? i : p;
        }
        const MemImgTriVertex& a = v[p];
        const MemImgTriVertex& b = v[(p + 1) % 3];
        const MemImgTriVertex& c = v[(p + 2) % 3];
        const int64_t dx1 = b.x - a.x, dy1 = b.y - a.y, du1 = b.u - a.u, dv1 = b.v - a.v;
        const int64_t dx2 = c.x - a.x, dy2 = c.y - a.y, du2 = c.u - a.u, dv2 = c.v - a.v;
        const int64_t d = dy1 * dx2 - dy2 * dx1;
        auto exact = [d](int64_t n) { return static_cast<uint32_t>(n * 262144 / d); };
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_EQ(g.plane.ux, exact(dy1 * du2 - dy2 * du1));
        ASSERT_EQ(g.plane.uy, exact(du1 * dx2 - dx1 * du2));
        ASSERT_EQ(g.plane.vx, exact(dy1 * dv2 - dy2 * dv1));
        ASSERT_EQ(g.plane.vy, exact(dv1 * dx2 - dv2 * dx1));
        ASSERT_EQ(g.plane.x0, a.x);
        ASSERT_EQ(g.plane.y0, a.y);
        ++checked;
    }
    EXPECT_GT(checked, 10000);
}

int CountDrawn(const Triangle& t, int size, const MEMIMG* src = nullptr, uint32_t mode = kBlendCopy,
               int p = 255) {
    kit::GuardedImage dest(kMemImgRgb32, size, size);
    SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, size, size});
    state.blendMode = mode;
    state.blendParam = p;
    MemImgTexturedTriangle(state, dest.image(), src, t.data(), 0, nullptr, 0x00FFFFFFu);
    EXPECT_TRUE(dest.GuardsIntact());
    int drawn = 0;
    for (uint32_t v : dest.Pixels()) {
        drawn += v != 0 ? 1 : 0;
    }
    return drawn;
}

// Coordinates and their differences must fit 14.18 fixed point: -8192 to
// 8191. Past that, nothing is drawn instead of a wrapped triangle.
TEST(TriangleSetUp, DrawsNothingOutsideTheFixedPointRange) {
    struct Case {
        const char* what;
        Triangle t;
        bool draws;
    };
    const Case cases[] = {
        {"a difference of 8191", {{{0, 0, 0, 0}, {8191, 0, 0, 0}, {0, 5, 0, 0}}}, true},
        {"a difference of 8192", {{{-1, 0, 0, 0}, {8191, 0, 0, 0}, {-1, 5, 0, 0}}}, false},
        {"u at -8192", {{{0, 0, -8192, 0}, {9, 0, 0, 0}, {0, 9, 0, 0}}}, true},
        {"x at 8192, which would wrap to the far left",
         {{{8185, 0, 0, 0}, {8192, 0, 0, 0}, {8185, 6, 0, 0}}},
         false},
        {"y at 8192", {{{0, 8190, 0, 0}, {9, 8192, 0, 0}, {0, 8185, 0, 0}}}, false},
        {"u at 8192", {{{0, 0, 8192, 0}, {9, 0, 0, 0}, {0, 9, 0, 0}}}, false},
        {"v at -8193", {{{0, 0, 0, 0}, {9, 0, 0, -8193}, {0, 9, 0, 0}}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CountDrawn(c.t, 8) > 0, c.draws);
    }
}

TEST(TexturedTriangle32, RefusesWhatItCannotDraw) {
    kit::GuardedImage source(kMemImgRgb32, 4, 4);
    for (int i = 0; i < 16; ++i) {
        source.Set(i % 4, i / 4, 0x00112233u);
    }
    const Triangle t{{{0, 0, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}}};
    ASSERT_GT(CountDrawn(t, 8, source.image()), 0);
    ASSERT_GT(CountDrawn(t, 8), 0);
    EXPECT_EQ(CountDrawn(t, 8, source.image(), 7), 0);
    EXPECT_EQ(CountDrawn(t, 8, source.image(), 12), 0);
    EXPECT_EQ(CountDrawn(t, 8, source.image(), uint32_t(-1)), 0);
    for (uint32_t mode : {1u, 2u, 3u}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(CountDrawn(t, 8, source.image(), mode, 0), 0);
        EXPECT_EQ(CountDrawn(t, 8, nullptr, mode, 0), 0);
    }
    // One texel across thousands of pixels is fine; thousands of texels
    // across one pixel leave 14.18 and draw nothing.
    const Triangle steep{{{0, 0, 0, 0}, {2, 1, 8000, 0}, {1, 1, -8000, 0}}};
    EXPECT_EQ(CountDrawn(steep, 8, source.image()), 0);
    EXPECT_GT(CountDrawn(steep, 8), 0) << "a solid triangle has no texels to step";

    kit::GuardedImage source565(kMemImgRgb565, 4, 4);
    EXPECT_EQ(CountDrawn(t, 8, source565.image()), 0) << "colour types differ";

    kit::GuardedImage wide(kMemImgRgb32, 8192, 1);
    EXPECT_EQ(CountDrawn(Triangle{{{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 1}}}, 8, wide.image()), 0);
    kit::GuardedImage widest(kMemImgRgb32, 8191, 1);
    for (int x = 0; x < 8; ++x) {
        widest.Set(x, 0, 0x00445566u);
    }
    EXPECT_GT(CountDrawn(Triangle{{{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 1}}}, 8, widest.image()),
              0);
}

TEST(TexturedTriangle32, RefusesDestinationsAndMasksItCannotUse) {
    kit::GuardedImage source(kMemImgRgb32, 4, 4);
    const Triangle t{{{0, 0, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}}};
    SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 8, 8});
    struct Dest {
        const char* what;
        int alpha, palette;
    };
    for (const Dest& d : {Dest{"alpha", 1, 0}, Dest{"paletted", 0, 1}}) {
        SCOPED_TRACE(d.what);
        kit::GuardedImage dest(kMemImgRgb32, 8, 8, d.alpha, d.palette);
        const std::vector<uint32_t> before = dest.Pixels();
        MemImgTexturedTriangle(state, dest.image(), source.image(), t.data(), 0, nullptr, 0);
        MemImgTexturedTriangle(state, dest.image(), nullptr, t.data(), 0, nullptr, 0x12345678u);
        EXPECT_EQ(dest.Pixels(), before);
    }
    kit::GuardedImage dest(kMemImgRgb32, 8, 8);
    for (int i = 0; i < 16; ++i) {
        source.Set(i % 4, i / 4, 0x00808080u);
    }
    kit::GuardedImage narrow(kMemImgGray8, 3, 4);
    kit::GuardedImage low(kMemImgGray8, 4, 3);
    MemImgTexturedTriangle(state, dest.image(), source.image(), t.data(), 0, narrow.image(), 0);
    MemImgTexturedTriangle(state, dest.image(), source.image(), t.data(), 0, low.image(), 0);
    EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(64, 0)) << "a mask smaller than the source";
    MemImgTexturedQuad(state, dest.image(), nullptr, std::array<MemImgQuadCorner, 4>{}.data(), 0,
                       nullptr);
    const MemImgQuadCorner corners[4] = {{0, 0}, {6, 0}, {0, 6}, {6, 6}};
    MemImgTexturedQuad(state, dest.image(), nullptr, corners, 0, nullptr);
    EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(64, 0)) << "a quad needs its source";
}

// A draw area larger than the destination view is held to the view.
TEST(TexturedTriangle32, StaysInsideTheViewWhenTheAreaIsLarger) {
    kit::GuardedImage source(kMemImgRgb32, 20, 20);
    kit::FillIndexCoded(source);
    kit::GuardedImage dest(kMemImgRgb32, 6, 5);
    SoftDrawState state = DefaultSoftDrawState(RECT{-10, -10, 30, 30});
    const Triangle t{{{-8, -8, 0, 0}, {20, -8, 20, 0}, {-8, 20, 0, 20}}};
    MemImgTexturedTriangle(state, dest.image(), source.image(), t.data(), 0, nullptr, 0);
    MemImgTexturedTriangle(state, dest.image(), nullptr, t.data(), 0, nullptr, 0x01020304u);
    EXPECT_TRUE(dest.GuardsIntact());
    EXPECT_EQ(dest.Get(5, 4), 0x01020304u);
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

uint64_t Fnv(const std::vector<uint32_t>& pixels, uint64_t h) {
    for (uint32_t v : pixels) {
        for (int i = 0; i < 4; ++i) {
            h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
        }
    }
    return h;
}

// Triangles whose gradients and side tests round: the images hash to the
// same value in every build, optimised or not (the set-up's floating point
// is strict and uncontracted).
TEST(TriangleSetUp, DrawsTheSameImagesInEveryBuild) {
    kit::BiasedRandom random(2026);
    uint64_t h = 14695981039346656037ull;
    for (int round = 0; round < 200; ++round) {
        kit::TriScene s = kit::RandomTriScene(random, 23, 19, 40, 40);
        s.area = RECT{0, 0, 40, 40};
        for (MemImgTriVertex& v : s.triangles[0]) {
            v.x = random.Between(-30, 70);
            v.y = random.Between(-30, 70);
            v.u = random.Between(-5, 28);
            v.v = random.Between(-5, 24);
        }
        s.trans = 1;
        h = Fnv(kit::DrawTriScene(s), h);
    }
    EXPECT_EQ(h, 0x8390d61d147309d4ull) << std::hex << h;
}

}  // namespace
}  // namespace tessel
