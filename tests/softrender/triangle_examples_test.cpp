// The triangle families' numeric examples, one row each: one pixel drawn
// with one texel (or the solid colour) in one mode, parameter, brightness and
// flag set. Each row also holds for the oracle.
#include <gtest/gtest.h>

#include "softrender/pixel_math.h"
#include "softrender/triangle_scene.h"

namespace tessel {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kNoMask = -1;

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) {
    return soft::Pack32(r, g, b, top);
}
constexpr auto C = soft::Pack565;

// kTextured: a 32-bit direct source. The paletted families draw index
// kIndex whose entry is the row's s; the RGB565 direct ones the texel s (with
// the alpha in bits 16-23).
enum Family {
    kSolid32,
    kSolid565,
    kTextured,
    kTexturedAlpha,
    kPaletted32,
    kPaletted565,
    kTextured565,
    kTextured565Alpha
};
constexpr uint32_t kIndex = 7;

uint32_t WithAlpha(uint32_t colour, uint32_t alpha) {
    return colour | (alpha << 16);
}

struct Row {
    const char* what;
    Family family;
    uint32_t mode;
    int p;
    uint32_t brightness;
    int trans;
    int maskByte;  // the mask factor (identity fade), or kNoMask
    uint32_t d;
    uint32_t s;  // the texel with its top byte, or the solid colour
    uint32_t want;
    uint32_t key = 0x7F7F7F7Fu;
};

void Check(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        kit::TriScene s{};
        s.solid = r.family == kSolid32 || r.family == kSolid565;
        const bool narrow = r.family == kSolid565 || r.family == kPaletted565 ||
                            r.family == kTextured565 || r.family == kTextured565Alpha;
        s.destType = narrow ? kMemImgRgb565 : kMemImgRgb32;
        s.alphaSource = r.family == kTexturedAlpha || r.family == kTextured565Alpha;
        s.paletted = r.family == kPaletted32 || r.family == kPaletted565;
        s.area = RECT{0, 0, 1, 1};
        s.triangles = {kit::Triangle{{{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 4, 0, 4}}}};
        s.mode = r.mode;
        s.p = r.p;
        s.brightness = r.brightness;
        s.trans = r.trans;
        s.key = r.key;
        s.useMask = r.maskByte != kNoMask;
        s.mask = {r.maskByte == kNoMask ? 0u : uint32_t(r.maskByte)};
        s.colour = r.s;
        s.source = {s.paletted ? kIndex : r.s};
        if (s.paletted) {
            s.palette.assign(256, 0);
            s.palette[kIndex] = r.s;
        }
        s.dest = {r.d};
        EXPECT_EQ(kit::DrawTriScene(s)[0], r.want) << std::hex << "want " << r.want;
        EXPECT_EQ(kit::ExpectTriScene(s)[0], r.want) << "the oracle";
    }
}

TEST(TriangleExamples, SolidThirtyTwoBit) {
    Check({
        {"mode 0 writes the colour's top byte", kSolid32, 0, 255, kWhite, 0, kNoMask,
         Rgb(1, 2, 3, 0x44), Rgb(9, 8, 7, 0xA5), Rgb(9, 8, 7, 0xA5)},
        {"mode 1 keeps the top byte; 200 over 100 at 128 gives 150", kSolid32, 1, 128, kWhite, 0,
         kNoMask, Rgb(100, 100, 100, 0x44), Rgb(200, 200, 200, 0xA5), Rgb(150, 150, 150, 0x44)},
        {"mode 2 at 255: white on white saturates red and sets the top byte", kSolid32, 2, 255,
         kWhite, 0, kNoMask, 0x00FFFFFFu, 0x00FFFFFFu, 0x01FFFFFFu},
        {"mode 2 at 255: blue 0x80 twice saturates and sets green's low bit", kSolid32, 2, 255,
         kWhite, 0, kNoMask, 0x00000080u, 0x00000080u, 0x000001FFu},
        {"mode 3 at 255: white from white leaves the guard bits", kSolid32, 3, 255, kWhite, 0,
         kNoMask, 0x00FFFFFFu, 0x00FFFFFFu, 0x00010100u},
        {"mode 3: black from (64, 80, 96) sets green's and red's low bits", kSolid32, 3, 255,
         kWhite, 0, kNoMask, Rgb(64, 80, 96, 0x33), 0, Rgb(65, 81, 96)},
        {"mode 4 with white gives one less than the destination", kSolid32, 4, 17, kWhite, 0,
         kNoMask, Rgb(1, 128, 255, 0x66), 0x00FFFFFFu, Rgb(0, 127, 254, 0x66)},
        {"mode 10 at 255: black on black gives 254", kSolid32, 10, 255, kWhite, 0, kNoMask, 0, 0,
         Rgb(254, 254, 254)},
        {"mode 10 at 0 rewrites the pixel unchanged", kSolid32, 10, 0, kWhite, 0, kNoMask,
         Rgb(3, 100, 250, 9), Rgb(90, 0, 255), Rgb(3, 100, 250, 9)},
        {"mode 11 at 0 rewrites the pixel unchanged", kSolid32, 11, 0, kWhite, 0, kNoMask,
         Rgb(3, 100, 250, 9), Rgb(90, 0, 255), Rgb(3, 100, 250, 9)},
        {"brightness red 0 clears red and keeps blue", kSolid32, 0, 255, 0x00FFFF, 0, kNoMask, 0,
         Rgb(200, 100, 50, 7), Rgb(0, 100, 50, 7)},
        {"brightness (128, 64, 255) through the scale rows", kSolid32, 0, 255, 0x8040FF, 0, kNoMask,
         0, Rgb(255, 200, 99), Rgb(128, 50, 99)},
        {"mode 1 at 255 is the copy", kSolid32, 1, 255, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(9, 8, 7, 6), Rgb(9, 8, 7, 6)},
    });
}

TEST(TriangleExamples, SolidRgb565) {
    Check({
        {"mode 2: white on white stays white", kSolid565, 2, 255, kWhite, 0, kNoMask, 0xFFFF,
         0xFFFF, 0xFFFF},
        {"mode 3: white from white leaves red 1", kSolid565, 3, 255, kWhite, 0, kNoMask, 0xFFFF,
         0xFFFF, 0x0800},
        {"mode 3: black from (2, 17, 20) gives (3, 16, 20)", kSolid565, 3, 255, kWhite, 0, kNoMask,
         C(2, 17, 20), 0, C(3, 16, 20)},
        {"brightness red 0 clears the red field", kSolid565, 0, 255, 0x00FFFF, 0, kNoMask, 0,
         C(31, 40, 9), C(0, 40, 9)},
        {"mode 4: the fields multiply", kSolid565, 4, 3, kWhite, 0, kNoMask, C(31, 63, 31),
         C(16, 33, 1), C(15, 32, 0)},
        {"mode 1 at 128 through the difference row", kSolid565, 1, 128, kWhite, 0, kNoMask,
         C(0, 0, 31), C(31, 63, 0), C(15, 31, 16)},
    });
}

TEST(TriangleExamples, TexturedThirtyTwoBit) {
    Check({
        {"mode 0, white: the four bytes of the texel", kTextured, 0, 0, kWhite, 0, kNoMask,
         Rgb(1, 2, 3, 4), Rgb(9, 8, 7, 0xC3), Rgb(9, 8, 7, 0xC3)},
        {"mode 0, not white: the destination's top byte stays", kTextured, 0, 0, 0xFEFFFF, 0,
         kNoMask, Rgb(1, 2, 3, 4), Rgb(9, 8, 7, 0xC3), Rgb(8, 8, 7, 4)},
        {"a texel differing from the key only in its top byte is drawn", kTextured, 0, 0, kWhite, 1,
         kNoMask, 0, 0x017F7F7Fu, 0x017F7F7Fu},
        {"the key itself is skipped", kTextured, 0, 0, kWhite, 1, kNoMask, 5, 0x7F7F7F7Fu, 5},
        {"alpha 255 without the flag weighs 255/256", kTexturedAlpha, 0, 0, kWhite, 0, kNoMask, 0,
         Rgb(255, 255, 255, 255), Rgb(254, 254, 254)},
        {"alpha 255 with the flag copies the whole texel", kTexturedAlpha, 0, 0, kWhite, 1, kNoMask,
         Rgb(1, 1, 1, 1), Rgb(200, 100, 0, 255), Rgb(200, 100, 0, 255)},
        {"alpha 0 with the flag leaves the pixel", kTexturedAlpha, 0, 0, kWhite, 1, kNoMask,
         Rgb(1, 2, 3, 4), Rgb(200, 100, 0, 0), Rgb(1, 2, 3, 4)},
        {"alpha 0 without the flag leaves the channels", kTexturedAlpha, 0, 0, kWhite, 0, kNoMask,
         Rgb(1, 2, 3, 4), Rgb(200, 100, 0, 0), Rgb(1, 2, 3, 4)},
        {"mode 4, alpha 0 with the flag turns the channels to 0", kTexturedAlpha, 4, 9, kWhite, 1,
         kNoMask, Rgb(10, 20, 30, 4), Rgb(200, 100, 50, 0), Rgb(0, 0, 0, 4)},
        {"mode 4, alpha 0 without the flag too", kTexturedAlpha, 4, 9, kWhite, 0, kNoMask,
         Rgb(10, 20, 30, 4), Rgb(200, 100, 50, 0), Rgb(0, 0, 0, 4)},
        {"mode 4, alpha 128: (d t 128) >> 16", kTexturedAlpha, 4, 9, kWhite, 0, kNoMask,
         Rgb(200, 255, 31, 4), Rgb(201, 255, 77, 128), Rgb(78, 127, 4, 4)},
        {"mode 2: e (10, 3, 3) onto (250, 1, 1)", kTextured, 2, 255, kWhite, 0, kNoMask,
         Rgb(1, 1, 250, 0x80), Rgb(3, 3, 10), Rgb(3, 3, 255)},
        {"mode 3: e (0, 3, 0) from (0, 10, 0)", kTextured, 3, 255, kWhite, 0, kNoMask,
         Rgb(0, 10, 0, 0x80), Rgb(0, 3, 0), Rgb(1, 9, 0)},
        {"mode 2 with e 0 clears the top byte", kTextured, 2, 255, kWhite, 0, kNoMask,
         Rgb(6, 7, 8, 0x80), 0, Rgb(6, 7, 8)},
        {"mode 3 with e 0 sets green's and red's low bits", kTextured, 3, 255, kWhite, 0, kNoMask,
         Rgb(6, 6, 8, 0x80), 0, Rgb(7, 7, 8)},
        {"mode 1 at 128: 200 over 100 gives 150", kTextured, 1, 128, kWhite, 0, kNoMask,
         Rgb(100, 100, 100, 3), Rgb(200, 200, 200, 9), Rgb(150, 150, 150, 3)},
        {"mode 1 at 1: 255 over 0 gives 0", kTextured, 1, 1, kWhite, 0, kNoMask, 0,
         Rgb(255, 255, 255), 0},
        {"mode 1 at 255 runs mode 0: a mask and alpha 255 give 253, not 252", kTexturedAlpha, 1,
         255, kWhite, 0, 255, 0, Rgb(255, 255, 255, 255), Rgb(253, 253, 253)},
        {"mode 1 at 254 with a mask and alpha 255 weighs three factors", kTexturedAlpha, 1, 254,
         kWhite, 0, 255, 0, Rgb(255, 255, 255, 255), Rgb(251, 251, 251)},
        {"mode 11 at 255: (x 255 + d) >> 8 with x = (s d) >> 8", kTextured, 11, 255, kWhite, 0,
         kNoMask, Rgb(200, 255, 9), Rgb(100, 255, 255), Rgb(78, 254, 8)},
        {"mode 10 at 0 leaves the pixel", kTextured, 10, 0, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mode 10 inverts before the brightness", kTextured, 10, 255, 0x80FFFF, 0, kNoMask, 0,
         Rgb(55, 0, 255), Rgb(99, 254, 0)},
        {"mask factor 0, mode 0: unchanged", kTextured, 0, 0, kWhite, 0, 0, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mask factor 0, mode 11: unchanged", kTextured, 11, 100, kWhite, 0, 0, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mask factor 0, mode 4: channels 0", kTextured, 4, 0, kWhite, 0, 0, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(0, 0, 0, 4)},
        {"mask factor 0, mode 2: adds 0", kTextured, 2, 200, kWhite, 0, 0, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3)},
    });
}

TEST(TriangleExamples, PalettedOnThirtyTwoBit) {
    Check({
        {"mode 0, white: the whole entry, fourth byte included", kPaletted32, 0, 0, kWhite, 0,
         kNoMask, Rgb(1, 2, 3, 4), Rgb(9, 8, 7, 0xC3), Rgb(9, 8, 7, 0xC3)},
        {"mode 0, not white: the destination's fourth byte stays", kPaletted32, 0, 0, 0xFEFFFF, 0,
         kNoMask, Rgb(1, 2, 3, 4), Rgb(9, 8, 7, 0xC3), Rgb(8, 8, 7, 4)},
        {"mode 1 at 255 is the whole-entry copy", kPaletted32, 1, 255, kWhite, 0, kNoMask,
         Rgb(1, 2, 3, 4), Rgb(9, 8, 7, 0xC3), Rgb(9, 8, 7, 0xC3)},
        {"mode 1 at 0 changes nothing", kPaletted32, 1, 0, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70, 6), Rgb(1, 2, 3, 4)},
        {"mode 2 at 0 changes nothing", kPaletted32, 2, 0, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70, 6), Rgb(1, 2, 3, 4)},
        {"mode 3 at 0 still draws: guard bits set, fourth byte cleared", kPaletted32, 3, 0, kWhite,
         0, kNoMask, Rgb(6, 6, 8, 0x80), Rgb(200, 100, 50), Rgb(7, 7, 8)},
        {"mode 10 at 0 leaves the pixel", kPaletted32, 10, 0, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mode 11 at 0 leaves the pixel", kPaletted32, 11, 0, kWhite, 0, kNoMask, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mode 4 ignores p (0)", kPaletted32, 4, 0, kWhite, 0, kNoMask, Rgb(200, 255, 31, 4),
         Rgb(201, 255, 77, 9), Rgb(157, 254, 9, 4)},
        {"mode 4 ignores p (200)", kPaletted32, 4, 200, kWhite, 0, kNoMask, Rgb(200, 255, 31, 4),
         Rgb(201, 255, 77, 9), Rgb(157, 254, 9, 4)},
        {"mode 4, mask factor 0: black, the fourth byte kept", kPaletted32, 4, 9, kWhite, 0, 0,
         Rgb(10, 20, 30, 4), Rgb(201, 255, 77, 9), Rgb(0, 0, 0, 4)},
        {"mask factor 0, mode 0: unchanged", kPaletted32, 0, 0, kWhite, 0, 0, Rgb(1, 2, 3, 4),
         Rgb(90, 80, 70), Rgb(1, 2, 3, 4)},
        {"mask factor 0, mode 2: the fourth byte cleared all the same", kPaletted32, 2, 200, kWhite,
         0, 0, Rgb(1, 2, 3, 0x80), Rgb(90, 80, 70), Rgb(1, 2, 3)},
        {"mode 2 with a mask: 255 at factor 255 and p 255 adds 253 in one product", kPaletted32, 2,
         255, kWhite, 0, 255, 0, Rgb(0, 0, 255), Rgb(0, 0, 253)},
        {"mode 2: (1, 1, 1) onto (1, 1, 1) gives (1, 1, 2), fourth byte 0", kPaletted32, 2, 255,
         kWhite, 0, kNoMask, Rgb(1, 1, 1, 0x55), Rgb(1, 1, 1), Rgb(1, 1, 2)},
        {"mode 2 of 0 keeps the channels and clears the fourth byte", kPaletted32, 2, 255, kWhite,
         0, kNoMask, Rgb(6, 7, 8, 0x80), 0, Rgb(6, 7, 8)},
        {"mode 1 at 254 with a mask: (255 255 254) >> 16", kPaletted32, 1, 254, kWhite, 0, 255, 0,
         Rgb(255, 255, 255), Rgb(252, 252, 252)},
        {"mode 10 at 255: a black entry on black gives 254", kPaletted32, 10, 255, kWhite, 0,
         kNoMask, 0, 0, Rgb(254, 254, 254)},
        {"mode 10 inverts before the brightness", kPaletted32, 10, 255, 0x80FFFF, 0, kNoMask, 0,
         Rgb(55, 0, 255), Rgb(99, 254, 0)},
        {"the key index is skipped whatever its entry", kPaletted32, 0, 0, kWhite, 1, kNoMask, 5,
         Rgb(9, 8, 7), 5, kIndex},
        {"a key of 256 or more matches nothing", kPaletted32, 0, 0, kWhite, 1, kNoMask, 5,
         Rgb(9, 8, 7), Rgb(9, 8, 7), 256 + kIndex},
    });
}

TEST(TriangleExamples, PalettedOnRgb565) {
    Check({
        {"mode 0, white: the entry exactly", kPaletted565, 0, 0, kWhite, 0, kNoMask, C(1, 2, 3),
         C(31, 40, 9), C(31, 40, 9)},
        {"mode 1 at 128: white over black gives (15, 31, 15)", kPaletted565, 1, 128, kWhite, 0,
         kNoMask, 0, C(31, 63, 31), C(15, 31, 15)},
        {"mode 1 at 128: black over white gives (16, 32, 16)", kPaletted565, 1, 128, kWhite, 0,
         kNoMask, C(31, 63, 31), 0, C(16, 32, 16)},
        {"mode 1 at 255 is the copy, with a mask too", kPaletted565, 1, 255, kWhite, 0, 255, 0,
         C(31, 63, 31), C(30, 62, 30)},
        {"mode 0, mask factor 255: white over black gives (30, 62, 30)", kPaletted565, 0, 0, kWhite,
         0, 255, 0, C(31, 63, 31), C(30, 62, 30)},
        {"mode 0, mask factor 255: black over white gives black", kPaletted565, 0, 0, kWhite, 0,
         255, C(31, 63, 31), 0, 0},
        {"mask factor 0, mode 0: unchanged", kPaletted565, 0, 0, kWhite, 0, 0, C(1, 2, 3),
         C(31, 63, 31), C(1, 2, 3)},
        {"mask factor 0, mode 1: unchanged", kPaletted565, 1, 99, kWhite, 0, 0, C(1, 2, 3),
         C(31, 63, 31), C(1, 2, 3)},
        {"mask factor 0, mode 2: unchanged", kPaletted565, 2, 200, kWhite, 0, 0, C(1, 2, 3),
         C(31, 63, 31), C(1, 2, 3)},
        {"mask factor 0, mode 11: unchanged", kPaletted565, 11, 200, kWhite, 0, 0, C(1, 2, 3),
         C(31, 63, 31), C(1, 2, 3)},
        {"mode 4: white on white gives (30, 62, 30)", kPaletted565, 4, 0, kWhite, 0, kNoMask,
         C(31, 63, 31), C(31, 63, 31), C(30, 62, 30)},
        {"mode 4 ignores p", kPaletted565, 4, 201, kWhite, 0, kNoMask, C(31, 63, 31), C(31, 63, 31),
         C(30, 62, 30)},
        {"mode 4, mask factor 0: black", kPaletted565, 4, 9, kWhite, 0, 0, C(31, 63, 31),
         C(31, 63, 31), 0},
        {"mode 11 at 255 gives mode 4's result", kPaletted565, 11, 255, kWhite, 0, kNoMask,
         C(31, 63, 31), C(31, 63, 31), C(30, 62, 30)},
        {"mode 10 at 0 leaves the pixel", kPaletted565, 10, 0, kWhite, 0, kNoMask, C(3, 4, 5),
         C(31, 0, 9), C(3, 4, 5)},
        {"mode 3 at 0 draws: (2, 17, 20) becomes (3, 16, 20)", kPaletted565, 3, 0, kWhite, 0,
         kNoMask, C(2, 17, 20), C(31, 63, 31), C(3, 16, 20)},
        {"mode 3 at 0 draws: white becomes (31, 62, 31)", kPaletted565, 3, 0, kWhite, 0, kNoMask,
         C(31, 63, 31), C(9, 9, 9), C(31, 62, 31)},
        {"mode 3, mask factor 0: (2, 17, 20) becomes (3, 16, 20)", kPaletted565, 3, 100, kWhite, 0,
         0, C(2, 17, 20), C(31, 63, 31), C(3, 16, 20)},
        {"mode 2: (1, 1, 1) onto (1, 1, 1) gives (1, 1, 2)", kPaletted565, 2, 255, kWhite, 0,
         kNoMask, C(1, 1, 1), C(1, 1, 1), C(1, 1, 2)},
        {"mode 2: blue 1 onto blue 31 carries into green", kPaletted565, 2, 255, kWhite, 0, kNoMask,
         C(0, 0, 31), C(0, 0, 1), C(0, 1, 31)},
        {"mode 2: green 2 onto green 62 carries into red", kPaletted565, 2, 255, kWhite, 0, kNoMask,
         C(0, 62, 0), C(0, 2, 0), C(1, 62, 0)},
        {"mode 2: red 1 onto red 31 stays 31", kPaletted565, 2, 255, kWhite, 0, kNoMask,
         C(31, 0, 0), C(1, 0, 0), C(31, 0, 0)},
        {"mode 3: (1, 1, 1) from (16, 32, 16) gives (17, 32, 15)", kPaletted565, 3, 255, kWhite, 0,
         kNoMask, C(16, 32, 16), C(1, 1, 1), C(17, 32, 15)},
        {"mode 3: (0, 4, 0) from (10, 2, 5) gives (10, 0, 5)", kPaletted565, 3, 255, kWhite, 0,
         kNoMask, C(10, 2, 5), C(0, 4, 0), C(10, 0, 5)},
        {"mode 10 at 255: a black entry stores white", kPaletted565, 10, 255, kWhite, 0, kNoMask,
         C(3, 4, 5), 0, C(31, 63, 31)},
        {"the key index is skipped", kPaletted565, 0, 0, kWhite, 1, kNoMask, C(1, 2, 3),
         C(31, 40, 9), C(1, 2, 3), kIndex},
        {"a key of 256 matches nothing", kPaletted565, 0, 0, kWhite, 1, kNoMask, C(1, 2, 3),
         C(31, 40, 9), C(31, 40, 9), 256 + kIndex},
    });
}

TEST(TriangleExamples, DirectOnRgb565) {
    Check({
        {"mode 0, white: the texel's value", kTextured565, 0, 0, kWhite, 0, kNoMask, C(1, 2, 3),
         C(31, 40, 9), C(31, 40, 9)},
        {"alpha 255 without the flag weighs 255/256", kTextured565Alpha, 0, 0, kWhite, 0, kNoMask,
         0, WithAlpha(C(31, 63, 31), 255), C(30, 62, 30)},
        {"alpha 255 with the flag copies", kTextured565Alpha, 0, 0, kWhite, 1, kNoMask, 0,
         WithAlpha(C(31, 63, 31), 255), C(31, 63, 31)},
        {"alpha 128 over black", kTextured565Alpha, 0, 0, kWhite, 0, kNoMask, 0,
         WithAlpha(C(31, 63, 31), 128), C(15, 31, 15)},
        {"alpha 0 with the flag leaves the pixel", kTextured565Alpha, 0, 0, kWhite, 1, kNoMask,
         C(1, 2, 3), WithAlpha(C(31, 63, 31), 0), C(1, 2, 3)},
        {"with alpha the key is not consulted", kTextured565Alpha, 0, 0, kWhite, 1, kNoMask, 0,
         WithAlpha(C(31, 63, 31), 255), C(31, 63, 31), C(31, 63, 31)},
        {"the key is skipped without alpha", kTextured565, 0, 0, kWhite, 1, kNoMask, C(1, 2, 3),
         C(31, 63, 31), C(1, 2, 3), C(31, 63, 31)},
        {"a key above 0xFFFF matches nothing", kTextured565, 0, 0, kWhite, 1, kNoMask, C(1, 2, 3),
         C(31, 63, 31), C(31, 63, 31), 0x10000u | C(31, 63, 31)},
        {"mode 4, alpha 0: black with the flag", kTextured565Alpha, 4, 0, kWhite, 1, kNoMask,
         C(31, 63, 31), WithAlpha(C(31, 63, 31), 0), 0},
        {"mode 4, alpha 0: black without it", kTextured565Alpha, 4, 0, kWhite, 0, kNoMask,
         C(31, 63, 31), WithAlpha(C(31, 63, 31), 0), 0},
        {"mode 4, alpha 255 with the flag: (d t) >> w", kTextured565Alpha, 4, 0, kWhite, 1, kNoMask,
         C(31, 63, 31), WithAlpha(C(31, 63, 31), 255), C(30, 62, 30)},
        {"mode 4, alpha 255 without it: (d t 255) >> (w + 8)", kTextured565Alpha, 4, 0, kWhite, 0,
         kNoMask, C(31, 63, 31), WithAlpha(C(31, 63, 31), 255), C(29, 61, 29)},
        {"mode 11, alpha 0 with the flag leaves the pixel", kTextured565Alpha, 11, 200, kWhite, 1,
         kNoMask, C(3, 4, 5), WithAlpha(C(31, 63, 31), 0), C(3, 4, 5)},
        {"mode 11, white, alpha: green keeps five more bits of the product", kTextured565Alpha, 11,
         255, kWhite, 0, kNoMask, C(0, 63, 0), WithAlpha(C(0, 1, 0), 255), C(0, 1, 0)},
        {"mode 11, not white: green from the shifted product", kTextured565Alpha, 11, 255, 0xFFFFFE,
         0, kNoMask, C(0, 63, 0), WithAlpha(C(0, 1, 0), 255), C(0, 0, 0)},
        {"mode 2, alpha: the alpha scales before the brightness", kTextured565Alpha, 2, 255,
         0xFFFF80, 0, kNoMask, 0, WithAlpha(C(0, 0, 3), 200), C(0, 0, 1)},
        {"mode 2: e 0 leaves the pixel", kTextured565, 2, 255, kWhite, 0, kNoMask, C(2, 17, 20), 0,
         C(2, 17, 20)},
        {"mode 2: blue 16 plus blue 16 gives blue 31 and green 1", kTextured565, 2, 255, kWhite, 0,
         kNoMask, C(0, 0, 16), C(0, 0, 16), C(0, 1, 31)},
        {"mode 2: green 1 plus green 1 gives green 1", kTextured565, 2, 255, kWhite, 0, kNoMask,
         C(0, 1, 0), C(0, 1, 0), C(0, 1, 0)},
        {"mode 2: green 63 plus green 1 gives green 63", kTextured565, 2, 255, kWhite, 0, kNoMask,
         C(0, 63, 0), C(0, 1, 0), C(0, 63, 0)},
        {"mode 2: white plus anything gives white", kTextured565, 2, 255, kWhite, 0, kNoMask,
         C(31, 63, 31), C(3, 9, 27), C(31, 63, 31)},
        {"mode 3: e 0 on (2, 17, 20) gives (3, 16, 20)", kTextured565, 3, 255, kWhite, 0, kNoMask,
         C(2, 17, 20), 0, C(3, 16, 20)},
        {"mode 3: e 0 on white gives (31, 62, 31)", kTextured565, 3, 255, kWhite, 0, kNoMask,
         C(31, 63, 31), 0, C(31, 62, 31)},
        {"mode 3: white from white leaves red 1", kTextured565, 3, 255, kWhite, 0, kNoMask,
         C(31, 63, 31), C(31, 63, 31), C(1, 0, 0)},
        {"mode 3: blue 17 from blue 16 gives red 1", kTextured565, 3, 255, kWhite, 0, kNoMask,
         C(0, 0, 16), C(0, 0, 17), C(1, 0, 0)},
        {"mode 3 at 0 draws nothing from a direct source", kTextured565, 3, 0, kWhite, 0, kNoMask,
         C(2, 17, 20), 0, C(2, 17, 20)},
        {"mode 10 at 255: the texel's complement", kTextured565, 10, 255, kWhite, 0, kNoMask,
         C(3, 4, 5), C(1, 60, 30), C(30, 3, 1)},
        {"mode 1 at 255 with alpha and a mask is the copy", kTextured565Alpha, 1, 255, kWhite, 0,
         255, 0, WithAlpha(C(31, 63, 31), 255), C(30, 62, 30)},
        {"mode 1 at 128 through the difference row", kTextured565, 1, 128, kWhite, 0, kNoMask,
         C(0, 0, 31), C(31, 63, 0), C(15, 31, 16)},
        {"mask factor 0, mode 10: unchanged", kTextured565, 10, 77, kWhite, 0, 0, C(3, 4, 5),
         C(1, 60, 30), C(3, 4, 5)},
        {"mask factor 0, mode 4: black", kTextured565, 4, 77, kWhite, 0, 0, C(3, 4, 5),
         C(1, 60, 30), 0},
    });
}

}  // namespace
}  // namespace tessel
