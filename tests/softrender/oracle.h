// The independent oracle: a deliberately naive per-pixel model of each kernel
// family, written straight from the rules tables, one switch per family,
// exact floors in 64-bit and its own table formulas. It shares no code with
// the production rules.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tessel::oracle {

// Table entries from their definitions.
int64_t Scale(int64_t r, int64_t i);  // floor(i x r / 255)
int64_t Delta(int64_t p, int64_t d);  // d x p / 255 truncated toward zero
int64_t Mix6(int64_t q, int64_t a, int64_t b);
int64_t FadeEntry(int level, int range, int m);

// The packed add and subtract stated channel by channel. low = false drops
// the operands' low bits of green and red (the white, parameter-255 add).
uint32_t AddChannels32(uint32_t d, uint32_t s, bool low = true);
uint32_t SubChannels32(uint32_t d, uint32_t s);
uint32_t AddFields565(uint32_t d, uint32_t s, bool low = true);
uint32_t SubFields565(uint32_t d, uint32_t s);
// Two RGB565 pixels as a pair, first pixel in the low half.
uint32_t AddPair565(uint32_t d, uint32_t s);
uint32_t SubPair565(uint32_t d, uint32_t s);

// The blended fill of one destination pixel d; nullopt when the call draws
// nothing. brightness packs red, green, blue as the draw state does.
std::optional<uint32_t> Fill32(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                               uint32_t colour);
std::optional<uint32_t> Fill565(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                uint32_t colour);

// One blit pixel: the draw's settings and the pixel's own inputs.
struct BlitPixel {
    uint32_t mode;
    int p;
    uint32_t brightness;
    bool mask;
    uint32_t f;  // mask factor, with a mask
    bool trans;
    uint32_t key;
    bool alphaSource;  // direct sources only
    bool paletted;
    uint32_t index;  // paletted: the index; the colour is passed as s
    // -1: the general kernels. 0, 1, 2: the run-table path, the pixel lying in
    // a skip, opaque or alpha run; no special parameter values there.
    int run = -1;
    // The stretch's rules: of the white, unmasked variants only the whole
    // copies stay (and mode 11's green), alpha 0 skips in every mode when
    // keyed, and copy mode blends an alpha source by its alpha when not.
    bool stretch = false;
};

// The blit (or stretch) of a 32-bit or RGB565 source pixel s (a palette entry
// for a paletted source) with alpha a onto d; nullopt leaves d untouched.
// The mode a blit or rotation runs after the parameter short-cuts, or -1 for
// nothing: mode 1 at 255 is a copy, modes 1 and 2 at 0 draw nothing, and so
// does mode 3 at 0 but for paletted sources.
int64_t ShortCutMode(uint32_t mode, int p, bool paletted);

std::optional<uint32_t> Blit32(const BlitPixel& in, uint32_t d, uint32_t s, uint32_t a);
std::optional<uint32_t> Blit565(const BlitPixel& in, uint32_t d, uint32_t s, uint32_t a);

// A whole RGB565 row, which is where the pair loops differ: d, s, a and f per
// pixel (f and a ignored where unused; index used for paletted sources).
std::vector<uint32_t> BlitRow565(BlitPixel in, const std::vector<uint32_t>& d,
                                 const std::vector<uint32_t>& s, const std::vector<uint32_t>& a,
                                 const std::vector<uint32_t>& f,
                                 const std::vector<uint32_t>& index);

}  // namespace tessel::oracle
