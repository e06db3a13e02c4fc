// The rotated blit entry: refusals, the mirrored form through the textured
// quad, the box clipped to the draw area and the view, the row tables, the
// parameter short-cuts, and the choice of span family.
#include "softrender/rotate.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "foundation/math/matrix.h"
#include "softrender/rotate_internal.h"
#include "softrender/triangle.h"

namespace tessel {

namespace soft {

int g_rotateNarrowRows = 1;
int g_rotateWhiteVariants = 1;

}  // namespace soft

namespace {

bool InReach(int32_t v) {
    return v >= -soft::kRotateReach && v < soft::kRotateReach;
}

// What the turned draw cannot take: a scale it cannot divide by, a source
// whose positions or rows leave the tables, a mask smaller than the source,
// a centre whose 14.18 position would wrap.
bool Drawable(const MEMIMG* src, const MEMIMG* mask, int32_t centreX, int32_t centreY,
              float scale) {
    if (scale == 0.0f || std::isnan(scale)) {
        return false;
    }
    if (src->width >= soft::kRotateReach || src->height > soft::kRotateRows) {
        return false;
    }
    if (mask != nullptr && (mask->width < src->width || mask->height < src->height)) {
        return false;
    }
    return InReach(centreX) && InReach(centreY);
}

// The turned corners in whole pixels as the quad's corners: top-right,
// top-left, bottom-right, bottom-left of the source become its top-left,
// top-right, bottom-left, bottom-right, which mirrors the image.
void DrawMirrored(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                  const soft::RotateFrame& f, int trans, const MEMIMG* mask) {
    static constexpr int kOrder[4] = {3, 0, 2, 1};
    std::array<MemImgQuadCorner, 4> corners{};
    for (int k = 0; k < 4; ++k) {
        corners[k] = {static_cast<int32_t>(f.x[kOrder[k]] / soft::kFixOne),
                      static_cast<int32_t>(f.y[kOrder[k]] / soft::kFixOne)};
    }
    MemImgTexturedQuad(state, dest, src, corners.data(), trans, mask);
}

// The mode the spans run, or -1 for nothing drawn. Paletted sources draw
// mode 3 at parameter 0.
int64_t SpanMode(uint32_t mode, uint32_t p, bool paletted) {
    if (mode == kBlendSubtract && p == 0 && paletted) {
        return mode;
    }
    return ModeAfterShortCuts(mode, p);
}

}  // namespace

void MemImgRotateBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src, int32_t centreX,
                      int32_t centreY, float angle, float scale, int trans, int turn,
                      const MEMIMG* mask) {
    if (!MemImgIsValid(dest) || !MemImgIsValid(src) || (mask != nullptr && !MemImgIsValid(mask))) {
        return;
    }
    const MemImgBase* db = dest->base;
    const MemImgBase* sb = src->base;
    if (sb->colorType != db->colorType || db->paletted == 1 || db->alphaFlag == 1) {
        return;
    }
    if (!Drawable(src, mask, centreX, centreY, scale)) {
        return;
    }
    const soft::RotateFrame frame =
        soft::TurnSource(src->width, src->height, centreX, centreY, angle, scale);
    if (!frame.fits) {
        return;
    }
    if (turn != 0) {
        return DrawMirrored(state, dest, src, frame, trans, mask);
    }
    RECT box = soft::RotateBox(frame);
    ClipRectInPlace(&box, &state.drawArea);
    const RECT view{0, 0, dest->width, dest->height};
    ClipRectInPlace(&box, &view);
    if (box.left == box.right || box.top == box.bottom) {
        return;
    }
    if (db->colorType != kMemImgRgb565 && db->colorType != kMemImgRgb32) {
        return;
    }
    const bool paletted = sb->paletted == 1;
    const uint32_t p = static_cast<uint32_t>(std::clamp(state.blendParam, 0, 255));
    const int64_t mode = SpanMode(state.blendMode, p, paletted);
    if (mode < 0 || (paletted && sb->palette == nullptr)) {
        return;
    }
    soft::RotateDraw r{};
    if (!soft::StartWalk(frame, box, src->width, src->height, centreX, centreY, scale, &r.walk)) {
        return;
    }
    const int dstBytes = db->colorType == kMemImgRgb32 ? 4 : 2;
    r.dest = dest->pixels + ptrdiff_t{db->pitch} * box.top + ptrdiff_t{dstBytes} * box.left;
    r.destPitch = db->pitch;
    r.tables = state.tables != nullptr ? state.tables : &g_blendTables;
    // The mask is read at source rows only, so it needs no more rows than the source.
    std::array<const uint8_t*, soft::kRotateRows> sourceRows;
    std::array<const uint8_t*, soft::kRotateRows> maskRows;
    for (int32_t row = 0; row < src->height; ++row) {
        sourceRows[row] = src->pixels + ptrdiff_t{sb->pitch} * row;
    }
    r.sourceRows = sourceRows.data();
    r.sourcePixels = src->pixels;
    r.sourcePitch = sb->pitch;
    if (mask != nullptr) {
        for (int32_t row = 0; row < src->height; ++row) {
            maskRows[row] = mask->pixels + ptrdiff_t{mask->base->pitch} * row;
        }
        r.maskRows = maskRows.data();
        r.maskFactor = r.tables->maskFactor;
    }
    r.mode = static_cast<uint32_t>(mode);
    r.p = p;
    r.brightness = state.brightness;
    r.trans = trans != 0;
    r.key = sb->transparent;
    r.alphaSource = !paletted && sb->alphaFlag == 1;
    r.srcBytes = sb->format->bytes;
    r.palette = paletted ? sb->palette : nullptr;
    r.sharesStore = sb == db;
    if (db->colorType == kMemImgRgb32) {
        soft::RotateSpans32(r);
    } else {
        soft::RotateSpans565(r);
    }
}

}  // namespace tessel
