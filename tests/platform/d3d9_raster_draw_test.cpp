// Rasterisation rules of the CPU device: coverage, shading, clipping, the per-pixel tests, and
// the fast and threaded routes giving the same pixels as the plain one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "d3d9_raster_fixture.h"
#include "platform/d3d9/raster_kernels.h"

namespace {

using namespace raster_test;

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kBlack = 0xFF000000u;

struct SwitchGuard {
    ~SwitchGuard() {
        SetRasterFastQuadsEnabled(true);
        SetRasterThreadCount(0);
    }
};

Texture Checker(int w, int h, uint32_t format) {
    Texture t(w, h, format);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = ((x + y) & 1) ? 0xFFFFFFFFu : 0xFF000000u;
            t.Set(x, y, c ^ (static_cast<uint32_t>(x * 8) << 16) ^ static_cast<uint32_t>(y * 8));
        }
    }
    return t;
}

TEST(RasterDraw, CheckerQuadAtHalfPixelReproducesEveryTexel) {
    SwitchGuard guard;
    for (uint32_t format : {kFmtA8R8G8B8, kFmtR5G6B5}) {
        for (bool fast : {true, false}) {
            SetRasterFastQuadsEnabled(fast);
            Texture tex = Checker(16, 8, format);
            Canvas c(40, 30);
            UseTextureOnly(&c.states, &tex.texture);
            std::vector<RasterVertex> v;
            AppendQuad(&v, 10 - 0.5f, 5 - 0.5f, 26 - 0.5f, 13 - 0.5f, 0xFFFFFFFFu);
            c.Draw(kPrimTriangleList, v);
            for (int y = 0; y < 30; ++y) {
                for (int x = 0; x < 40; ++x) {
                    bool inside = x >= 10 && x < 26 && y >= 5 && y < 13;
                    uint32_t want =
                        inside ? ReadRasterTexel(tex.texture.levels[0], x - 10, y - 5) : kBlack;
                    ASSERT_EQ(c.At(x, y) | 0xFF000000u, want | 0xFF000000u)
                        << "format " << format << " fast " << fast << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(RasterDraw, BoxFromWholeCoordinatesCoversUpToTheFarEdgeExclusive) {
    SwitchGuard guard;
    for (bool fast : {true, false}) {
        SetRasterFastQuadsEnabled(fast);
        Canvas c(20, 20);
        std::vector<RasterVertex> v;
        AppendQuad(&v, 3, 4, 9, 15, kRed);
        c.Draw(kPrimTriangleList, v);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                bool inside = x >= 3 && x <= 8 && y >= 4 && y <= 14;
                ASSERT_EQ(c.At(x, y), inside ? kRed : kBlack) << x << "," << y;
            }
        }
    }
}

TEST(RasterDraw, FlatColourComesFromTheFirstVertexOfEachTriangle) {
    SwitchGuard guard;
    SetRasterFastQuadsEnabled(false);
    // Pixel (2, 1) lies in the first triangle, (6, 5) in the second of each layout.
    struct Layout {
        uint32_t type;
        std::vector<RasterVertex> v;
        uint32_t first, second;
    };
    std::vector<Layout> layouts;
    // List: TL, TR, BL / BR, BL, TR; colour only on vertices 0 and 3.
    layouts.push_back({kPrimTriangleList,
                       {V(0, 0, kRed), V(8, 0, kBlack), V(0, 8, kBlack), V(8, 8, kGreen),
                        V(0, 8, kBlack), V(8, 0, kBlack)},
                       kRed,
                       kGreen});
    // Strip: triangles (0, 1, 2) and (1, 3, 2): first vertices 0 and 1.
    layouts.push_back({kPrimTriangleStrip,
                       {V(0, 0, kRed), V(8, 0, kGreen), V(0, 8, kBlack), V(8, 8, kBlack)},
                       kRed,
                       kGreen});
    // Fan around (0, 0): triangles (0, 1, 2) and (0, 2, 3): first vertices 1 and 2.
    layouts.push_back({kPrimTriangleFan,
                       {V(0, 0, kBlack), V(8, 0, kRed), V(8, 8, kGreen), V(0, 8, kBlack)},
                       kRed,
                       kGreen});
    for (const Layout& l : layouts) {
        Canvas c(10, 10);
        c.states.render[kRsShadeMode] = kShadeFlat;
        c.Draw(l.type, l.v);
        if (l.type == kPrimTriangleFan) {
            EXPECT_EQ(c.At(6, 2), l.first) << "fan";
            EXPECT_EQ(c.At(2, 6), l.second) << "fan";
        } else {
            EXPECT_EQ(c.At(2, 1), l.first) << l.type;
            EXPECT_EQ(c.At(6, 5), l.second) << l.type;
        }
    }
}

TEST(RasterDraw, GouraudInterpolatesAndRoundsToNearest) {
    Canvas c(16, 4);
    // Red falls from 255 at x = 0 to 0 at x = 15 across pixel centres.
    std::vector<RasterVertex> v = {V(0, 0, 0xFFFF0000u), V(15, 0, 0xFF000000u),
                                   V(0, 4, 0xFFFF0000u), V(15, 4, 0xFF000000u)};
    c.Draw(kPrimTriangleStrip, v);
    EXPECT_EQ(c.At(0, 1), 0xFFFF0000u);
    EXPECT_EQ(c.At(5, 1), 0xFFAA0000u);  // 255 * 10 / 15 = 170
    EXPECT_EQ(c.At(7, 2), 0xFF880000u);  // 255 * 8 / 15 = 136
    // From 200 the values fall between integers: truncation would give 133 and 106.
    Canvas d(16, 4);
    std::vector<RasterVertex> w = {V(0, 0, 0xFFC80000u), V(15, 0, 0xFF000000u),
                                   V(0, 4, 0xFFC80000u), V(15, 4, 0xFF000000u)};
    d.Draw(kPrimTriangleStrip, w);
    EXPECT_EQ(d.At(5, 1), 0xFF850000u);  // 200 * 10 / 15 = 133.33
    EXPECT_EQ(d.At(7, 2), 0xFF6B0000u);  // 200 * 8 / 15 = 106.67
}

TEST(RasterDraw, GouraudSpecularIsInterpolatedAndAddedToTheColour) {
    Canvas c(64, 64);
    c.states.render[kRsSpecularEnable] = 1;
    // Specular red grows along x, green along y; the diffuse colour is the same everywhere.
    std::vector<RasterVertex> v = {V(0, 0, 0xFF102030u), V(64, 0, 0xFF102030u),
                                   V(0, 64, 0xFF102030u)};
    v[1].specular = 0x00FF0000u;
    v[2].specular = 0x0000FF00u;
    c.Draw(kPrimTriangleList, v);
    const int points[][2] = {{10, 5}, {30, 20}, {3, 41}};
    for (const auto& p : points) {
        uint32_t r = 0x10 + static_cast<uint32_t>(std::lround(255.0 * p[0] / 64));
        uint32_t g = 0x20 + static_cast<uint32_t>(std::lround(255.0 * p[1] / 64));
        EXPECT_EQ(c.At(p[0], p[1]), 0xFF000030u | r << 16 | g << 8) << p[0] << ", " << p[1];
    }
}

// A stage reading a texture-coordinate set the vertices lack samples at (0, 0), and takes its
// level of detail from set 0.
TEST(RasterDraw, AMissingCoordinateSetTakesItsLevelOfDetailFromSetZero) {
    Texture big(16, 16, kFmtA8R8G8B8), small(8, 8, kFmtA8R8G8B8);
    big.Set(0, 0, kRed);
    small.Set(0, 0, kGreen);
    RasterTexture chain = big.texture;
    chain.levelCount = 2;
    chain.levels[1] = small.texture.levels[0];
    Canvas c(8, 8);
    UseTextureOnly(&c.states, &chain);
    c.states.sampler[0][kSampMipFilter] = kFilterPoint;
    c.states.stage[0][kTssTexCoordIndex] = 5;
    // Set 0 runs over four textures across the eight pixels: level 3, past the chain's end.
    std::vector<RasterVertex> v = {V(0, 0, 0, 0, 0), V(8, 0, 0, 4, 0), V(0, 8, 0, 0, 4)};
    c.Draw(kPrimTriangleList, v);
    EXPECT_EQ(c.At(1, 1), kGreen);
}

// A fan of thin triangles around a point off the pixel grid, drawn with additive blending:
// every covered pixel must have been written exactly once.
TEST(RasterDraw, TrianglesSharingEdgesCoverEachPixelOnce) {
    Canvas c(64, 64, kFmtX8R8G8B8, 0xFF000000u);
    c.states.render[kRsAlphaBlendEnable] = 1;
    c.states.render[kRsSrcBlend] = kBlendOne;
    c.states.render[kRsDestBlend] = kBlendOne;
    std::vector<RasterVertex> v;
    v.push_back(V(31.3f, 30.7f, 0xFF010101u));
    const int n = 37;
    for (int i = 0; i <= n; ++i) {
        double a = 2 * 3.14159265358979 * i / n;
        v.push_back(V(static_cast<float>(31.3 + 29.6 * std::cos(a)),
                      static_cast<float>(30.7 + 28.9 * std::sin(a)), 0xFF010101u));
    }
    v.back() = v[1];
    c.Draw(kPrimTriangleFan, v);
    // A grid of whole coordinates split into triangles both ways.
    Canvas g(32, 32, kFmtX8R8G8B8, 0xFF000000u);
    g.states = c.states;
    g.states.viewport = {0, 0, 32, 32, 0, 1};
    std::vector<RasterVertex> grid;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            float x0 = x * 7.5f, y0 = y * 7.25f, x1 = x0 + 7.5f, y1 = y0 + 7.25f;
            if ((x + y) & 1) {
                AppendQuad(&grid, x0, y0, x1, y1, 0xFF010101u);
            } else {
                grid.push_back(V(x0, y0, 0xFF010101u));
                grid.push_back(V(x1, y1, 0xFF010101u));
                grid.push_back(V(x0, y1, 0xFF010101u));
                grid.push_back(V(x0, y0, 0xFF010101u));
                grid.push_back(V(x1, y0, 0xFF010101u));
                grid.push_back(V(x1, y1, 0xFF010101u));
            }
        }
    }
    g.Draw(kPrimTriangleList, grid);
    int covered = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint32_t p = c.At(x, y) & 0xFFFFFF;
            ASSERT_TRUE(p == 0 || p == 0x010101) << x << "," << y << " " << std::hex << p;
            covered += p != 0;
        }
    }
    EXPECT_GT(covered, 2500);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(g.At(x, y) & 0xFFFFFF, x < 30 && y < 29 ? 0x010101u : 0u) << x << "," << y;
        }
    }
}

TEST(RasterDraw, ViewportAndScissorClip) {
    SwitchGuard guard;
    for (bool fast : {true, false}) {
        SetRasterFastQuadsEnabled(fast);
        Canvas c(20, 20);
        c.states.viewport = {2, 3, 10, 8, 0, 1};
        std::vector<RasterVertex> v;
        AppendQuad(&v, -5, -5, 30, 30, kRed);
        c.Draw(kPrimTriangleList, v);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                bool inside = x >= 2 && x < 12 && y >= 3 && y < 11;
                ASSERT_EQ(c.At(x, y), inside ? kRed : kBlack) << x << "," << y;
            }
        }
        c.states.scissor = {5, 0, 7, 100};
        c.Draw(kPrimTriangleList, v);  // scissor ignored while the test is off
        c.states.render[kRsScissorTestEnable] = 1;
        AppendQuad(&v, -5, -5, 30, 30, kGreen);
        v.erase(v.begin(), v.begin() + 6);
        c.Draw(kPrimTriangleList, v);
        EXPECT_EQ(c.At(4, 5), kRed);
        EXPECT_EQ(c.At(5, 5), kGreen);
        EXPECT_EQ(c.At(6, 10), kGreen);
        EXPECT_EQ(c.At(7, 5), kRed);
        EXPECT_EQ(c.At(6, 11), kBlack);
    }
}

TEST(RasterDraw, CullModesRemoveByScreenWinding) {
    // Clockwise on the screen: (0,0) -> (8,0) -> (0,8).
    std::vector<RasterVertex> cw = {V(0, 0, kRed), V(8, 0, kRed), V(0, 8, kRed)};
    std::vector<RasterVertex> ccw = {V(0, 0, kRed), V(0, 8, kRed), V(8, 0, kRed)};
    struct Case {
        uint32_t mode;
        bool drawCw, drawCcw;
    } cases[] = {{kCullNone, true, true}, {kCullCw, false, true}, {kCullCcw, true, false}};
    for (const Case& k : cases) {
        Canvas a(10, 10), b(10, 10);
        a.states.render[kRsCullMode] = b.states.render[kRsCullMode] = k.mode;
        a.Draw(kPrimTriangleList, cw);
        b.Draw(kPrimTriangleList, ccw);
        EXPECT_EQ(a.At(1, 1) == kRed, k.drawCw) << k.mode;
        EXPECT_EQ(b.At(1, 1) == kRed, k.drawCcw) << k.mode;
    }
}

TEST(RasterDraw, DepthFunctionsAgainstStoredDepth) {
    // Stored depth 0.5; fragments at 0.25, 0.5, 0.75 in columns 0..2.
    for (int f = 0; f < 8; ++f) {
        Canvas c(3, 1);
        c.AddDepth(kFmtD16, QuantizeRasterDepth(kFmtD16, 0.5f));
        c.states.render[kRsZFunc] = kCompareFunctions[f];
        c.states.render[kRsZWriteEnable] = 0;
        std::vector<RasterVertex> pts = {V(0, 0, kRed, 0, 0, 0.25f), V(1, 0, kRed, 0, 0, 0.5f),
                                         V(2, 0, kRed, 0, 0, 0.75f)};
        c.Draw(kPrimPointList, pts);
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(c.At(x, 0) == kRed, kComparePasses[f][x])
                << "func " << kCompareFunctions[f] << " x " << x;
        }
    }
}

TEST(RasterDraw, DepthWriteAndBias) {
    Canvas c(4, 1);
    c.AddDepth(kFmtD24X8, 0xFFFFFF);
    std::vector<RasterVertex> pt = {V(0, 0, kRed, 0, 0, 0.5f)};
    c.Draw(kPrimPointList, pt);
    EXPECT_EQ(ReadRasterDepth(c.target.depth, 0, 0), QuantizeRasterDepth(kFmtD24X8, 0.5f));
    float bias = 0.25f;
    std::memcpy(&c.states.render[kRsDepthBias], &bias, 4);
    pt[0].x = 1;
    c.Draw(kPrimPointList, pt);
    EXPECT_EQ(ReadRasterDepth(c.target.depth, 1, 0), QuantizeRasterDepth(kFmtD24X8, 0.75f));
    c.states.render[kRsZEnable] = 0;  // no test and no write
    pt[0].x = 2;
    c.Draw(kPrimPointList, pt);
    EXPECT_EQ(c.At(2, 0), kRed);
    EXPECT_EQ(ReadRasterDepth(c.target.depth, 2, 0), 0xFFFFFFu);
}

TEST(RasterDraw, AlphaTestFunctionsInADraw) {
    for (int f = 0; f < 8; ++f) {
        Canvas c(3, 1);
        c.states.render[kRsAlphaTestEnable] = 1;
        c.states.render[kRsAlphaFunc] = kCompareFunctions[f];
        c.states.render[kRsAlphaRef] = 0x110;  // only the low byte counts: 0x10
        std::vector<RasterVertex> pts = {V(0, 0, 0x0FFF0000u), V(1, 0, 0x10FF0000u),
                                         V(2, 0, 0x11FF0000u)};
        c.Draw(kPrimPointList, pts);
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ((c.At(x, 0) & 0xFFFFFF) == 0xFF0000, kComparePasses[f][x]) << f << " " << x;
        }
    }
}

TEST(RasterDraw, PointsRoundAndLinesLeaveTheirEnd) {
    Canvas c(10, 10);
    std::vector<RasterVertex> pts = {V(2.49f, 3.5f, kRed), V(-0.6f, 0, kRed)};
    c.Draw(kPrimPointList, pts);
    EXPECT_EQ(c.At(2, 4), kRed);
    EXPECT_EQ(c.At(0, 0), kBlack);
    Canvas l(10, 10);
    l.states.render[kRsLastPixel] = 0;
    std::vector<RasterVertex> line = {V(1, 1, kGreen), V(6, 1, kGreen), V(6, 5, kGreen)};
    l.Draw(kPrimLineStrip, line);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(l.At(x, 1) == kGreen, x >= 1 && x <= 6) << x;
    for (int y = 2; y < 10; ++y)
        EXPECT_EQ(l.At(6, y) == kGreen, y <= 4) << y;
    EXPECT_EQ(l.At(6, 1), kGreen);  // the strip's second line starts there
}

TEST(RasterDraw, ClipSpaceMapsThroughTheViewportAndClipsNearPlane) {
    Canvas c(20, 10);
    c.states.viewport = {0, 0, 20, 10, 0, 1};
    // A clip-space square x, y in -0.5..0.5 at w = 1 covers pixels 5..14, 2..7 (5.0 .. 15.0,
    // 2.5 .. 7.5).
    std::vector<RasterVertex> v = {V(-0.5f, 0.5f, kRed), V(0.5f, 0.5f, kRed), V(-0.5f, -0.5f, kRed),
                                   V(0.5f, -0.5f, kRed)};
    for (auto& x : v)
        x.z = 0.5f;
    c.Draw(kPrimTriangleStrip, v, 0, RasterSpace::kClip);
    EXPECT_EQ(c.At(5, 3), kRed);
    EXPECT_EQ(c.At(14, 7), kRed);
    EXPECT_EQ(c.At(4, 3), kBlack);
    EXPECT_EQ(c.At(15, 3), kBlack);
    EXPECT_EQ(c.At(10, 2), kBlack);
    EXPECT_EQ(c.At(10, 8), kBlack);
    // Half of a triangle behind the near plane is cut away, the rest still drawn.
    Canvas n(20, 10);
    std::vector<RasterVertex> t = {V(-1, -1, kGreen), V(1, -1, kGreen), V(0, 1, kGreen)};
    t[0].z = -0.5f;
    t[1].z = -0.5f;
    t[2].z = 0.5f;
    n.Draw(kPrimTriangleList, t, 0, RasterSpace::kClip);
    EXPECT_EQ(n.At(10, 1), kGreen);
    EXPECT_EQ(n.At(10, 8), kBlack);
}

TEST(RasterDraw, PerspectiveCorrectTextureCoordinates) {
    // A quad whose right edge is twice as far (rhw 0.5): at the screen midpoint the texture
    // coordinate is 1/3, not 1/2.
    Texture tex(3, 1, kFmtA8R8G8B8);
    tex.Set(0, 0, kRed);
    tex.Set(1, 0, kGreen);
    tex.Set(2, 0, kBlue);
    Canvas c(30, 2);
    UseTextureOnly(&c.states, &tex.texture);
    std::vector<RasterVertex> v = {V(0, 0, 0, 0, 0), V(30, 0, 0, 1, 0), V(0, 2, 0, 0, 1),
                                   V(30, 2, 0, 1, 1)};
    v[1].rhw = v[3].rhw = 0.5f;
    c.Draw(kPrimTriangleStrip, v);
    EXPECT_EQ(c.At(14, 0), kRed);    // u = 0.32
    EXPECT_EQ(c.At(16, 0), kGreen);  // u = 0.35
    EXPECT_EQ(c.At(29, 0), kBlue);
}

TEST(RasterDraw, IndexedDrawAndBadIndicesSkipped) {
    Canvas c(10, 10);
    std::vector<RasterVertex> v = {V(0, 0, kRed), V(8, 0, kRed), V(0, 8, kRed), V(8, 8, kRed)};
    std::vector<uint32_t> idx = {0, 1, 2, 3, 2, 99};
    c.Draw(kPrimTriangleList, v, 2, RasterSpace::kScreen, &idx);
    EXPECT_EQ(c.At(1, 1), kRed);
    EXPECT_EQ(c.At(7, 7), kBlack);
}

// Random sprite scenes: the fast route and threads must give the plain route's pixels.
std::vector<RasterVertex> SpriteScene(int count, uint32_t seed, bool rotated) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> pos(-20.0f, 300.0f);
    std::vector<RasterVertex> v;
    for (int i = 0; i < count; ++i) {
        float x = std::floor(pos(rng)) - 0.5f, y = std::floor(pos(rng)) - 0.5f;
        float w = 8.0f + static_cast<float>(rng() % 40), h = 8.0f + static_cast<float>(rng() % 40);
        uint32_t colour = (rng() % 4 == 0) ? 0x80FFFFFFu : 0xFFFFFFFFu;
        float u2 = (rng() % 3) * 0.5f + 0.5f;
        if (rng() % 3 == 0) {  // unscaled: one texel a pixel
            w = 32.0f;
            u2 = 1.0f;
        }
        AppendQuad(&v, x, y, x + w, y + h, colour, 0, 0, u2, 1);
        float z = static_cast<float>(rng() % 100) / 100.0f;
        for (int k = 0; k < 6; ++k)
            v[v.size() - 1 - k].z = z;
        if (rotated) {
            for (int k = 0; k < 6; ++k)
                v[v.size() - 1 - k].x += v[v.size() - 1 - k].y * 0.1f;
        }
    }
    return v;
}

TEST(RasterDraw, FastQuadsAndThreadsGiveThePlainPixels) {
    SwitchGuard guard;
    Texture tex = Checker(32, 32, kFmtA8R8G8B8);
    for (int y = 0; y < 32; ++y) {
        tex.Set(3, y, 0x40123456u);
    }
    for (int x = 0; x < 32; ++x) {
        tex.Set(x, 10, 0x00654321u);  // a transparent row
    }
    // Variants: plain copy; alpha blending; depth test and write with an alpha test; linear
    // filtering with alpha blending; untextured boxes with alpha blending.
    for (int variant = 0; variant < 5; ++variant) {
        bool blend = variant == 1 || variant == 3 || variant == 4;
        std::vector<RasterVertex> v = SpriteScene(300, 7 + variant, false);
        std::vector<RasterVertex> r = SpriteScene(100, 9, true);
        v.insert(v.end(), r.begin(), r.end());
        std::vector<uint32_t> results[3];
        const int modes[3][2] = {{0, 1}, {1, 1}, {1, 4}};  // fast, threads
        for (int m = 0; m < 3; ++m) {
            SetRasterFastQuadsEnabled(modes[m][0] != 0);
            SetRasterThreadCount(modes[m][1]);
            Canvas c(320, 240, kFmtX8R8G8B8, 0xFF203040u);
            if (variant == 3) {
                c.states.sampler[0][kSampMagFilter] = kFilterLinear;
                c.states.sampler[0][kSampMinFilter] = kFilterLinear;
            }
            if (variant == 2) {
                c.AddDepth(kFmtD16, 0xFFFF);
                c.states.render[kRsAlphaTestEnable] = 1;
                c.states.render[kRsAlphaFunc] = kCmpGreater;
                c.states.render[kRsAlphaRef] = 0x30;
            }
            UseTextureOnly(&c.states, &tex.texture);
            c.states.stage[0][kTssColorOp] = kTopModulate;
            c.states.stage[0][kTssColorArg2] = kTaDiffuse;
            c.states.stage[0][kTssAlphaOp] = kTopModulate;
            c.states.stage[0][kTssAlphaArg2] = kTaDiffuse;
            c.states.render[kRsShadeMode] = kShadeFlat;
            if (blend)
                UseSrcAlphaBlending(&c.states);
            if (variant == 4) {
                c.states.textures[0] = nullptr;
                c.states.stage[0][kTssColorOp] = kTopSelectArg2;
                c.states.stage[0][kTssAlphaOp] = kTopSelectArg2;
            }
            c.Draw(kPrimTriangleList, v);
            results[m] = c.pixels;
            results[m].insert(results[m].end(), c.depth.begin(), c.depth.end());
        }
        EXPECT_TRUE(results[0] == results[1]) << "fast route differs, variant " << variant;
        EXPECT_TRUE(results[1] == results[2]) << "threads differ, variant " << variant;
    }
}

// The fast routes keep the texel maps they built, by program and colours. Draw after draw, with
// more colours than they keep, each met twice, and the program changed between draws of one
// colour, the fast routes must give the plain route's pixels.
TEST(RasterDraw, KeptTexelMapsFollowTheColourAndTheProgramFromDrawToDraw) {
    SwitchGuard guard;
    Texture tex = Checker(8, 8, kFmtA8R8G8B8);
    Canvas plain(12, 12, kFmtX8R8G8B8, 0xFF203040u);
    Canvas fast(12, 12, kFmtX8R8G8B8, 0xFF203040u);
    for (Canvas* c : {&plain, &fast}) {
        UseTextureOnly(&c->states, &tex.texture);
        c->states.stage[0][kTssColorArg2] = kTaDiffuse;
        c->states.stage[0][kTssAlphaArg2] = kTaDiffuse;
        c->states.render[kRsShadeMode] = kShadeFlat;
        UseSrcAlphaBlending(&c->states);
    }
    // The colour operation, and whether the specular colour is added.
    const uint32_t programs[4][2] = {
        {kTopModulate, 0}, {kTopAdd, 0}, {kTopModulate, 1}, {kTopModulate, 0}};
    for (int round = 0; round < 2; ++round) {
        for (uint32_t i = 0; i < 300; ++i) {
            const uint32_t colour = 0x80000000u | (i * 0x010307u + round * 0x30u);
            for (const auto& [op, specular] : programs) {
                std::vector<RasterVertex> v;
                AppendQuad(&v, 1.5f, 2.5f, 9.5f, 10.5f, colour);
                for (RasterVertex& k : v)
                    k.specular = 0x00402010u;
                for (Canvas* c : {&plain, &fast}) {
                    SetRasterFastQuadsEnabled(c == &fast);
                    c->states.stage[0][kTssColorOp] = op;
                    c->states.stage[0][kTssAlphaOp] = op == kTopAdd ? kTopSelectArg1 : op;
                    c->states.render[kRsSpecularEnable] = specular;
                    c->Draw(kPrimTriangleList, v);
                }
                ASSERT_EQ(plain.pixels, fast.pixels)
                    << "round " << round << ", colour " << std::hex << colour << ", op " << op
                    << ", specular " << specular;
            }
        }
    }
}

// Whole-image stretches as the game draws them (point and linear, copy and blend, both 32-bit
// texel and target formats, enlarged, shrunk and shifted): the fast routes and the vector
// kernels must give the pixels of the plain route.
TEST(RasterDraw, StretchesGiveThePlainPixels) {
    SwitchGuard guard;
    struct VectorOn {
        ~VectorOn() { SetRasterVectorKernelsEnabled(true); }
    } vectorOn;
    std::mt19937 rng(99);
    const int kW = 37, kH = 23;
    struct Place {
        float x1, y1, x2, y2, u1, v1, u2, v2;
        // Pixel centres on texel edges, where the two triangles' own planes round apart: a
        // point-sampled pair stays two triangles.
        bool triangles = false;
    };
    const Place places[] = {
        {-0.5f, -0.5f, 73.5f, 45.5f, 0, 0, 1, 1},                   // twice the size
        {-0.5f, -0.5f, 55.0f, 34.0f, 0, 0, 1, 1},                   // one and a half
        {3.25f, 2.75f, 30.5f, 17.5f, 0.1f, 0.05f, 0.9f, 1.0f},      // smaller, off the grid
        {-10.5f, -4.5f, 90.5f, 60.5f, -0.25f, -0.5f, 1.5f, 1.25f},  // beyond, wrapped
        {5.5f, 3.5f, 42.5f, 26.5f, 0, 0, 1, 1},                     // one texel a pixel
        {3.0f, 2.0f, 40.0f, 25.0f, 0, 0, 1, 1, true},  // one texel a pixel, centres on edges
        {7.49999f, 1.50001f, 44.49999f, 24.50001f, 0, 0, 1, 1},  // and next to them
    };
    for (uint32_t texFormat : {kFmtA8R8G8B8, kFmtX8R8G8B8}) {
        Texture tex(kW, kH, texFormat);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x)
                tex.Set(x, y, rng());
        }
        // Runs of transparent and of opaque texels, which the blend kernel treats apart.
        for (int x = 0; x < kW; ++x) {
            tex.Set(x, 5, rng() & 0x00FFFFFFu);
            tex.Set(x, 9, rng() | 0xFF000000u);
        }
        for (uint32_t targetFormat : {kFmtX8R8G8B8, kFmtA8R8G8B8}) {
            for (uint32_t filter : {kFilterPoint, kFilterLinear}) {
                for (bool blend : {false, true}) {
                    for (const Place& p : places) {
                        SCOPED_TRACE(testing::Message()
                                     << "texture " << texFormat << " target " << targetFormat
                                     << " filter " << filter << " blend " << blend << " at " << p.x1
                                     << ", " << p.y1);
                        std::vector<RasterVertex> v;
                        AppendQuad(&v, p.x1, p.y1, p.x2, p.y2, 0xFFFFFFFFu, p.u1, p.v1, p.u2, p.v2);
                        std::vector<uint32_t> results[3];
                        const int modes[3][2] = {{0, 1}, {1, 1}, {1, 0}};  // fast, vector
                        for (int m = 0; m < 3; ++m) {
                            SetRasterFastQuadsEnabled(modes[m][0] != 0);
                            SetRasterVectorKernelsEnabled(modes[m][1] != 0);
                            Canvas c(80, 64, targetFormat, 0x00000000u);
                            for (size_t i = 0; i < c.pixels.size(); ++i)
                                c.pixels[i] = static_cast<uint32_t>(i * 0x9E3779B9u);
                            UseTextureOnly(&c.states, &tex.texture);
                            c.states.sampler[0][kSampMagFilter] = filter;
                            c.states.sampler[0][kSampMinFilter] = filter;
                            c.states.render[kRsShadeMode] = kShadeFlat;
                            if (blend)
                                UseSrcAlphaBlending(&c.states);
                            ResetRasterRouteCounts();
                            c.Draw(kPrimTriangleList, v);
                            results[m] = c.pixels;
                            // The fast modes must have taken the route they are meant to test.
                            RasterRoute expected = filter == kFilterPoint
                                                       ? RasterRoute::kQuadKernel
                                                       : RasterRoute::kLinearKernels;
                            bool triangles = p.triangles && filter == kFilterPoint;
                            if (triangles)
                                expected = RasterRoute::kTriangleSpans;
                            EXPECT_EQ(RasterRouteCount(expected),
                                      m == 0 ? 0u : (triangles ? 2u : 1u))
                                << RasterRouteName(expected) << ", mode " << m;
                        }
                        EXPECT_TRUE(results[0] == results[1]) << "fast route differs";
                        EXPECT_TRUE(results[1] == results[2]) << "portable kernels differ";
                    }
                }
            }
        }
    }
}

}  // namespace
