// What the triangle entry hands to its span families once it has refused,
// set up the geometry and taken the parameter short-cuts.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "softrender/blit_walk.h"
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
    uint32_t key;            // the source's transparent value
    bool alphaSource;        // a direct source whose base's alpha flag is exactly 1
    const uint8_t* palette;  // a paletted source's own palette, else null
};

inline uint8_t* DestPixel(const TriDraw& t, int32_t x, int32_t y, int bytes) {
    return t.dest + ptrdiff_t{t.destPitch} * y + ptrdiff_t{bytes} * x;
}

// Every row of a textured triangle: each pixel whose texel lies inside the
// source and is not skipped gets put(destination, texel, mask factor).
template <int DstBytes, bool Mask, class Fetch, class Skip, class Put>
void RunTextured(const TriDraw& t, Fetch fetch, Skip skip, Put put) {
    WalkTriangle(t.geometry, t.area, [&](int32_t y, int32_t x, int32_t count) {
        TexturedSpan<Fetch::kStep, DstBytes, Mask>(t.geometry.plane, t.source,
                                                   DestPixel(t, x, y, DstBytes), x, y, count,
                                                   [&](uint8_t* dp, const uint8_t* sp, uint32_t f) {
                                                       const Texel texel = fetch(sp);
                                                       if (!skip(texel)) {
                                                           put(dp, texel, f);
                                                       }
                                                   });
    });
}

void SolidTriangle32(const TriDraw& t);
void SolidTriangle565(const TriDraw& t);
// 32-bit destination; 32-bit direct or paletted (4-byte entries) source.
void TexturedTriangle32(const TriDraw& t);
// RGB565 destination; RGB565 direct (with or without alpha) or paletted
// (RGB565 entries) source.
void TexturedTriangle565(const TriDraw& t);

}  // namespace tessel::soft
