// Random blit scenes and their expected images from the oracle, shared by the
// differential, geometry and fast-path tests of the blit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "softrender/blit.h"
#include "softrender/blit_kit.h"
#include "softrender/oracle.h"

namespace tessel::kit {

struct BlitScene {
    Source kind;
    int sw, sh, dw, dh;
    int x, y;
    RECT area;
    uint32_t mode;
    int p;
    uint32_t brightness;
    int trans;
    uint32_t key;
    bool useMask;
    std::vector<uint32_t> source;   // stored values (indices for paletted sources)
    std::vector<uint32_t> palette;  // 256 entries for paletted sources
    std::vector<uint32_t> dest;
    std::vector<uint32_t> mask;  // mask bytes, sw x sh (the mask image is that size)
    // The source's run table, marked valid for the draw; empty for none.
    std::vector<uint8_t> runTable;
};

// The run kind (0 skip, 1 opaque, 2 alpha) of each source pixel, sw x sh, as
// a run table lists them; a row end closes the row.
std::vector<int> RunKinds(const std::vector<uint8_t>& table, int sw, int sh);

// A scene of random pixels biased to the turning values; about a quarter of
// the source pixels carry the key (or alpha 0 or 255 for alpha sources).
BlitScene RandomScene(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh);

// Draws the scene with MemImgBlit; the destination's pixels after the draw.
// Fails the test when a guard band changed.
std::vector<uint32_t> DrawScene(const BlitScene& scene);

// The same images and settings drawn by another entry: draw(state, dest,
// source, mask or null).
using SceneDraw =
    std::function<void(const SoftDrawState& state, MEMIMG* dest, MEMIMG* src, MEMIMG* mask)>;
std::vector<uint32_t> DrawSceneWith(const BlitScene& scene, const SceneDraw& draw);

// The oracle's settings of the scene's draw.
// The scene's draw settings as an oracle's pixel input (the blit's or the
// rotation's: both name them alike).
template <class Pixel>
Pixel SettingsAs(const BlitScene& s) {
    Pixel in{};
    in.mode = s.mode;
    in.p = s.p;
    in.brightness = s.brightness;
    in.mask = s.useMask;
    in.trans = s.trans != 0;
    in.key = s.key;
    in.alphaSource = HasAlpha(s.kind);
    in.paletted = IsPaletted(s.kind);
    return in;
}
oracle::BlitPixel SettingsOf(const BlitScene& scene);

// A source pixel as the oracle takes it: its colour (a palette entry for a
// paletted source), its alpha and the stored value.
struct SourceTexel {
    uint32_t colour, alpha, stored;
};
SourceTexel TexelOf(const BlitScene& scene, int sx, int sy);

// What the oracle says the destination holds after the draw.
std::vector<uint32_t> ExpectScene(const BlitScene& scene);

}  // namespace tessel::kit
