// The bound drawing-call table, the idle table used while none is bound, and
// the table of the library's own functions.
#include "game/draw/library_draw_calls.h"

#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

namespace {

void IgnoreBlendMode(int32_t, int32_t) {}
void IgnoreBlendModeOnly(int32_t) {}
void IgnoreBrightnessPacked(uint32_t, uint32_t) {}
void IgnoreRotated(float, float, double, double, int32_t, int32_t, int32_t) {}
void IgnoreRotatedAlt(float, float, double, double, int32_t) {}
void IgnoreBrightness(int32_t, int32_t, int32_t) {}
void IgnoreTarget(int32_t) {}
void IgnoreAt(float, float, int32_t, int32_t) {}
void IgnorePart(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void IgnorePivotRotated(float, float, float, float, double, double, int32_t, int32_t, int32_t) {}
void IgnoreQuad(float, float, float, float, float, float, float, float, int32_t, int32_t) {}
void IgnorePolygons(const tessel::PolygonVertex*, int32_t, int32_t, int32_t, int32_t, int32_t) {}

constexpr LibraryDrawCalls kIdleCalls = {
    &IgnoreBlendMode,
    &IgnoreBlendModeOnly,
    &IgnoreBrightnessPacked,
    &IgnoreRotated,
    &IgnoreRotatedAlt,
    &IgnoreBrightness,
    &IgnoreTarget,
    &IgnoreAt,
    &IgnorePart,
    &IgnorePivotRotated,
    &IgnoreQuad,
    &IgnorePolygons,
};

// The library's results are not needed: a refused draw draws nothing, and the
// library logs why.
void OwnBlendMode(int32_t mode, int32_t parameter) {
    tessel::SetImageBlendMode(mode, parameter);
}
void OwnBlendModeOnly(int32_t mode) {
    tessel::SetImageBlendModeOnly(mode);
}
void OwnRotated(float x, float y, double scale, double angle, int32_t image, int32_t transparent,
                int32_t mirror) {
    tessel::DrawImageRotatedF(x, y, scale, angle, image, transparent, mirror);
}
void OwnRotatedAlt(float x, float y, double scale, double angle, int32_t image) {
    tessel::DrawImageRotatedAltF(x, y, scale, angle, image);
}
void OwnBrightness(int32_t red, int32_t green, int32_t blue) {
    tessel::SetImageBrightness(red, green, blue);
}
void OwnTarget(int32_t target) {
    tessel::SelectDrawTarget(target);
}
void OwnAt(float x, float y, int32_t image, int32_t transparent) {
    tessel::DrawImageAtF(x, y, image, transparent);
}
void OwnPart(int32_t tx, int32_t ty, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t image,
             int32_t transparent, int32_t mirror) {
    tessel::DrawImagePart(tx, ty, sx, sy, w, h, image, transparent, mirror);
}
void OwnPivotRotated(float x, float y, float px, float py, double scale, double angle,
                     int32_t image, int32_t transparent, int32_t mirror) {
    tessel::DrawImagePivotRotatedF(x, y, px, py, scale, angle, image, transparent, mirror);
}
void OwnQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
             int32_t image, int32_t transparent) {
    tessel::DrawImageQuadF(x1, y1, x2, y2, x3, y3, x4, y4, image, transparent);
}
void OwnPolygons(const tessel::PolygonVertex* vertices, int32_t count, int32_t kind, int32_t image,
                 int32_t transparent, int32_t imageRelative) {
    tessel::DrawPolygonList(vertices, count, kind, image, transparent, imageRelative);
}

constexpr LibraryDrawCalls kOwnCalls = {
    &OwnBlendMode,
    &OwnBlendModeOnly,
    &tessel::SetImageBrightnessPackedRaw,
    &OwnRotated,
    &OwnRotatedAlt,
    &OwnBrightness,
    &OwnTarget,
    &OwnAt,
    &OwnPart,
    &OwnPivotRotated,
    &OwnQuad,
    &OwnPolygons,
};

LibraryDrawCalls g_bound = kIdleCalls;

// A null call of `from` leaves the idle one in place.
template <class Call>
void Take(Call* into, Call from) {
    if (from != nullptr) {
        *into = from;
    }
}

}  // namespace

void BindLibraryDrawCalls(const LibraryDrawCalls* calls) {
    g_bound = kIdleCalls;
    if (calls == nullptr) {
        return;
    }
    Take(&g_bound.setBlendMode, calls->setBlendMode);
    Take(&g_bound.setBlendModeOnly, calls->setBlendModeOnly);
    Take(&g_bound.setBrightnessPackedRaw, calls->setBrightnessPackedRaw);
    Take(&g_bound.drawRotated, calls->drawRotated);
    Take(&g_bound.drawRotatedAlt, calls->drawRotatedAlt);
    Take(&g_bound.setBrightness, calls->setBrightness);
    Take(&g_bound.selectTarget, calls->selectTarget);
    Take(&g_bound.drawAt, calls->drawAt);
    Take(&g_bound.drawPart, calls->drawPart);
    Take(&g_bound.drawPivotRotated, calls->drawPivotRotated);
    Take(&g_bound.drawQuad, calls->drawQuad);
    Take(&g_bound.drawPolygonList, calls->drawPolygonList);
}

const LibraryDrawCalls& DrawCalls() {
    return g_bound;
}

const LibraryDrawCalls& LibraryOwnDrawCalls() {
    return kOwnCalls;
}
