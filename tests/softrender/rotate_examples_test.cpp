// The rotated blit's numeric examples, one row each: a one-row source drawn
// unturned at its own size onto as many destination pixels, so that pixel i
// shows texel i, in one mode, parameter and brightness.
#include <gtest/gtest.h>

#include "softrender/blit_kit.h"
#include "softrender/rotate.h"

namespace tessel {
namespace {

using kit::Source;

using kit::kNoMask;
using kit::kWhite;

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) {
    return (top << 24) | (r << 16) | (g << 8) | b;
}
uint32_t C(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 11) | (g << 5) | b;
}

using Row = kit::ExampleRow;

void Check(const std::vector<Row>& rows) {
    kit::CheckExamples(rows, [](const SoftDrawState& state, MEMIMG* dest, const MEMIMG* source,
                                int trans, const MEMIMG* mask) {
        MemImgRotateBlit(state, dest, source, dest->width >> 1, 0, 0.0f, 1.0f, trans, 0, mask);
    });
}

// clang-format off
TEST(RotateExamples, ThirtyTwoBitDirectSources) {
    const Source k = Source::k32, ka = Source::k32Alpha;
    Check({
        {"white unmasked copy stores all four bytes", k, 0, 0, kWhite, 0, 0, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(9, 8, 7, 0xEE)}},
        {"a brightness changes bytes 0 to 2 only", k, 0, 0, PackBrightness(128, 64, 255), 0, 0,
         kNoMask, {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(4, 2, 7, 4)}},
        {"alpha 255 under the flag copies the whole pixel, alpha 0 is skipped", ka, 0, 0, kWhite,
         1, 0, kNoMask, {Rgb(1, 2, 3, 4), Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7), Rgb(9, 8, 7)},
         {255, 0}, {Rgb(9, 8, 7, 255), Rgb(1, 2, 3, 4)}},
        {"without the flag alpha 255 is a factor: 255 over 0 gives 254", ka, 0, 0, kWhite, 0, 0,
         kNoMask, {Rgb(0, 0, 0, 0x33), Rgb(10, 20, 30, 0x33)},
         {Rgb(255, 255, 255), Rgb(99, 99, 99)}, {255, 0},
         {Rgb(254, 254, 254, 0x33), Rgb(10, 20, 30, 0x33)}},
        {"mode 4 at alpha 0 under the flag blackens", ka, 4, 77, kWhite, 1, 0, kNoMask,
         {Rgb(10, 20, 30, 0x44)}, {Rgb(200, 200, 200)}, {0}, {Rgb(0, 0, 0, 0x44)}},
        {"mode 1 at 255 is the whole copy", k, 1, 255, kWhite, 0, 0, kNoMask, {Rgb(1, 2, 3, 4)},
         {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(9, 8, 7, 0xEE)}},
        {"mode 1 and mode 2 at 0 draw nothing", k, 2, 0, kWhite, 0, 0, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7)}, {}, {Rgb(1, 2, 3, 4)}},
        {"mode 3 at 0 draws nothing from a direct source", k, 3, 0, kWhite, 0, 0, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7)}, {}, {Rgb(1, 2, 3, 4)}},
        {"mode 10 at 0 leaves the channels", k, 10, 0, kWhite, 0, 0, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7)}, {}, {Rgb(1, 2, 3, 4)}},
        {"mode 10 at 255: source 0 over 0 gives 254", k, 10, 255, kWhite, 0, 0, kNoMask,
         {Rgb(0, 0, 0, 9)}, {Rgb(0, 0, 0)}, {}, {Rgb(254, 254, 254, 9)}},
        {"mode 1 at 128 is the floor blend, no halving", k, 1, 128, kWhite, 0, 0, kNoMask,
         {Rgb(5, 5, 5, 7)}, {Rgb(7, 7, 7)}, {}, {Rgb(6, 6, 6, 7)}},
        {"mode 2: saturated blue carries into green", k, 2, 255, kWhite, 0, 0, kNoMask,
         {Rgb(10, 3, 200, 0x77), Rgb(0x90, 0x80, 0)}, {Rgb(20, 1, 100), Rgb(0x90, 0x80, 0)}, {},
         {Rgb(30, 3, 255, 0), Rgb(255, 255, 0, 1)}},
        {"mode 3: a zero contribution sets green's and red's low bits", k, 3, 255, kWhite, 0, 0,
         kNoMask, {Rgb(30, 20, 10, 0x55), Rgb(50, 9, 100)}, {Rgb(0, 0, 0), Rgb(60, 4, 30)}, {},
         {Rgb(31, 21, 10, 0), Rgb(0, 5, 70, 0)}},
        {"the key matches all 32 bits only", k, 0, 0, kWhite, 1, Rgb(1, 2, 3, 0xAA), kNoMask,
         {0, 0}, {Rgb(1, 2, 3, 0xAB), Rgb(1, 2, 3, 0xAA)}, {}, {Rgb(1, 2, 3, 0xAB), 0}},
    });
}

TEST(RotateExamples, PalettedSources) {
    const Source k = Source::kPal32, h = Source::kPal565;
    Check({
        {"the white copy stores the entry's fourth byte", k, 0, 0, kWhite, 0, 999, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(9, 8, 7, 0xEE)}},
        {"a lit copy keeps the destination's fourth byte", k, 0, 0, PackBrightness(255, 255, 0),
         0, 999, kNoMask, {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(9, 8, 0, 4)}},
        {"mode 1 at 255 is the copy, at 0 nothing", k, 1, 255, kWhite, 0, 999, kNoMask,
         {Rgb(1, 2, 3, 4)}, {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(9, 8, 7, 0xEE)}},
        {"mode 2 at 0 draws nothing", k, 2, 0, kWhite, 0, 999, kNoMask, {Rgb(1, 2, 3, 4)},
         {Rgb(9, 8, 7)}, {}, {Rgb(1, 2, 3, 4)}},
        {"mode 1 keeps the fourth byte", k, 1, 128, kWhite, 0, 999, kNoMask,
         {Rgb(100, 100, 100, 0x99)}, {Rgb(0, 0, 0, 0xEE)}, {}, {Rgb(50, 50, 50, 0x99)}},
        {"mode 3 at 0 draws: low bits of green and red set, fourth byte 0", k, 3, 0, kWhite, 0,
         999, kNoMask, {Rgb(0x40, 0x20, 0x10, 0x99)}, {Rgb(9, 8, 7)}, {},
         {Rgb(0x41, 0x21, 0x10, 0)}},
        {"mode 3 at 0 on RGB565 sets bit 11 and clears bit 5", h, 3, 0, kWhite, 0, 999, kNoMask,
         {C(10, 21, 30)}, {C(1, 2, 3)}, {}, {C(11, 20, 30)}},
        {"mask factor 0 leaves mode 1 alone", k, 1, 200, kWhite, 0, 999, 0,
         {Rgb(10, 20, 30, 0x66)}, {Rgb(9, 8, 7)}, {}, {Rgb(10, 20, 30, 0x66)}},
        {"mask factor 0 leaves mode 11 alone", k, 11, 200, kWhite, 0, 999, 0,
         {Rgb(10, 20, 30, 0x66)}, {Rgb(9, 8, 7)}, {}, {Rgb(10, 20, 30, 0x66)}},
        {"mask factor 0 blackens in mode 4", k, 4, 200, kWhite, 0, 999, 0,
         {Rgb(10, 20, 30, 0x66)}, {Rgb(9, 8, 7)}, {}, {Rgb(0, 0, 0, 0x66)}},
        {"the transparent index is skipped", k, 0, 0, kWhite, 1, 2, kNoMask, {0, 0},
         {Rgb(9, 8, 7), Rgb(6, 5, 4)}, {}, {Rgb(9, 8, 7), 0}},
        {"without the flag it is drawn", k, 0, 0, kWhite, 0, 2, kNoMask, {0, 0},
         {Rgb(9, 8, 7), Rgb(6, 5, 4)}, {}, {Rgb(9, 8, 7), Rgb(6, 5, 4)}},
        {"brightness 0 copies black", k, 0, 0, 0, 0, 999, kNoMask, {Rgb(10, 20, 30, 0x66)},
         {Rgb(9, 8, 7, 0xEE)}, {}, {Rgb(0, 0, 0, 0x66)}},
        {"brightness 0 copies black on RGB565", h, 0, 0, 0, 0, 999, kNoMask, {C(10, 20, 30)},
         {C(9, 8, 7)}, {}, {0}},
        {"RGB565 mode 1 moves by the delta table", h, 1, 128, kWhite, 0, 999, kNoMask,
         {C(31, 0, 0)}, {C(0, 63, 0)}, {}, {C(16, 31, 0)}},
    });
}

TEST(RotateExamples, Rgb565DirectSources) {
    const Source k = Source::k565, ka = Source::k565Alpha;
    Check({
        {"alpha 255 under the flag copies the colour, alpha 0 is skipped", ka, 0, 0, kWhite, 1,
         0, kNoMask, {C(1, 2, 3), C(1, 2, 3)}, {C(9, 8, 7), C(9, 8, 7)}, {255, 0},
         {C(9, 8, 7), C(1, 2, 3)}},
        {"without the flag alpha is a factor", ka, 0, 0, kWhite, 0, 0, kNoMask, {0, 0},
         {C(31, 63, 31), C(31, 63, 31)}, {255, 128}, {C(30, 62, 30), C(15, 31, 15)}},
        {"mode 10 at 255 gives the exact complement", k, 10, 255, kWhite, 0, 0, kNoMask,
         {C(20, 10, 3)}, {C(5, 40, 17)}, {}, {C(26, 23, 14)}},
        {"mode 1 at 128 moves by the delta table, no halving or mix", k, 1, 128, kWhite, 0, 0,
         kNoMask, {C(31, 0, 0)}, {C(0, 63, 0)}, {}, {C(16, 31, 0)}},
        {"mode 2: green's carry sets red's low bit", k, 2, 255, kWhite, 0, 0, kNoMask,
         {C(0, 62, 0), C(30, 62, 20)}, {C(0, 2, 0), C(5, 3, 20)}, {},
         {C(1, 62, 0), C(31, 63, 31)}},
        {"mode 3: green's low bit clears, red's sets", k, 3, 255, kWhite, 0, 0, kNoMask,
         {C(10, 21, 30), C(20, 40, 10)}, {C(0, 0, 0), C(5, 10, 3)}, {},
         {C(11, 20, 30), C(17, 30, 7)}},
        {"mode 4 at alpha 0 under the flag blackens", ka, 4, 99, kWhite, 1, 0, kNoMask,
         {C(10, 20, 30)}, {C(31, 63, 31)}, {0}, {0}},
        {"a key of 0x10000 or more never matches", k, 0, 0, kWhite, 1, 0x10000 | C(1, 2, 3),
         kNoMask, {0}, {C(1, 2, 3)}, {}, {C(1, 2, 3)}},
    });
}
// clang-format on

}  // namespace
}  // namespace tessel
