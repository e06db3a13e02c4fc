// Rotated blit scenes: a blit scene (source of any kind, destination, draw
// settings, mask) with a centre, an angle, a scale and the turn flag, drawn
// through MemImgRotateBlit and through the oracle; shared by the rotation
// tests.
#pragma once

#include <cstdint>
#include <vector>

#include "softrender/blit_scene.h"
#include "softrender/rotate.h"
#include "softrender/rotate_internal.h"

namespace tessel::kit {

struct RotateScene {
    BlitScene blit;  // its x and y are not used
    int32_t cx = 0, cy = 0;
    float angle = 0, scale = 1;
    int turn = 0;
};

// A random blit scene of the kind with a centre around the destination, any
// angle and a scale from a quarter to three.
RotateScene RandomRotateScene(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh);

// A 32-bit index-coded source (kit::IndexCode) in copy mode with white
// brightness, no mask, over a destination of 0x11111111 with the whole view
// as the area, centred on the destination.
RotateScene IndexCodedScene(int sw, int sh, int dw, int dh);

// Draws the scene; the destination's pixels after the draw. Fails the test
// when a guard band of the destination, source or mask changed.
std::vector<uint32_t> DrawRotateScene(const RotateScene& scene);

// The walk the set-up gives for the scene's draw, or false when it draws
// nothing (refused, or the box misses the area or the view).
bool SceneWalk(const RotateScene& scene, soft::RotateWalk* walk);

// What the oracle says the destination holds: every pixel of the walked box
// at the closed-form position u = ua + j uy + i ux (mod 2^32) through the
// pixel rules; nothing else changes.
std::vector<uint32_t> ExpectRotateScene(const RotateScene& scene);

// Destination pixels that differ, as "x,y got want" lines (at most a few).
std::string RotateDifferences(const RotateScene& scene, const std::vector<uint32_t>& got,
                              const std::vector<uint32_t>& want);

}  // namespace tessel::kit
