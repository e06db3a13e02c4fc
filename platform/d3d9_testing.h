// Test hooks of the Direct3D 9 device (not part of Direct3D): caps and
// format profiles, failure injection, the lost switch, the call trace, pixel
// read-back and a virtual vertical blank.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9.h"

namespace platform {

// What the adapter reports. The default profile is a 32-bit desktop with
// every format the library asks for and shader versions below 2.0.
struct D3D9Profile {
    DWORD vertexShaderVersion;
    DWORD pixelShaderVersion;
    DWORD primitiveMiscCaps;
    DWORD maxTextureWidth;
    DWORD maxTextureHeight;
    bool squareTexturesOnly;
    // Formats CheckDeviceFormat accepts as textures, as render-target
    // textures, and CheckDepthStencilMatch as depth.
    std::vector<D3DFORMAT> textureFormats;
    std::vector<D3DFORMAT> renderTargetTextureFormats;
    std::vector<D3DFORMAT> depthFormats;
    // The desktop: its current mode and the modes the adapter lists. While
    // followDesktop is true (the default) both come from the window service's
    // display (16-bit modes as R5G6B5, 24- and 32-bit ones as X8R8G8B8), so
    // that Direct3D and the display settings agree.
    bool followDesktop;
    D3DDISPLAYMODE displayMode;
    std::vector<D3DDISPLAYMODE> displayModes;
    std::string driver;
    std::string description;
};

D3D9Profile DefaultD3D9Profile();
// Applies to every call made after it, also by objects that already exist.
void SetD3D9Profile(const D3D9Profile& profile);
// Back to the default profile, modified by TESSEL_D3D9_PROFILE when set.
// The variable holds comma-separated words: "nodxt", "no565", "no1555",
// "noblendop", "notssargtemp", "shader2", "square", "maxtex=N",
// "desktop16" (a 16-bit desktop of its own), "nod24", "nod32".
void ResetD3D9Profile();

// Failure injection: the next `count` calls of the method fail.
enum class D3D9FailPoint { CreateDevice, CreateTexture, SetViewport };
void FailNextD3D9Calls(D3D9FailPoint point, int count);

// The lost switch: every device that exists now becomes lost. Present then
// returns D3DERR_DEVICELOST, clears and draws do nothing, back-buffer locks
// fail; releases work and the next CreateDevice makes a working device.
void LoseD3D9Devices();

// The device made last that is still alive, or null. Not reference-counted.
IDirect3DDevice9* CurrentD3D9Device();

// The call trace. Every device method counts its calls; while recording is
// on, each call is also kept with its arguments (and draws with their vertex
// bytes).
struct D3D9TraceEntry {
    std::string method;
    std::string arguments;
    std::vector<uint8_t> vertices;
};
void SetD3D9TraceRecording(bool on);
void ClearD3D9Trace();
std::vector<D3D9TraceEntry> D3D9Trace();
int D3D9CallCount(const char* method);

// Pixel read-back as 0xAARRGGBB, whatever the surface's format or lock rules
// (DXT decoded). Depth surfaces read as the stored depth value.
uint32_t ReadD3D9SurfacePixel(IDirect3DSurface9* surface, int x, int y);
uint32_t ReadD3D9BackBufferPixel(IDirect3DDevice9* device, int x, int y);
// A pixel of a window's framebuffer, where Present and the GDI blits draw
// (0x00RRGGBB; 0 outside it or for a bad window).
uint32_t ReadWindowPixel(HWND window, int x, int y);
// Writes one pixel of any colour surface, converting from 0xAARRGGBB.
void WriteD3D9SurfacePixel(IDirect3DSurface9* surface, int x, int y, uint32_t argb);

// The vertical-blank clock. Virtual: waits return at once and each wait
// counts one blank; real: blanks follow the display's refresh rate.
void SetVirtualVerticalBlank(bool on);
uint64_t VerticalBlankCount();

}  // namespace platform
