// The library's global drawing state: how the next draw blends and is tinted,
// where it is clipped, the fog, the transform chain, the options that shape
// new images, the transparent colour and the vertical-blank wait. Everything
// changes only through the setters below; a setter that changes nothing
// returns at once, one that changes device state flushes the pending batch
// first. Before the device exists the setters only store, and the device takes
// the values when it is made.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

struct MEMIMG;

// The camera's and the projection's share of the record (kept here so that
// the start-up reset clears the whole record in one step).
struct CameraSettings {
    int32_t projectionMode;  // 0 perspective, 1 orthographic, 2 user matrix
    float nearZ;
    float farZ;
    float fieldOfView;
    float orthoHeight;
    float aspectFactor;
    Mat4 projectionSource;  // built from the values above or given by the user
    Vec3 position;
    Vec3 target;
    Vec3 up;
    float vRot;
    float hRot;
    float tRot;
    Mat4 cameraView;
    float centerX;
    float centerY;
    float adjustScale;
    // View-projection cache.
    int32_t cacheValid;
    Mat4 viewProjection;  // view x projection x adjustment
    Mat4 fullTransform;   // world x the above
    float rightAxis[4];
    float upAxis[4];
    float forwardAxis[4];
};

struct DrawSettings {
    int32_t blendMode;
    int32_t blendParam;
    uint32_t brightness;         // 0x00RRGGBB
    uint32_t combinedDrawColor;  // 0xAARRGGBB, the hardware path's vertex colour
    float drawDepth;
    int32_t filterMode;
    int32_t maxAnisotropy;
    int32_t blendMaskImage;  // -1 none
    int32_t maskLevel;
    int32_t maskRange;
    float maskWidth;
    float maskHeight;
    float maskWidthInv;
    float maskHeightInv;
    RECT requestedArea;
    RECT drawArea;  // right and bottom exclusive
    float drawAreaF[4];
    int32_t drawAreaEmpty;
    int32_t drawTarget;
    int32_t fogSwitch;
    int32_t fogFormula;
    uint32_t fogColor;  // 0xFFRRGGBB
    float fogStart;
    float fogEnd;
    Mat4 world;
    Mat4 view;
    Mat4 projection;
    Mat4 projectionAdjust;
    Mat4 drawAreaMatrix;
    Mat4 drawAreaInverse;
    int32_t projectionChanged;
    int32_t worldSet;
    int32_t viewSet;
    int32_t fillMode;
    // Two sets of Z settings; the draw flag 0x800 picks the second.
    ZStateSet zSets[2];
    // Sampler address modes of stages 0..7 (U, V, W), Direct3D numbers.
    int32_t samplerAddress[8][3];
    // New-image options.
    int32_t newImageColorDepth;  // 0: the screen's depth
    int32_t drawableImageCreation;
    int32_t drawableImageAlpha;
    int32_t colorKeyTextureFormat;
    int32_t blankImageAlpha;
    int32_t textureRequestFlag;  // staging copies for new textures
    int32_t imageCreationFlag;
    int32_t transparentColorUseOff;  // stored negated: 0 uses it
    int32_t transparentColorKeying;
    uint32_t transparentColor;     // 0x00RRGGBB
    int32_t verticalBlankWaitOff;  // stored negated: 0 waits
    int32_t emulation320x240;
    void (*restoreCallback)(void*);
    void* restoreCallbackData;
    CameraSettings camera;
    int32_t maskEnabled;
};

extern DrawSettings g_drawSettings;

// ---- blend, brightness, filter, mask, area
int SetImageBlendMode(int mode, int param);
int SetImageBlendModeOnly(int mode);
int SetImageBrightness(int red, int green, int blue);
void SetImageBrightnessPacked(uint32_t rgb);
// The first argument holds red in its low byte (the opposite order of
// SetImageBrightnessPacked); the second becomes the combined colour as given.
void SetImageBrightnessPackedRaw(uint32_t packed, uint32_t combined);
int SetImageFilterMode(int mode);
int QueryImageFilterMode();
int SetBlendMaskImage(int handle, int level, int range);
int SetClipRegion(int x1, int y1, int x2, int y2);
// The whole draw target again.
int SetClipRegionWhole();
RECT DrawArea();

// ---- fog and transforms
int SetFogSwitch(int on);
int SetFogFormula(int mode);
int SetFogTint(int red, int green, int blue);
int SetFogRange(float start, float end);
int SetWorldTransform(const Mat4* matrix);
int SetViewTransform(const Mat4* matrix);
int SetProjectionTransform(const Mat4* matrix);
int SetProjectionAdjustTransform(const Mat4* matrix);
// Sends projection x adjustment x inverse draw-area matrix again (hardware).
void ReapplyProjectionTransforms();
int SetZBufferWrite(int on);

// ---- transparent colour, presentation options
int SetTransparentColor(uint8_t red, uint8_t green, uint8_t blue);
int SetVerticalBlankWait(int on);
int QueryVerticalBlankWait();
int SetEmulation320x240(int on);
int IsRestoreCallbackSet();
int QueryDrawTarget();

// ---- new-image options
int SetNewImageColorDepth(int bits);
int QueryNewImageColorDepth();
int SetDrawableImageCreation(int on);
int QueryDrawableImageCreation();
int SetDrawableImageAlpha(int on);
int SetColorKeyTextureFormat(int on);
int QueryColorKeyTextureFormat();
int SetBlankImageAlpha(int on);
int QueryBlankImageAlpha();
int SetTextureRequestFlag(int on);
int QueryTextureRequestFlag();
int QueryImageCreationFlag();
int SetTransparentColorUse(int on);
int SetTransparentColorKeying(int on);

// ---- colours
uint32_t ColorToScreenPixel(uint8_t red, uint8_t green, uint8_t blue);
int ScreenPixelToColor(uint32_t pixel, int* red, int* green, int* blue);
float* MakeFloat4(float* out, float a, float b, float c, float d);

// The settings the software kernels run with, against the given target.
SoftDrawState CurrentSoftDrawState();
// The blend-mask memory image of the software kernels; null for none.
const MEMIMG* SoftBlendMask();

// Start-up defaults of this record's own fields (the camera's are set by
// ResetDrawState).
void SetDrawSettingsDefaults();

}  // namespace tessel
