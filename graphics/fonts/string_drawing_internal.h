// The routes of string drawing below the public call: the hardware path, the
// software path, and the core that measures or draws into a software target.
// Private to the library: its software targets are not part of the package.
#pragma once

#include <cstdint>

#include "graphics/fonts/string_drawing.h"
#include "graphics/memimg/memimg.h"
#include "platform/types.h"

namespace tessel {

int DrawStringHardware(int x, int y, uint32_t colour, uint32_t edgeColour, int vertical, int handle,
                       const char* text);
int DrawStringSoftware(const char* text, uint32_t colour, int handle, uint32_t edgeColour,
                       int vertical, int x, int y);

constexpr int kStringMeasure = 0;
constexpr int kStringDraw = 1;
// Measures (mode 0) or draws (mode 1) the first `length` bytes (-1: all)
// into the software target within the clip, or on the hardware path when
// the target is null. size, when given, receives the extent: (pen, text
// height), or (text height, pen) for vertical text. The pen's advance, or -1
// for a bad handle or a glyph that could not be rendered.
int DrawStringCore(int mode, int x, int y, const char* text, uint32_t colour, MEMIMG* target,
                   const RECT* clip, int handle, uint32_t edgeColour, int length, int vertical,
                   SIZE* size);

}  // namespace tessel
