// The per-pixel path every route falls back to, and the reference the fast routes are compared
// with: depth test, texture stages, alpha test, depth write, blend and write (ShadeAndWrite),
// and the general triangle walk that interpolates each pixel's inputs (RasterTriangleRows).
#include "platform/d3d9/raster_draw_internal.h"
#include "platform/d3d9/raster_projective_internal.h"

#include <algorithm>
#include <cmath>

namespace platform::raster_internal {

// Depth test; returns false when the pixel is rejected. *quantised receives the new depth.
bool DepthPasses(const DrawSetup& s, int32_t x, int32_t y, float z, float slopeBias,
                 uint32_t* quantised) {
    *quantised = QuantizeRasterDepth(s.target.depth.format, z + s.depthBias + slopeBias);
    return RasterCompare(s.zFunc, *quantised, ReadRasterDepth(s.target.depth, x, y));
}

void ShadeAndWrite(const DrawSetup& s, int32_t x, int32_t y, const PixelInputs& in) {
    if (s.pixelShader != nullptr) {  // points and lines of a draw with a pixel shader
        ShadeOnePixel(s, x, y, in);
        return;
    }
    uint32_t depth = 0;
    if (s.depthTest && !DepthPasses(s, x, y, in.z, in.slopeBias, &depth))
        return;
    RasterColor textures[kRasterStageCount];
    for (int i = 0; i < s.program.stageCount; ++i) {
        if (!s.needTexture[i])
            continue;
        uint32_t set = s.texSet[i];
        float u = set < kRasterTexCoordSets ? in.u[set] : 0.0f;
        float v = set < kRasterTexCoordSets ? in.v[set] : 0.0f;
        const RasterSurface* level = s.pointLevel[i];
        uint32_t texel;
        if (level != nullptr) {
            // SampleRaster's point sampling of a 32-bit level, without its dispatch.
            const RasterSampler& sm = s.samplers[i];
            int32_t tx =
                AddressRasterTexel(RasterTexelIndex(u, level->width), level->width, sm.addressU);
            int32_t ty =
                AddressRasterTexel(RasterTexelIndex(v, level->height), level->height, sm.addressV);
            if (tx < 0 || ty < 0) {
                texel = sm.borderColor;
            } else {
                std::memcpy(&texel,
                            level->bits + static_cast<intptr_t>(ty) * level->pitch +
                                4 * static_cast<intptr_t>(tx),
                            4);
                if (level->format == kFmtX8R8G8B8)
                    texel |= 0xFF000000u;
            }
        } else {
            texel = SampleRaster(s.samplers[i], u, v, in.lod[i]);
        }
        textures[i] = ColorFromArgb(texel);
    }
    RasterColor c = RunStageProgram(s.program, textures, in.diffuse, in.specular);
    if (s.alphaTest && !RasterCompare(s.alphaFunc, static_cast<uint32_t>(c.a), s.alphaRef))
        return;
    if (s.depthWrite)
        WriteRasterDepth(s.target.depth, x, y, depth);
    if (s.fog == FogSource::kVertex)
        c = ApplyFog(c, s.fogColor, in.fogAlpha);
    else if (s.fog == FogSource::kTable)
        c = ApplyFog(c, s.fogColor, TableFogAlpha(s, s.fogFromW ? in.w : in.z));
    WriteColour(s, s.write, x, y, ArgbFromColor(c));
}

int32_t TableFogAlpha(const DrawSetup& s, double d) {
    double f = 1.0;
    switch (s.fogTableMode) {
        case kFogLinear: {
            double range = static_cast<double>(s.fogEnd) - s.fogStart;
            f = range != 0.0 ? (s.fogEnd - d) / range : (d < s.fogEnd ? 1.0 : 0.0);
            break;
        }
        case kFogExp:
            f = std::exp(-(d * s.fogDensity));
            break;
        case kFogExp2: {
            double x = d * s.fogDensity;
            f = std::exp(-(x * x));
            break;
        }
        default:
            break;
    }
    return RoundChannel(f * 255.0);
}

RasterColor ApplyFog(const RasterColor& c, const RasterColor& fog, int32_t alpha) {
    auto mix = [alpha](int32_t a, int32_t b) {
        return (a * alpha + b * (255 - alpha) + 127) / 255;
    };
    return {mix(c.r, fog.r), mix(c.g, fog.g), mix(c.b, fog.b), c.a};
}

double LodFor(double dudx, double dvdx, double dudy, double dvdy, const RasterTexture& tex) {
    double w = tex.levels[0].width;
    double h = tex.levels[0].height;
    double x2 = dudx * w * dudx * w + dvdx * h * dvdx * h;
    double y2 = dudy * w * dudy * w + dvdy * h * dvdy * h;
    double m = std::max(x2, y2);
    if (!(m > 0.0))
        return -64.0;
    return 0.5 * std::log2(m);
}

// The texture coordinates of one set at a pixel, with the derivatives that choose its mip level
// when asked: u = U / D with U the set's plane and D the plane of q (projected sets; q times
// rhw in perspective), of rhw (perspective) or 1, so du/dx = (U.a - u D.a) / D.

SetAtPixel CoordinatesAt(const DrawSetup& s, const Triangle& t, int set, double x, double y,
                         double w, bool derivatives) {
    const Plane& pu = t.planes[kAttrTex + 2 * set];
    const Plane& pv = t.planes[kAttrTex + 2 * set + 1];
    SetAtPixel r;
    const Plane* denominator = nullptr;
    double inverse = w;
    if (s.texProjected[set]) {
        denominator = &t.planes[kAttrTexQ + set];
        double q = denominator->At(x, y);
        inverse = q != 0.0 ? 1.0 / q : 0.0;
    } else if (t.perspective) {
        denominator = &t.planes[kAttrRhw];
    }
    r.u = pu.At(x, y) * inverse;
    r.v = pv.At(x, y) * inverse;
    if (!derivatives)
        return r;
    r.dudx = pu.a, r.dudy = pu.b, r.dvdx = pv.a, r.dvdy = pv.b;
    if (denominator != nullptr) {
        // As floats first, as the pixel path samples them.
        double u = static_cast<float>(r.u), v = static_cast<float>(r.v);
        r.dudx = (pu.a - u * denominator->a) * inverse;
        r.dudy = (pu.b - u * denominator->b) * inverse;
        r.dvdx = (pv.a - v * denominator->a) * inverse;
        r.dvdy = (pv.b - v * denominator->b) * inverse;
    }
    return r;
}

namespace {

// The inputs of a pixel of a perspective triangle, by the single-precision rule
// (raster_projective_internal.h); depth and the eye distance as the affine rule gives them.
void PerspectiveInputs(const DrawSetup& s, const Triangle& t, int32_t px, int32_t py,
                       PixelInputs* in) {
    const float x = static_cast<float>(px), y = static_cast<float>(py);
    const float w = PerspectiveW(t, x, y);
    if (!s.flat) {
        in->diffuse = PerspectiveColour(t, kAttrDiffuse, x, y, w);
        if (s.program.usesSpecular)
            in->specular = PerspectiveColour(t, kAttrSpecular, x, y, w);
        if (s.fog == FogSource::kVertex)
            in->fogAlpha = RoundChannelF(FloatAt(t.fplanes[kAttrSpecular + 3], x, y) * w);
    }
    if (!s.anyTexture)
        return;
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (!s.texSetUsed[set])
            continue;
        FloatCoordinates c = PerspectiveCoordinates(s, t, set, x, y, w);
        in->u[set] = c.u;
        in->v[set] = c.v;
    }
    for (int i = 0; i < s.program.stageCount; ++i) {
        if (!s.needTexture[i] || !s.samplers[i].needsLod)
            continue;
        int set = s.texSet[i] < kRasterTexCoordSets ? static_cast<int>(s.texSet[i]) : 0;
        in->lod[i] = PerspectiveLod(s, t, set, *s.samplers[i].texture, px, py);
    }
}

}  // namespace

void RasterTriangleRows(const DrawSetup& s, const Triangle& t, int32_t bandTop,
                        int32_t bandBottom) {
    int32_t top = std::max(t.top, bandTop);
    int32_t bottom = std::min(t.bottom, bandBottom - 1);
    bool gouraud = !s.flat;
    bool wantSpecular = s.program.usesSpecular;
    bool vertexFog = s.fog == FogSource::kVertex;
    bool fogFromW = s.fog == FogSource::kTable && s.fogFromW;
    PixelInputs in;
    in.diffuse = t.flatDiffuse;
    in.specular = t.flatSpecular;
    in.slopeBias = t.slopeBias;
    in.fogAlpha = t.flatSpecular.a;
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
        double y = py;
        for (int64_t px = left; px <= right; ++px) {
            double x = static_cast<double>(px);
            in.z = static_cast<float>(t.planes[kAttrZ].At(x, y));
            if (fogFromW) {
                double q = t.planes[kAttrRhw].At(x, y);
                in.w = static_cast<float>(q != 0.0 ? 1.0 / q : 0.0);
            }
            if (t.perspective) {
                PerspectiveInputs(s, t, static_cast<int32_t>(px), py, &in);
                ShadeAndWrite(s, static_cast<int32_t>(px), py, in);
                continue;
            }
            const double w = 1.0;
            if (gouraud) {
                in.diffuse.r = RoundChannel(t.planes[kAttrDiffuse + 0].At(x, y) * w);
                in.diffuse.g = RoundChannel(t.planes[kAttrDiffuse + 1].At(x, y) * w);
                in.diffuse.b = RoundChannel(t.planes[kAttrDiffuse + 2].At(x, y) * w);
                in.diffuse.a = RoundChannel(t.planes[kAttrDiffuse + 3].At(x, y) * w);
                if (wantSpecular) {
                    in.specular.r = RoundChannel(t.planes[kAttrSpecular + 0].At(x, y) * w);
                    in.specular.g = RoundChannel(t.planes[kAttrSpecular + 1].At(x, y) * w);
                    in.specular.b = RoundChannel(t.planes[kAttrSpecular + 2].At(x, y) * w);
                    in.specular.a = RoundChannel(t.planes[kAttrSpecular + 3].At(x, y) * w);
                }
                if (vertexFog)
                    in.fogAlpha = RoundChannel(t.planes[kAttrSpecular + 3].At(x, y) * w);
            }
            if (s.anyTexture) {
                for (int set = 0; set < kRasterTexCoordSets; ++set) {
                    if (!s.texSetUsed[set])
                        continue;
                    SetAtPixel c = CoordinatesAt(s, t, set, x, y, w, false);
                    in.u[set] = static_cast<float>(c.u);
                    in.v[set] = static_cast<float>(c.v);
                }
                for (int i = 0; i < s.program.stageCount; ++i) {
                    if (!s.needTexture[i] || !s.samplers[i].needsLod)
                        continue;
                    uint32_t set = s.texSet[i] < kRasterTexCoordSets ? s.texSet[i] : 0;
                    SetAtPixel c = CoordinatesAt(s, t, static_cast<int>(set), x, y, w, true);
                    in.lod[i] = static_cast<float>(
                        LodFor(c.dudx, c.dvdx, c.dudy, c.dvdy, *s.samplers[i].texture));
                }
            }
            ShadeAndWrite(s, static_cast<int32_t>(px), py, in);
        }
    }
}

}  // namespace platform::raster_internal
