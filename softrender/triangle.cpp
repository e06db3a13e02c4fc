// The triangle and quad entries: refusals, the geometry, the draw area within
// the destination view, the parameter short-cuts, and the choice of span
// family; the quad's box test and its two triangles.
#include "softrender/triangle.h"

#include <algorithm>

#include "foundation/math/matrix.h"
#include "softrender/triangle_internal.h"

namespace tessel {

namespace {

constexpr int32_t kLargestSource = 8191;  // texel positions stay exact in 14.18

// What a textured draw reads, or false when the source cannot be drawn: a
// paletted source without its palette, a source too large for 14.18 texel
// positions, a mask smaller than the source.
bool SetUpSource(soft::TriDraw* t, const MEMIMG* src, const MEMIMG* mask, int trans) {
    if (mask != nullptr && !MemImgIsValid(mask)) {
        return false;
    }
    const MemImgBase* sb = src->base;
    const bool paletted = sb->paletted == 1;
    if (paletted && sb->palette == nullptr) {
        return false;
    }
    if (src->width > kLargestSource || src->height > kLargestSource) {
        return false;
    }
    if (mask != nullptr && (mask->width < src->width || mask->height < src->height)) {
        return false;
    }
    soft::TexSource& s = t->source;
    s.pixels = src->pixels;
    s.pitch = sb->pitch;
    s.uLimit = static_cast<uint32_t>(src->width) << soft::kFixBits;
    s.vLimit = static_cast<uint32_t>(src->height) << soft::kFixBits;
    if (mask != nullptr) {
        s.mask = mask->pixels;
        s.maskPitch = mask->base->pitch;
        s.maskFactor = t->tables->maskFactor;
    }
    t->trans = trans != 0;
    t->key = sb->transparent;
    t->alphaSource = !paletted && sb->alphaFlag == 1;
    t->palette = paletted ? sb->palette : nullptr;
    return true;
}

LONG ToLong(int64_t v) {
    return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void MemImgTexturedTriangle(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                            const MemImgTriVertex* vertices, int trans, const MEMIMG* mask,
                            uint32_t colour) {
    if (!MemImgIsValid(dest) || vertices == nullptr || (src != nullptr && !MemImgIsValid(src))) {
        return;
    }
    const MemImgBase* db = dest->base;
    if ((src != nullptr && src->base->colorType != db->colorType) || db->paletted == 1 ||
        db->alphaFlag == 1) {
        return;
    }
    soft::TriDraw t{};
    if (!soft::SetUpTriangle(vertices, &t.geometry)) {
        return;
    }
    if (db->colorType != kMemImgRgb565 && db->colorType != kMemImgRgb32) {
        return;
    }
    const uint32_t p = static_cast<uint32_t>(std::clamp(state.blendParam, 0, 255));
    int64_t mode = ModeAfterShortCuts(state.blendMode, p);
    // The paletted families subtract at parameter 0 too: the scaled colour is
    // 0 and the subtraction still leaves its guard bits.
    if (src != nullptr && src->base->paletted == 1 && state.blendMode == kBlendSubtract) {
        mode = kBlendSubtract;
    }
    if (mode < 0) {
        return;
    }
    // A draw area larger than the view would let the walk write past it.
    t.area = state.drawArea;
    const RECT view{0, 0, dest->width, dest->height};
    ClipRectInPlace(&t.area, &view);
    if (t.area.left == t.area.right || t.area.top == t.area.bottom) {
        return;
    }
    t.dest = dest->pixels;
    t.destPitch = db->pitch;
    t.mode = static_cast<uint32_t>(mode);
    t.p = p;
    t.brightness = state.brightness;
    t.tables = state.tables != nullptr ? state.tables : &g_blendTables;
    t.colour = colour;
    if (src == nullptr) {
        return db->colorType == kMemImgRgb32 ? soft::SolidTriangle32(t) : soft::SolidTriangle565(t);
    }
    if (!t.geometry.plane.fits || !SetUpSource(&t, src, mask, trans)) {
        return;
    }
    if (db->colorType == kMemImgRgb32) {
        return soft::TexturedTriangle32(t);
    }
    soft::TexturedTriangle565(t);
}

void MemImgTexturedQuad(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                        const MemImgQuadCorner* corners, int trans, const MEMIMG* mask) {
    // Without a source the triangles would fill a solid colour.
    if (!MemImgIsValid(src) || corners == nullptr) {
        return;
    }
    int64_t minX = corners[0].x, maxX = corners[0].x;
    int64_t minY = corners[0].y, maxY = corners[0].y;
    for (int i = 1; i < 4; ++i) {
        minX = std::min<int64_t>(minX, corners[i].x);
        maxX = std::max<int64_t>(maxX, corners[i].x);
        minY = std::min<int64_t>(minY, corners[i].y);
        maxY = std::max<int64_t>(maxY, corners[i].y);
    }
    RECT box{ToLong(minX - 2), ToLong(minY - 2), ToLong(maxX + 4), ToLong(maxY + 4)};
    ClipRectInPlace(&box, &state.drawArea);
    if (box.left == box.right || box.top == box.bottom) {
        return;
    }
    const int32_t w = src->width;
    const int32_t h = src->height;
    const MemImgQuadCorner* c = corners;
    const MemImgTriVertex first[3] = {
        {c[0].x, c[0].y, 0, 0}, {c[1].x, c[1].y, w, 0}, {c[2].x, c[2].y, 0, h}};
    const MemImgTriVertex second[3] = {
        {c[1].x, c[1].y, w, 0}, {c[2].x, c[2].y, 0, h}, {c[3].x, c[3].y, w, h}};
    MemImgTexturedTriangle(state, dest, src, first, trans, mask, 0);
    MemImgTexturedTriangle(state, dest, src, second, trans, mask, 0);
}

}  // namespace tessel
