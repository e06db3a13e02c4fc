// The draw settings' record with its defaults and the setters of blend,
// brightness, filter, blend mask and draw area. Routes: the blend and
// brightness setters recompute the combined draw colour; SetBlendMaskImage
// rebuilds the fade table (software) or sets the mask stage (hardware);
// SetClipRegion clamps to the draw target and, on the hardware path, moves
// viewport, scissor and the draw-area matrix. Fog, Z, transparency and the
// presentation options live in fog_and_options.cpp, the transforms in
// transforms.cpp, the new-image options in image_options.cpp.
#include "graphics/settings/draw_settings.h"

#include <utility>

#include "foundation/math/matrix.h"
#include "foundation/runtime/message_pump.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_records.h"
#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/settings_internal.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

void StoreDefaults(DrawSettings& s) {
    s.blendMode = 0;
    s.blendParam = 0;
    s.brightness = 0xFFFFFF;
    s.combinedDrawColor = 0xFFFFFFFFu;
    s.drawDepth = 0.2f;
    s.filterMode = kFilterNearest;
    s.maxAnisotropy = 1;
    s.blendMaskImage = -1;
    s.fogFormula = 3;
    s.fogColor = 0xFFFFFFFFu;
    s.fogStart = 0.0f;
    s.fogEnd = 1500.0f;
    s.fillMode = D3DFILL_SOLID;
    for (ZStateSet& z : s.zSets) {
        z = ZStateSet{0, 0, D3DCMP_LESSEQUAL, 0};
    }
    for (auto& stage : s.samplerAddress) {
        for (int32_t& address : stage) {
            address = D3DTADDRESS_CLAMP;
        }
    }
    s.colorKeyTextureFormat = 1;
    MatIdentity(&s.world);
    MatIdentity(&s.view);
    MatIdentity(&s.projection);
    MatIdentity(&s.projectionAdjust);
    MatIdentity(&s.drawAreaMatrix);
    MatIdentity(&s.drawAreaInverse);
}

// Before graphics start the settings already hold their defaults, so that
// setters and image creation called early see sane values; the draw area is
// the default screen.
DrawSettings InitialDrawSettings() {
    DrawSettings s = {};
    StoreDefaults(s);
    s.drawTarget = -2;
    s.drawArea = RECT{0, 0, kDefaultScreenWidth, kDefaultScreenHeight};
    s.drawAreaF[2] = static_cast<float>(kDefaultScreenWidth);
    s.drawAreaF[3] = static_cast<float>(kDefaultScreenHeight);
    s.camera.adjustScale = 1.0f;
    s.camera.aspectFactor = 1.0f;
    return s;
}

}  // namespace

DrawSettings g_drawSettings = InitialDrawSettings();

namespace settings {

bool OnHardware() {
    return g_graphics.hardwareInUse != 0 && g_graphics.device != nullptr;
}

int ScreenWidth() {
    return g_screen.width != 0 ? g_screen.width : kDefaultScreenWidth;
}

int ScreenHeight() {
    return g_screen.height != 0 ? g_screen.height : kDefaultScreenHeight;
}

int DrawTargetSize(int target, int* width, int* height) {
    if (target == kDrawTargetBack || target == kDrawTargetFront) {
        *width = ScreenWidth();
        *height = ScreenHeight();
        return 0;
    }
    const ImageRecord* record = GetImageRecord(target);
    if (record == nullptr) {
        return -1;
    }
    *width = record->width;
    *height = record->height;
    return 0;
}

}  // namespace settings

using namespace settings;

namespace {

void RecomputeCombinedColor() {
    DrawSettings& s = g_drawSettings;
    const uint32_t alpha = s.blendMode != 0 ? static_cast<uint32_t>(s.blendParam) & 0xFF : 255u;
    s.combinedDrawColor = (alpha << 24) | (s.brightness & 0xFFFFFF);
}

int ClampByte(int value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

}  // namespace

int SetImageBlendMode(int mode, int param) {
    DrawSettings& s = g_drawSettings;
    param = ClampByte(param);
    if (s.blendMode == mode && s.blendParam == param) {
        return 0;
    }
    WaitWhileInactive();
    s.blendMode = mode;
    s.blendParam = param;
    RecomputeCombinedColor();
    return 0;
}

int SetImageBlendModeOnly(int mode) {
    g_drawSettings.blendMode = mode;
    return mode;
}

int SetImageBrightness(int red, int green, int blue) {
    const uint32_t packed = PackBrightness(static_cast<uint32_t>(ClampByte(red)),
                                           static_cast<uint32_t>(ClampByte(green)),
                                           static_cast<uint32_t>(ClampByte(blue)));
    if (g_drawSettings.brightness == packed) {
        return 0;
    }
    g_drawSettings.brightness = packed;
    RecomputeCombinedColor();
    return 0;
}

void SetImageBrightnessPacked(uint32_t rgb) {
    rgb &= 0xFFFFFF;
    if (g_drawSettings.brightness == rgb) {
        return;
    }
    g_drawSettings.brightness = rgb;
    RecomputeCombinedColor();
}

void SetImageBrightnessPackedRaw(uint32_t packed, uint32_t combined) {
    const uint32_t rgb = PackBrightness(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
    if (g_drawSettings.brightness == rgb) {
        return;
    }
    g_drawSettings.brightness = rgb;
    g_drawSettings.combinedDrawColor = combined;
}

int SetImageFilterMode(int mode) {
    if (g_drawSettings.filterMode == mode) {
        return 0;
    }
    g_drawSettings.filterMode = mode;
    if (OnHardware() && mode >= kFilterNearest && mode <= kFilterAnisotropic) {
        SetFilterModeState(mode);
    }
    return 0;
}

int QueryImageFilterMode() {
    return g_drawSettings.filterMode;
}

int SetBlendMaskImage(int handle, int level, int range) {
    DrawSettings& s = g_drawSettings;
    if (s.blendMaskImage == handle && s.maskLevel == level && s.maskRange == range) {
        return 0;
    }
    const ImageRecord* record = nullptr;
    if (handle != -1) {
        record = GetImageRecord(handle);
        if (record == nullptr) {
            return -1;
        }
    }
    s.blendMaskImage = handle;
    WaitWhileInactive();
    s.maskLevel = ClampByte(level);
    s.maskRange = ClampByte(range);
    if (g_graphics.hardwareInUse == 0) {
        MemImgBuildFadeTable(s.maskLevel, s.maskRange);
        return 0;
    }
    if (g_graphics.device == nullptr) {
        return -1;
    }
    if (record == nullptr) {
        SetBlendMaskState(nullptr, -1, -1);
        return 0;
    }
    const ImageSourceRecord* source = record->source;
    if (source == nullptr || source->request.hardware == 0 || source->tileCount == 0) {
        return -1;
    }
    SetBlendMaskState(source->tiles[0].texture, s.maskLevel, s.maskRange);
    s.maskWidth = static_cast<float>(source->width);
    s.maskHeight = static_cast<float>(source->height);
    s.maskWidthInv = 1.0f / s.maskWidth;
    s.maskHeightInv = 1.0f / s.maskHeight;
    return 0;
}

const MEMIMG* SoftBlendMask() {
    const ImageRecord* record = GetImageRecord(g_drawSettings.blendMaskImage);
    if (record == nullptr || record->source == nullptr) {
        return nullptr;
    }
    return &record->source->memImg;
}

namespace {

void StoreArea(const RECT& area) {
    DrawSettings& s = g_drawSettings;
    s.drawArea = area;
    s.drawAreaF[0] = static_cast<float>(area.left);
    s.drawAreaF[1] = static_cast<float>(area.top);
    s.drawAreaF[2] = static_cast<float>(area.right);
    s.drawAreaF[3] = static_cast<float>(area.bottom);
}

int Clamp(int value, int low, int high) {
    return value < low ? low : (value > high ? high : value);
}

}  // namespace

// A failing call changes nothing: every check comes before the first store.
int SetClipRegion(int x1, int y1, int x2, int y2) {
    DrawSettings& s = g_drawSettings;
    const RECT requested{x1, y1, x2, y2};
    int width = 0;
    int height = 0;
    if (DrawTargetSize(s.drawTarget, &width, &height) != 0) {
        return -1;
    }
    if (x1 > x2) {
        std::swap(x1, x2);
    }
    if (y1 > y2) {
        std::swap(y1, y2);
    }
    const RECT area{Clamp(x1, 0, width), Clamp(y1, 0, height), Clamp(x2, 0, width),
                    Clamp(y2, 0, height)};
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    const bool empty = w == 0 || h == 0;
    if (!empty && g_graphics.hardwareInUse != 0 && g_graphics.device == nullptr) {
        return -1;
    }
    s.requestedArea = requested;
    StoreArea(area);
    s.drawAreaEmpty = empty ? 1 : 0;
    if (empty || g_graphics.hardwareInUse == 0) {
        return 0;
    }
    SetViewportRect(area.left, area.top, area.right, area.bottom);
    SetScissorState(&area);
    MatViewport(&s.drawAreaMatrix, static_cast<float>(area.left) + static_cast<float>(w) * 0.5f,
                static_cast<float>(area.top) + static_cast<float>(h) * 0.5f, static_cast<float>(w),
                static_cast<float>(h));
    MatInverted(&s.drawAreaInverse, &s.drawAreaMatrix);
    ReapplyProjectionTransforms();
    return 0;
}

int SetClipRegionWhole() {
    int width = 0;
    int height = 0;
    if (DrawTargetSize(g_drawSettings.drawTarget, &width, &height) != 0) {
        return -1;
    }
    return SetClipRegion(0, 0, width, height);
}

RECT DrawArea() {
    return g_drawSettings.drawArea;
}

SoftDrawState CurrentSoftDrawState() {
    const DrawSettings& s = g_drawSettings;
    SoftDrawState state = DefaultSoftDrawState(s.drawArea);
    state.blendMode = static_cast<uint32_t>(s.blendMode);
    state.blendParam = s.blendParam;
    state.brightness = s.brightness;
    return state;
}

void SetDrawSettingsDefaults() {
    StoreDefaults(g_drawSettings);
}

}  // namespace tessel
