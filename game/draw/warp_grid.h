// The warp grid: the floor screen drawn through a 21 x 21 grid of points
// around (cx, cy) that swing by a travelling wave, strongest at the centre
// and still beyond 160 pixels, giving a rippling lens over the play field.
#pragma once

#include <cstdint>

constexpr int32_t kWarpGridPoints = 21;
constexpr int32_t kWarpGridSpacing = 16;
// The wave's phase in degrees; it moves on by 9 each draw and lives across frames.
extern int32_t WarpGridPhase;

// Draws nothing when `strength` is 0.
void DrawWarpGrid(int32_t cx, int32_t cy, double strength, double amplitude);
