// The warp grid's points and its strips. The texture coordinates place the
// play field on the floor screen (512 wide, the field 64 pixels in and 16
// up), so an unswung point shows the floor where it lies.
#include "game/draw/warp_grid.h"

#include <cmath>

#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/math/angles.h"

int32_t WarpGridPhase = 0;

namespace {

constexpr int32_t kGridReach = 160;  // from the centre to the grid's edge
constexpr int32_t kPhaseStep = 9;
constexpr int32_t kWaveStep = 24;        // degrees of the wave from one column to the next
constexpr double kTexel = 0.001953125;   // 1 / 512
constexpr double kCellTexels = 0.03125;  // 16 / 512
constexpr int32_t kFieldOffsetX = 64;
constexpr int32_t kFieldOffsetY = -16;
constexpr int32_t kTriangleStrip = 5;
constexpr int32_t kStripVertices = kWarpGridPoints * 2;

// round(value) held to a byte; NaN gives 0.
uint8_t RoundToByte(double value) {
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 255.0) {
        return 255;
    }
    return static_cast<uint8_t>(std::round(value));
}

tessel::PolygonVertex GridPoint(int32_t cx, int32_t cy, double strength, double amplitude,
                                int32_t i, int32_t j) {
    const int32_t p = kWarpGridSpacing * i - kGridReach;
    const int32_t q = kWarpGridSpacing * j - kGridReach;
    double weight = 1.0 - std::sqrt(static_cast<double>(p * p + q * q)) / kGridReach;
    if (weight < 0.0) {
        weight = 0.0;
    }
    weight *= strength;
    const double swing = PolarY(amplitude, kWaveStep * i + WarpGridPhase) * weight;
    // In doubles, which hold every sum of these integers exactly and never overflow.
    const double left = static_cast<double>(cx) - kGridReach;
    const double top = static_cast<double>(cy) - kGridReach;
    tessel::PolygonVertex vertex{};
    vertex.x = static_cast<float>(left + kWarpGridSpacing * i + swing);
    vertex.y = static_cast<float>(top + kWarpGridSpacing * j + swing);
    vertex.u = static_cast<float>((left - kFieldOffsetX) * kTexel + i * kCellTexels);
    vertex.v = static_cast<float>((top - kFieldOffsetY) * kTexel + j * kCellTexels);
    vertex.a = 255;
    vertex.r = 255;
    vertex.b = 255;
    vertex.g = RoundToByte((1.0 - weight) * 255.0);
    return vertex;
}

}  // namespace

void DrawWarpGrid(int32_t cx, int32_t cy, double strength, double amplitude) {
    if (strength == 0.0) {
        return;
    }
    WarpGridPhase += kPhaseStep;
    if (WarpGridPhase > 360) {
        WarpGridPhase %= 360;
    }
    tessel::PolygonVertex points[kWarpGridPoints][kWarpGridPoints];
    for (int32_t i = 0; i < kWarpGridPoints; ++i) {
        for (int32_t j = 0; j < kWarpGridPoints; ++j) {
            points[i][j] = GridPoint(cx, cy, strength, amplitude, i, j);
        }
    }
    // Each strip zigzags down between two neighbouring columns.
    tessel::PolygonVertex strip[kStripVertices];
    for (int32_t i = 0; i + 1 < kWarpGridPoints; ++i) {
        for (int32_t j = 0; j < kWarpGridPoints; ++j) {
            strip[2 * j] = points[i][j];
            strip[2 * j + 1] = points[i + 1][j];
        }
        DrawCalls().drawPolygonList(strip, kStripVertices, kTriangleStrip, FloorScreen, 1, 0);
    }
}
