// The hardware path's drawing primitives: each public 2D drawing call ends in
// one of these, which turns the draw into vertices (mostly appended to the
// vertex batch). The callers have already checked handles, the draw area and
// the blend mask; a primitive only places vertices. All return 0 (also when
// nothing was visible) or -1 without a usable device.
#pragma once

#include <cstdint>

#include "graphics/batch/vertex_batch.h"
#include "graphics/images/image_records.h"

namespace tessel {

int HwDrawImageQuad(const ImageRecord* image, int x, int y, float xf, float yf, int trans,
                    int integerFlag);
// Swapped corners mirror. -1 for an empty integer rectangle.
int HwDrawImageStretched(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                         const ImageRecord* image, int trans, int integerFlag);
// -1 for scale 0. mirror 1 turns the image left-right before the rotation.
int HwDrawImageRotated(const ImageRecord* image, float x, float y, double scale, double angle,
                       uint32_t flags, int mirror);
// A float corner on the screen.
struct QuadPoint {
    float x, y;
};
// The image on four whole corners, as drawn while a blend-mask image is set:
// a rectangle goes to HwDrawImageStretched, anything else is drawn a tile at
// a time as a strip through two affine maps.
int HwDrawImageFreeQuadAligned(const int corners[8], const ImageRecord* image, int trans);
// One tile on four float corners (TL, TR, BL, BR): two triangles when the
// quad is nearly a parallelogram, else a 7 x 7 grid. The caller made sure a
// device exists.
void HwDrawImageFreeQuad(const QuadPoint corners[4], const TileDrawEntry& tile);
// The image on four float corners (TL, TR, BL, BR); several tiles are placed
// by bilinear interpolation of the corners. -1 without a device.
int DrawImageQuadCore(const QuadPoint corners[4], const ImageRecord* image, int trans);
// colour is a screen pixel value; the corners are ordered and clipped.
int HwFillBox(int x1, int y1, int x2, int y2, uint32_t colour);
int HwDrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);
// The caller's vertices drawn at once with Gouraud shading; image may be null.
int HwDrawPolygonList(const VertexTex2D* vertices, int count, int kind, uint32_t flags,
                      const ImageRecord* image);

}  // namespace tessel
