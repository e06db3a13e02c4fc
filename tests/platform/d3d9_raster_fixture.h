// A small canvas for driving the rasteriser directly in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_texel.h"
#include "platform/d3d9/raster_types.h"

namespace raster_test {

using namespace platform;

// The eight comparison functions, and whether each passes for a value below,
// equal to and above the one it is compared with.
inline constexpr uint32_t kCompareFunctions[8] = {kCmpNever,        kCmpLess,    kCmpEqual,
                                                  kCmpLessEqual,    kCmpGreater, kCmpNotEqual,
                                                  kCmpGreaterEqual, kCmpAlways};
inline constexpr bool kComparePasses[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                              {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};

struct Canvas {
    int width;
    int height;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> depth;
    RasterTarget target;
    RasterStates states;

    Canvas(int w, int h, uint32_t format = kFmtX8R8G8B8, uint32_t fill = 0xFF000000u)
        : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {
        target.color = {reinterpret_cast<uint8_t*>(pixels.data()), w, h, w * 4, format};
        if (format != kFmtX8R8G8B8 && format != kFmtA8R8G8B8) {
            target.color.pitch = w * 2;
            std::vector<uint32_t>(static_cast<size_t>(w) * h / 2 + 1, 0).swap(pixels);
            target.color.bits = reinterpret_cast<uint8_t*>(pixels.data());
        }
        SetDefaultRasterStates(&states);
        states.viewport = {0, 0, w, h, 0.0f, 1.0f};
        states.render[kRsCullMode] = kCullNone;
        states.render[kRsLighting] = 0;
        // Untextured by default: the stage takes the vertex colour.
        states.stage[0][kTssColorOp] = kTopSelectArg2;
        states.stage[0][kTssColorArg2] = kTaDiffuse;
        states.stage[0][kTssAlphaOp] = kTopSelectArg2;
        states.stage[0][kTssAlphaArg2] = kTaDiffuse;
    }

    void AddDepth(uint32_t format, uint32_t fill) {
        int bpp = RasterBytesPerPixel(format);
        depth.assign(static_cast<size_t>(width) * height * bpp / 4 + 1, 0);
        target.depth = {reinterpret_cast<uint8_t*>(depth.data()), width, height, width * bpp,
                        format};
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                WriteRasterDepth(target.depth, x, y, fill);
        }
        states.render[kRsZEnable] = 1;
    }

    uint32_t At(int x, int y) const { return ReadRasterTexel(target.color, x, y); }
    uint32_t Raw(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }

    void Draw(uint32_t type, const std::vector<RasterVertex>& v, uint32_t count = 0,
              RasterSpace space = RasterSpace::kScreen,
              const std::vector<uint32_t>* idx = nullptr) {
        RasterDrawCall call;
        call.primitiveType = type;
        call.vertices = v.data();
        call.vertexCount = static_cast<uint32_t>(v.size());
        call.space = space;
        if (idx)
            call.indices = idx->data();
        if (count == 0) {
            uint32_t n = idx ? static_cast<uint32_t>(idx->size()) : call.vertexCount;
            switch (type) {
                case kPrimPointList:
                    count = n;
                    break;
                case kPrimLineList:
                    count = n / 2;
                    break;
                case kPrimLineStrip:
                    count = n - 1;
                    break;
                case kPrimTriangleList:
                    count = n / 3;
                    break;
                default:
                    count = n - 2;
                    break;
            }
        }
        call.primitiveCount = count;
        DrawRasterPrimitives(target, states, call);
    }
};

inline RasterVertex V(float x, float y, uint32_t colour = 0xFFFFFFFFu, float u = 0, float v = 0,
                      float z = 0.0f) {
    RasterVertex r;
    r.x = x;
    r.y = y;
    r.z = z;
    r.rhw = 1.0f;
    r.diffuse = colour;
    r.tex[0][0] = u;
    r.tex[0][1] = v;
    r.tex[1][0] = u;
    r.tex[1][1] = v;
    return r;
}

// Six list vertices of a quad in the order the library writes them: TL, TR, BL, BR, BL, TR.
inline void AppendQuad(std::vector<RasterVertex>* out, float x1, float y1, float x2, float y2,
                       uint32_t colour, float u1 = 0, float v1 = 0, float u2 = 1, float v2 = 1) {
    out->push_back(V(x1, y1, colour, u1, v1));
    out->push_back(V(x2, y1, colour, u2, v1));
    out->push_back(V(x1, y2, colour, u1, v2));
    out->push_back(V(x2, y2, colour, u2, v2));
    out->push_back(V(x1, y2, colour, u1, v2));
    out->push_back(V(x2, y1, colour, u2, v1));
}

// A texture of one level with pixels in a vector.
struct Texture {
    std::vector<uint8_t> bytes;
    RasterTexture texture;

    Texture(int w, int h, uint32_t format) {
        int bpp = RasterBytesPerPixel(format);
        bytes.assign(static_cast<size_t>(w) * h * bpp, 0);
        texture.format = format;
        texture.levelCount = 1;
        texture.levels[0] = {bytes.data(), w, h, w * bpp, format};
    }
    void Set(int x, int y, uint32_t argb) { WriteRasterPixel(texture.levels[0], x, y, argb); }
};

// Stage 0 reads the texture alone.
inline void UseTextureOnly(RasterStates* s, const RasterTexture* t) {
    s->textures[0] = t;
    s->stage[0][kTssColorOp] = kTopSelectArg1;
    s->stage[0][kTssColorArg1] = kTaTexture;
    s->stage[0][kTssAlphaOp] = kTopSelectArg1;
    s->stage[0][kTssAlphaArg1] = kTaTexture;
}

// SRCALPHA / INVSRCALPHA blending, as the library draws sprites.
inline void UseSrcAlphaBlending(RasterStates* s) {
    s->render[kRsAlphaBlendEnable] = 1;
    s->render[kRsSrcBlend] = kBlendSrcAlpha;
    s->render[kRsDestBlend] = kBlendInvSrcAlpha;
}

}  // namespace raster_test
