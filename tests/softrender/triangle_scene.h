// Triangle scenes: a destination, a source (or a solid colour), a mask and
// one or more triangles drawn in order, through MemImgTexturedTriangle and
// through the oracle; shared by the triangle tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "softrender/kit.h"
#include "softrender/triangle.h"
#include "softrender/triangle_oracle.h"

namespace tessel::kit {

using Triangle = std::array<MemImgTriVertex, 3>;

// The blend modes that have kernels.
inline constexpr uint32_t kDrawnModes[] = {0, 1, 2, 3, 4, 10, 11};

struct TriScene {
    bool solid = false;
    uint32_t destType = kMemImgRgb32;  // the source's colour type too
    bool alphaSource = false;
    bool paletted = false;  // source values are indices into palette
    int sw = 1, sh = 1, dw = 1, dh = 1;
    RECT area{};
    std::vector<Triangle> triangles;
    uint32_t mode = 0;
    int p = 255;
    uint32_t brightness = 0xFFFFFF;
    int trans = 0;
    uint32_t key = 0;
    bool useMask = false;
    uint32_t colour = 0;
    std::vector<uint32_t> source;   // sw x sh stored values
    std::vector<uint32_t> dest;     // dw x dh
    std::vector<uint32_t> mask;     // sw x sh bytes, read through the identity fade
    std::vector<uint32_t> palette;  // 256 entries of a paletted source
};

// A scene with random pixels biased to the turning values (about a quarter
// of the texels carry the key, or alpha 0 or 255), one random triangle and
// copy mode with white brightness; callers change what they test.
TriScene RandomTriScene(BiasedRandom& random, int sw, int sh, int dw, int dh);

// Gives the scene a source of another kind (colour type, paletted, alpha)
// with a destination of its colour type: random texels, palette and key
// biased as RandomTriScene biases them (now and then a key that matches
// nothing).
void UseSourceKind(BiasedRandom& random, TriScene& scene, uint32_t type, bool paletted, bool alpha);

// A size x size scene of RandomTriScene's pixels whose one triangle covers
// the whole destination (the area) with u = x and v = y, so that every texel
// is drawn once.
TriScene CoverScene(BiasedRandom& random, int size);

// A random brightness other than white.
uint32_t NonWhiteBrightness(BiasedRandom& random);

// Random draw settings: any mode with a kernel, a biased parameter, trans 0,
// 1 or 2, a mask or none, and half the time a brightness other than white.
void RandomSettings(BiasedRandom& random, TriScene& scene);

// A triangle with vertices around a dw x dh destination and texel positions
// around an sw x sh source.
Triangle RandomTriangle(BiasedRandom& random, int sw, int sh, int dw, int dh);

// Draws the scene's triangles in order; the destination's pixels after them.
// Fails the test when a guard band changed.
std::vector<uint32_t> DrawTriScene(const TriScene& scene);

// What the oracle says the destination holds after the same draws.
std::vector<uint32_t> ExpectTriScene(const TriScene& scene);

// Draws the scene and fails unless every pixel is the oracle's.
void CheckTriScene(const TriScene& scene);

// Destination pixels that differ, as "x,y got want" lines (at most a few).
std::string Differences(const TriScene& scene, const std::vector<uint32_t>& got,
                        const std::vector<uint32_t>& want);

}  // namespace tessel::kit
