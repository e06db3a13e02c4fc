// The public 2D drawing calls and their dispatch. Every image call runs the
// same steps (empty area, handle, blend mask, inactive wait, rectangle, movie,
// mask screen, subtract passes) around one draw; DrawImage runs them and the
// calls differ only in the draw they hand it and the steps they skip.
// Routes: DrawImage (the common steps), the image calls, the forwarding calls
// (mirrored, part, pivot, box shape), the boxes. Polygon lists and free
// quads are not here.
#include "graphics/draw/draw_calls.h"

#include <algorithm>
#include <cmath>

#include "foundation/base/numbers.h"
#include "foundation/math/matrix.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/device_state.h"
#include "movie/playback/movie_calls.h"
#include "graphics/draw/hw_primitives.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/mask/mask_screen.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/soft_box_outline.h"
#include "graphics/targets/draw_targets.h"
#include "softrender/blend_fill.h"
#include "softrender/blit.h"
#include "softrender/rotate.h"
#include "softrender/stretch.h"
#include "softrender/triangle.h"

namespace tessel {

namespace {

RECT Ordered(int x1, int y1, int x2, int y2) {
    return RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

bool SubtractPassesNeeded(bool toDevice) {
    return toDevice && g_drawSettings.blendMode == 3 && g_graphics.blendOpSupported == 0;
}

bool RectNeeded(bool toDevice) {
    return (toDevice && g_drawSettings.blendMode == 3) || g_drawSettings.maskEnabled != 0 ||
           g_drawSettings.drawTarget == kFrontScreen;
}

// Runs the mask screen and subtract passes around one draw. The draws are
// templates, not std::function: their captures outgrow its inline buffer, and
// a heap allocation per draw shows in frames of hundreds of small sprites.
// `rectOf()` gives the rectangle the passes cover; it is worked out only where
// something reads it: the subtract passes, and the mask hooks once a mask
// screen exists (without one they leave everything as it is).
template <class RectOf, class Draw>
int Around(bool toDevice, bool rectNeeded, const RectOf& rectOf, const Draw& draw) {
    const bool hooks = g_drawSettings.maskEnabled != 0 && rectNeeded;
    const bool subtract = SubtractPassesNeeded(toDevice);
    RECT rect = {};
    if (subtract || (hooks && g_maskScreen.active != 0)) {
        rect = rectOf();
    }
    if (hooks) {
        MaskBeforeDraw(&rect);
    }
    int result = 0;
    if (subtract) {
        SubtractBlendPrePass(&rect);
        result = draw();
        SubtractBlendPostPass(&rect);
    } else {
        result = draw();
    }
    if (hooks) {
        MaskAfterDraw(&rect);
    }
    return result;
}

// The lean form's check: the kind and a record in the slot, not the check
// number, which only a stale handle gets wrong.
const ImageRecord* ImageInSlot(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kImageHandleKind) {
        return nullptr;
    }
    const int slot = handle & 0xFFFF;
    return slot < kImageSlots ? g_images.slots[slot] : nullptr;
}

// The common steps of an image draw; `checked` false skips the handle, blend
// mask, inactive wait and movie steps. `rectOf(record)` gives the RECT the
// mask and subtract passes cover, `draw(record, toDevice)` draws.
template <class RectOf, class DrawOf>
int DrawImage(int handle, bool checked, bool alwaysRect, const RectOf& rectOf, const DrawOf& draw) {
    if (g_drawSettings.drawAreaEmpty != 0) {
        return 0;
    }
    const ImageRecord* image = nullptr;
    if (checked) {
        image = GetImageRecord(handle);
        if (image == nullptr) {
            return -1;
        }
        if (g_drawSettings.blendMaskImage != -1 && CheckBlendMaskSize(image) != 0) {
            return -1;
        }
        WaitWhileInactive();
    } else {
        image = ImageInSlot(handle);
        if (image == nullptr) {
            return -1;
        }
    }
    const bool toDevice = IsTextureSource(image->source);
    const bool rectNeeded = alwaysRect || RectNeeded(toDevice);
    if (checked && image->movieHandle != -1) {
        MovieAdvanceFrame(image->movieHandle, 0);
    }
    return Around(
        toDevice, rectNeeded, [&] { return rectOf(*image); },
        [&] { return draw(*image, toDevice); });
}

MEMIMG* SoftTarget() {
    return CurrentSoftTarget();
}

int SoftBlit(const ImageRecord& image, int x, int y, int trans) {
    if (SoftTarget() != nullptr) {
        MemImgBlit(CurrentSoftDrawState(), SoftTarget(), &image.view, x, y, trans, SoftBlendMask());
    }
    return 0;
}

int DrawAtPoint(int x, int y, float xf, float yf, int handle, int trans, int integerFlag) {
    return DrawImage(
        handle, true, false,
        [&](const ImageRecord& r) {
            return RECT{x, y, x + r.width, y + r.height};
        },
        [&](const ImageRecord& r, bool toDevice) {
            return toDevice ? HwDrawImageQuad(&r, x, y, xf, yf, trans, integerFlag)
                            : SoftBlit(r, x, y, trans);
        });
}

int DrawStretched(int x1, int y1, int x2, int y2, float x1f, float y1f, float x2f, float y2f,
                  int handle, int trans, int integerFlag, bool alwaysRect) {
    return DrawImage(
        handle, true, alwaysRect, [&](const ImageRecord&) { return Ordered(x1, y1, x2, y2); },
        [&](const ImageRecord& r, bool toDevice) {
            if (toDevice) {
                return HwDrawImageStretched(x1, y1, x2, y2, x1f, y1f, x2f, y2f, &r, trans,
                                            integerFlag);
            }
            if (SoftTarget() != nullptr) {
                const RECT to = {x1, y1, x2, y2};
                MemImgStretchBlit(CurrentSoftDrawState(), SoftTarget(), &r.view, &to, trans,
                                  SoftBlendMask());
            }
            return 0;
        });
}

// The bounding box of the turned and scaled image about the truncated centre.
RECT RotatedBounds(const ImageRecord& r, float x, float y, double scale, double angle) {
    const int w = r.width, h = r.height, hw = w / 2, hh = h / 2;
    const double cx = TruncFloatToInt(x), cy = TruncFloatToInt(y);
    const double s = std::sin(angle), c = std::cos(angle);
    const double xs[4] = {double(-hw), double(w - hw), double(-hw), double(w - hw)};
    const double ys[4] = {double(-hh), double(-hh), double(h - hh), double(h - hh)};
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (int i = 0; i < 4; ++i) {
        const double px = (xs[i] * c - ys[i] * s) * scale + cx;
        const double py = (xs[i] * s + ys[i] * c) * scale + cy;
        minX = std::min(minX, px), maxX = std::max(maxX, px);
        minY = std::min(minY, py), maxY = std::max(maxY, py);
    }
    return RECT{static_cast<int32_t>(minX), static_cast<int32_t>(minY), static_cast<int32_t>(maxX),
                static_cast<int32_t>(maxY)};
}

int DrawRotated(float x, float y, double scale, double angle, int handle, int trans, int mirror,
                bool checked) {
    return DrawImage(
        handle, checked, false,
        [&](const ImageRecord& r) { return RotatedBounds(r, x, y, scale, angle); },
        [&](const ImageRecord& r, bool toDevice) {
            if (toDevice) {
                return HwDrawImageRotated(&r, x, y, scale, angle, static_cast<uint32_t>(trans),
                                          mirror);
            }
            if (SoftTarget() != nullptr) {
                MemImgRotateBlit(CurrentSoftDrawState(), SoftTarget(), &r.view, TruncFloatToInt(x),
                                 TruncFloatToInt(y), static_cast<float>(angle),
                                 static_cast<float>(scale), trans, mirror, SoftBlendMask());
            }
            return 0;
        });
}

// The box calls' steps: no image, and the device decides the path.
template <class Draw>
int DrawBox(int x1, int y1, int x2, int y2, const Draw& draw) {
    if (g_drawSettings.drawAreaEmpty != 0) {
        return 0;
    }
    WaitWhileInactive();
    const bool toDevice = g_graphics.hardwareInUse != 0;
    const bool rectNeeded = RectNeeded(toDevice);
    return Around(
        toDevice, rectNeeded, [&] { return Ordered(x1, y1, x2, y2); },
        [&] { return draw(toDevice); });
}

// One subtract pass: invert the rectangle with a white box, then set the
// blend mode the draw (pre) or the caller (post) needs.
void SubtractPass(const RECT* rect, int modeAfter) {
    const uint32_t white = ColorToScreenPixel(255, 255, 255);
    const int param = g_drawSettings.blendParam;
    const uint32_t brightness = g_drawSettings.brightness;
    SetImageBrightnessPacked(0xFFFFFF);
    SetImageBlendMode(3, 255);
    HwFillBox(rect->left, rect->top, rect->right, rect->bottom, white);
    SetImageBrightnessPacked(brightness & 0xFFFFFF);
    SetImageBlendMode(modeAfter, param);
}

}  // namespace

int DrawImageAt(int x, int y, int handle, int trans) {
    if (g_system.started == 0) {
        return -1;
    }
    return DrawAtPoint(x, y, static_cast<float>(x), static_cast<float>(y), handle, trans, 1);
}

int DrawImageAtF(float x, float y, int handle, int trans) {
    return DrawAtPoint(TruncFloatToInt(x), TruncFloatToInt(y), x, y, handle, trans, 0);
}

int DrawImageStretched(int x1, int y1, int x2, int y2, int handle, int trans) {
    return DrawStretched(x1, y1, x2, y2, float(x1), float(y1), float(x2), float(y2), handle, trans,
                         1, true);
}

int DrawImageStretchedF(float x1, float y1, float x2, float y2, int handle, int trans) {
    return DrawStretched(TruncFloatToInt(x1), TruncFloatToInt(y1), TruncFloatToInt(x2),
                         TruncFloatToInt(y2), x1, y1, x2, y2, handle, trans, 0, false);
}

int DrawImageMirrored(int x, int y, int handle, int trans) {
    const ImageRecord* r = GetImageRecord(handle);
    if (r == nullptr) {
        return -1;
    }
    return DrawImageStretched(x + r->width, y, x, y + r->height, handle, trans);
}

int DrawImageMirroredF(float x, float y, int handle, int trans) {
    const ImageRecord* r = GetImageRecord(handle);
    if (r == nullptr) {
        return -1;
    }
    return DrawImageStretchedF(x + float(r->width), y, x, y + float(r->height), handle, trans);
}

int DrawImageRotatedF(float x, float y, double scale, double angle, int handle, int trans,
                      int mirror) {
    return DrawRotated(x, y, scale, angle, handle, trans, mirror, true);
}

int DrawImageRotatedAltF(float x, float y, double scale, double angle, int handle) {
    return DrawRotated(x, y, scale, angle, handle, 1, 0, false);
}

int DrawImagePivotRotatedF(float x, float y, float px, float py, double scale, double angle,
                           int handle, int trans, int mirror) {
    int w = 0, h = 0;
    if (QueryImageSize(handle, &w, &h) != 0) {
        return -1;
    }
    if (angle != 0.0) {
        const float ox = static_cast<float>((w * 0.5 - px) * scale);
        const float oy = static_cast<float>((h * 0.5 - py) * scale);
        float s = 0.0f, c = 1.0f;
        SinCos(static_cast<float>(angle), &s, &c);
        return DrawImageRotatedF(x + c * ox - s * oy, y + s * ox + c * oy, scale, angle, handle,
                                 trans, mirror);
    }
    if (scale != 1.0) {
        float left = static_cast<float>(x - px * scale);
        float right = static_cast<float>(left + w * scale);
        const float top = static_cast<float>(y - py * scale);
        const float bottom = static_cast<float>(top + h * scale);
        if (mirror != 0) {
            std::swap(left, right);
        }
        return DrawImageStretchedF(left, top, right, bottom, handle, trans);
    }
    return mirror != 0 ? DrawImageMirroredF(x - px, y - py, handle, trans)
                       : DrawImageAtF(x - px, y - py, handle, trans);
}

int DrawImagePart(int tx, int ty, int sx, int sy, int w, int h, int handle, int trans, int mirror) {
    DrawSettings& s = g_drawSettings;
    const RECT savedArea = s.drawArea;
    float savedF[4];
    std::copy(s.drawAreaF, s.drawAreaF + 4, savedF);
    RECT part = {tx, ty, tx + w, ty + h};
    ClipRectInPlace(&part, &savedArea);
    s.drawArea = part;
    s.drawAreaF[0] = float(part.left), s.drawAreaF[1] = float(part.top);
    s.drawAreaF[2] = float(part.right), s.drawAreaF[3] = float(part.bottom);
    int result = -1;
    if (mirror == 0) {
        result = DrawImageAt(tx - sx, ty - sy, handle, trans);
    } else if (const ImageRecord* r = GetImageRecord(handle); r != nullptr) {
        result = DrawImageMirrored(tx - r->width + sx + w, ty - sy, handle, trans);
    }
    s.drawArea = savedArea;
    std::copy(savedF, savedF + 4, s.drawAreaF);
    return result;
}

int DrawImageQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                   int handle, int trans) {
    // Top-left, top-right, bottom-left, bottom-right.
    const QuadPoint corners[4] = {{x1, y1}, {x2, y2}, {x4, y4}, {x3, y3}};
    return DrawImage(
        handle, true, false,
        [&](const ImageRecord&) {
            RECT r = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            for (const QuadPoint& p : corners) {
                const int x = TruncFloatToInt(p.x), y = TruncFloatToInt(p.y);
                r.left = std::min(r.left, x), r.right = std::max(r.right, x);
                r.top = std::min(r.top, y), r.bottom = std::max(r.bottom, y);
            }
            r.right = std::max(r.right, 0);
            r.bottom = std::max(r.bottom, 0);
            return r;
        },
        [&](const ImageRecord& r, bool toDevice) {
            if (toDevice) {
                return DrawImageQuadCore(corners, &r, trans);
            }
            if (SoftTarget() != nullptr) {
                MemImgTriVertex v[4];
                const int us[4] = {0, r.width, 0, r.width}, vs[4] = {0, 0, r.height, r.height};
                for (int k = 0; k < 4; ++k) {
                    v[k] = {TruncFloatToInt(corners[k].x), TruncFloatToInt(corners[k].y), us[k],
                            vs[k]};
                }
                const SoftDrawState state = CurrentSoftDrawState();
                MemImgTexturedTriangle(state, SoftTarget(), &r.view, v, trans, SoftBlendMask(), 0);
                MemImgTexturedTriangle(state, SoftTarget(), &r.view, v + 1, trans, SoftBlendMask(),
                                       0);
            }
            return 0;
        });
}

namespace {

RECT PolygonBounds(const PolygonVertex* v, int count) {
    double minX = 100000000, minY = 100000000, maxX = -100000000, maxY = -100000000;
    for (int i = 0; i < count; ++i) {
        minX = std::min(minX, double(v[i].x)), maxX = std::max(maxX, double(v[i].x));
        minY = std::min(minY, double(v[i].y)), maxY = std::max(maxY, double(v[i].y));
    }
    return RECT{static_cast<int32_t>(minX - 1), static_cast<int32_t>(minY - 1),
                static_cast<int32_t>(maxX + 1), static_cast<int32_t>(maxY + 1)};
}

// The caller's vertices as the device takes them, tinted by the brightness
// and the blend parameter and, when asked, with u, v moved onto the texture.
void ConvertPolygonVertices(const PolygonVertex* in, int count, VertexTex2D* out,
                            const ImageRecord* relativeTo) {
    const DrawSettings& s = g_drawSettings;
    const uint32_t br = (s.brightness >> 16) & 0xFF, bg = (s.brightness >> 8) & 0xFF,
                   bb = s.brightness & 0xFF;
    const bool tintColour = (s.brightness & 0xFFFFFF) != 0xFFFFFF;
    const bool tintAlpha = s.blendMode != 0 && s.blendParam != 255;
    float su = 1.0f, ou = 0.0f, sv = 1.0f, ov = 0.0f;
    if (relativeTo != nullptr) {
        const TileDrawEntry& e = relativeTo->tileEntries[0];
        const float tw = float(e.tile->textureWidth), th = float(e.tile->textureHeight);
        su = float(relativeTo->width) / tw, ou = float(e.tileX) / tw;
        sv = float(relativeTo->height) / th, ov = float(e.tileY) / th;
    }
    for (int i = 0; i < count; ++i) {
        const PolygonVertex& v = in[i];
        uint32_t r = v.r, g = v.g, b = v.b, a = v.a;
        if (tintColour || tintAlpha) {
            r = r * br / 255, g = g * bg / 255, b = b * bb / 255;
            if (s.blendMode != 0) {
                a = a * uint32_t(s.blendParam & 0xFF) / 255;
            }
        }
        out[i] = VertexTex2D{
            v.x,           v.y,          s.drawDepth, 1.0f, (a << 24) | (r << 16) | (g << 8) | b,
            v.u * su + ou, v.v * sv + ov};
    }
}

}  // namespace

int DrawPolygonList(const PolygonVertex* vertices, int count, int kind, int handle, int trans,
                    int imageRelative) {
    if (vertices == nullptr || count <= 0 || kind < 1 || kind > 6) {
        return -1;
    }
    const ImageRecord* image = nullptr;
    if (handle != kNoPolygonImage) {
        image = GetImageRecord(handle);
        if (image == nullptr) {
            return -1;
        }
    }
    const bool toDevice =
        image != nullptr ? IsTextureSource(image->source) : g_graphics.hardwareInUse != 0;
    if (image == nullptr || !toDevice || image->tileEntryCount != 1 ||
        (image->tileEntries[0].tile->textureWidth == image->width &&
         image->tileEntries[0].tile->textureHeight == image->height)) {
        imageRelative = 0;
    }
    WaitWhileInactive();
    if (image != nullptr && image->movieHandle != -1) {
        MovieAdvanceFrame(image->movieHandle, 0);
    }
    const bool rectNeeded = RectNeeded(toDevice);
    const uint64_t bytes = uint64_t(count) * sizeof(VertexTex2D);
    if (bytes > 0x7FFFFFFFu) {
        return -1;
    }
    auto* converted =
        static_cast<VertexTex2D*>(AllocTracked(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (converted == nullptr) {
        return -1;
    }
    ConvertPolygonVertices(vertices, count, converted, imageRelative != 0 ? image : nullptr);
    const int result = Around(
        toDevice, rectNeeded, [&] { return PolygonBounds(vertices, count); },
        [&] {
            return toDevice ? HwDrawPolygonList(converted, count, kind,
                                                static_cast<uint32_t>(trans), image)
                            : 0;
        });
    FreeTracked(converted);
    return result;
}

int FillBoxArea(int x1, int y1, int x2, int y2, uint32_t colour) {
    return DrawBox(x1, y1, x2, y2, [&](bool toDevice) {
        if (toDevice) {
            return HwFillBox(x1, y1, x2, y2, colour);
        }
        if (SoftTarget() != nullptr) {
            const RECT box = {x1, y1, x2, y2};
            MemImgBlendFill(CurrentSoftDrawState(), SoftTarget(), &box, colour);
        }
        return 0;
    });
}

int DrawBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
    return DrawBox(x1, y1, x2, y2, [&](bool toDevice) {
        if (toDevice) {
            return HwDrawBoxOutline(x1, y1, x2, y2, colour);
        }
        if (SoftTarget() != nullptr) {
            SoftDrawBoxOutline(x1, y1, x2, y2, colour);
        }
        return 0;
    });
}

int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
    return fill != 0 ? FillBoxArea(x1, y1, x2, y2, colour) : DrawBoxOutline(x1, y1, x2, y2, colour);
}

void SubtractBlendPrePass(const RECT* rect) {
    SubtractPass(rect, 5);
}

void SubtractBlendPostPass(const RECT* rect) {
    SubtractPass(rect, 3);
}

}  // namespace tessel
