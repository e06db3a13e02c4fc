// What the hardware primitives share for putting vertices into the batch or
// drawing them directly.
#pragma once

#include <cstdint>

#include "graphics/batch/vertex_batch.h"
#include "platform/d3d9.h"

namespace tessel::hwdraw {

// The six vertices of a quad: TL, TR, BL, BR, BL, TR.
constexpr int kQuadOrder[6] = {0, 1, 2, 3, 2, 1};

// A device that exists and is not lost.
bool DeviceUsable();
// Draws what is pending right away; unlike the batch's own flush this one
// ignores the quit request and the skip flag.
void DrawPendingInline();
void SetupStateIfDirty();
// Makes room for `count` triangle-list vertices and returns where they go;
// flushAtLimit flushes already when the batch would be exactly full.
uint8_t* ReserveTriangles(int count, bool flushAtLimit);
// Selects the tile's texture when it is not current and rebuilds the draw
// state when that is marked changed.
void SelectTileTexture(IDirect3DTexture9* texture);

}  // namespace tessel::hwdraw
