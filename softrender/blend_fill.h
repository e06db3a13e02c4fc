// Rectangles filled with one colour in every blend mode, on RGB565 and 32-bit
// memory images.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"

namespace tessel {

// Fills rect (null: the whole view; reversed corners are ordered) clipped to
// the draw area and to the view, blending colour (a pixel value of the
// destination's format, dimmed by the brightness first) into what is there.
// Draws nothing for a paletted or alpha destination, colour types 2 and 3, an
// empty clip, modes 5 to 9 and above 11, and modes 1 to 3 at parameter 0.
void MemImgBlendFill(const SoftDrawState& state, MEMIMG* destination, const RECT* rect,
                     uint32_t colour);

}  // namespace tessel
