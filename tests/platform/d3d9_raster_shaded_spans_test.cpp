// The shaded-span route of 3D triangles against the general per-pixel path, over random
// perspective triangles with Gouraud or flat colours, mip chains of 32-bit texels under every
// filter, address mode and level-of-detail bias, one or two stages, specular, vertex and table
// fog, depth of every format and compare function with biases, the alpha test and the blends
// the route writes in place: the fast routes on (one thread and four bands) must give the
// plain path's colour and depth bytes, bit for bit, and the route must have run.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "d3d9_random_scene.h"
#include "d3d9_raster_fixture.h"
#include "platform/d3d9/raster_projective_internal.h"

namespace {

using namespace raster_test;
using Rng = std::mt19937;

TEST(RasterShadedSpans, GiveThePlainPathsPixelsAndDepthOverRandomScenes) {
    RouteSwitches switches;
    Rng rng(55);
    uint64_t shaded = 0, rows = 0;
    for (int scene = 0; scene < 1500; ++scene) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        RandomScene r(rng);
        const EachWay drawn = DrawEachWay(r, [&] {
            shaded += RasterRouteCount(RasterRoute::kShadedSpans);
            rows += RasterRouteCount(RasterRoute::kTriangleRows);
        });
        ASSERT_TRUE(drawn.general == drawn.fast) << "the shaded spans differ from the plain path";
        ASSERT_TRUE(drawn.general == drawn.banded) << "the shaded spans differ in bands";
    }
    // The route took the triangles it was meant for and left none to the plain path.
    EXPECT_GT(shaded, 3000u);
    EXPECT_EQ(rows, 0u);
}

// The pixels of perspective triangles follow one single-precision rule whatever the build:
// the same scenes hash the same in an optimised build and in an unoptimised sanitizer build.
TEST(RasterShadedSpans, PerspectivePixelsAreTheSameInEveryBuild) {
    RouteSwitches switches;
    Rng rng(5501);
    uint64_t hash = 1469598103934665603u;
    for (int scene = 0; scene < 300; ++scene) {
        RandomScene r(rng);
        SetRasterThreadCount(1);
        SetRasterFastQuadsEnabled(scene % 2 == 0);
        HashPixels(r.Draw(), &hash);
    }
    EXPECT_EQ(hash, 3424446390494214415u);
}

// The level of detail is worked out once per 2x2 block: on a floor seen steeply, where the
// mip level changes from row to row and column to column, the four pixels of every block
// show the same level, on the plain path and on the route alike. Each level is one colour.
TEST(RasterShadedSpans, TakeOneLevelOfDetailPerTwoByTwoBlock) {
    RouteSwitches switches;
    const uint32_t colours[7] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u,
                                 0xFF00FFFFu, 0xFFFF00FFu, 0xFFFFFFFFu};
    std::vector<uint32_t> texels;
    RasterTexture tex;
    tex.format = kFmtA8R8G8B8;
    tex.levelCount = 7;
    size_t offsets[7];
    for (int i = 0, side = 64; i < 7; ++i, side /= 2) {
        offsets[i] = texels.size();
        texels.insert(texels.end(), static_cast<size_t>(side) * side, colours[i]);
    }
    for (int i = 0, side = 64; i < 7; ++i, side /= 2) {
        tex.levels[i] = {reinterpret_cast<uint8_t*>(texels.data() + offsets[i]), side, side,
                         side * 4, kFmtA8R8G8B8};
    }
    for (bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "route" : "plain path");
        SetRasterThreadCount(1);
        SetRasterFastQuadsEnabled(fast);
        Canvas c(64, 64);
        c.states.textures[0] = &tex;
        c.states.stage[0][kTssColorOp] = kTopSelectArg1;
        c.states.stage[0][kTssColorArg1] = kTaTexture;
        c.states.sampler[0][kSampMipFilter] = kFilterPoint;
        // One triangle over the whole canvas, rhw from 0.03 at the top left to 0.4 at the far
        // corners: the texels a pixel covers change along both axes through several levels.
        auto vertex = [](float x, float y, float rhw, float u, float v) {
            RasterVertex r;
            r.x = x, r.y = y, r.z = 0.5f, r.rhw = rhw;
            r.tex[0][0] = u, r.tex[0][1] = v;
            return r;
        };
        std::vector<RasterVertex> v = {vertex(0, 0, 0.03f, 0, 0), vertex(128, 0, 0.4f, 16, 0),
                                       vertex(0, 128, 0.4f, 0, 16)};
        c.Draw(kPrimTriangleList, v);
        std::set<uint32_t> seen;
        for (int y = 0; y < 64; y += 2) {
            for (int x = 0; x < 64; x += 2) {
                uint32_t p = c.Raw(x, y);
                seen.insert(p);
                ASSERT_EQ(c.Raw(x + 1, y), p) << x << ", " << y;
                ASSERT_EQ(c.Raw(x, y + 1), p) << x << ", " << y;
                ASSERT_EQ(c.Raw(x + 1, y + 1), p) << x << ", " << y;
            }
        }
        EXPECT_GE(seen.size(), 4u);
    }
}

// Depth at z = 0.5 falls exactly half-way between two steps of D16 (32767.5) and of D24X8
// (8388607.5) and rounds up; biased, it moves and clamps. On the route's four-pixel rows
// (perspective, Gouraud, texture times diffuse) at every pixel of spans of every length.
TEST(RasterShadedSpans, RoundDepthHalfwayUpInEveryLane) {
    RouteSwitches switches;
    struct Case {
        uint32_t format;
        float bias;
        uint32_t expected;
    } cases[] = {{kFmtD16, 0.0f, 32768u},
                 {kFmtD24X8, 0.0f, 8388608u},
                 {kFmtD16, -0.25f, 16384u},  // 16383.75
                 {kFmtD24X8, 1.0f, 16777215u}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.format << " bias " << k.bias);
        SetRasterThreadCount(1);
        Canvas c(23, 23);
        c.AddDepth(k.format, k.format == kFmtD16 ? 0xFFFFu : 0xFFFFFFu);
        c.states.render[kRsDepthBias] = FloatBits(k.bias);
        Texture tex(4, 4, kFmtA8R8G8B8);
        c.states.textures[0] = &tex.texture;
        c.states.stage[0][kTssColorOp] = kTopModulate;
        c.states.stage[0][kTssColorArg1] = kTaTexture;
        c.states.stage[0][kTssColorArg2] = kTaDiffuse;
        std::vector<RasterVertex> v = {V(0, 0, 0xFF102030u, 0, 0, 0.5f),
                                       V(46, 0, 0xFF405060u, 1, 0, 0.5f),
                                       V(0, 46, 0xFF708090u, 0, 1, 0.5f)};
        v[1].rhw = 0.5f;
        ResetRasterRouteCounts();
        c.Draw(kPrimTriangleList, v);
        EXPECT_EQ(RasterRouteCount(RasterRoute::kShadedSpans), 1u);
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 23 - y; ++x)
                ASSERT_EQ(ReadRasterDepth(c.target.depth, x, y), k.expected) << x << ", " << y;
        }
    }
}

// Textures of 16-bit texels and 16-bit targets stay on the plain path, which reads any format.
TEST(RasterShadedSpans, LeaveOtherFormatsToThePlainPath) {
    RouteSwitches switches;
    struct Case {
        uint32_t target, texture;
        bool shaded;
    } cases[] = {{kFmtX8R8G8B8, kFmtA8R8G8B8, true},
                 {kFmtA8R8G8B8, kFmtX8R8G8B8, true},
                 {kFmtR5G6B5, kFmtA8R8G8B8, false},
                 {kFmtX8R8G8B8, kFmtR5G6B5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << " " << c.texture);
        Canvas canvas(16, 16, c.target);
        Texture tex(4, 4, c.texture);
        canvas.states.textures[0] = &tex.texture;
        canvas.states.stage[0][kTssColorOp] = kTopModulate;
        canvas.states.stage[0][kTssColorArg1] = kTaTexture;
        canvas.states.stage[0][kTssColorArg2] = kTaDiffuse;
        std::vector<RasterVertex> v = {V(0, 0, 0xFF102030u), V(16, 0, 0xFF405060u, 1, 0),
                                       V(0, 16, 0xFF708090u, 0, 1)};
        v[1].rhw = 0.5f;
        ResetRasterRouteCounts();
        canvas.Draw(kPrimTriangleList, v);
        EXPECT_EQ(RasterRouteCount(RasterRoute::kShadedSpans), c.shaded ? 1u : 0u);
        EXPECT_EQ(RasterRouteCount(RasterRoute::kTriangleRows), c.shaded ? 0u : 1u);
    }
}

}  // namespace

// The level of detail's log2 is worked out without the library, the same on every machine:
// exact at powers of two, within 1e-7 of log2 elsewhere, and beyond every chain for infinite
// derivatives.
TEST(RasterShadedSpans, LevelOfDetailLogarithmIsExactAtPowersOfTwoAndCloseElsewhere) {
    using platform::raster_internal::PortableLog2;
    for (int e = -140; e <= 127; ++e)
        ASSERT_EQ(PortableLog2(std::ldexp(1.0, e)), static_cast<double>(e)) << e;
    Rng rng(2);
    for (int i = 0; i < 100000; ++i) {
        double m = std::ldexp(1.0 + static_cast<double>(rng()) / 4294967296.0,
                              static_cast<int>(rng() % 200) - 100);
        ASSERT_NEAR(PortableLog2(m), std::log2(m), 1e-7) << m;
    }
    EXPECT_GT(PortableLog2(static_cast<double>(INFINITY)), 64.0);
}
