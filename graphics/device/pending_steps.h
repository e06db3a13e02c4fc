// Steps that the device's life and the render-state cache call in graphics
// layers that are not part of the library yet: the draw settings and the
// per-draw set-up, the drawing calls, the software path's target and settings,
// draw targets and presentation, the built-in shaders, camera and lights, the
// refill of images after a loss, the mask screen, fonts, movies and the 3D
// models.
// Each does nothing (or keeps the one value its caller needs) until its layer
// lands; the layer then replaces the call with its own function of the same
// name and the entry here goes.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "graphics/device/device_state.h"
#include "graphics/memimg/memimg.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel::pending {

// ---- draw settings: the two options the device reads, with their defaults
inline int32_t verticalBlankWaitOff = 0;  // 0: presentation waits for the blank
inline int32_t emulation320x240 = 0;
inline int QueryVerticalBlankWait() {
    return verticalBlankWaitOff == 0 ? 1 : 0;
}
inline int SetEmulation320x240(int on) {
    emulation320x240 = on;
    return 0;
}
inline void ResetDrawState() {}
// The screen's pixel value of a colour, as a 32-bit (X8R8G8B8) screen has
// it; the text fields' colours are made with it.
inline uint32_t ColorToScreenPixel(uint8_t red, uint8_t green, uint8_t blue) {
    return 0xFF000000u | (uint32_t{red} << 16) | (uint32_t{green} << 8) | uint32_t{blue};
}

// ---- the refill of images after a lost device
inline void RunRestore() {}

// ---- draw settings read when images are made and filled, with their defaults
inline int32_t newImageColorDepth = 0;  // 0: the screen's depth
inline int32_t drawableImageCreation = 0;
inline int32_t drawableImageAlpha = 0;
inline int32_t colorKeyTextureFormat = 1;
inline int32_t blankImageAlpha = 0;
inline int32_t textureRequestFlag = 0;  // staging copies for new textures
inline int32_t imageCreationFlag = 0;
inline int32_t transparentColorUseOff = 0;  // stored negated: 0 uses it
inline int32_t transparentColorKeying = 0;
inline uint32_t transparentColor = 0;  // 0x00RRGGBB
inline int32_t blendMode = 0;
inline uint32_t brightness = 0xFFFFFFu;  // 0x00RRGGBB
inline int32_t blendMaskImage = -1;

// ---- drawing calls: a float rectangle drawn with an image stretched over it
inline int DrawImageStretchedF(float /*x1*/, float /*y1*/, float /*x2*/, float /*y2*/,
                               int /*handle*/, int /*transparent*/) {
    return 0;
}

// ---- movies: none can be opened yet
inline int OpenMovie(const char* /*fileName*/, int* /*width*/, int* /*height*/, int /*option*/) {
    return -1;
}
inline void MovieDispose(int /*movieHandle*/) {}

// ---- draw settings read by the render-state cache, with their defaults
// Sampler address modes of stages 0..7 (U, V, W); 0 stands for clamp.
inline int32_t samplerAddress[8][3] = {};
inline int32_t fogSwitch = 0;
inline uint32_t combinedDrawColor = 0xFFFFFFFFu;
// The blend parameter; also the word the software line records carry beside
// their colour.
inline int32_t blendParam = 255;
inline int32_t worldSet = 0;
inline int32_t viewSet = 0;
// The draw area: the whole screen until draw settings exist.
inline RECT DrawArea() {
    return RECT{0, 0, g_screen.width, g_screen.height};
}
inline Mat4 DrawSettingsWorld() {
    Mat4 m = {};
    MatIdentity(&m);
    return m;
}
inline Mat4 DrawSettingsView() {
    return DrawSettingsWorld();
}
inline void UpdateViewProjectionCache() {}
inline void ReapplyProjectionTransforms() {}

// ---- per-draw set-up: the stage program the draw settings ask for
inline void ResetStageDefaults2D() {}
inline void SetupDrawTextureState(int /*resolveHandles*/, const StageProgram* /*program*/) {}
inline void ApplyDrawSettings(const void* /*texture*/, const void* /*mask*/, int /*flags*/) {}

// ---- software path: the current draw target and the draw settings its kernels read
// The memory image the software path draws on; none until draw targets land.
inline MEMIMG* currentSoftTarget = nullptr;
inline SoftDrawState CurrentSoftDrawState() {
    const RECT whole{0, 0, currentSoftTarget != nullptr ? currentSoftTarget->width : 0,
                     currentSoftTarget != nullptr ? currentSoftTarget->height : 0};
    SoftDrawState state = DefaultSoftDrawState(whole);
    state.blendMode = static_cast<uint32_t>(blendMode);
    state.blendParam = blendParam;
    state.brightness = brightness;
    return state;
}

// ---- draw targets, software screens and presentation
inline void CreateSoftwareScreens() {}
inline void ReleaseSoftwareScreens() {}
inline void SelectCurrentDrawTarget() {}
inline void EraseAndPresentScreens() {}

// ---- built-in shaders
inline int32_t shaderPathOn = 0;
inline int ShaderPathOn() {
    return shaderPathOn;
}
inline void CreateBuiltInShaders() {}
inline void CreateVertexDeclarations() {}
inline void ReleaseVertexDeclarations() {}
inline void ReleaseBuiltInShaders() {}
inline void CloseShaderPack() {}

// ---- camera, projection and lights
inline void DeleteAllLights() {}
inline void ReleaseDefaultLight() {}
inline void KeepCameraMatrices() {}
inline void ReapplyCameraMatrices() {}
inline void MarkLightsForResend() {}

// ---- mask screen
inline void EndMaskScreen() {}
inline void DeleteAllMaskData() {}
inline void MaskScreenTeardown() {}
inline void RestoreMaskScreen() {}

// ---- fonts
inline void ResetFontState() {}
inline void RebuildFontState() {}
// Notes the default font's face, size and thickness before a screen-mode
// change; false while there is no default font.
inline bool NoteDefaultFont() {
    return false;
}
inline void RecreateDefaultFont() {}

// ---- 3D models
inline void ReleaseAllModelBuffers() {}
inline void RebuildAllModelBuffers() {}

}  // namespace tessel::pending
