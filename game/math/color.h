// The game's colour record (red, green, blue, alpha bytes, in that order), the
// conversion of 0..1 values to bytes, and the pale hue circle the bullets are
// coloured from.
#pragma once

#include <cstdint>

struct ColorRecord {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    uint8_t a;
};

// Opaque: alpha 255.
ColorRecord MakeColor(uint8_t r, uint8_t g, uint8_t b);
ColorRecord MakeColorAlpha(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// White, opaque.
ColorRecord MakeDefaultColor();

// (int)(f x 255) truncated toward zero, limited to 0..255; NaN gives 0.
int UnitToByte(double f);

// A hue (taken modulo 255) on the circle red, yellow, green, cyan, blue,
// magenta, kept pale: a quarter of white stays in the primaries. Each channel
// is then multiplied by `brightness` and limited to 0..255; `alpha` is the
// record's alpha byte.
ColorRecord HueToColor(int hue, double brightness, uint8_t alpha);
