// The library drawing calls the game makes outside start-up: the queues' flush
// turns every request into them, and the bullet layer draws thousands of
// images inside one callback. The game reaches them through this table so that
// start-up can bind the library's own functions (LibraryOwnDrawCalls) and a
// test can bind a recorder. While nothing is bound every call does nothing;
// a call a bound table leaves null does nothing as well.
#pragma once

#include <cstdint>

#include "graphics/draw/draw_calls.h"

struct LibraryDrawCalls {
    // SetImageBlendMode: the blend mode and its parameter.
    void (*setBlendMode)(int32_t mode, int32_t parameter) = nullptr;
    // SetImageBlendModeOnly: the mode alone, keeping the parameter and the draw colour.
    void (*setBlendModeOnly)(int32_t mode) = nullptr;
    // SetImageBrightnessPackedRaw: red in the low byte of `brightness`; `combined`
    // is the packed draw colour with alpha in the top byte.
    void (*setBrightnessPackedRaw)(uint32_t brightness, uint32_t combined) = nullptr;
    // DrawImageRotatedF: centred at (x, y), angle in radians, transparent and mirror flags.
    void (*drawRotated)(float x, float y, double scale, double angle, int32_t image,
                        int32_t transparent, int32_t mirror) = nullptr;
    // DrawImageRotatedAltF: the same, transparent and unmirrored, without checks.
    void (*drawRotatedAlt)(float x, float y, double scale, double angle, int32_t image) = nullptr;
    // SetImageBrightness: the tint of the next draws, 255 each for none.
    void (*setBrightness)(int32_t red, int32_t green, int32_t blue) = nullptr;
    // SelectDrawTarget: a screen code or a drawable image.
    void (*selectTarget)(int32_t target) = nullptr;
    // DrawImageAtF: the image's top-left at (x, y).
    void (*drawAt)(float x, float y, int32_t image, int32_t transparent) = nullptr;
    // DrawImagePart: source columns sx.. and rows sy.. of w x h drawn at (tx, ty).
    void (*drawPart)(int32_t tx, int32_t ty, int32_t sx, int32_t sy, int32_t w, int32_t h,
                     int32_t image, int32_t transparent, int32_t mirror) = nullptr;
    // DrawImagePivotRotatedF: the image's point (px, py) lands on (x, y).
    void (*drawPivotRotated)(float x, float y, float px, float py, double scale, double angle,
                             int32_t image, int32_t transparent, int32_t mirror) = nullptr;
    // DrawImageQuadF: the image on four corners, clockwise from its top-left.
    void (*drawQuad)(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                     int32_t image, int32_t transparent) = nullptr;
    // DrawPolygonList: `kind` 5 is a triangle strip; u, v are texture units.
    void (*drawPolygonList)(const tessel::PolygonVertex* vertices, int32_t count, int32_t kind,
                            int32_t image, int32_t transparent, int32_t imageRelative) = nullptr;
};

// Binds a copy of `calls`, its null calls made idle; null unbinds.
void BindLibraryDrawCalls(const LibraryDrawCalls* calls);
// The bound table, or one whose calls do nothing.
const LibraryDrawCalls& DrawCalls();
// The library's own functions: what start-up binds.
const LibraryDrawCalls& LibraryOwnDrawCalls();
