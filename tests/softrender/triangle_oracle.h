// The triangle's oracle: the rows a triangle covers and the texel each pixel
// shows, each row's ends in closed form (no running sums), the orders by a
// stable sort and the side test by exact cross products; and the pixel rules
// of the solid and the textured families straight from their tables.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "softrender/triangle.h"

namespace tessel::oracle {

// One walked row: pixels left to right inclusive (left above right draws
// nothing).
struct TriRow {
    int64_t y;
    int64_t left;
    int64_t right;
};

// The rows in walk order; empty when the triangle draws nothing.
std::vector<TriRow> TriangleRows(const MemImgTriVertex* v);

// The texture plane; fits is false when a gradient leaves 32 bits.
struct TriPlaneModel {
    int64_t x0, y0, u0, v0;
    int64_t ux, uy, vx, vy;
    bool fits;
    // 14.18 positions at a pixel, as 32-bit sums wrap.
    uint32_t U(int64_t x, int64_t y) const;
    uint32_t V(int64_t x, int64_t y) const;
};
TriPlaneModel TrianglePlane(const MemImgTriVertex* v);

// One pixel of a 32-bit direct source (texel with its top byte) onto d;
// nullopt leaves d untouched. m is the mask factor.
struct TexturedPixel {
    uint32_t mode;
    int p;
    uint32_t brightness;
    bool mask;
    uint32_t m;
    bool trans;
    uint32_t key;
    bool alphaSource;
};
std::optional<uint32_t> Textured32(const TexturedPixel& in, uint32_t d, uint32_t texel);

// One pixel of an RGB565 direct source onto an RGB565 d: the texel's colour
// and, for a source with alpha, its alpha byte.
std::optional<uint32_t> Textured565(const TexturedPixel& in, uint32_t d, uint32_t colour,
                                    uint32_t alpha);

// One pixel of a paletted source: the index (which the key is compared with)
// and its palette entry, a 32-bit word or an RGB565 value.
std::optional<uint32_t> TexturedPaletted32(const TexturedPixel& in, uint32_t d, uint32_t index,
                                           uint32_t entry);
std::optional<uint32_t> TexturedPaletted565(const TexturedPixel& in, uint32_t d, uint32_t index,
                                            uint32_t entry);

// A solid pixel: the colour through the brightness rows, then the mode.
std::optional<uint32_t> Solid32(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                uint32_t colour);
std::optional<uint32_t> Solid565(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                 uint32_t colour);

}  // namespace tessel::oracle
