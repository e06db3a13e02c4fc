// The brightness volume: a 128x128x128 lookup texture that turns an RGB
// colour into the same hue at full brightness, for the model drawing's
// texture stage 5; and the rule it is filled by.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/memory/log.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"

namespace tessel {

namespace {

// Texels of colours this dark have no hue worth keeping.
constexpr UINT kWhiteCorner = 8;

int ClampChannel(int value) {
    return std::clamp(value, 0, 255);
}

constexpr Rgb8 kWhite = {255, 255, 255};

// The volume asks some seven million divisions at every start. Each divisor
// is 1..255 and each numerator is below 2^24, so a multiply by ceil(2^32 / d)
// and a shift gives the exact quotient: the product exceeds n / d by less
// than n / 2^32, which is below 1 / d, the least distance from n / d up to
// the next whole number.
struct Reciprocals {
    uint64_t of[256];
};

constexpr Reciprocals MakeReciprocals() {
    Reciprocals r = {};
    for (uint64_t d = 1; d < 256; ++d) {
        r.of[d] = ((uint64_t{1} << 32) + d - 1) / d;
    }
    return r;
}

constexpr Reciprocals kReciprocals = MakeReciprocals();

int Quotient(int n, int d) {
    return static_cast<int>((static_cast<uint64_t>(n) * kReciprocals.of[d]) >> 32);
}

int FailVolume(const char* line, IDirect3DVolumeTexture9** source, IDirect3DVolumeTexture9** dest) {
    ReleaseComObject(source);
    ReleaseComObject(dest);
    return WriteLog(line);
}

// The 128-cube in one level of X8R8G8B8; null on failure.
IDirect3DVolumeTexture9* MakeVolume(IDirect3DDevice9* device, D3DPOOL pool) {
    IDirect3DVolumeTexture9* volume = nullptr;
    if (FAILED(device->CreateVolumeTexture(kBrightnessVolumeSide, kBrightnessVolumeSide,
                                           kBrightnessVolumeSide, 1, 0, D3DFMT_X8R8G8B8, pool,
                                           &volume, nullptr))) {
        return nullptr;
    }
    return volume;
}

}  // namespace

namespace {

void WriteTexel(uint8_t* at, Rgb8 colour) {
    const uint8_t texel[4] = {colour.b, colour.g, colour.r, 255};
    std::memcpy(at, texel, 4);
}

#if defined(__SSE2__)
// Four texels of a row at once. Every quotient of the rule is at most 255 and
// every operand a whole number below 2^24, so single-precision lanes hold them
// exactly, and a correctly rounded division truncated gives the whole
// quotient: n / d lies at least 1 / d below the next whole number, far more
// than half a unit in the last place at 255.
__m128 Truncated(__m128 value) {
    return _mm_cvtepi32_ps(_mm_cvttps_epi32(value));
}

__m128i BrightenedChannel(__m128 v, __m128 lo, __m128 span, __m128 t) {
    const __m128 k255 = _mm_set1_ps(255.0f);
    const __m128 place = Truncated(_mm_div_ps(_mm_mul_ps(_mm_sub_ps(v, lo), k255), span));
    const __m128 scaled = Truncated(_mm_div_ps(_mm_mul_ps(_mm_sub_ps(k255, place), t), k255));
    return _mm_cvttps_epi32(_mm_sub_ps(k255, scaled));
}

// Texels x .. x + 3 of the row of green g and blue b; none of them dark.
void FillFourTexels(uint8_t* at, int x, float g, float b) {
    const __m128 r = _mm_set_ps(static_cast<float>(2 * x + 6), static_cast<float>(2 * x + 4),
                                static_cast<float>(2 * x + 2), static_cast<float>(2 * x));
    const __m128 gs = _mm_set1_ps(g);
    const __m128 bs = _mm_set1_ps(b);
    const __m128 hi = _mm_max_ps(r, _mm_max_ps(gs, bs));
    const __m128 lo = _mm_min_ps(r, _mm_min_ps(gs, bs));
    const __m128 span = _mm_sub_ps(hi, lo);
    // A grey lane (no span) has t = 0 and comes out white, as the rule's grey; it divides
    // by 1 rather than by 0, which would raise the invalid-operation flag. The lanes lie
    // outside the dark corner, so hi is never 0.
    const __m128 safeSpan = _mm_max_ps(span, _mm_set1_ps(1.0f));
    const __m128 t = Truncated(_mm_div_ps(_mm_mul_ps(span, _mm_set1_ps(255.0f)), hi));
    const __m128i red = BrightenedChannel(r, lo, safeSpan, t);
    const __m128i green = BrightenedChannel(gs, lo, safeSpan, t);
    const __m128i blue = BrightenedChannel(bs, lo, safeSpan, t);
    const __m128i texels = _mm_or_si128(
        _mm_or_si128(blue, _mm_slli_epi32(green, 8)),
        _mm_or_si128(_mm_slli_epi32(red, 16), _mm_set1_epi32(static_cast<int>(0xFF000000u))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), texels);
}
#endif

void FillRow(uint8_t* row, UINT y, UINT z) {
    const bool darkRow = y < kWhiteCorner && z < kWhiteCorner;
    UINT x = 0;
    for (; darkRow && x < kWhiteCorner; ++x) {
        WriteTexel(row + 4 * x, kWhite);
    }
#if defined(__SSE2__)
    for (; x + 4 <= kBrightnessVolumeSide; x += 4) {
        FillFourTexels(row + 4 * x, static_cast<int>(x), static_cast<float>(2 * y),
                       static_cast<float>(2 * z));
    }
#endif
    for (; x < kBrightnessVolumeSide; ++x) {
        WriteTexel(row + 4 * x, MaximiseBrightness(static_cast<int>(2 * x), static_cast<int>(2 * y),
                                                   static_cast<int>(2 * z)));
    }
}

}  // namespace

void FillBrightnessVolume(const D3DLOCKED_BOX& box) {
    auto* bits = static_cast<uint8_t*>(box.pBits);
    for (UINT z = 0; z < kBrightnessVolumeSide; ++z) {
        for (UINT y = 0; y < kBrightnessVolumeSide; ++y) {
            FillRow(bits + static_cast<size_t>(z) * box.SlicePitch +
                        static_cast<size_t>(y) * box.RowPitch,
                    y, z);
        }
    }
}

// The brightest channel hi rises to 255 and the others keep their places
// between the darkest lo and hi: with t = (hi - lo) * 255 / hi, a channel v
// becomes 255 - (255 - (v - lo) * 255 / (hi - lo)) * t / 255, each division
// truncating. The darkest becomes 255 - t and the brightest 255, so channels
// that tie come out alike whichever of them is taken for which. A grey (hi
// equal to lo) gives white. Inputs are clamped to 0..255.
Rgb8 MaximiseBrightness(int red, int green, int blue) {
    const int r = ClampChannel(red);
    const int g = ClampChannel(green);
    const int b = ClampChannel(blue);
    const int hi = std::max({r, g, b});
    const int lo = std::min({r, g, b});
    if (hi == lo) {
        return kWhite;
    }
    const int t = Quotient((hi - lo) * 255, hi);
    const auto channel = [hi, lo, t](int v) {
        const int place = Quotient((v - lo) * 255, hi - lo);
        return static_cast<uint8_t>(255 - Quotient((255 - place) * t, 255));
    };
    return {channel(r), channel(g), channel(b)};
}

int CreateMaxBrightnessVolume() {
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return -1;
    }
    ReleaseComObject(&g_graphics.maxBrightnessVolume);
    IDirect3DVolumeTexture9* dest = MakeVolume(device, D3DPOOL_DEFAULT);
    IDirect3DVolumeTexture9* source = nullptr;
    if (dest == nullptr) {
        return FailVolume(
            "RGBカラーを輝度を最大にしたRGB値に変換するためのボリュームテクスチャの"
            "作成に失敗しました\n",
            &source, &dest);
    }
    source = MakeVolume(device, D3DPOOL_SYSTEMMEM);
    if (source == nullptr) {
        return FailVolume(
            "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテク"
            "スチャの作成に失敗しました\n",
            &source, &dest);
    }
    const D3DBOX whole = {
        0, 0, kBrightnessVolumeSide, kBrightnessVolumeSide, 0, kBrightnessVolumeSide};
    D3DLOCKED_BOX locked = {};
    if (FAILED(source->LockBox(0, &locked, &whole, 0))) {
        return FailVolume(
            "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテク"
            "スチャのロックに失敗しました\n",
            &source, &dest);
    }
    FillBrightnessVolume(locked);
    source->UnlockBox(0);
    device->UpdateTexture(source, dest);
    ReleaseComObject(&source);
    g_graphics.maxBrightnessVolume = dest;
    return 0;
}

}  // namespace tessel
