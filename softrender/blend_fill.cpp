// The blended fill. The colour is dimmed once per call; the per-pixel rule
// then depends on the destination pixel only, so each mode is one small
// function of the old pixel run over the rectangle. On RGB565 the modes that
// work field by field precompute each field's result for all of its values.
#include "softrender/blend_fill.h"

#include <algorithm>

#include "foundation/math/matrix.h"
#include "softrender/pixel_access.h"
#include "softrender/pixel_math.h"
#include "softrender/row_fill.h"

namespace tessel {

namespace {

using namespace soft;

struct FillArea {
    uint8_t* first;  // the top-left pixel
    int32_t pitch;
    int width;
    int height;
};

template <class Rule>
void FillRows32(const FillArea& a, Rule rule) {
    uint8_t* row = a.first;
    for (int y = 0; y < a.height; ++y, row += a.pitch) {
        Pixel32* p = Row32(row);
        for (int x = 0; x < a.width; ++x) {
            p[x] = rule(p[x]);
        }
    }
}

template <class Rule>
void FillRows16(const FillArea& a, Rule rule) {
    uint8_t* row = a.first;
    for (int y = 0; y < a.height; ++y, row += a.pitch) {
        Pixel16* p = Row16(row);
        for (int x = 0; x < a.width; ++x) {
            p[x] = static_cast<uint16_t>(rule(p[x]));
        }
    }
}

// The brightness scales the colour by (x x b) >> 8; white leaves it.
uint32_t DimColour32(uint32_t c, uint32_t brightness) {
    if (IsWhite(brightness)) {
        return c;
    }
    return Pack32(Dim(Red32(c), Red32(brightness)), Dim(Green32(c), Green32(brightness)),
                  Dim(Blue32(c), Blue32(brightness)), Top32(c));
}

uint32_t DimColour565(uint32_t c, uint32_t brightness) {
    if (IsWhite(brightness)) {
        return c;
    }
    return Pack565(Dim(Red565(c), Red32(brightness)), Dim(Green565(c), Green32(brightness)),
                   Dim(Blue565(c), Blue32(brightness)));
}

// Rule 1 on the three channels at once: (d x (256 - p) + c x p) >> 8 each,
// red and blue sharing one word (no sum reaches 2^16), the top byte kept.
void FillAlpha32(const FillArea& a, uint32_t c, uint32_t p) {
    const uint32_t q = 256 - p;
    const uint32_t redBlue = (c & 0xFF00FFu) * p;
    const uint32_t green = (c & 0xFF00u) * p;
    FillRows32(a, [=](uint32_t d) {
        return (d & 0xFF000000u) | ((((d & 0xFF00FFu) * q + redBlue) >> 8) & 0xFF00FFu) |
               ((((d & 0xFF00u) * q + green) >> 8) & 0xFF00u);
    });
}

void Fill32(const FillArea& a, uint32_t mode, uint32_t p, uint32_t c, const BlendTables& t) {
    const int32_t* scale = ScaleRow(t, p);
    const uint32_t scaled = Pack32(scale[Red32(c)], scale[Green32(c)], scale[Blue32(c)]);
    switch (mode) {
        case kBlendCopy: {
            uint8_t* row = a.first;
            for (int y = 0; y < a.height; ++y, row += a.pitch) {
                FillRow32(row, a.width, c);
            }
            return;
        }
        case kBlendAlpha:
            return FillAlpha32(a, c, p);
        case kBlendInvert:
            return FillAlpha32(a, ~c & 0xFFFFFFu, p);
        case kBlendAdd:
            return FillRows32(a, [=](uint32_t d) { return PackedAdd32(d, scaled); });
        case kBlendSubtract:
            return FillRows32(a, [=](uint32_t d) { return PackedSub32(d, scaled); });
        case kBlendMultiply:
            return FillRows32(a, [=](uint32_t d) {
                return Pack32((Red32(d) * Red32(c)) >> 8, (Green32(d) * Green32(c)) >> 8,
                              (Blue32(d) * Blue32(c)) >> 8, Top32(d));
            });
        case kBlendMultiplyAlpha:
            return FillRows32(a, [=](uint32_t d) {
                auto channel = [p](uint32_t dk, uint32_t ck) {
                    return Interpolate(dk, (dk * ck) >> 8, p, 8);
                };
                return Pack32(channel(Red32(d), Red32(c)), channel(Green32(d), Green32(c)),
                              channel(Blue32(d), Blue32(c)), Top32(d));
            });
        default:
            return;
    }
}

// The RGB565 field rule of one mode, for a field of `bits` bits whose colour
// value is c: the new field for an old field d.
int32_t FieldRule565(uint32_t mode, int32_t d, int32_t c, int bits, const int32_t* delta) {
    const int32_t top = (1 << bits) - 1;
    switch (mode) {
        case kBlendAlpha:
            return d + delta[c - d];
        case kBlendMultiply:
            return (d * c) >> bits;
        case kBlendInvert:
            return d + delta[(top - c) - d];
        default:  // kBlendMultiplyAlpha
            return d + delta[((d * c) >> bits) - d];
    }
}

struct FieldTables565 {
    uint16_t red[32];
    uint16_t green[64];
    uint16_t blue[32];
};

void Fill565(const FillArea& a, uint32_t mode, uint32_t p, uint32_t c, const BlendTables& t) {
    switch (mode) {
        case kBlendCopy: {
            uint8_t* row = a.first;
            for (int y = 0; y < a.height; ++y, row += a.pitch) {
                FillRow16(row, a.width, static_cast<uint16_t>(c));
            }
            return;
        }
        case kBlendAdd:
        case kBlendSubtract: {
            const int32_t* scale = ScaleRow(t, p);
            const uint32_t s = Pack565(scale[Red565(c)], scale[Green565(c)], scale[Blue565(c)]);
            if (mode == kBlendAdd) {
                return FillRows16(a, [=](uint32_t d) { return PackedAdd565(d, s); });
            }
            return FillRows16(a, [=](uint32_t d) { return PackedSub565(d, s); });
        }
        case kBlendAlpha:
        case kBlendMultiply:
        case kBlendInvert:
        case kBlendMultiplyAlpha: {
            const int32_t* delta = DeltaRow(t, p);
            FieldTables565 f;
            for (int32_t d = 0; d < 64; ++d) {
                f.green[d] = static_cast<uint16_t>(
                    FieldRule565(mode, d, static_cast<int32_t>(Green565(c)), 6, delta) << 5);
                if (d < 32) {
                    f.red[d] = static_cast<uint16_t>(
                        FieldRule565(mode, d, static_cast<int32_t>(Red565(c)), 5, delta) << 11);
                    f.blue[d] = static_cast<uint16_t>(
                        FieldRule565(mode, d, static_cast<int32_t>(Blue565(c)), 5, delta));
                }
            }
            return FillRows16(a, [&f](uint32_t d) {
                return f.red[Red565(d)] | f.green[Green565(d)] | f.blue[Blue565(d)];
            });
        }
        default:
            return;
    }
}

}  // namespace

void MemImgBlendFill(const SoftDrawState& state, MEMIMG* destination, const RECT* rect,
                     uint32_t colour) {
    if (!MemImgIsValid(destination)) {
        return;
    }
    const MemImgBase* base = destination->base;
    if (base->paletted == 1 || base->alphaFlag == 1) {
        return;
    }
    RECT r{0, 0, destination->width, destination->height};
    if (rect != nullptr) {
        r = RECT{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                 std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
    }
    ClipRectInPlace(&r, &state.drawArea);
    // A draw area larger than the view would let the fill write past it.
    const RECT view{0, 0, destination->width, destination->height};
    ClipRectInPlace(&r, &view);
    if (r.right == r.left || r.bottom == r.top) {
        return;
    }
    if (base->colorType != kMemImgRgb565 && base->colorType != kMemImgRgb32) {
        return;
    }
    const uint32_t p = static_cast<uint32_t>(std::clamp(state.blendParam, 0, 255));
    const int64_t mode = ModeAfterShortCuts(state.blendMode, p);
    if (mode < 0) {
        return;
    }
    const int bytes = base->colorType == kMemImgRgb32 ? 4 : 2;
    const FillArea area{
        destination->pixels + int64_t{r.top} * base->pitch + int64_t{r.left} * bytes, base->pitch,
        r.right - r.left, r.bottom - r.top};
    const BlendTables& tables = state.tables != nullptr ? *state.tables : g_blendTables;
    if (base->colorType == kMemImgRgb32) {
        Fill32(area, static_cast<uint32_t>(mode), p, DimColour32(colour, state.brightness), tables);
    } else {
        Fill565(area, static_cast<uint32_t>(mode), p,
                DimColour565(colour & 0xFFFFu, state.brightness), tables);
    }
}

}  // namespace tessel
