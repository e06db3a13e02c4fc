// The software path's box outline: lines that each end where the next begins,
// so that blending modes that add up never hit a pixel twice.
#include "graphics/state/soft_box_outline.h"

#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

namespace tessel {

int MakeBoxOutlineLines(int x1, int y1, int x2, int y2, uint32_t colour,
                        MemImgLineRecord lines[4]) {
    const int32_t param = g_drawSettings.blendParam;
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
    MemImgBoxOutlineRecords(x1, y1, x2, y2, colour, param, lines);
    return 4;
}

int SoftDrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
    MemImgLineRecord lines[4];
    const int count = MakeBoxOutlineLines(x1, y1, x2, y2, colour, lines);
    MemImgLineList(CurrentSoftDrawState(), CurrentSoftTarget(), lines, count);
    return 0;
}

}  // namespace tessel
