// The triangle set-up: its gradients, the fixed-point range, the refusals,
// the view, and the digest that optimised and unoptimised builds both give.
#include <gtest/gtest.h>

#include <array>

#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"
#include "softrender/triangle_walk.h"

namespace tessel {
namespace {

using kit::Triangle;

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
