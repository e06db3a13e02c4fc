// The flush: the sort, the target switches and one drawing route per request
// kind. Coordinates reach the library as single-precision floats, or as
// integers truncated toward zero where the call takes integers; images are
// always drawn with the transparent colour left out.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "game/bullets/bullet_manager.h"
#include "game/draw/beam_quads.h"
#include "game/draw/bitmap_text.h"
#include "game/draw/draw_flush.h"
#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/draw/warp_grid.h"
#include "game/math/angles.h"

namespace {

constexpr int32_t kAlphaMode = 1;
constexpr int32_t kOpaque = 255;
constexpr int32_t kTransparent = 1;
// Text is drawn twice: a copy in this style first, the request's style over it.
constexpr int32_t kTextShadowStyle = 4;
constexpr int32_t kTextSpacing = -4;
constexpr double kWarpAmplitude = 15.0;

// Truncated toward zero; NaN gives 0 and values beyond int32 its limits.
int32_t ToInt(double value) {
    if (!(value == value)) {
        return 0;
    }
    if (value <= -2147483648.0) {
        return INT32_MIN;
    }
    if (value >= 2147483647.0) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

float ToFloat(double value) {
    return static_cast<float>(value);
}

void DrawTextTwice(const DrawRequest& request, int32_t align) {
    const int32_t x = ToInt(request.x1);
    const int32_t y = ToInt(request.y1);
    DrawBitmapText(x, y, kTextShadowStyle, request.text, align, kTextSpacing, 0);
    DrawBitmapText(x, y, request.textStyle, request.text, align, kTextSpacing, 0);
}

void DrawImageRequest(DrawRequest& request) {
    const LibraryDrawCalls& calls = DrawCalls();
    ApplyDrawBlend(request.blendIndex, request.alpha, request.brightness);
    switch (request.kind) {
        case kDrawImage:
            calls.drawAt(ToFloat(request.x1), ToFloat(request.y1), request.image, kTransparent);
            return;
        case kDrawRotatedImage:
            calls.drawRotated(ToFloat(request.x1), ToFloat(request.y1), request.scale,
                              DegToRad(request.angle), request.image, kTransparent, request.mirror);
            return;
        case kDrawImagePart:
            calls.drawPart(ToInt(request.x1), ToInt(request.y1), ToInt(request.x2),
                           ToInt(request.y2), ToInt(request.x3), ToInt(request.y3), request.image,
                           kTransparent, request.mirror);
            return;
        case kDrawPivotRotated:
            calls.drawPivotRotated(ToFloat(request.x1), ToFloat(request.y1), ToFloat(request.x2),
                                   ToFloat(request.y2), request.scale, DegToRad(request.angle),
                                   request.image, kTransparent, request.mirror);
            return;
        case kDrawQuad:
            calls.drawQuad(ToFloat(request.x1), ToFloat(request.y1), ToFloat(request.x2),
                           ToFloat(request.y2), ToFloat(request.x3), ToFloat(request.y3),
                           ToFloat(request.x4), ToFloat(request.y4), request.image, kTransparent);
            return;
        case kDrawBeamFromBase:
            DrawBeamFromBase(request.image, request.x1, request.y1, request.beamLength,
                             request.beamWidth, request.angle);
            return;
        case kDrawBeamCentred:
            DrawBeamCentred(request.image, request.x1, request.y1, request.beamLength,
                            request.beamWidth, request.angle);
            return;
        case kDrawText:
            DrawTextTwice(request, kTextAlignLeft);
            return;
        case kDrawNumber:
            std::snprintf(request.text, sizeof request.text, "%" PRId64, request.number);
            DrawTextTwice(request, kTextAlignRight);
            return;
        default:
            return;
    }
}

void DrawRequestNow(DrawRequest& request) {
    if (request.target != CurrentDrawTarget) {
        DrawCalls().selectTarget(request.target);
        CurrentDrawTarget = request.target;
    }
    switch (request.kind) {
        case kDrawCallback:
            if (request.callbackParameter != nullptr) {
                DrawBulletLayer(static_cast<BulletManager*>(request.callbackParameter));
            }
            return;
        case kDrawWarpGrid:
            ApplyDrawBlend(kBlendAdd, 1, DrawBrightness{255, 255, 255});
            DrawWarpGrid(ToInt(request.x1), ToInt(request.y1), request.scale, kWarpAmplitude);
            return;
        default:
            DrawImageRequest(request);
            return;
    }
}

}  // namespace

void ApplyDrawBlend(int32_t blendIndex, int32_t alpha, DrawBrightness colour) {
    const LibraryDrawCalls& calls = DrawCalls();
    calls.setBrightness(colour.r, colour.g, colour.b);
    if (blendIndex < 0 || blendIndex >= static_cast<int32_t>(std::size(kBlendIndexModes))) {
        return;
    }
    calls.setBlendMode(kBlendIndexModes[blendIndex], alpha);
}

void FlushDrawQueue(DrawQueue* queue) {
    const LibraryDrawCalls& calls = DrawCalls();
    calls.setBlendMode(kAlphaMode, kOpaque);
    if (queue->count > 0) {
        SortDrawQueue(queue);
        for (int32_t i = 0; i < queue->count; ++i) {
            DrawRequestNow(*queue->order[i]);
        }
    }
    queue->count = 0;
    calls.selectTarget(SceneDrawTarget);
    calls.setBlendMode(kAlphaMode, kOpaque);
}
