// One-pixel lines and lists of lines on RGB565 and 32-bit memory images,
// blended pixel by pixel in every blend mode; and the four lines of a box
// outline.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"

namespace tessel {

// One line of a list: its end points, its colour (a pixel value of the
// destination's format) and a value the list does not read (a box outline
// keeps the blend parameter there).
struct MemImgLineRecord {
    int32_t x1, y1, x2, y2;
    uint32_t colour;
    int32_t extra;
};

// Draws from (x1, y1) toward (x2, y2), the start drawn and the end not,
// clipped to the draw area (and to the view), each pixel blended once with
// colour (dimmed by the brightness first) by the fill's rule of the blend
// mode. Draws nothing for a paletted or alpha destination, colour types 2 and
// 3, a line that misses the area or is empty once clipped, modes 5 to 9 and
// above 11, and modes 1 to 3 at parameter 0.
void MemImgLine(const SoftDrawState& state, MEMIMG* dest, int x1, int y1, int x2, int y2,
                uint32_t colour);

// Each record in order as its own line; nothing for a count of 0 or below.
void MemImgLineList(const SoftDrawState& state, MEMIMG* dest, const MemImgLineRecord* records,
                    int count);

// The four lines that outline the box left..right-1 x top..bottom-1 (right
// and bottom exclusive): along the top, down the right, back along the bottom
// and up the left, each end point the next line's start. The corners are
// taken as given; extra goes into every record.
void MemImgBoxOutlineRecords(int left, int top, int right, int bottom, uint32_t colour,
                             int32_t extra, MemImgLineRecord out[4]);

}  // namespace tessel
