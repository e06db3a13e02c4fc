// The rotated blit's oracle: one pixel of each span family straight from its
// rules tables, in 64-bit with exact floors. The 32-bit direct rules are the
// textured triangle's (the same table); the paletted and RGB565 ones are
// written out here. Geometry is the caller's: these rules see one texel.
#pragma once

#include <cstdint>
#include <optional>

namespace tessel::oracle {

struct RotatePixel {
    uint32_t mode;
    int p;
    uint32_t brightness;  // red, green, blue packed as the draw state does
    bool mask;
    uint32_t f;  // mask factor, with a mask
    bool trans;
    uint32_t key;
    bool alphaSource;  // direct sources only
    bool paletted;
    uint32_t index;  // paletted: the index; the palette entry is passed as s
};

// s: the direct texel (top byte included) or the palette entry; a: the alpha
// of a source with alpha. nullopt leaves d untouched.
std::optional<uint32_t> Rotate32(const RotatePixel& in, uint32_t d, uint32_t s);
// s: the 16-bit colour or palette entry; a: the alpha byte of a source with alpha.
std::optional<uint32_t> Rotate565(const RotatePixel& in, uint32_t d, uint32_t s, uint32_t a);

}  // namespace tessel::oracle
