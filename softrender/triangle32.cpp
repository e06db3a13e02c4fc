// Textured triangles from 32-bit direct sources onto 32-bit targets. The
// variant is chosen once per call: the whole-texel copy where it applies,
// else the rule engine for mode, mask and the use of alpha, with the
// transparent test the source kind needs. Every variant runs the same walk.
#include "softrender/texel32.h"
#include "softrender/triangle_internal.h"

namespace tessel::soft {

namespace {

template <bool Mask, class Skip, class Put>
void Run32(const TriDraw& t, Skip skip, Put put) {
    const Fetch32 fetch;
    WalkTriangle(t.geometry, t.area, [&](int32_t y, int32_t x, int32_t count) {
        TexturedSpan<4, 4, Mask>(t.geometry.plane, t.source, DestPixel(t, x, y, 4), x, y, count,
                                 [&](uint8_t* dp, const uint8_t* sp, uint32_t f) {
                                     const Texel texel = fetch(sp);
                                     if (!skip(texel)) {
                                         put(dp, texel, f);
                                     }
                                 });
    });
}

template <AlphaUse A, class Skip>
void ByRule32(const TriDraw& t, const Consts32& k, Skip skip) {
    WithMode(t.mode, [&]<uint32_t Mode>() {
        if (t.source.mask != nullptr) {
            Run32<true>(t, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel32<Mode, true, A>(dp, texel, f, k);
            });
        } else {
            Run32<false>(t, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel32<Mode, false, A>(dp, texel, f, k);
            });
        }
    });
}

// A white, unmasked copy from a source without alpha stores the whole texel,
// its top byte included.
template <class Skip>
void WholeCopy32(const TriDraw& t, Skip skip) {
    Run32<false>(t, skip,
                 [](uint8_t* dp, const Texel& texel, uint32_t) { Store32(dp, texel.colour); });
}

}  // namespace

void TexturedTriangle32(const TriDraw& t) {
    const Consts32 k = MakeConsts32(*t.tables, t.p, t.brightness);
    if (t.alphaSource) {
        // The alpha decides; the transparent value is not consulted.
        if (t.trans) {
            return ByRule32<AlphaUse::kKeyed>(t, k, NoKey{});
        }
        return ByRule32<AlphaUse::kAlways>(t, k, NoKey{});
    }
    const bool wholeCopy = t.mode == kBlendCopy && k.white && t.source.mask == nullptr;
    if (t.trans) {
        const Key key{t.key};
        return wholeCopy ? WholeCopy32(t, key) : ByRule32<AlphaUse::kNone>(t, k, key);
    }
    return wholeCopy ? WholeCopy32(t, NoKey{}) : ByRule32<AlphaUse::kNone>(t, k, NoKey{});
}

}  // namespace tessel::soft
