// The vertex arithmetic of the hardware primitives: image quads anchored half
// a pixel up-left so that texel centres fall on pixel centres, boxes on whole
// coordinates, clamping at the draw area with the texture coordinates moved
// along, and the rotation's parity, fraction and right-angle snapping.
// Routes: the quad writer (six vertices, colour in the first vertex of each
// triangle); HwDrawImageQuad and HwDrawImageStretched share
// the clamp; HwDrawImageRotated; the two box primitives; the polygon list.
// Nothing here culls a rotated image: the viewport and scissor clip it.
#include "graphics/draw/hw_primitives.h"

#include "graphics/draw/hw_batch_internal.h"

#include <cmath>
#include <cstring>

#include "foundation/base/numbers.h"
#include "foundation/math/matrix.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"

namespace tessel {

using namespace hwdraw;

namespace {

// A corner on the screen with its texture coordinates and, for the masked
// format, its blend-mask coordinates.
struct Corner {
    float x, y, u, v, mu, mv;
};

void WriteImageQuad(const Corner c[4]) {
    const int format = g_batch.format;
    if (format != kVertexTex2D && format != kVertexTex2D2) {
        return;
    }
    uint8_t* at = ReserveTriangles(6, true);
    const float z = g_drawSettings.drawDepth;
    const uint32_t colour = g_drawSettings.combinedDrawColor;
    for (int i = 0; i < 6; ++i) {
        const Corner& k = c[kQuadOrder[i]];
        if (format == kVertexTex2D) {
            VertexTex2D* v = reinterpret_cast<VertexTex2D*>(at) + i;
            v->x = k.x, v->y = k.y, v->z = z, v->u = k.u, v->v = k.v;
            if (i == 0 || i == 3) {
                v->color = colour;
            }
        } else {
            VertexTex2D2* v = reinterpret_cast<VertexTex2D2*>(at) + i;
            v->x = k.x, v->y = k.y, v->z = z;
            v->u1 = k.mu, v->v1 = k.mv, v->u2 = k.u, v->v2 = k.v;
            if (i == 0 || i == 3) {
                v->color = colour;
            }
        }
    }
}

void OpenImageDraw(const ImageRecord* image, uint32_t flags) {
    EnsureSceneBegun();
    const ImageSourceRecord* source = image->source;
    IDirect3DTexture9* first = source->tileCount != 0 ? source->tiles[0].texture : nullptr;
    ApplyDrawSettings(&source->request, first, flags);
}

// The corners of one tile placed at anchor + (sx X, sy Y).
void PlaceTile(const TileDrawEntry& e, float ax, float ay, float sx, float sy, Corner out[4]) {
    for (int k = 0; k < 4; ++k) {
        const float* p = e.corners[k];
        out[k] = {ax + sx * p[0],
                  ay + sy * p[1],
                  p[2],
                  p[3],
                  p[0] * g_drawSettings.maskWidthInv,
                  p[1] * g_drawSettings.maskHeightInv};
    }
}

// Clamps a corner to [lo, hi] on one axis, moving its texture coordinate by
// the cut distance times `step` and its mask coordinate by the distance times
// `maskStep`.
void ClampAxis(float* pos, float* tex, float* mask, float lo, float hi, float step,
               float maskStep) {
    if (*pos < lo) {
        const float cut = lo - *pos;
        *tex += cut * step;
        *mask += cut * maskStep;
        *pos = lo;
    } else if (*pos > hi) {
        const float cut = *pos - hi;
        *tex -= cut * step;
        *mask -= cut * maskStep;
        *pos = hi;
    }
}

void ClampTile(Corner c[4], const TileDrawEntry& e, float shift, float sx, float sy) {
    const float* area = g_drawSettings.drawAreaF;
    const float stepU = 1.0f / (static_cast<float>(e.tile->textureWidth) * sx);
    const float stepV = 1.0f / (static_cast<float>(e.tile->textureHeight) * sy);
    for (int k = 0; k < 4; ++k) {
        ClampAxis(&c[k].x, &c[k].u, &c[k].mu, area[0] + shift, area[2] + shift, stepU,
                  g_drawSettings.maskWidthInv);
        ClampAxis(&c[k].y, &c[k].v, &c[k].mv, area[1] + shift, area[3] + shift, stepV,
                  g_drawSettings.maskHeightInv);
    }
}

enum class AreaFit { Inside, Outside, Partly };

AreaFit FitInDrawArea(int left, int top, int right, int bottom) {
    const RECT& a = g_drawSettings.drawArea;
    if (left >= a.left && top >= a.top && right <= a.right && bottom <= a.bottom) {
        return AreaFit::Inside;
    }
    if (right <= a.left || bottom <= a.top || top >= a.bottom || left >= a.right) {
        return AreaFit::Outside;
    }
    return AreaFit::Partly;
}

// Draws every tile at anchor + (sx X, sy Y), clamped when `clampShift` is set.
void AppendTiles(const ImageRecord* image, float ax, float ay, float sx, float sy, bool clamp,
                 float clampShift) {
    for (int t = 0; t < image->tileEntryCount; ++t) {
        const TileDrawEntry& e = image->tileEntries[t];
        SelectTileTexture(e.tile->texture);
        Corner c[4];
        PlaceTile(e, ax, ay, sx, sy, c);
        if (clamp) {
            ClampTile(c, e, clampShift, sx, sy);
        }
        WriteImageQuad(c);
    }
}

uint32_t BoxVertexColour(uint32_t colour) {
    int r = 0, g = 0, b = 0;
    ScreenPixelToColor(colour, &r, &g, &b);
    const uint32_t k = g_drawSettings.combinedDrawColor;
    const uint32_t kr = (k >> 16) & 0xFF, kg = (k >> 8) & 0xFF, kb = k & 0xFF;
    return (k & 0xFF000000u) | ((kr * static_cast<uint32_t>(r) / 255) << 16) |
           ((kg * static_cast<uint32_t>(g) / 255) << 8) | (kb * static_cast<uint32_t>(b) / 255);
}

void OpenBoxDraw() {
    EnsureSceneBegun();
    SetDrawTexture(nullptr);
    ApplyDrawSettings(nullptr, nullptr, kDrawModulateColor);
    SetupStateIfDirty();
}

// One whole-coordinate band x1..x2 by y1..y2; `everyVertex` writes the colour
// into all six vertices instead of the first of each triangle.
void WriteBand(VertexColor2D* v, float x1, float y1, float x2, float y2, uint32_t colour,
               bool everyVertex) {
    const float xs[4] = {x1, x2, x1, x2};
    const float ys[4] = {y1, y1, y2, y2};
    for (int i = 0; i < 6; ++i) {
        v[i].x = xs[kQuadOrder[i]];
        v[i].y = ys[kQuadOrder[i]];
        v[i].z = g_drawSettings.drawDepth;
        if (everyVertex || i == 0 || i == 3) {
            v[i].color = colour;
        }
    }
}

// The rotation's right-angle windows, 4 degrees either side of k pi / 2.
constexpr double kRightAngleSlack = 0.06981317007977318;
constexpr double kRightAngleWindows[4][2] = {
    {1.5009831567151235, 1.6406094968746698},
    {3.07177948351002, 3.2114058236695664},
    {4.642575810304916, 4.782202150464463},
    {6.213372137099813, 6.3529984772593595},
};

bool NearRightAngle(double angle) {
    if (angle < -kRightAngleSlack || (angle > -kRightAngleSlack && angle < kRightAngleSlack) ||
        angle > 6.283185307179586 + kRightAngleSlack) {
        return true;
    }
    for (const auto& w : kRightAngleWindows) {
        if (angle > w[0] && angle < w[1]) {
            return true;
        }
    }
    return false;
}

bool OnWholePixel(float value) {
    const float f = std::fabs(value - static_cast<float>(TruncFloatToInt(value)));
    return f < 0.001f || f > 0.999f;
}

// Moves a turned tile's edges from whole onto half coordinates.
void SnapTile(VertexTex2D* v, bool snapX, bool snapY) {
    const VertexTex2D& e = v[0];
    const VertexTex2D& f = v[1];
    const VertexTex2D& g = v[2];
    const bool moveX = snapX && (std::fabs(e.x - g.x) < 0.01f || std::fabs(e.x - f.x) < 0.01f) &&
                       OnWholePixel(e.x);
    const bool moveY = snapY && (std::fabs(e.y - g.y) < 0.01f || std::fabs(e.y - f.y) < 0.01f) &&
                       OnWholePixel(e.y);
    for (int i = 0; i < 6; ++i) {
        if (moveX) {
            v[i].x -= 0.5f;
        }
        if (moveY) {
            v[i].y -= 0.5f;
        }
    }
}

}  // namespace

int HwDrawImageQuad(const ImageRecord* image, int x, int y, float xf, float yf, int trans,
                    int integerFlag) {
    if (!DeviceUsable()) {
        return -1;
    }
    OpenImageDraw(image, static_cast<uint32_t>(trans) | (integerFlag != 0 ? 2u : 0u));
    const AreaFit fit = FitInDrawArea(x, y, x + image->width, y + image->height);
    if (fit == AreaFit::Outside) {
        return 0;
    }
    AppendTiles(image, xf - 0.5f, yf - 0.5f, 1.0f, 1.0f, fit == AreaFit::Partly, 0.0f);
    return 0;
}

int HwDrawImageStretched(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                         const ImageRecord* image, int trans, int integerFlag) {
    if (!DeviceUsable()) {
        return -1;
    }
    if (x1 == x2 || y1 == y2) {
        return -1;
    }
    const bool whole = integerFlag != 0 && g_drawSettings.filterMode != 1;
    OpenImageDraw(image, static_cast<uint32_t>(trans) | (whole ? 2u : 0u));
    const float sx = (x2f - x1f) / static_cast<float>(image->width);
    const float sy = (y2f - y1f) / static_cast<float>(image->height);
    const AreaFit fit =
        FitInDrawArea(x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1);
    if (fit == AreaFit::Outside) {
        return 0;
    }
    AppendTiles(image, x1f - 0.5f, y1f - 0.5f, sx, sy, fit == AreaFit::Partly, -0.5f);
    return 0;
}

int HwDrawImageRotated(const ImageRecord* image, float x, float y, double scale, double angle,
                       uint32_t flags, int mirror) {
    if (!DeviceUsable() || scale == 0.0) {
        return -1;
    }
    OpenImageDraw(image, flags);
    float s = 0.0f, c = 1.0f;
    const bool turned = angle != 0.0;
    if (turned) {
        SinCos(static_cast<float>(angle), &s, &c);
    }
    const int w = image->width, h = image->height;
    const int pw = w % 2, ph = h % 2;
    const float fx = std::fabs(x - static_cast<float>(TruncFloatToInt(x)));
    const float fy = std::fabs(y - static_cast<float>(TruncFloatToInt(y)));
    const bool fractional = fx >= 0.00001f || fy >= 0.00001f;
    float ox = static_cast<float>(w) * 0.5f, oy = static_cast<float>(h) * 0.5f;
    float px = x, py = y;
    if (!fractional) {
        if (scale != 1.0) {
            px = x - 0.5f, py = y - 0.5f;
        } else if (pw == 0 && ph == 0) {
            ox = static_cast<float>(w / 2), oy = static_cast<float>(h / 2);
            px = x - 0.5f, py = y - 0.5f;
        } else if (pw != ph) {
            ox -= pw == 0 ? 0.5f : 0.0f;
            oy -= ph == 0 ? 0.5f : 0.0f;
        }
    }
    const bool rightAngle = !fractional && turned && (pw == 1 || ph == 1) && NearRightAngle(angle);
    const bool snapX = fractional || (rightAngle && pw != 0);
    const bool snapY = fractional || (rightAngle && ph != 0);
    const float sx = mirror == 1 ? -static_cast<float>(scale) : static_cast<float>(scale);
    const float sy = static_cast<float>(scale);
    for (int t = 0; t < image->tileEntryCount; ++t) {
        const TileDrawEntry& e = image->tileEntries[t];
        SelectTileTexture(e.tile->texture);
        Corner k[4];
        for (int i = 0; i < 4; ++i) {
            const float* p = e.corners[i];
            const float qx = sx * (p[0] - ox), qy = sy * (p[1] - oy);
            k[i].x = turned ? px + c * qx - s * qy : px + qx;
            k[i].y = turned ? py + s * qx + c * qy : py + qy;
            k[i].u = p[2], k[i].v = p[3];
            k[i].mu = p[0] * g_drawSettings.maskWidthInv;
            k[i].mv = p[1] * g_drawSettings.maskHeightInv;
        }
        const int format = g_batch.format;
        WriteImageQuad(k);
        if (turned && format == kVertexTex2D && (snapX || snapY)) {
            SnapTile(reinterpret_cast<VertexTex2D*>(g_batch.writePointer) - 6, snapX, snapY);
        }
    }
    return 0;
}

int HwFillBox(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!DeviceUsable()) {
        return -1;
    }
    RECT r = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    ClipRectInPlace(&r, &g_drawSettings.drawArea);
    if (r.right <= r.left || r.bottom <= r.top) {
        return 0;
    }
    OpenBoxDraw();
    if (g_batch.format != kVertexColor2D) {
        return 0;
    }
    auto* v = reinterpret_cast<VertexColor2D*>(ReserveTriangles(6, true));
    WriteBand(v, static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
              static_cast<float>(r.bottom), BoxVertexColour(colour), false);
    return 0;
}

int HwDrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!DeviceUsable()) {
        return -1;
    }
    OpenBoxDraw();
    if (g_batch.format != kVertexColor2D) {
        return 0;
    }
    const float l = static_cast<float>(x1 < x2 ? x1 : x2),
                r = static_cast<float>(x1 < x2 ? x2 : x1);
    const float t = static_cast<float>(y1 < y2 ? y1 : y2),
                b = static_cast<float>(y1 < y2 ? y2 : y1);
    const uint32_t c = BoxVertexColour(colour);
    auto* v = reinterpret_cast<VertexColor2D*>(ReserveTriangles(24, false));
    WriteBand(v, l, t, r, t + 1, c, true);
    WriteBand(v + 6, r - 1, t + 1, r, b, c, true);
    WriteBand(v + 12, l, t + 1, l + 1, b, c, true);
    WriteBand(v + 18, l + 1, b - 1, r - 1, b, c, true);
    return 0;
}

int HwDrawPolygonList(const VertexTex2D* vertices, int count, int kind, uint32_t flags,
                      const ImageRecord* image) {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    FlushVertexBatch();
    EnsureSceneBegun();
    if (g_stateCache.maskTexture != nullptr || g_stateCache.force != 0) {
        FlushVertexBatch();
        g_stateCache.maskTexture = nullptr;
        g_stateCache.programDirty = 1;
    }
    const TextureFormatRequest* request = nullptr;
    IDirect3DTexture9* texture = nullptr;
    if (image != nullptr && image->source->tileCount != 0) {
        texture = image->source->tiles[0].texture;
        request = &image->source->request;
        SetDrawTexture(texture);
    }
    ApplyDrawSettings(request, texture, flags | 0x1078u);
    SetupStateIfDirty();
    SetCachedFvf(kVertexFvf[kVertexTex2D]);
    g_graphics.device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(kind),
                                       PrimitiveCountFor(kind, count), vertices, 28);
    return 0;
}

}  // namespace tessel
