// Steps that the device's life calls in graphics layers that are not part of
// the library yet: the render-state cache, draw targets and presentation, the
// built-in shaders, camera and lights, image records and their restore, the
// mask screen, memory images, fonts, the draw settings and the 3D models.
// Each does nothing (or keeps the one value its caller needs) until its layer
// lands; the layer then replaces the call with its own function of the same
// name and the entry here goes.
#pragma once

#include <cstdint>

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

// ---- image records, their textures and their refill after a loss
inline void ClearImageTableCounts() {}
inline void DeleteAllImages() {}
inline void ReleaseAllTileTextures() {}
inline void RecreateAllTileTextures() {}
inline void RunRestore() {}

// ---- render-state cache
inline void SetupDefaultDeviceStates() {}
inline void ReapplyAllDeviceStates() {}
inline void ResetShaderCacheEntries() {}
inline void SetCachedMaterialSources(int /*value*/) {}
inline void ClearPerSceneCache() {}

// ---- draw targets, software screens and presentation
inline void CreateSoftwareScreens() {}
inline void ReleaseSoftwareScreens() {}
inline void SelectCurrentDrawTarget() {}
inline void EraseAndPresentScreens() {}

// ---- built-in shaders
inline int ShaderPathOn() {
    return 0;
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
