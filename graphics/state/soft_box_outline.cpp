// The software path's box outline: four lines, each ending where the next
// begins, so that blending modes that add up never hit a corner twice.
#include "graphics/state/soft_box_outline.h"

namespace tessel {

int MakeBoxOutlineLines(int x1, int y1, int x2, int y2, int colour,
                        pending::MemImgLineRecord lines[4]) {
    const int32_t param = pending::blendParam;
    // A box one pixel high or wide is a single line: the four-line walk
    // would go over its middle twice, and a one-pixel box would draw nothing.
    if (y2 - y1 == 1) {
        lines[0] = {x1, y1, x2, y1, colour, param};
        return 1;
    }
    if (x2 - x1 == 1) {
        lines[0] = {x1, y1, x1, y2, colour, param};
        return 1;
    }
    const int right = x2 - 1;
    const int bottom = y2 - 1;
    lines[0] = {x1, y1, right, y1, colour, param};
    lines[1] = {right, y1, right, bottom, colour, param};
    lines[2] = {right, bottom, x1, bottom, colour, param};
    lines[3] = {x1, bottom, x1, y1, colour, param};
    return 4;
}

int SoftDrawBoxOutline(int x1, int y1, int x2, int y2, int colour) {
    pending::MemImgLineRecord lines[4];
    int count = MakeBoxOutlineLines(x1, y1, x2, y2, colour, lines);
    pending::MemImgLineList(lines, count);
    return 0;
}

}  // namespace tessel
