// The graphics layer's global state: the screen settings a program asks for,
// the flags the other graphics layers test (which drawing path is in use,
// whether a scene is open, what the device can do), the Direct3D objects and
// the table of device formats chosen when the device was made.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/ddraw.h"
#include "platform/types.h"

namespace tessel {

// What a setting of 0 stands for.
constexpr int kDefaultScreenWidth = 640;
constexpr int kDefaultScreenHeight = 480;
constexpr int kDefaultScreenBits = 16;

// The screen a program asks for; 0 means not set (the defaults above).
struct ScreenSettings {
    int32_t width;
    int32_t height;
    int32_t colorBits;
    int32_t refreshRate;  // Hz in full screen, 0 for the display's default
    // Full-screen 320x240: the display and all buffers are 640x480 and only
    // the top-left quarter is drawn, stretched over the whole screen.
    int32_t lowResolutionMode;
};

// Direct3D formats chosen at device creation (0 where none was found). The
// texture entries are indexed by the texture-format index (0 to 13).
constexpr int kTextureFormatCount = 14;
enum TextureFormatIndex : int {
    kTex16 = 0,
    kTex32 = 1,
    kTexAlpha16 = 2,
    kTexAlpha32 = 3,
    kTexAlphaTest16 = 4,
    kTexAlphaTest32 = 5,
    kTexDxt1 = 6,
    kTexDxt5 = 10,
    kTexDrawable16 = 11,
    kTexDrawable32 = 12,
    kTexDrawableAlpha32 = 13,
};

struct DeviceFormatTable {
    D3DFORMAT screen;
    D3DFORMAT texture[kTextureFormatCount];
    D3DFORMAT drawableForScreen;
    D3DFORMAT alphaTestForScreen;
    D3DFORMAT depth;
};

struct GraphicsDevice {
    int32_t started;
    int32_t hardwareInUse;  // 0: every graphics call takes the software path
    int32_t softwareOnlyOption;
    int32_t desktopCompositionOffOption;
    int32_t sceneOpen;
    // Set when a presentation finds the device lost or a restore could not
    // bring it back; cleared by a restore that succeeds.
    int32_t deviceLost;

    int32_t shaderCapable;
    int32_t vertexShader20;
    int32_t pixelShader20;
    int32_t tssArgTempSupported;
    int32_t blendOpSupported;
    int32_t maxTextureSize;
    D3DCAPS9 deviceCaps;
    DeviceFormatTable formats;

    HMODULE d3d9Module;
    IDirectDraw7* directDraw;
    IDirect3D9* direct3D;
    IDirect3DDevice9* device;
    IDirect3DSwapChain9* swapChain;
    IDirect3DSurface9* backBuffer;
    IDirect3DSurface9* subBackBuffer;
    IDirect3DSurface9* depthSurface;
    int32_t depthWidth;
    int32_t depthHeight;
    IDirect3DVolumeTexture9* maxBrightnessVolume;
};

extern ScreenSettings g_screen;
extern GraphicsDevice g_graphics;

// 1 while either 320x240 flag is set: the full-screen low resolution, or the
// draw settings' 320x240 emulation.
int IsScreenHalfSize();

}  // namespace tessel
