// The blit entry: refusals, clipping, where source, destination and mask
// start, the parameter short-cuts, and the choice of kernel family.
#include "softrender/blit.h"

#include <algorithm>

#include "foundation/math/matrix.h"
#include "softrender/blit_internal.h"
#include "softrender/run_table_internal.h"

namespace tessel {

namespace soft {

bool TakesRunTablePath(const MEMIMG* src, int clippedWidth, int clippedHeight, int trans) {
    const MemImgBase* base = src->base;
    return trans == 1 && base->runTableValid == 1 && base->runTable != nullptr &&
           clippedWidth == src->width && clippedHeight == src->height &&
           src->width == base->width && src->height == base->height && src->pixels == base->pixels;
}

namespace {

bool HasKernel(uint32_t mode) {
    return mode <= kBlendMultiply || mode == kBlendInvert || mode == kBlendMultiplyAlpha;
}

}  // namespace

bool ImagesMeet(const MEMIMG* dest, const MEMIMG* src, const MEMIMG* mask) {
    if (!MemImgIsValid(dest) || !MemImgIsValid(src) || (mask != nullptr && !MemImgIsValid(mask))) {
        return false;
    }
    const MemImgBase* db = dest->base;
    const MemImgBase* sb = src->base;
    if (sb->colorType != db->colorType || db->paletted == 1 || db->alphaFlag == 1) {
        return false;
    }
    if (db->colorType != kMemImgRgb565 && db->colorType != kMemImgRgb32) {
        return false;
    }
    if (sb->paletted == 1 && sb->palette == nullptr) {
        return false;
    }
    // A mask smaller than the source would be read past its end.
    return mask == nullptr || (mask->width >= src->width && mask->height >= src->height);
}

bool ClipToDrawArea(const SoftDrawState& state, const MEMIMG* dest, RECT* r) {
    ClipRectInPlace(r, &state.drawArea);
    const RECT view{0, 0, dest->width, dest->height};
    ClipRectInPlace(r, &view);
    return r->right > r->left && r->bottom > r->top;
}

bool RuleOf(const SoftDrawState& state, const MEMIMG* src, int trans, DrawRule* rule) {
    const MemImgBase* sb = src->base;
    uint32_t mode = state.blendMode;
    const uint32_t p = static_cast<uint32_t>(std::clamp(state.blendParam, 0, 255));
    const bool paletted = sb->paletted == 1;
    if (!HasKernel(mode)) {
        return false;
    }
    if (mode == kBlendAlpha && p == 255) {
        mode = kBlendCopy;
    }
    if ((mode == kBlendAlpha || mode == kBlendAdd || (mode == kBlendSubtract && !paletted)) &&
        p == 0) {
        return false;
    }
    rule->mode = mode;
    rule->p = p;
    rule->brightness = state.brightness;
    rule->trans = trans != 0;
    rule->key = sb->transparent;
    rule->alphaSource = !paletted && sb->alphaFlag == 1;
    rule->srcBytes = sb->format->bytes;
    rule->palette = paletted ? sb->palette : nullptr;
    rule->tables = state.tables != nullptr ? state.tables : &g_blendTables;
    return true;
}

}  // namespace soft

namespace {

LONG ClampToLong(int64_t v) {
    return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void MemImgBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src, int x, int y,
                int trans, const MEMIMG* mask) {
    soft::BlitSetup setup{};
    if (!soft::ImagesMeet(dest, src, mask) || !soft::RuleOf(state, src, trans, &setup)) {
        return;
    }
    RECT r{x, y, ClampToLong(int64_t{x} + src->width), ClampToLong(int64_t{y} + src->height)};
    if (!soft::ClipToDrawArea(state, dest, &r)) {
        return;
    }
    const int w = r.right - r.left;
    const int sx = r.left - x;
    const int sy = r.top - y;
    const int dstBytes = soft::DestBytes(dest);
    soft::BlitCall& c = setup.call;
    c.width = w;
    c.height = r.bottom - r.top;
    c.src = soft::PixelAt(src, sx, sy, setup.srcBytes);
    c.srcSkip = src->base->pitch - ptrdiff_t{setup.srcBytes} * w;
    c.dst = soft::PixelAt(dest, r.left, r.top, dstBytes);
    c.dstSkip = dest->base->pitch - ptrdiff_t{dstBytes} * w;
    if (mask != nullptr) {
        c.mask = soft::PixelAt(mask, sx, sy, 1);
        c.maskSkip = mask->base->pitch - ptrdiff_t{w};
        c.maskFactor = setup.tables->maskFactor;
    }
    if (soft::TakesRunTablePath(src, w, c.height, trans)) {
        if (dstBytes == 4) {
            return soft::RunTableBlit32(setup, src->base->runTable);
        }
        return soft::RunTableBlit565(setup, src->base->runTable);
    }
    if (dstBytes == 4) {
        soft::Blit32(setup);
    } else {
        soft::Blit565(setup);
    }
}

}  // namespace tessel
