// Random 3D scenes for the rasteriser's differential tests: perspective triangles with Gouraud
// or flat colours, mip chains of 32-bit texels under every filter, address mode and
// level-of-detail bias, one or two stages, specular, vertex and table fog, depth of every
// format and compare function with biases, the alpha test and the blends the routes write in
// place.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "d3d9_raster_fixture.h"

namespace raster_test {

using Rng = std::mt19937;

inline uint32_t Pick(Rng& rng, std::initializer_list<uint32_t> values) {
    return values.begin()[rng() % values.size()];
}

inline float Uniform(Rng& rng, float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(rng() % 100000) / 100000.0f;
}

// Puts the fast routes back on and the thread count back to the machine's when a test that
// switches them ends, however it ends.
struct RouteSwitches {
    ~RouteSwitches() {
        SetRasterFastQuadsEnabled(true);
        SetRasterThreadCount(0);
    }
};

// The pixels folded into a running FNV-1a hash byte by byte, lowest byte first, so that a
// hash pins every byte of every scene.
inline void HashPixels(const std::vector<uint32_t>& words, uint64_t* hash) {
    for (uint32_t word : words) {
        for (int i = 0; i < 4; ++i) {
            *hash ^= (word >> (8 * i)) & 255;
            *hash *= 1099511628211u;
        }
    }
}

inline uint32_t FloatBits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// A texture with a full mip chain of random 32-bit texels, its levels in one vector.
struct MipTexture {
    std::vector<uint32_t> texels;
    RasterTexture texture;

    MipTexture(Rng& rng, uint32_t format) {
        int w = 1 << (rng() % 6), h = 1 << (rng() % 6);
        int levels = 1 + static_cast<int>(rng() % 7);
        size_t offsets[kRasterMaxLevels];
        int sizes[kRasterMaxLevels][2];
        size_t total = 0;
        texture.format = format;
        texture.levelCount = 0;
        for (int i = 0; i < levels; ++i) {
            offsets[i] = total;
            sizes[i][0] = w, sizes[i][1] = h;
            total += static_cast<size_t>(w) * h;
            ++texture.levelCount;
            if (w == 1 && h == 1)
                break;
            w = std::max(1, w / 2), h = std::max(1, h / 2);
        }
        texels.resize(total);
        for (uint32_t& t : texels)
            t = rng() % 3 == 0 ? (rng() | 0xFF000000u) : rng();
        for (int i = 0; i < texture.levelCount; ++i) {
            texture.levels[i] = {reinterpret_cast<uint8_t*>(texels.data() + offsets[i]),
                                 sizes[i][0], sizes[i][1], sizes[i][0] * 4, format};
        }
    }
};

inline void RandomSampler(Rng& rng, RasterStates* st, int stage) {
    uint32_t* ss = st->sampler[stage];
    ss[kSampMagFilter] = Pick(rng, {kFilterPoint, kFilterLinear, kFilterAnisotropic});
    ss[kSampMinFilter] = Pick(rng, {kFilterPoint, kFilterLinear, kFilterLinear});
    ss[kSampMipFilter] = Pick(rng, {kFilterNone, kFilterPoint, kFilterLinear, kFilterLinear});
    ss[kSampMipMapLodBias] = rng() % 2 ? 0u : FloatBits(Uniform(rng, -2.0f, 2.0f));
    ss[kSampMaxMipLevel] = rng() % 4 == 0 ? rng() % 3 : 0;
    ss[kSampAddressU] = Pick(rng, {kAddressWrap, kAddressWrap, kAddressMirror, kAddressClamp,
                                   kAddressBorder, kAddressMirrorOnce});
    ss[kSampAddressV] = Pick(rng, {kAddressWrap, kAddressClamp, kAddressBorder, kAddressMirror});
    ss[kSampBorderColor] = rng();
}

// Stage 0 as the 3D models set it (texture times the lit colour, alpha from either or both),
// now and then with a modifier, the models' own second stage, or a second stage that the
// general combiner must run.
inline void RandomProgram(Rng& rng, RasterStates* st) {
    uint32_t* s0 = st->stage[0];
    s0[kTssColorOp] = kTopModulate;
    s0[kTssColorArg1] = kTaTexture;
    s0[kTssColorArg2] = Pick(rng, {kTaCurrent, kTaDiffuse});
    if (rng() % 2)
        std::swap(s0[kTssColorArg1], s0[kTssColorArg2]);
    switch (rng() % 5) {
        case 0:
            s0[kTssAlphaOp] = kTopSelectArg1, s0[kTssAlphaArg1] = kTaTexture;
            break;
        case 1:
            s0[kTssAlphaOp] = kTopSelectArg2, s0[kTssAlphaArg2] = kTaDiffuse;
            break;
        case 2:
            s0[kTssAlphaOp] = kTopModulate, s0[kTssAlphaArg1] = kTaDiffuse;
            s0[kTssAlphaArg2] = kTaTexture;
            break;
        case 3:
            s0[kTssAlphaOp] = kTopDisable;
            break;
        default:
            s0[kTssAlphaOp] = kTopSubtract, s0[kTssAlphaArg1] = kTaTexture | kTaComplement;
            s0[kTssAlphaArg2] = kTaDiffuse;
            break;
    }
    const uint32_t second = rng() % 8;
    if (second < 2) {
        // The models' second stage: the colour on as it is, the alpha times
        // the texture factor's, opaque or not.
        uint32_t* s1 = st->stage[1];
        s1[kTssColorOp] = second == 0 ? kTopSelectArg1 : kTopSelectArg2;
        s1[kTssColorArg1] = second == 0 ? kTaCurrent : kTaTexture;
        s1[kTssColorArg2] = second == 0 ? kTaTexture : kTaCurrent;
        s1[kTssAlphaOp] = Pick(rng, {kTopModulate, kTopModulate, kTopSelectArg1, kTopDisable});
        s1[kTssAlphaArg1] = kTaCurrent;
        s1[kTssAlphaArg2] = kTaTFactor;
        if (rng() % 2)
            std::swap(s1[kTssAlphaArg1], s1[kTssAlphaArg2]);
        st->render[kRsTextureFactor] = (rng() % 2 ? 0xFFu : rng() % 255) << 24 | (rng() & 0xFFFFFF);
    } else if (second == 2) {
        uint32_t* s1 = st->stage[1];
        s1[kTssColorOp] = Pick(rng, {kTopAdd, kTopModulate2x, kTopBlendTextureAlpha});
        s1[kTssColorArg1] = kTaTexture;
        s1[kTssColorArg2] = kTaCurrent;
        s1[kTssAlphaOp] = kTopSelectArg2;
        s1[kTssAlphaArg2] = kTaCurrent;
        s1[kTssTexCoordIndex] = rng() % 2;
    }
}

inline void RandomBlendAndTests(Rng& rng, RasterStates* st) {
    uint32_t* rs = st->render;
    switch (rng() % 4) {
        case 0:
        case 1:
            rs[kRsAlphaBlendEnable] = 0;
            break;
        case 2:
            rs[kRsAlphaBlendEnable] = 1;
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendInvSrcAlpha;
            break;
        default:
            rs[kRsAlphaBlendEnable] = 1;
            rs[kRsSrcBlend] = kBlendSrcAlpha, rs[kRsDestBlend] = kBlendOne;
            break;
    }
    if (rng() % 4 == 0) {
        rs[kRsAlphaTestEnable] = 1;
        rs[kRsAlphaFunc] = kCompareFunctions[rng() % 8];
        rs[kRsAlphaRef] = rng() % 256;
    }
    rs[kRsSpecularEnable] = rng() % 2;
    rs[kRsShadeMode] = rng() % 5 == 0 ? kShadeFlat : kShadeGouraud;
}

inline void RandomFog(Rng& rng, RasterStates* st) {
    uint32_t* rs = st->render;
    rs[kRsFogEnable] = rng() % 3 != 0;
    rs[kRsFogColor] = rng();
    st->vertexFogInSpecular = rng() % 2;
    rs[kRsFogTableMode] = Pick(rng, {kFogNone, kFogNone, kFogLinear, kFogExp, kFogExp2});
    st->fogFromW = rng() % 2;
    float start = Uniform(rng, 0.0f, 2.0f);
    rs[kRsFogStart] = FloatBits(start);
    rs[kRsFogEnd] = FloatBits(start + Uniform(rng, 0.1f, 4.0f));
    rs[kRsFogDensity] = FloatBits(Uniform(rng, 0.0f, 2.0f));
}

// A triangle in perspective: each vertex has its own rhw, so colours and coordinates are
// divided at each pixel; now and then a projected set carries its own q.
inline void AppendTriangle(Rng& rng, std::vector<RasterVertex>* v, float texScale) {
    for (int i = 0; i < 3; ++i) {
        RasterVertex r;
        r.x = Uniform(rng, -12.0f, 84.0f);
        r.y = Uniform(rng, -12.0f, 68.0f);
        r.z = Uniform(rng, -0.1f, 1.1f);
        r.rhw = Uniform(rng, 0.05f, 2.0f);
        r.diffuse = rng();
        r.specular = rng();
        for (int set = 0; set < kRasterTexCoordSets; ++set) {
            r.tex[set][0] = Uniform(rng, -1.0f, 1.0f) * texScale;
            r.tex[set][1] = Uniform(rng, -1.0f, 1.0f) * texScale;
            r.texQ[set] = Uniform(rng, 0.2f, 3.0f);
        }
        v->push_back(r);
    }
}

inline std::vector<uint32_t> Draw(const RasterStates& st, uint32_t format, uint32_t depthFormat,
                                  const std::vector<uint32_t>& start,
                                  const std::vector<uint32_t>& depth,
                                  const std::vector<RasterVertex>& v) {
    Canvas c(72, 56, format);
    c.states = st;
    c.pixels = start;
    c.target.color.bits = reinterpret_cast<uint8_t*>(c.pixels.data());
    if (depthFormat != 0) {
        c.AddDepth(depthFormat, 0);
        c.depth = depth;
        c.target.depth.bits = reinterpret_cast<uint8_t*>(c.depth.data());
        c.states.render[kRsZEnable] = st.render[kRsZEnable];
    }
    c.Draw(kPrimTriangleList, v);
    std::vector<uint32_t> out = c.pixels;
    out.insert(out.end(), c.depth.begin(), c.depth.end());
    return out;
}

// One random scene: states, textures, target and depth contents, triangles.
struct RandomScene {
    uint32_t format;
    MipTexture tex0, tex1;
    RasterStates st;
    uint32_t depthFormat = 0;
    std::vector<RasterVertex> v;
    std::vector<uint32_t> start, depth;

    explicit RandomScene(Rng& rng)
        : format(Pick(rng, {kFmtX8R8G8B8, kFmtA8R8G8B8})),
          tex0(rng, Pick(rng, {kFmtA8R8G8B8, kFmtX8R8G8B8})),
          tex1(rng, kFmtA8R8G8B8),
          st(Canvas(72, 56, format).states),
          start(72 * 56),
          depth(72 * 56) {
        st.textures[0] = rng() % 10 == 0 ? nullptr : &tex0.texture;
        st.textures[1] = &tex1.texture;
        RandomProgram(rng, &st);
        RandomSampler(rng, &st, 0);
        RandomSampler(rng, &st, 1);
        RandomBlendAndTests(rng, &st);
        RandomFog(rng, &st);
        for (int set = 0; set < kRasterTexCoordSets; ++set)
            st.texProjected[set] = rng() % 6 == 0;
        depthFormat = Pick(rng, {0u, kFmtD16, kFmtD24X8, kFmtD32, kFmtD16});
        if (depthFormat != 0) {
            st.render[kRsZEnable] = 1;
            st.render[kRsZFunc] = kCompareFunctions[rng() % 8];
            st.render[kRsZWriteEnable] = rng() % 4 != 0;
            st.render[kRsDepthBias] = rng() % 3 ? 0u : FloatBits(Uniform(rng, -0.01f, 0.01f));
            st.render[kRsSlopeScaleDepthBias] =
                rng() % 3 ? 0u : FloatBits(Uniform(rng, -1.0f, 1.0f));
        }
        // Coordinates from a fraction of a texel a pixel to several: every level is reached.
        float texScale = Pick(rng, {1, 2, 8}) * (rng() % 2 ? 0.25f : 1.0f);
        int triangles = 1 + static_cast<int>(rng() % 5);
        for (int i = 0; i < triangles; ++i)
            AppendTriangle(rng, &v, texScale);
        for (uint32_t& p : start)
            p = rng();
        for (uint32_t& d : depth)
            d = rng() % 2 ? rng() : rng() >> 16;
    }

    std::vector<uint32_t> Draw() const {
        return raster_test::Draw(st, format, depthFormat, start, depth, v);
    }
};

// A scene's pixels and depth drawn by the general path on one thread, then by the fast routes on
// one thread and in four bands.
struct EachWay {
    std::vector<uint32_t> general, fast, banded;
};

// The route counts are reset before the fast draw on one thread and handed to countRoutes
// right after it, so that they count that draw alone.
template <typename CountRoutes>
EachWay DrawEachWay(const RandomScene& r, CountRoutes countRoutes) {
    EachWay drawn;
    SetRasterThreadCount(1);
    SetRasterFastQuadsEnabled(false);
    drawn.general = r.Draw();
    SetRasterFastQuadsEnabled(true);
    ResetRasterRouteCounts();
    drawn.fast = r.Draw();
    countRoutes();
    SetRasterThreadCount(4);
    drawn.banded = r.Draw();
    return drawn;
}

}  // namespace raster_test
