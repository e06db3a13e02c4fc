// The vertex batch of the hardware path: every 2D draw appends its vertices
// to one client-memory array, sent with a single user-pointer draw only when
// it must be (before a state change, a target change or presentation, or
// when the batch is full). It holds one vertex format and one primitive kind
// at a time. Also the lighting switch and the two shader selectors that the
// model drawing reads, recomputed whenever lighting or fog changes.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

namespace tessel {

enum VertexFormat : int {
    kVertexColor2D = 0,
    kVertexTex2D = 1,
    kVertexTex2D2 = 2,
    kVertexTex3D = 3,
    kVertexFormatCount = 4,
};

struct VertexColor2D {
    float x, y, z, rhw;
    uint32_t color;
};
struct VertexTex2D {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
struct VertexTex2D2 {
    float x, y, z, rhw;
    uint32_t color;
    uint32_t specular;
    float u1, v1, u2, v2;
};
struct VertexTex3D {
    float x, y, z;
    uint32_t color;
    float u, v;
};

constexpr int kBatchBufferBytes = 65536;
constexpr DWORD kVertexFvf[kVertexFormatCount] = {0x44, 0x144, 0x2C4, 0x142};
constexpr int kVertexStride[kVertexFormatCount] = {20, 28, 40, 24};
// The colour format stops short of what fits (3276).
constexpr int kVertexLimit[kVertexFormatCount] = {3225, 2340, 1638, 2730};

struct VertexBatch {
    uint8_t* buffers[kVertexFormatCount];
    int32_t format;
    int32_t primitiveKind;  // a D3DPRIMITIVETYPE, 1..6
    int32_t count;
    uint8_t* writePointer;
    // 1: the next flush drops the pending vertices undrawn (the blend mask
    // hides everything). A flush does not clear it.
    int32_t skip;
};

extern VertexBatch g_batch;
extern int32_t VertexShaderSelector;
extern int32_t PixelShaderSelector;

// Whole primitives of a kind in that many vertices; 0 when there are too few.
UINT PrimitiveCountFor(int kind, int vertices);
// Sends the FVF when it differs from the cached one.
void SetCachedFvf(DWORD fvf);

// Zeroes the four arrays, prefills z 0 and rhw 1 in formats 0 to 2 and a
// white specular in format 2, and empties the batch in format 1.
void SetupVertexBatch();
// Draws and empties the batch; -1 without a device (the batch kept), else 0,
// also when the vertices were dropped (quit requested, or the skip flag).
int FlushVertexBatch();
// The same, 0 whatever happened.
int FlushVertexBatchPublic();
// Drops what is pending.
void EmptyVertexBatch();
// Switches the batch's format, drawing what is pending first. -1 for a
// format outside 0..3.
int SelectVertexFormat(int format);
// The appending contract: rebuilds the draw state when the cache says it
// changed, flushes when the primitive kind changes or the vertices would not
// fit, then reserves `count` vertices of `kind` in the current format and
// returns where they go. Null without a device, for a kind outside 1..6, or
// for a count of 0 or more than the format ever holds.
uint8_t* ReserveBatchVertices(int kind, int count);

// Recomputes both selectors from the cached lighting, lights and fog; does
// nothing while the shader path is off.
void UpdateShaderSelectors();

// Draws a grid of columns x rows VertexTex2D vertices (row by row) as
// triangle strips, one strip per pair of rows, joined by repeated indices and
// drawn in lists of at most 1000 indices. -1 for fewer than 2 columns or rows,
// a row too long for one list, or more vertices than 16-bit indices reach.
int DrawGridStrips(int columns, const VertexTex2D* vertices, int rows);

}  // namespace tessel
