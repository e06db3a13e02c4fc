// Texture sampling of the rasteriser, as raster_sample.h states it.
#include "platform/d3d9/raster_sample.h"

#include <cmath>
#include <cstring>

#include "platform/d3d9/raster_texel.h"

namespace platform {
namespace {

uint32_t FetchAddressed(const RasterSurface& level, int32_t x, int32_t y,
                        const RasterSampler& sampler) {
    int32_t tx = AddressRasterTexel(x, level.width, sampler.addressU);
    int32_t ty = AddressRasterTexel(y, level.height, sampler.addressV);
    if (tx < 0 || ty < 0)
        return sampler.borderColor;
    return ReadRasterTexel(level, tx, ty);
}

uint32_t SamplePoint(const RasterSurface& level, float u, float v, const RasterSampler& sampler) {
    return FetchAddressed(level, RasterTexelIndex(u, level.width),
                          RasterTexelIndex(v, level.height), sampler);
}

uint32_t SampleLinear(const RasterSurface& level, float u, float v, const RasterSampler& sampler) {
    LinearTaps cols = LinearTapsFor(u, level.width, sampler.addressU);
    LinearTaps rows = LinearTapsFor(v, level.height, sampler.addressV);
    auto fetch = [&](int32_t x, int32_t y) {
        return (x < 0 || y < 0) ? sampler.borderColor : ReadRasterTexel(level, x, y);
    };
    return BilinearCombine(fetch(cols.first, rows.first), fetch(cols.second, rows.first),
                           fetch(cols.first, rows.second), fetch(cols.second, rows.second),
                           cols.weight, rows.weight);
}

uint32_t SampleLevel(const RasterTexture& texture, int32_t level, uint32_t filter, float u, float v,
                     const RasterSampler& sampler) {
    if (level >= texture.levelCount)
        level = texture.levelCount - 1;
    if (level < 0)
        level = 0;
    const RasterSurface& surface = texture.levels[level];
    if (surface.width <= 0 || surface.height <= 0 || surface.bits == nullptr)
        return 0xFFFFFFFFu;
    if (filter == kFilterLinear || filter == kFilterAnisotropic) {
        return SampleLinear(surface, u, v, sampler);
    }
    return SamplePoint(surface, u, v, sampler);
}

uint32_t LerpColours(uint32_t c0, uint32_t c1, uint32_t f) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((c0 >> shift) & 255) * (256 - f) + ((c1 >> shift) & 255) * f;
        out |= ((sum + 128) >> 8) << shift;
    }
    return out;
}

}  // namespace

uint32_t BilinearCombine(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t fx,
                         uint32_t fy) {
    uint32_t w00 = (256 - fx) * (256 - fy);
    uint32_t w10 = fx * (256 - fy);
    uint32_t w01 = (256 - fx) * fy;
    uint32_t w11 = fx * fy;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((c00 >> shift) & 255) * w00 + ((c10 >> shift) & 255) * w10 +
                       ((c01 >> shift) & 255) * w01 + ((c11 >> shift) & 255) * w11;
        out |= ((sum + 32768) >> 16) << shift;
    }
    return out;
}

int32_t AddressRasterTexelOutside(int32_t index, int32_t size, uint32_t mode) {
    switch (mode) {
        case kAddressMirror: {
            int32_t period = 2 * size;
            int32_t m = index % period;
            if (m < 0)
                m += period;
            return m < size ? m : period - 1 - m;
        }
        case kAddressClamp:
            return index < 0 ? 0 : size - 1;
        case kAddressBorder:
            return -1;
        case kAddressMirrorOnce: {
            int32_t m = index < 0 ? -index - 1 : index;
            return m >= size ? size - 1 : m;
        }
        default: {  // WRAP, and any unknown mode
            int32_t m = index % size;
            return m < 0 ? m + size : m;
        }
    }
}

void CompileRasterSampler(const RasterStates& states, int stage, RasterSampler* sampler) {
    const uint32_t* ss = states.sampler[stage];
    *sampler = RasterSampler();
    sampler->texture = states.textures[stage];
    sampler->addressU = ss[kSampAddressU];
    sampler->addressV = ss[kSampAddressV];
    sampler->borderColor = ss[kSampBorderColor];
    sampler->magFilter = ss[kSampMagFilter];
    sampler->minFilter = ss[kSampMinFilter];
    sampler->mipFilter = ss[kSampMipFilter];
    sampler->baseLevel = static_cast<int32_t>(ss[kSampMaxMipLevel]);
    std::memcpy(&sampler->lodBias, &ss[kSampMipMapLodBias], 4);
    if (!(sampler->lodBias == sampler->lodBias))
        sampler->lodBias = 0.0f;
    const RasterTexture* t = sampler->texture;
    bool sameFilter = (sampler->magFilter == kFilterPoint) == (sampler->minFilter == kFilterPoint);
    bool mips = t != nullptr && t->levelCount > 1 && sampler->mipFilter != kFilterNone;
    sampler->needsLod = t != nullptr && (mips || !sameFilter);
}

uint32_t SampleRaster(const RasterSampler& sampler, float u, float v, float lod) {
    const RasterTexture* t = sampler.texture;
    if (t == nullptr || t->levelCount <= 0)
        return 0xFFFFFFFFu;  // no texture: white, so MODULATE leaves the vertex colour
    if (!sampler.needsLod)
        return SampleLevel(*t, sampler.baseLevel, sampler.magFilter, u, v, sampler);
    double l = static_cast<double>(lod) + sampler.lodBias;
    if (!(l > 0.0))
        return SampleLevel(*t, sampler.baseLevel, sampler.magFilter, u, v, sampler);
    if (l > 64.0)
        l = 64.0;
    switch (sampler.mipFilter) {
        case kFilterPoint: {
            int32_t level = sampler.baseLevel + static_cast<int32_t>(std::floor(l + 0.5));
            return SampleLevel(*t, level, sampler.minFilter, u, v, sampler);
        }
        case kFilterLinear:
        case kFilterAnisotropic: {
            double whole = std::floor(l);
            int32_t level = sampler.baseLevel + static_cast<int32_t>(whole);
            uint32_t f = static_cast<uint32_t>(std::floor((l - whole) * 256.0 + 0.5));
            uint32_t c0 = SampleLevel(*t, level, sampler.minFilter, u, v, sampler);
            if (f == 0 || level + 1 >= t->levelCount)
                return c0;
            if (f >= 256)
                return SampleLevel(*t, level + 1, sampler.minFilter, u, v, sampler);
            uint32_t c1 = SampleLevel(*t, level + 1, sampler.minFilter, u, v, sampler);
            return LerpColours(c0, c1, f);
        }
        default:
            return SampleLevel(*t, sampler.baseLevel, sampler.minFilter, u, v, sampler);
    }
}

}  // namespace platform
