// The brightness volume: a 128x128x128 lookup texture that turns an RGB
// colour into the same hue at full brightness, for the model drawing's
// texture stage 5; and the rule it is filled by.
#include <algorithm>
#include <cstring>

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

// The volume asks some six million divisions at every start. Each divisor is
// 1..255 and each numerator's magnitude below 2^24, so a multiply by
// ceil(2^32 / d) and a shift gives the exact quotient: the product exceeds
// n / d by less than n / 2^32, which is below 1 / d, the least distance from
// n / d up to the next whole number.
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

// n / d truncated toward zero, as the division operator does.
int Quotient(int n, int d) {
    const auto magnitude = static_cast<uint64_t>(n < 0 ? -n : n);
    const auto q = static_cast<int>((magnitude * kReciprocals.of[d]) >> 32);
    return n < 0 ? -q : q;
}

// Raises hi to 255 and keeps the other two in their ratios to it; each
// division truncates toward zero. false for a grey (hi equal to lo).
bool Stretch(int hi, int mid, int lo, uint8_t* outHi, uint8_t* outMid, uint8_t* outLo) {
    if (hi == lo) {
        return false;
    }
    int t = Quotient((hi - lo) * 255, hi);
    int u = (Quotient((lo - mid) * 255, hi - lo) + 255) * t;
    *outHi = 255;
    *outLo = static_cast<uint8_t>(255 - t);
    *outMid = static_cast<uint8_t>(255 - Quotient(u, 255));
    return true;
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

void FillBrightnessVolume(const D3DLOCKED_BOX& box) {
    auto* bits = static_cast<uint8_t*>(box.pBits);
    for (UINT z = 0; z < kBrightnessVolumeSide; ++z) {
        for (UINT y = 0; y < kBrightnessVolumeSide; ++y) {
            uint8_t* row = bits + static_cast<size_t>(z) * box.SlicePitch +
                           static_cast<size_t>(y) * box.RowPitch;
            for (UINT x = 0; x < kBrightnessVolumeSide; ++x) {
                bool dark = x < kWhiteCorner && y < kWhiteCorner && z < kWhiteCorner;
                Rgb8 colour =
                    dark ? kWhite
                         : MaximiseBrightness(static_cast<int>(2 * x), static_cast<int>(2 * y),
                                              static_cast<int>(2 * z));
                uint8_t texel[4] = {colour.b, colour.g, colour.r, 255};
                std::memcpy(row + 4 * x, texel, 4);
            }
        }
    }
}

// The channels are ordered by a fixed chain of comparisons, so that ties go
// the same way every time. Inputs are clamped to 0..255.
Rgb8 MaximiseBrightness(int red, int green, int blue) {
    if (red == 0 && green == 0 && blue == 0) {
        return kWhite;
    }
    int r = ClampChannel(red);
    int g = ClampChannel(green);
    int b = ClampChannel(blue);
    Rgb8 out = kWhite;
    bool stretched = false;
    if (r <= g && g <= b) {
        stretched = Stretch(b, g, r, &out.b, &out.g, &out.r);
    } else if (r <= g && b >= r) {
        stretched = Stretch(g, b, r, &out.g, &out.b, &out.r);
    } else if (r <= g) {
        stretched = Stretch(g, r, b, &out.g, &out.r, &out.b);
    } else if (b < r && g <= b) {
        stretched = Stretch(r, b, g, &out.r, &out.b, &out.g);
    } else if (b < r) {
        stretched = Stretch(r, g, b, &out.r, &out.g, &out.b);
    } else {
        stretched = Stretch(b, r, g, &out.b, &out.r, &out.g);
    }
    return stretched ? out : kWhite;
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
