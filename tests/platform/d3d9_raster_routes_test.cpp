// Every fast route of the rasteriser against the general per-pixel path, over random states,
// primitives and textures: each scene drawn with the fast routes off must equal it drawn with
// them on, with the portable kernels and with threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "d3d9_raster_fixture.h"
#include "platform/d3d9/raster_kernels.h"

namespace {

using namespace raster_test;

struct Switches {
    ~Switches() {
        SetRasterFastQuadsEnabled(true);
        SetRasterVectorKernelsEnabled(true);
        SetRasterThreadCount(0);
    }
};

using Rng = std::mt19937;

uint32_t Pick(Rng& rng, std::initializer_list<uint32_t> values) {
    return values.begin()[rng() % values.size()];
}

// Texels with runs of transparent, opaque and in-between alphas, so that every branch of the
// kernels (all transparent, all opaque, mixed, alpha near the reference) meets them.
Texture RandomTexels(Rng& rng, uint32_t format, int w, int h) {
    Texture t(w, h, format);
    for (int y = 0; y < h; ++y) {
        uint32_t kind = rng() % 4;
        for (int x = 0; x < w; ++x) {
            uint32_t c = rng();
            if (kind == 0)
                c &= 0x00FFFFFFu;
            else if (kind == 1)
                c |= 0xFF000000u;
            else if (kind == 2)
                c = (c & 0x00FFFFFFu) | ((0x70u + (c >> 28)) << 24);
            t.Set(x, y, c);
            // Unused alpha bits hold what the image left there; the draw must not read them.
            if (format == kFmtX8R8G8B8)
                t.bytes[(static_cast<size_t>(y) * w + x) * 4 + 3] = static_cast<uint8_t>(c >> 24);
        }
    }
    return t;
}

Texture RandomTexture(Rng& rng) {
    uint32_t format =
        Pick(rng, {kFmtA8R8G8B8, kFmtA8R8G8B8, kFmtX8R8G8B8, kFmtA4R4G4B4, kFmtR5G6B5});
    int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 40);
    return RandomTexels(rng, format, w, h);
}

uint32_t RandomColour(Rng& rng) {
    switch (rng() % 4) {
        case 0:
            return 0xFFFFFFFFu;
        case 1:
            return 0x80FFFFFFu;
        default:
            return rng();
    }
}

void RandomProgram(Rng& rng, RasterStates* st, bool textured) {
    uint32_t* s0 = st->stage[0];
    uint32_t tex = textured ? kTaTexture : kTaDiffuse;
    switch (rng() % 6) {
        case 0:  // the texture alone
            s0[kTssColorOp] = kTopSelectArg1, s0[kTssColorArg1] = tex;
            s0[kTssAlphaOp] = kTopSelectArg1, s0[kTssAlphaArg1] = tex;
            break;
        case 1:  // tinted
            s0[kTssColorOp] = kTopModulate, s0[kTssColorArg1] = tex;
            s0[kTssColorArg2] = kTaDiffuse;
            s0[kTssAlphaOp] = kTopModulate, s0[kTssAlphaArg1] = tex;
            s0[kTssAlphaArg2] = kTaDiffuse;
            break;
        case 2:  // colour of the texture, alpha of the vertices
            s0[kTssColorOp] = kTopSelectArg1, s0[kTssColorArg1] = tex;
            s0[kTssAlphaOp] = kTopSelectArg2, s0[kTssAlphaArg2] = kTaDiffuse;
            break;
        case 3:  // a table that is no tint
            s0[kTssColorOp] = kTopAdd, s0[kTssColorArg1] = tex;
            s0[kTssColorArg2] = kTaDiffuse;
            s0[kTssAlphaOp] = kTopSelectArg1, s0[kTssAlphaArg1] = tex | kTaComplement;
            break;
        case 4:  // the alpha replicated: not separable
            s0[kTssColorOp] = kTopModulate, s0[kTssColorArg1] = tex | kTaAlphaReplicate;
            s0[kTssColorArg2] = kTaDiffuse;
            s0[kTssAlphaOp] = kTopModulate, s0[kTssAlphaArg1] = tex;
            s0[kTssAlphaArg2] = kTaDiffuse;
            break;
        default:  // two stages, the second fading to the texture factor
            s0[kTssColorOp] = kTopModulate, s0[kTssColorArg1] = tex;
            s0[kTssColorArg2] = kTaDiffuse;
            s0[kTssAlphaOp] = kTopSelectArg1, s0[kTssAlphaArg1] = tex;
            st->stage[1][kTssColorOp] = kTopBlendCurrentAlpha;
            st->stage[1][kTssColorArg1] = kTaCurrent;
            st->stage[1][kTssColorArg2] = kTaTFactor;
            st->stage[1][kTssAlphaOp] = kTopSelectArg1;
            st->stage[1][kTssAlphaArg1] = kTaCurrent;
            st->render[kRsTextureFactor] = rng();
            break;
    }
}

void RandomBlend(Rng& rng, RasterStates* st) {
    uint32_t* rs = st->render;
    rs[kRsAlphaBlendEnable] = rng() % 5 != 0;
    rs[kRsBlendOp] = kBlendOpAdd;
    switch (rng() % 7) {
        case 0:
        case 1:
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendInvSrcAlpha;
            break;
        case 2:
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendOne;
            break;
        case 3:
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendOne;
            rs[kRsBlendOp] = kBlendOpRevSubtract;
            break;
        case 4:
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendOne;
            rs[kRsBlendOp] = Pick(rng, {kBlendOpSubtract, kBlendOpMin, kBlendOpMax});
            break;
        case 5: {  // multiply and invert
            const uint32_t pairs[3][2] = {{kBlendZero, kBlendSrcColor},
                                          {kBlendDestColor, kBlendZero},
                                          {kBlendInvDestColor, kBlendZero}};
            const uint32_t* pair = pairs[rng() % 3];
            rs[kRsSrcBlend] = pair[0], rs[kRsDestBlend] = pair[1];
            break;
        }
        default:
            rs[kRsSrcBlend] = kBlendZero + rng() % 11;
            rs[kRsDestBlend] = kBlendZero + rng() % 11;
            break;
    }
    if (rng() % 10 == 0)
        rs[kRsColorWriteEnable] = 0x7;
    if (rng() % 3 == 0) {
        rs[kRsAlphaTestEnable] = 1;
        rs[kRsAlphaFunc] = kCmpNever + rng() % 8;
        rs[kRsAlphaRef] =
            Pick(rng, {0u, 0x10u, 0x77u, 0xFFu, static_cast<uint32_t>(rng() & 0x1FFu)});
    }
}

void RandomSampler(Rng& rng, RasterStates* st) {
    uint32_t* ss = st->sampler[0];
    uint32_t filter = rng() % 3 == 0 ? kFilterLinear : kFilterPoint;
    ss[kSampMagFilter] = filter;
    ss[kSampMinFilter] = filter;
    ss[kSampAddressU] = kAddressWrap + rng() % 4;
    ss[kSampAddressV] = kAddressWrap + rng() % 4;
    ss[kSampBorderColor] = rng();
}

RasterVertex At(float x, float y, uint32_t colour, float u, float v) {
    RasterVertex r = V(x, y, colour, u, v);
    return r;
}

// Whole, half and odd positions, texture ranges inside, beyond and mirrored.
float Coordinate(Rng& rng, int range) {
    float base = static_cast<float>(static_cast<int>(rng() % range) - 8);
    switch (rng() % 4) {
        case 0:
            return base;
        case 1:
            return base - 0.5f;
        default:
            return base + static_cast<float>(rng() % 1000) / 1000.0f;
    }
}

void AppendRandomQuad(Rng& rng, std::vector<RasterVertex>* v, bool gouraud) {
    float x1 = Coordinate(rng, 70), y1 = Coordinate(rng, 50);
    float w = static_cast<float>(1 + rng() % 40), h = static_cast<float>(1 + rng() % 40);
    if (rng() % 3 == 0)
        w = h = 32.0f;
    float u1 = 0, v1 = 0, u2 = 1, v2 = 1;
    switch (rng() % 4) {
        case 0:
            break;
        case 1:
            u1 = -0.3f, v1 = 0.2f, u2 = 1.6f, v2 = 1.1f;
            break;
        case 2:
            u1 = 1, u2 = 0;
            break;
        default:
            u1 = static_cast<float>(rng() % 100) / 100.0f;
            v1 = static_cast<float>(rng() % 100) / 100.0f;
            u2 = u1 + 0.5f, v2 = v1 + 0.75f;
            break;
    }
    uint32_t colour = RandomColour(rng);
    AppendQuad(v, x1, y1, x1 + w, y1 + h, colour, u1, v1, u2, v2);
    if (gouraud && rng() % 2 == 0)
        (*v)[v->size() - 3].diffuse = RandomColour(rng);
}

// A texture or a part of it drawn at its own size on the pixel grid (upright or mirrored), as
// the library draws images: a linear filter's taps then fall on texel centres.
void AppendCentredQuad(Rng& rng, std::vector<RasterVertex>* v, const Texture& tex) {
    const int tw = tex.texture.levels[0].width, th = tex.texture.levels[0].height;
    int u0 = static_cast<int>(rng() % tw), v0 = static_cast<int>(rng() % th);
    int w = 1 + static_cast<int>(rng() % (tw - u0)), h = 1 + static_cast<int>(rng() % (th - v0));
    float x1 = Coordinate(rng, 70), y1 = Coordinate(rng, 50);
    x1 = std::floor(x1) - 0.5f, y1 = std::floor(y1) - 0.5f;
    float u1 = static_cast<float>(u0) / tw, u2 = static_cast<float>(u0 + w) / tw;
    float v1 = static_cast<float>(v0) / th, v2 = static_cast<float>(v0 + h) / th;
    if (rng() % 4 == 0)
        std::swap(u1, u2);
    AppendQuad(v, x1, y1, x1 + w, y1 + h, RandomColour(rng), u1, v1, u2, v2);
}

// A quad turned about its centre, as the library draws rotated images.
void AppendTurnedQuad(Rng& rng, std::vector<RasterVertex>* v) {
    float cx = Coordinate(rng, 70), cy = Coordinate(rng, 50);
    float half = static_cast<float>(2 + rng() % 16);
    float angle = static_cast<float>(rng() % 62832) * 1e-4f;
    float c = std::cos(angle), s = std::sin(angle);
    float corner[4][2] = {{-half, -half}, {half, -half}, {-half, half}, {half, half}};
    float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    uint32_t colour = RandomColour(rng);
    RasterVertex k[4];
    for (int i = 0; i < 4; ++i) {
        float x = cx + c * corner[i][0] - s * corner[i][1];
        float y = cy + s * corner[i][0] + c * corner[i][1];
        k[i] = At(x, y, colour, uv[i][0], uv[i][1]);
    }
    for (int i : {0, 1, 2, 3, 2, 1})
        v->push_back(k[i]);
}

void AppendRandomTriangle(Rng& rng, std::vector<RasterVertex>* v) {
    for (int i = 0; i < 3; ++i) {
        v->push_back(At(Coordinate(rng, 80), Coordinate(rng, 60), RandomColour(rng),
                        static_cast<float>(rng() % 300) / 100.0f - 1.0f,
                        static_cast<float>(rng() % 300) / 100.0f - 1.0f));
    }
}

struct Scene {
    uint32_t targetFormat = kFmtX8R8G8B8;
    bool depth = false;
    std::vector<RasterVertex> vertices;
    RasterStates states;
};

// Turns the vertices from `first` on by `angle` about (cx, cy).
void TurnAbout(std::vector<RasterVertex>* v, size_t first, float cx, float cy, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    for (size_t k = first; k < v->size(); ++k) {
        RasterVertex& at = (*v)[k];
        const float x = at.x - cx, y = at.y - cy;
        at.x = cx + c * x - s * y;
        at.y = cy + s * x + c * y;
    }
}

// The triangles drawn over the same start on one thread three ways: the general path, the
// fast routes with vector kernels (after which `countFast` reads the route counts), and the
// fast routes with portable kernels.
using ThreeDrawings = std::array<std::vector<uint32_t>, 3>;
ThreeDrawings DrawThreeWays(const Canvas& base, const std::vector<uint32_t>& start,
                            const std::vector<RasterVertex>& v,
                            const std::function<void()>& countFast) {
    const int modes[3][2] = {{0, 1}, {1, 1}, {1, 0}};
    ThreeDrawings results;
    for (int m = 0; m < 3; ++m) {
        SetRasterFastQuadsEnabled(modes[m][0] != 0);
        SetRasterVectorKernelsEnabled(modes[m][1] != 0);
        SetRasterThreadCount(1);
        Canvas c(base.width, base.height, base.target.color.format);
        c.states = base.states;
        c.pixels = start;
        c.target.color.bits = reinterpret_cast<uint8_t*>(c.pixels.data());
        ResetRasterRouteCounts();
        c.Draw(kPrimTriangleList, v);
        if (m == 1) {
            countFast();
        }
        results[m] = c.pixels;
    }
    return results;
}

TEST(RasterRoutes, FastRoutesGiveTheGeneralPathsPixelsOverRandomScenes) {
    Switches switches;
    Rng rng(2024);
    uint64_t routes[static_cast<int>(RasterRoute::kCount)] = {};
    for (int scene = 0; scene < 600; ++scene) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        Texture tex = RandomTexture(rng);
        bool textured = rng() % 5 != 0;
        Canvas base(72, 56,
                    Pick(rng, {kFmtX8R8G8B8, kFmtX8R8G8B8, kFmtA8R8G8B8, kFmtR5G6B5, kFmtX1R5G5B5,
                               kFmtA1R5G5B5, kFmtA4R4G4B4}));
        RasterStates& st = base.states;
        if (textured)
            st.textures[0] = &tex.texture;
        RandomProgram(rng, &st, textured);
        RandomBlend(rng, &st);
        RandomSampler(rng, &st);
        bool gouraud = rng() % 4 == 0;
        st.render[kRsShadeMode] = gouraud ? kShadeGouraud : kShadeFlat;
        bool depth = rng() % 8 == 0;
        std::vector<RasterVertex> v;
        int count = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            switch (rng() % 4) {
                case 0:
                case 1:
                    AppendRandomQuad(rng, &v, gouraud);
                    break;
                case 2:
                    AppendTurnedQuad(rng, &v);
                    break;
                default:
                    AppendRandomTriangle(rng, &v);
                    break;
            }
        }
        for (int i = textured ? static_cast<int>(rng() % 4) : 0; i > 0; --i)
            AppendCentredQuad(rng, &v, tex);
        std::vector<uint32_t> start(base.pixels.size());
        for (uint32_t& p : start)
            p = rng();
        // General path; fast routes; portable kernels; fast routes in four bands.
        const int modes[4][3] = {{0, 1, 1}, {1, 1, 1}, {1, 0, 1}, {1, 1, 4}};
        std::vector<uint32_t> results[4];
        for (int m = 0; m < 4; ++m) {
            SetRasterFastQuadsEnabled(modes[m][0] != 0);
            SetRasterVectorKernelsEnabled(modes[m][1] != 0);
            SetRasterThreadCount(modes[m][2]);
            Canvas c(72, 56, base.target.color.format);
            c.states = st;
            c.pixels = start;
            c.target.color.bits = reinterpret_cast<uint8_t*>(c.pixels.data());
            if (depth) {
                c.AddDepth(kFmtD16, 0x8000);
                for (size_t i = 0; i < v.size(); ++i)
                    v[i].z = static_cast<float>(i % 7) / 6.0f;
            }
            ResetRasterRouteCounts();
            c.Draw(kPrimTriangleList, v);
            if (m == 1) {
                for (int r = 0; r < static_cast<int>(RasterRoute::kCount); ++r)
                    routes[r] += RasterRouteCount(static_cast<RasterRoute>(r));
            }
            results[m] = c.pixels;
            results[m].insert(results[m].end(), c.depth.begin(), c.depth.end());
        }
        if (results[0] != results[1]) {
            for (size_t i = 0; i < results[0].size(); ++i)
                if (results[0][i] != results[1][i]) {
                    printf("i %zu x %zu y %zu general %08x fast %08x start %08x\n", i, i % 72,
                           i / 72, results[0][i], results[1][i], i < start.size() ? start[i] : 0);
                }
            printf(
                "fmt %u blend %u %u %u op %u mask %x atest %u %u %u tex %d texfmt %u filt %u addr "
                "%u %u depth %d shade %u cop %u %x %x aop %u %x %x\n",
                base.target.color.format, st.render[kRsAlphaBlendEnable], st.render[kRsSrcBlend],
                st.render[kRsDestBlend], st.render[kRsBlendOp], st.render[kRsColorWriteEnable],
                st.render[kRsAlphaTestEnable], st.render[kRsAlphaFunc], st.render[kRsAlphaRef],
                textured, tex.texture.format, st.sampler[0][kSampMagFilter],
                st.sampler[0][kSampAddressU], st.sampler[0][kSampAddressV], depth,
                st.render[kRsShadeMode], st.stage[0][kTssColorOp], st.stage[0][kTssColorArg1],
                st.stage[0][kTssColorArg2], st.stage[0][kTssAlphaOp], st.stage[0][kTssAlphaArg1],
                st.stage[0][kTssAlphaArg2]);
        }
        ASSERT_TRUE(results[0] == results[1]) << "fast routes differ";
        ASSERT_TRUE(results[1] == results[2]) << "portable kernels differ";
        ASSERT_TRUE(results[1] == results[3]) << "bands differ";
    }
    // Every route must have had its share, or the comparison proves little.
    for (int r = 0; r < static_cast<int>(RasterRoute::kCount); ++r) {
        if (static_cast<RasterRoute>(r) == RasterRoute::kShaderBlocks ||
            static_cast<RasterRoute>(r) == RasterRoute::kShaderVectors)
            continue;  // these scenes have no pixel shader
        EXPECT_GT(routes[r], 10u) << RasterRouteName(static_cast<RasterRoute>(r));
    }
}

// Sprites as the game draws its bullets: 32-bit texels filtered linearly, at fractional
// positions and scales (widths odd and even, under and over eight pixels), upright and turned,
// tinted or not, under each blend the kernels compute and the alpha test, on both 32-bit
// targets: the general path, the fast routes with the vector and the portable kernels.
TEST(RasterRoutes, LinearSpritesGiveTheGeneralPathsPixels) {
    Switches switches;
    Rng rng(4040);
    uint64_t linear = 0, spans = 0;
    for (int scene = 0; scene < 300; ++scene) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        int size = static_cast<int>(Pick(rng, {32, 32, 16, 9, 40}));
        Texture tex =
            RandomTexels(rng, Pick(rng, {kFmtA8R8G8B8, kFmtA8R8G8B8, kFmtX8R8G8B8}), size, size);
        Canvas base(72, 56, Pick(rng, {kFmtX8R8G8B8, kFmtA8R8G8B8}));
        RasterStates& st = base.states;
        st.textures[0] = &tex.texture;
        RandomProgram(rng, &st, true);
        if (rng() % 2 == 0) {  // the library's own: texture times vertex colour
            uint32_t* s0 = st.stage[0];
            s0[kTssColorOp] = kTopModulate, s0[kTssColorArg1] = kTaTexture;
            s0[kTssColorArg2] = kTaDiffuse;
            s0[kTssAlphaOp] = kTopModulate, s0[kTssAlphaArg1] = kTaTexture;
            s0[kTssAlphaArg2] = kTaDiffuse;
            st.stage[1][kTssColorOp] = kTopDisable;
        }
        RandomBlend(rng, &st);
        uint32_t filter = Pick(rng, {kFilterLinear, kFilterLinear, kFilterPoint});
        st.sampler[0][kSampMagFilter] = filter;
        st.sampler[0][kSampMinFilter] = filter;
        st.sampler[0][kSampAddressU] =
            Pick(rng, {kAddressClamp, kAddressClamp, kAddressWrap, kAddressMirror, kAddressBorder});
        st.sampler[0][kSampAddressV] = st.sampler[0][kSampAddressU];
        st.render[kRsShadeMode] = kShadeFlat;
        std::vector<RasterVertex> v;
        int count = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < count; ++i) {
            float cx = static_cast<float>(rng() % 7200) / 100.0f;
            float cy = static_cast<float>(rng() % 5600) / 100.0f;
            float scale = rng() % 4 == 0 ? 1.0f : static_cast<float>(3 + rng() % 17) / 10.0f;
            float half = size * scale / 2;
            if (scale == 1.0f && rng() % 2 == 0) {  // on the pixel grid: taps on texel centres
                cx = std::floor(cx) - 0.5f + half;
                cy = std::floor(cy) - 0.5f + half;
            }
            // Faded out wholly too: a tint without alpha.
            uint32_t colour = Pick(rng, {0xFFFFFFFFu, 0xFFFF8040u, 0xC040A0FFu, 0x00FFFFFFu,
                                         0x00FF8040u, static_cast<uint32_t>(rng())});
            float u1 = 0, u2 = 1;
            if (rng() % 5 == 0)
                std::swap(u1, u2);
            size_t first = v.size();
            AppendQuad(&v, cx - half, cy - half, cx + half, cy + half, colour, u1, 0, u2, 1);
            if (rng() % 3 == 0) {
                TurnAbout(&v, first, cx, cy, static_cast<float>(rng() % 62832) * 1e-4f);
            }
        }
        std::vector<uint32_t> start(base.pixels.size());
        for (uint32_t& p : start)
            p = rng();
        // General path; fast routes; portable kernels.
        const ThreeDrawings results = DrawThreeWays(base, start, v, [&] {
            linear += RasterRouteCount(RasterRoute::kLinearKernels);
            spans += RasterRouteCount(RasterRoute::kTriangleSpans);
        });
        ASSERT_TRUE(results[0] == results[1]) << "fast routes differ";
        ASSERT_TRUE(results[1] == results[2]) << "portable kernels differ";
    }
    EXPECT_GT(linear, 200u);
    EXPECT_GT(spans, 200u);
}

// Small turned bullets as the game draws them, through the fused linear spans kernel: 1 to 64
// pixels a side at any angle and sub-pixel place, cut from inside a sheet or reaching its edges
// and past them under each address mode (texture coordinates far off the texture too), on a
// texture one or two texels wide as well, tinted by the game's colours (faded out wholly too),
// under each blend the kernel computes, with and without the alpha test: the general path, the
// fused kernel in its vector and portable forms.
TEST(RasterRoutes, SmallTurnedLinearQuadsGiveTheGeneralPathsPixels) {
    Switches switches;
    Rng rng(5656);
    uint64_t fused = 0;
    for (int scene = 0; scene < 400; ++scene) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        const int sizes[][2] = {{64, 64}, {64, 64}, {32, 32}, {16, 24}, {2, 9}, {1, 7}};
        const int* size = sizes[rng() % std::size(sizes)];
        const int tw = size[0], th = size[1];
        Texture tex =
            RandomTexels(rng, Pick(rng, {kFmtA8R8G8B8, kFmtA8R8G8B8, kFmtX8R8G8B8}), tw, th);
        Canvas base(96, 80, Pick(rng, {kFmtX8R8G8B8, kFmtA8R8G8B8}));
        RasterStates& st = base.states;
        st.textures[0] = &tex.texture;
        uint32_t* s0 = st.stage[0];
        s0[kTssColorOp] = kTopModulate, s0[kTssColorArg1] = kTaTexture;
        s0[kTssColorArg2] = kTaDiffuse;
        s0[kTssAlphaOp] = kTopModulate, s0[kTssAlphaArg1] = kTaTexture;
        s0[kTssAlphaArg2] = kTaDiffuse;
        RandomBlend(rng, &st);
        if (rng() % 2 == 0) {  // the game's own two
            st.render[kRsAlphaBlendEnable] = 1;
            st.render[kRsSrcBlend] = kBlendSrcAlpha;
            st.render[kRsDestBlend] = Pick(rng, {kBlendInvSrcAlpha, kBlendOne});
            st.render[kRsBlendOp] = kBlendOpAdd;
            st.render[kRsColorWriteEnable] = 0xF;
        }
        st.sampler[0][kSampMagFilter] = kFilterLinear;
        st.sampler[0][kSampMinFilter] = kFilterLinear;
        st.sampler[0][kSampAddressU] =
            Pick(rng, {kAddressClamp, kAddressClamp, kAddressWrap, kAddressMirror, kAddressBorder});
        st.sampler[0][kSampAddressV] = rng() % 4 == 0 ? Pick(rng, {kAddressClamp, kAddressWrap})
                                                      : st.sampler[0][kSampAddressU];
        st.sampler[0][kSampBorderColor] = rng();
        st.render[kRsShadeMode] = kShadeFlat;
        std::vector<RasterVertex> v;
        int count = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < count; ++i) {
            float side = static_cast<float>(1 + rng() % 64) + static_cast<float>(rng() % 4) / 4.0f;
            float cx = static_cast<float>(rng() % 9600) / 100.0f;
            float cy = static_cast<float>(rng() % 8000) / 100.0f;
            float angle = static_cast<float>(rng() % 62832) * 1e-4f;
            // A cell inside the texture, the whole of it, past its edges, or far off it.
            float u1 = 0, v1 = 0, u2 = 1, v2 = 1;
            switch (rng() % 4) {
                case 0: {
                    int cw = 1 + static_cast<int>(rng() % tw),
                        ch = 1 + static_cast<int>(rng() % th);
                    int x0 = static_cast<int>(rng() % (tw - cw + 1));
                    int y0 = static_cast<int>(rng() % (th - ch + 1));
                    u1 = static_cast<float>(x0) / tw, u2 = static_cast<float>(x0 + cw) / tw;
                    v1 = static_cast<float>(y0) / th, v2 = static_cast<float>(y0 + ch) / th;
                    break;
                }
                case 1:
                    break;
                case 2:
                    u1 = -0.7f, v1 = 0.3f, u2 = 2.4f, v2 = -1.2f;
                    break;
                default:
                    const float far[3] = {3e9f, -5e8f, 1e6f};
                    u1 = far[rng() % 3], u2 = u1 + 1.0f;
                    v2 = rng() % 2 == 0 ? 4e9f : 1.0f;
                    break;
            }
            uint32_t colour = Pick(rng, {0xFFFFFFFFu, 0xFF4080FFu, 0xFFFF8040u, 0xC040A0FFu,
                                         0x00FFFFFFu, static_cast<uint32_t>(rng())});
            size_t first = v.size();
            float half = side / 2;
            AppendQuad(&v, cx - half, cy - half, cx + half, cy + half, colour, u1, v1, u2, v2);
            TurnAbout(&v, first, cx, cy, angle);
        }
        std::vector<uint32_t> start(base.pixels.size());
        for (uint32_t& p : start)
            p = rng();
        // General path; fused kernel, vector and portable.
        const ThreeDrawings results = DrawThreeWays(
            base, start, v, [&] { fused += RasterRouteCount(RasterRoute::kLinearSpans); });
        ASSERT_TRUE(results[0] == results[1]) << "fused kernel differs";
        ASSERT_TRUE(results[1] == results[2]) << "portable kernel differs";
    }
    EXPECT_GT(fused, 1500u);
}

}  // namespace
