// The line: a bounding-box reject, a clip of both end points against the
// area in double precision from the unclipped line's equations, clamps that
// keep the start inside the area and the end on it or on the ring just
// outside, then an integer walk along the major axis whose error term steps
// the minor one. The walk never visits a pixel twice and never leaves the
// clipped area.
#include "softrender/line.h"

#include <algorithm>
#include <cstddef>

#include "foundation/base/numbers.h"
#include "foundation/math/matrix.h"
#include "softrender/blit_walk.h"
#include "softrender/colour_rules.h"

namespace tessel {

namespace {

using namespace soft;

struct Segment {
    int32_t x1, y1, x2, y2;
};

// An end point's coordinate v outside low..high-1 moves to below (or above)
// and the other coordinate to where the line is there.
template <class At>
void ClipEnd(int32_t& v, int32_t& other, int32_t low, int32_t high, int32_t below, int32_t above,
             At at) {
    if (v < low) {
        v = below;
        other = at(below);
    } else if (v >= high) {
        v = above;
        other = at(above);
    }
}

// Clips s to the area; false when nothing is left to draw.
bool ClipSegment(const RECT& a, Segment& s) {
    const int64_t xmin = std::min(s.x1, s.x2), xmax = std::max(s.x1, s.x2);
    const int64_t ymin = std::min(s.y1, s.y2), ymax = std::max(s.y1, s.y2);
    if (ymin >= a.bottom || xmin >= a.right || ymax < a.top || xmax < a.left) {
        return false;
    }
    // Differences of doubles, so that coordinates far apart do not overflow.
    const double dx = static_cast<double>(s.x2) - s.x1;
    const double dy = static_cast<double>(s.y2) - s.y1;
    const double xPerY = s.y1 == s.y2 ? 0.0 : dx / dy;
    const double yPerX = s.x1 == s.x2 ? 0.0 : dy / dx;
    const double ix = s.x1 - s.y1 * xPerY;  // x where the line meets y = 0
    const double iy = s.y1 - s.x1 * yPerX;  // y where it meets x = 0
    auto yAt = [&](int32_t x) { return TruncDoubleToInt(iy + x * yPerX); };
    auto xAt = [&](int32_t y) { return TruncDoubleToInt(ix + y * xPerY); };
    const int32_t L = a.left, T = a.top, R = a.right, B = a.bottom;
    // The start moves onto the area's edge, the end onto the ring outside it;
    // each y is tested after the x clip has moved it.
    ClipEnd(s.x1, s.y1, L, R, L, R - 1, yAt);
    ClipEnd(s.x2, s.y2, L, R, L - 1, R, yAt);
    ClipEnd(s.y1, s.x1, T, B, T, B - 1, xAt);
    ClipEnd(s.y2, s.x2, T, B, T - 1, B, xAt);
    // The lower bound first: with it the start lies inside the area, the end
    // inside it or on the ring around it.
    auto clamp = [](int32_t v, int32_t low, int32_t high) {
        return v < low ? low : std::min(v, high);
    };
    s.x1 = clamp(s.x1, L, R - 1);
    s.y1 = clamp(s.y1, T, B - 1);
    s.x2 = clamp(s.x2, L - 1, R);
    s.y2 = clamp(s.y2, T - 1, B);
    return s.x1 != s.x2 || s.y1 != s.y2;
}

// The walk along the major axis: `major` pixels, a minor step whenever the
// error has built up a whole major length. The axis lives in the steps, so
// the loop holds no test of it.
template <int Bytes, class Rule>
void WalkLine(uint8_t* p, ptrdiff_t majorStep, ptrdiff_t minorStep, int32_t major, int32_t minor,
              Rule rule) {
    int32_t e = 0;
    for (int32_t k = 0; k < major; ++k) {
        if constexpr (Bytes == 4) {
            Store32(p, rule(Load32(p)));
        } else {
            Store16(p, rule(Load16(p)));
        }
        p += majorStep;
        e += minor;
        if (e >= major) {
            p += minorStep;
            e -= major;
        }
    }
}

}  // namespace

void MemImgLine(const SoftDrawState& state, MEMIMG* dest, int x1, int y1, int x2, int y2,
                uint32_t colour) {
    if (!TakesColourDraws(dest)) {
        return;
    }
    const ColourRule rule = ColourRuleOf(state);
    if (rule.mode < 0) {
        return;
    }
    const MemImgBase* base = dest->base;
    RECT area = state.drawArea;
    const RECT view{0, 0, dest->width, dest->height};
    ClipRectInPlace(&area, &view);
    if (area.right == area.left || area.bottom == area.top) {
        return;
    }
    Segment s{x1, y1, x2, y2};
    if (!ClipSegment(area, s)) {
        return;
    }
    const auto mode = static_cast<uint32_t>(rule.mode);
    const uint32_t p = rule.p;
    const int bytes = base->colorType == kMemImgRgb32 ? 4 : 2;
    const int32_t lx = s.x2 - s.x1, ly = s.y2 - s.y1;
    const ptrdiff_t xStep = lx < 0 ? -bytes : bytes;
    const ptrdiff_t yStep = ly < 0 ? -ptrdiff_t{base->pitch} : ptrdiff_t{base->pitch};
    const int32_t ax = lx < 0 ? -lx : lx, ay = ly < 0 ? -ly : ly;
    uint8_t* first = dest->pixels + int64_t{s.y1} * base->pitch + int64_t{s.x1} * bytes;
    const BlendTables& tables = state.tables != nullptr ? *state.tables : g_blendTables;
    auto walk = [&]<int Bytes>(auto rule) {
        if (ax >= ay) {  // the diagonal goes with x
            WalkLine<Bytes>(first, xStep, yStep, ax, ay, rule);
        } else {
            WalkLine<Bytes>(first, yStep, xStep, ay, ax, rule);
        }
    };
    if (bytes == 4) {
        WithColourRule32(mode, p, DimColour32(colour, state.brightness), tables,
                         [&](auto rule) { walk.template operator()<4>(rule); });
    } else {
        WithColourRule565(mode, p, DimColour565(colour & 0xFFFFu, state.brightness), tables,
                          [&](auto rule) { walk.template operator()<2>(rule); });
    }
}

void MemImgLineList(const SoftDrawState& state, MEMIMG* dest, const MemImgLineRecord* records,
                    int count) {
    if (records == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        const MemImgLineRecord& r = records[i];
        MemImgLine(state, dest, r.x1, r.y1, r.x2, r.y2, r.colour);
    }
}

void MemImgBoxOutlineRecords(int left, int top, int right, int bottom, uint32_t colour,
                             int32_t extra, MemImgLineRecord out[4]) {
    const auto r = static_cast<int32_t>(int64_t{right} - 1);
    const auto b = static_cast<int32_t>(int64_t{bottom} - 1);
    out[0] = {left, top, r, top, colour, extra};
    out[1] = {r, top, r, b, colour, extra};
    out[2] = {r, b, left, b, colour, extra};
    out[3] = {left, b, left, top, colour, extra};
}

}  // namespace tessel
