// The outline of a box on the software path, drawn as lines on the current
// software target.
#pragma once

#include "softrender/line.h"

namespace tessel {

// The line records that outline the box x1..x2-1, y1..y2-1, each carrying the
// blend parameter: each outline pixel is covered by exactly one record, since
// a line stops short of its second end. Returns how many records were written
// (4, or 1 for a box one pixel wide or high).
int MakeBoxOutlineLines(int x1, int y1, int x2, int y2, uint32_t colour, MemImgLineRecord lines[4]);
// Draws the outline with the line kernel on the current software target. 0.
int SoftDrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);

}  // namespace tessel
