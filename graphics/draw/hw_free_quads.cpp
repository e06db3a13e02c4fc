// Images on four free corners on the hardware path. A nearly parallel quad is
// two triangles; anything else is a grid of 7 x 7 cells, so that the texture
// bends with the quad instead of folding along one diagonal. While a blend
// mask is set the corners are whole and each tile is drawn through one of two
// affine maps, picked by which side of the image's diagonal the corner lies.
#include <cmath>
#include <cstring>
#include <utility>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/hw_batch_internal.h"
#include "graphics/draw/hw_primitives.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"

namespace tessel {

using namespace hwdraw;

namespace {

// The grid's vertices live here between the fill and the draw.
VertexTex2D g_grid[64];

QuadPoint Lerp(QuadPoint a, QuadPoint b, float t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

bool NearlyParallelogram(const QuadPoint* c) {
    const float dx1 = (c[1].x - c[0].x) - (c[3].x - c[2].x);
    const float dy1 = (c[1].y - c[0].y) - (c[3].y - c[2].y);
    const float dx2 = (c[2].x - c[0].x) - (c[3].x - c[1].x);
    const float dy2 = (c[2].y - c[0].y) - (c[3].y - c[1].y);
    return std::fabs(dx1) < 1.0f && std::fabs(dy1) < 1.0f && std::fabs(dx2) < 1.0f &&
           std::fabs(dy2) < 1.0f;
}

// The two windings of a quad TL, TR, BL, BR, as the primitives test them.
float UpperWinding(float ex, float ey, float fx, float fy, float gx, float gy) {
    return (fx - ex) * (gy - ey) - (fy - ey) * (gx - ex);
}

void AppendParallelogram(const QuadPoint* c, const TileDrawEntry& e) {
    if (g_batch.format != kVertexTex2D) {
        return;
    }
    const float d1 = UpperWinding(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y);
    const float d2 = UpperWinding(c[3].x, c[3].y, c[2].x, c[2].y, c[1].x, c[1].y);
    int order[6] = {0, 1, 2, 3, 2, 1};
    if (d1 <= 0.0f && d2 <= 0.0f) {
        std::swap(order[1], order[2]);
        std::swap(order[4], order[5]);
    }
    auto* v = reinterpret_cast<VertexTex2D*>(ReserveTriangles(6, true));
    for (int i = 0; i < 6; ++i) {
        const int k = order[i];
        v[i].x = c[k].x, v[i].y = c[k].y, v[i].z = g_drawSettings.drawDepth;
        v[i].u = e.corners[k][2], v[i].v = e.corners[k][3];
        if (i == 0 || i == 3) {
            v[i].color = g_drawSettings.combinedDrawColor;
        }
    }
}

void DrawGrid(const QuadPoint* c, const TileDrawEntry& e) {
    const float uL = e.corners[0][2], vT = e.corners[0][3];
    const float uR = e.corners[3][2], vB = e.corners[3][3];
    const float width = e.corners[3][0] - e.corners[0][0];
    const float height = e.corners[3][1] - e.corners[0][1];
    const float insetU = 0.001f * (uR - uL) / width, insetV = 0.001f * (vB - vT) / height;
    const float iL = uL < 0.000001f ? 0.0f : insetU, iR = uR > 0.99999f ? 0.0f : insetU;
    const float iT = vT < 0.000001f ? 0.0f : insetV, iB = vB > 0.99999f ? 0.0f : insetV;
    const float u0 = uL + iL, u1 = uR - iR, v0 = vT + iT, v1 = vB - iB;
    for (int i = 0; i < 8; ++i) {
        const float fi = static_cast<float>(i) / 7.0f;
        const QuadPoint left = Lerp(c[0], c[2], fi), right = Lerp(c[1], c[3], fi);
        for (int j = 0; j < 8; ++j) {
            const float fj = static_cast<float>(j) / 7.0f;
            const QuadPoint p = Lerp(left, right, fj);
            g_grid[i * 8 + j] = VertexTex2D{p.x,
                                            p.y,
                                            g_drawSettings.drawDepth,
                                            1.0f,
                                            g_drawSettings.combinedDrawColor,
                                            u0 + (u1 - u0) * fj,
                                            v0 + (v1 - v0) * fi};
        }
    }
    FlushVertexBatch();
    DrawGridStrips(8, g_grid, 8);
}

// One vertex of the masked strip: the screen point, the mask set from the
// image pixel and the tile's texture set.
void FillStripVertex(uint8_t* at, int format, QuadPoint p, const float* corner) {
    if (format == kVertexTex2D2) {
        VertexTex2D2 v = {p.x,
                          p.y,
                          g_drawSettings.drawDepth,
                          1.0f,
                          g_drawSettings.combinedDrawColor,
                          0xFFFFFFFFu,
                          corner[0] * g_drawSettings.maskWidthInv,
                          corner[1] * g_drawSettings.maskHeightInv,
                          corner[2],
                          corner[3]};
        std::memcpy(at, &v, sizeof v);
    } else {
        VertexTex2D v = {
            p.x,       p.y,      g_drawSettings.drawDepth, 1.0f, g_drawSettings.combinedDrawColor,
            corner[2], corner[3]};
        std::memcpy(at, &v, sizeof v);
    }
}

}  // namespace

void HwDrawImageFreeQuad(const QuadPoint corners[4], const TileDrawEntry& tile) {
    SelectTileTexture(tile.tile->texture);
    if (NearlyParallelogram(corners)) {
        AppendParallelogram(corners, tile);
    } else {
        DrawGrid(corners, tile);
    }
}

int HwDrawImageFreeQuadAligned(const int c[8], const ImageRecord* image, int trans) {
    if (c[0] == c[4] && c[2] == c[6] && c[1] == c[3] && c[5] == c[7]) {
        return HwDrawImageStretched(c[0], c[1], c[6], c[7], float(c[0]), float(c[1]), float(c[6]),
                                    float(c[7]), image, trans, 1);
    }
    if (!DeviceUsable()) {
        return -1;
    }
    FlushVertexBatch();
    EnsureSceneBegun();
    const ImageSourceRecord* source = image->source;
    ApplyDrawSettings(&source->request, source->tileCount != 0 ? source->tiles[0].texture : nullptr,
                      static_cast<uint32_t>(trans) | 2u);
    const int format = g_batch.format == kVertexTex2D2 ? kVertexTex2D2 : kVertexTex2D;
    SetCachedFvf(kVertexFvf[format]);
    QuadPoint p[4];
    for (int k = 0; k < 4; ++k) {
        p[k] = {float(c[2 * k]) - 0.5f, float(c[2 * k + 1]) - 0.5f};
    }
    const float w = float(image->width), h = float(image->height);
    for (int t = 0; t < image->tileEntryCount; ++t) {
        const TileDrawEntry& e = image->tileEntries[t];
        if (g_stateCache.drawTexture != e.tile->texture) {
            SetDrawTexture(e.tile->texture);
            SetupDrawTextureState(1, nullptr, 0);
        }
        uint8_t strip[4][40];
        QuadPoint q[4];
        for (int k = 0; k < 4; ++k) {
            const float X = e.corners[k][0], Y = e.corners[k][1];
            if (e.upperCorner[k] == 1) {
                q[k] = {p[0].x + X * (p[1].x - p[0].x) / w + Y * (p[2].x - p[0].x) / h,
                        p[0].y + X * (p[1].y - p[0].y) / w + Y * (p[2].y - p[0].y) / h};
            } else {
                q[k] = {p[3].x + (X - w) * (p[3].x - p[2].x) / w + (Y - h) * (p[3].x - p[1].x) / h,
                        p[3].y + (X - w) * (p[3].y - p[2].y) / w + (Y - h) * (p[3].y - p[1].y) / h};
            }
        }
        const float d1 = UpperWinding(q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y);
        const float d2 = UpperWinding(q[3].x, q[3].y, q[2].x, q[2].y, q[1].x, q[1].y);
        int order[4] = {0, 1, 2, 3};
        if (d1 < 0.0f || (d1 == 0.0f && d2 <= 0.0f)) {
            std::swap(order[1], order[2]);
        }
        const int stride = kVertexStride[format];
        for (int i = 0; i < 4; ++i) {
            FillStripVertex(strip[0] + i * stride, format, q[order[i]], e.corners[order[i]]);
        }
        g_graphics.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, UINT(stride));
    }
    return 0;
}

int DrawImageQuadCore(const QuadPoint corners[4], const ImageRecord* image, int trans) {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    if (g_drawSettings.blendMaskImage != -1) {
        int whole[8];
        for (int k = 0; k < 4; ++k) {
            whole[2 * k] = static_cast<int>(corners[k].x);
            whole[2 * k + 1] = static_cast<int>(corners[k].y);
        }
        return HwDrawImageFreeQuadAligned(whole, image, trans);
    }
    EnsureSceneBegun();
    const ImageSourceRecord* source = image->source;
    ApplyDrawSettings(&source->request, source->tileCount != 0 ? source->tiles[0].texture : nullptr,
                      static_cast<uint32_t>(trans));
    if (image->tileEntryCount == 1) {
        HwDrawImageFreeQuad(corners, image->tileEntries[0]);
        return 0;
    }
    const float w = float(image->width), h = float(image->height);
    for (int t = 0; t < image->tileEntryCount; ++t) {
        const TileDrawEntry& e = image->tileEntries[t];
        QuadPoint placed[4];
        for (int k = 0; k < 4; ++k) {
            const float v = e.corners[k][1] / h, u = e.corners[k][0] / w;
            const QuadPoint left = Lerp(corners[0], corners[2], v);
            const QuadPoint right = Lerp(corners[1], corners[3], v);
            placed[k] = Lerp(left, right, u);
        }
        HwDrawImageFreeQuad(placed, e);
    }
    return 0;
}

}  // namespace tessel
