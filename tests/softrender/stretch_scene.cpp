// Random stretch scenes, drawn through the stretch blit and through the
// oracle with the walk's closed forms.
#include "softrender/stretch_scene.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tessel::kit {

StretchScene RandomStretch(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh,
                           int rectSide) {
    StretchScene s{RandomScene(random, kind, sw, sh, dw, dh), {}};
    const int w = random.Between(1, rectSide), h = random.Between(1, rectSide);
    const int left = random.Between(-w / 2, dw - w / 2), top = random.Between(-h / 2, dh - h / 2);
    const bool mirrorX = random.Below(3) == 0, mirrorY = random.Below(3) == 0;
    s.rect = RECT{mirrorX ? left + w : left, mirrorY ? top + h : top, mirrorX ? left : left + w,
                  mirrorY ? top : top + h};
    return s;
}

std::vector<uint32_t> DrawStretch(const StretchScene& s) {
    return DrawSceneWith(s.blit,
                         [&s](const SoftDrawState& state, MEMIMG* dest, MEMIMG* src, MEMIMG* mask) {
                             MemImgStretchBlit(state, dest, src, &s.rect, s.blit.trans, mask);
                         });
}

int ShownIndex(int64_t i, int64_t destSide, int64_t srcSide, bool strict) {
    const int64_t ratio = (destSide << 16) / srcSide;
    const int64_t index = (i << 16) / ratio;
    if (strict && ratio < 65536 && i >= 1 && (i << 16) % ratio == 0) {
        return static_cast<int>(index - 1);
    }
    return static_cast<int>(index);
}

bool WalksStrictly(const BlitScene& s) {
    const bool copy = s.mode == 0 || (s.mode == 1 && s.p == 255);
    const bool white = (s.brightness & 0xFFFFFF) == 0xFFFFFF;
    return !s.useMask && white && !HasAlpha(s.kind) && (copy || (s.mode == 3 && s.p == 255));
}

std::vector<uint32_t> ExpectStretch(const StretchScene& s) {
    const BlitScene& b = s.blit;
    const int64_t x1 = s.rect.left, y1 = s.rect.top, x2 = s.rect.right, y2 = s.rect.bottom;
    const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    if (right - left == b.sw && bottom - top == b.sh && x1 <= x2 && y1 <= y2) {
        BlitScene at = b;
        at.x = static_cast<int>(left);
        at.y = static_cast<int>(top);
        return ExpectScene(at);
    }
    std::vector<uint32_t> out = b.dest;
    if (right == left || bottom == top) {
        return out;
    }
    oracle::BlitPixel in = SettingsOf(b);
    in.stretch = true;
    const bool strict = WalksStrictly(b);
    for (int64_t y = std::max({top, int64_t{b.area.top}, int64_t{0}});
         y < std::min({bottom, int64_t{b.area.bottom}, int64_t{b.dh}}); ++y) {
        int sy = ShownIndex(y - top, bottom - top, b.sh, strict);
        sy = y1 <= y2 ? sy : b.sh - 1 - sy;
        for (int64_t x = std::max({left, int64_t{b.area.left}, int64_t{0}});
             x < std::min({right, int64_t{b.area.right}, int64_t{b.dw}}); ++x) {
            int sx = ShownIndex(x - left, right - left, b.sw, strict);
            sx = x1 <= x2 ? sx : b.sw - 1 - sx;
            const SourceTexel t = TexelOf(b, sx, sy);
            in.f = b.mask[size_t(sy) * b.sw + sx];  // the identity fade
            in.index = t.stored;
            uint32_t& d = out[size_t(y) * b.dw + x];
            const std::optional<uint32_t> drawn = ColourTypeOf(b.kind) == 1
                                                      ? oracle::Blit32(in, d, t.colour, t.alpha)
                                                      : oracle::Blit565(in, d, t.colour, t.alpha);
            d = drawn.value_or(d);
        }
    }
    return out;
}

}  // namespace tessel::kit
