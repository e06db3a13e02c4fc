// The solid-colour triangles: the colour goes through the brightness rows
// once per call, then each mode's rule (the rule engines with no factor and
// identity brightness) runs over every span; copies fill whole spans.
#include "softrender/pixel_access.h"
#include "softrender/row_fill.h"
#include "softrender/rules565.h"
#include "softrender/texel32_internal.h"
#include "softrender/triangle_internal.h"

namespace tessel::soft {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

template <uint32_t Mode>
void Solid32(const TriDraw& t, uint32_t c, const Consts32& k) {
    WalkTriangle(t.geometry, t.area, [&](int32_t y, int32_t x, int32_t count) {
        uint8_t* first = DestPixel(t, x, y, 4);
        if constexpr (Mode == kBlendCopy) {
            FillRow32(first, count, c);
        } else {
            Pixel32* row = Row32(first);
            for (int32_t i = 0; i < count; ++i) {
                row[i] = Blend32<Mode, false, false>(row[i], c, 0, 0, k);
            }
        }
    });
}

template <uint32_t Mode>
void Solid565(const TriDraw& t, uint32_t c, const Consts565& k) {
    WalkTriangle(t.geometry, t.area, [&](int32_t y, int32_t x, int32_t count) {
        uint8_t* first = DestPixel(t, x, y, 2);
        if constexpr (Mode == kBlendCopy) {
            FillRow16(first, count, static_cast<uint16_t>(c));
        } else {
            Pixel16* row = Row16(first);
            for (int32_t i = 0; i < count; ++i) {
                row[i] = static_cast<uint16_t>(Blend565<Mode, false, false>(row[i], c, 0, 0, k));
            }
        }
    });
}

}  // namespace

void SolidTriangle32(const TriDraw& t) {
    const Consts32 bright = MakeConsts32(*t.tables, t.p, t.brightness);
    uint32_t c = t.colour & 0xFF000000u;
    for (int ch = 0; ch < 3; ++ch) {
        c |= (static_cast<uint32_t>(bright.bright[ch][Channel(t.colour, ch)]) & 0xFF) << (8 * ch);
    }
    const Consts32 k = MakeConsts32(*t.tables, t.p, kWhite);
    WithMode(t.mode, [&]<uint32_t Mode>() { Solid32<Mode>(t, c, k); });
}

void SolidTriangle565(const TriDraw& t) {
    const Consts565 bright = MakeConsts565(*t.tables, t.p, t.brightness);
    uint32_t c = 0;
    for (int i = 0; i < 3; ++i) {
        c |= static_cast<uint32_t>(bright.bright[i][Field565(t.colour, i)]) << kFieldShift[i];
    }
    const Consts565 k = MakeConsts565(*t.tables, t.p, kWhite);
    WithMode(t.mode, [&]<uint32_t Mode>() { Solid565<Mode>(t, c, k); });
}

}  // namespace tessel::soft
