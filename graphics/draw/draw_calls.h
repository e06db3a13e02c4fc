// The library's public 2D drawing calls: each validates, keeps the mask
// screen, movies and subtract passes in step, and hands the draw to a hardware
// primitive (texture images, and boxes while the device draws) or to a
// software kernel on the current software target. All return the draw's
// result, 0 after a software draw or an empty draw area, -1 for a bad handle
// or a blend-mask image that is bad or smaller than the drawn image.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

int DrawImageAt(int x, int y, int handle, int trans);
int DrawImageAtF(float x, float y, int handle, int trans);
// Swapped corners mirror.
int DrawImageStretched(int x1, int y1, int x2, int y2, int handle, int trans);
int DrawImageStretchedF(float x1, float y1, float x2, float y2, int handle, int trans);
int DrawImageMirrored(int x, int y, int handle, int trans);
int DrawImageMirroredF(float x, float y, int handle, int trans);
// Centred on (x, y), scaled, turned by angle radians.
int DrawImageRotatedF(float x, float y, double scale, double angle, int handle, int trans,
                      int mirror);
// The lean form for bullets: transparent, unmirrored, no blend-mask or movie steps.
int DrawImageRotatedAltF(float x, float y, double scale, double angle, int handle);
// The image's pivot (px, py) lands on (x, y).
int DrawImagePivotRotatedF(float x, float y, float px, float py, double scale, double angle,
                           int handle, int trans, int mirror);
// Source columns sx..sx+w-1, rows sy..sy+h-1 drawn at (tx, ty).
int DrawImagePart(int tx, int ty, int sx, int sy, int w, int h, int handle, int trans, int mirror);
// The image on four corners given clockwise from the top-left.
int DrawImageQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                   int handle, int trans);

// The caller's vertex: position and texture coordinates in pixels and texture
// units, colour as bytes blue, green, red, alpha.
struct PolygonVertex {
    float x, y, u, v;
    uint8_t b, g, r, a;
};
constexpr int kNoPolygonImage = -5;
// Drawn on the hardware path only; the software path draws nothing and
// returns 0. imageRelative maps u, v from the image onto its texture.
int DrawPolygonList(const PolygonVertex* vertices, int count, int kind, int handle, int trans,
                    int imageRelative);
// colour is a screen pixel value.
int FillBoxArea(int x1, int y1, int x2, int y2, uint32_t colour);
int DrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);
int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill);

// The white-box inversions around a subtract draw on a device without the
// blend-operation capability; the draw in between adds.
void SubtractBlendPrePass(const RECT* rect);
void SubtractBlendPostPass(const RECT* rect);

}  // namespace tessel
