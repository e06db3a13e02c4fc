// Y'CbCr frames to 32-bit B, G, R, 255 pixels. 4:2:0 frames go through the
// integer tables in 14-bit fixed point (16384 = 1.0, BT.601 studio range);
// other chroma layouts through single-precision arithmetic.
#pragma once

#include <cstdint>

namespace tessel {

// The tables TheoraBuildYuvTables fills. The clamp table covers -512 to 767:
// entry i + kYuvClampBias holds i clamped to 0..255.
constexpr int kYuvClampBias = 512;
constexpr int kYuvClampSize = 1280;
extern uint8_t YuvClamp[kYuvClampSize];
extern int32_t YuvRv[256];
extern int32_t YuvGu[256];
extern int32_t YuvGv[256];
extern int32_t YuvBu[256];
extern int32_t YuvY[256];

// One picture in memory: three planes with their sizes and strides.
struct YuvPlanes {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int32_t yWidth;
    int32_t yHeight;
    int32_t yStride;
    int32_t uvWidth;
    int32_t uvHeight;
    int32_t uvStride;
};

// 1 when each chroma sample covers a 2x2 block of luma.
bool IsYuv420(const YuvPlanes& planes);

// Writes width x height pixels (each side even) at `dest` with `destPitch`.
// For every pixel: R = clamp[(Y[y] + Rv[v]) / 16384],
// G = clamp[(Y[y] + Gu[u] + Gv[v]) / 16384], B = clamp[(Y[y] + Bu[u]) / 16384],
// the division truncating toward zero.
void ConvertYuv420ToBgrx(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                         int destPitch);
// The same in 128-bit lanes, eight pixels a step: the route of a processor
// without AVX2.
void ConvertYuv420ToBgrxSse2(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                             int destPitch);
// The same through the plain table loop, whatever the processor offers.
void ConvertYuv420ToBgrxPortable(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                                 int destPitch);
// Any layout, the chroma sample of a pixel at (row / 2, column / 2) scaled to
// the chroma plane's size: y' = (y - 16) * 1.164 and
// R = y' + (v - 128) * 1.596, G = y' - (u - 128) * 0.391 - (v - 128) * 0.813,
// B = y' + (u - 128) * 2.018 in single precision, truncated and clamped.
void ConvertYuvToBgrxFloat(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                           int destPitch);

}  // namespace tessel
