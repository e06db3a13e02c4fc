// Drawing text with a font handle: the string is laid out along a pen, each
// character drawn from the font's glyph cache, on the hardware path as parts
// of the cache image tinted through the brightness, on the software path as
// pixels, through a work image when the string must blend as a whole.
// Colours are screen pixel values (ColorToScreenPixel).
#pragma once

#include <cstdint>

namespace tessel {

// 0, or -1 for a bad font handle. vertical 1 turns the text a quarter
// clockwise: it runs downwards from (x, y), its top to the right.
int DrawStringToScreen(int x, int y, const char* text, uint32_t colour, int handle,
                       uint32_t edgeColour, int vertical);

}  // namespace tessel
