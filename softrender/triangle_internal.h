// What the triangle entry hands to its span families once it has refused,
// set up the geometry and taken the parameter short-cuts.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "softrender/triangle_walk.h"

namespace tessel::soft {

struct TriDraw {
    TriGeometry geometry;
    RECT area;  // the draw area within the destination view, not empty
    uint8_t* dest;
    int32_t destPitch;
    uint32_t mode;  // 0 to 4, 10 or 11, after the short-cuts (mode 1 at 255 is 0)
    uint32_t p;
    uint32_t brightness;
    const BlendTables* tables;
    uint32_t colour;   // solid families: the fill colour as given
    TexSource source;  // textured families
    bool trans;
    uint32_t key;      // the source's transparent value
    bool alphaSource;  // the source base's alpha flag is exactly 1
};

inline uint8_t* DestPixel(const TriDraw& t, int32_t x, int32_t y, int bytes) {
    return t.dest + ptrdiff_t{t.destPitch} * y + ptrdiff_t{bytes} * x;
}

void SolidTriangle32(const TriDraw& t);
void SolidTriangle565(const TriDraw& t);
// 32-bit destination, 32-bit direct source.
void TexturedTriangle32(const TriDraw& t);

}  // namespace tessel::soft
