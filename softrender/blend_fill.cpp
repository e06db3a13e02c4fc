// The blended fill. The colour is dimmed once per call; the per-pixel rule
// then depends on the destination pixel only, so each mode is one small
// function of the old pixel run over the rectangle. On RGB565 the modes that
// work field by field precompute each field's result for all of its values.
#include "softrender/blend_fill.h"

#include <algorithm>

#include "foundation/math/matrix.h"
#include "softrender/colour_rules.h"
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

void Fill32(const FillArea& a, uint32_t mode, uint32_t p, uint32_t c, const BlendTables& t) {
    if (mode == kBlendCopy) {
        uint8_t* row = a.first;
        for (int y = 0; y < a.height; ++y, row += a.pitch) {
            FillRow32(row, a.width, c);
        }
        return;
    }
    WithColourRule32(mode, p, c, t, [&a](auto rule) { FillRows32(a, rule); });
}

struct FieldTables565 {
    uint16_t red[32];
    uint16_t green[64];
    uint16_t blue[32];
};

// Modes 1, 4, 10 and 11 work field by field: each field's result for all its
// values is computed once per call and looked up per pixel.
void FillByFields565(const FillArea& a, uint32_t mode, uint32_t p, uint32_t c,
                     const BlendTables& t) {
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
    FillRows16(a, [&f](uint32_t d) {
        return f.red[Red565(d)] | f.green[Green565(d)] | f.blue[Blue565(d)];
    });
}

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
        case kBlendSubtract:
            return WithColourRule565(mode, p, c, t, [&a](auto rule) { FillRows16(a, rule); });
        default:
            return FillByFields565(a, mode, p, c, t);
    }
}

}  // namespace

void MemImgBlendFill(const SoftDrawState& state, MEMIMG* destination, const RECT* rect,
                     uint32_t colour) {
    if (!TakesColourDraws(destination)) {
        return;
    }
    const MemImgBase* base = destination->base;
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
    const ColourRule rule = ColourRuleOf(state);
    if (rule.mode < 0) {
        return;
    }
    const auto mode = static_cast<uint32_t>(rule.mode);
    const uint32_t p = rule.p;
    const int bytes = base->colorType == kMemImgRgb32 ? 4 : 2;
    const FillArea area{
        destination->pixels + int64_t{r.top} * base->pitch + int64_t{r.left} * bytes, base->pitch,
        r.right - r.left, r.bottom - r.top};
    const BlendTables& tables = state.tables != nullptr ? *state.tables : g_blendTables;
    if (base->colorType == kMemImgRgb32) {
        Fill32(area, mode, p, DimColour32(colour, state.brightness), tables);
    } else {
        Fill565(area, mode, p, DimColour565(colour & 0xFFFFu, state.brightness), tables);
    }
}

}  // namespace tessel
