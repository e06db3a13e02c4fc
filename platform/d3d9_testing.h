// Test hooks of the Direct3D 9 device (not part of Direct3D): caps and
// format profiles, failure injection, the lost switch, the call trace with the
// named reason of every refusal, pixel read-back and a virtual vertical blank.
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
    // FourCC video formats CreateOffscreenPlainSurface accepts (drivers differ).
    std::vector<D3DFORMAT> videoFormats;
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
// "noblendop", "notssargtemp", "shader2" (the default's shaders 2.0),
// "noshaders" (vertex shaders 1.1, pixel shaders 1.4), "square", "maxtex=N",
// "desktop16" (a 16-bit desktop of its own), "nod24", "nod32".
void ResetD3D9Profile();

// Failure injection: the next `count` calls of the method fail (buffer and
// texture creation as out of video memory).
enum class D3D9FailPoint {
    CreateDevice,
    CreateTexture,
    SetViewport,
    CreateVertexBuffer,
    CreateIndexBuffer
};
void FailNextD3D9Calls(D3D9FailPoint point, int count);

// The lost switch: every device that exists now becomes lost. Present then
// returns D3DERR_DEVICELOST, clears and draws do nothing, back-buffer locks
// fail; releases work and the next CreateDevice makes a working device.
void LoseD3D9Devices();

// What new surface, texture and volume memory holds. A real device leaves it
// undefined, and so does this one (it is not touched), unless
// TESSEL_D3D9_POISON is set in the environment (the test programs set it) or a
// test turns the poison on: then every new byte is 0xCD, so that only the
// library's own clears show as clear.
constexpr uint8_t kD3D9PoisonByte = 0xCD;
void SetD3D9PoisonFill(bool on);
bool D3D9PoisonFill();

// The device made last that is still alive, or null. Not reference-counted.
IDirect3DDevice9* CurrentD3D9Device();

// Why the device refused a call: one name per check, each with the result
// the call returns and a line saying what was wrong. A test asserts the name,
// so it cannot pass because some other check fired.
#define TESSEL_D3D9_REFUSALS(X)                                                                 \
    X(NullArgument, D3DERR_INVALIDCALL, "a pointer the call needs is null")                     \
    X(SharedHandle, D3DERR_INVALIDCALL, "shared resources are not supported")                   \
    X(IndexOutOfRange, D3DERR_INVALIDCALL,                                                      \
      "an index, stage, sampler, level or register past what exists")                           \
    X(UnknownState, D3DERR_INVALIDCALL, "a state or transform type the device does not have")   \
    X(NoSuchAdapter, D3DERR_INVALIDCALL, "only adapter 0 of type HAL exists")                   \
    X(NotADisplayFormat, D3DERR_INVALIDCALL, "the adapter format is not a display format")      \
    X(BadVertexProcessing, D3DERR_INVALIDCALL,                                                  \
      "the behaviour flags name not exactly one kind of vertex processing")                     \
    X(BadBackBufferCount, D3DERR_INVALIDCALL,                                                   \
      "more than three back buffers, or COPY with more than one")                               \
    X(BadSwapEffect, D3DERR_INVALIDCALL, "a swap effect Direct3D 9 does not have")              \
    X(MultisampleUnsupported, D3DERR_INVALIDCALL, "the device has no multisampling")            \
    X(NoDeviceWindow, D3DERR_INVALIDCALL, "neither a device window nor a focus window")         \
    X(BadPresentationInterval, D3DERR_INVALIDCALL, "a presentation interval the caps lack")     \
    X(UnsupportedFormat, D3DERR_INVALIDCALL, "a format the profile does not take for this use") \
    X(NoDisplayMode, D3DERR_INVALIDCALL,                                                        \
      "no display mode has the full-screen size, format and refresh rate")                      \
    X(EmptySize, D3DERR_INVALIDCALL, "a width, height, depth or length of zero")                \
    X(SurfaceTooLarge, D3DERR_INVALIDCALL, "a side past the largest surface the device keeps")  \
    X(StorageTooLarge, D3DERR_OUTOFVIDEOMEMORY, "storage past the budget of one resource")      \
    X(TextureTooLarge, D3DERR_INVALIDCALL, "a texture side past the caps' maximum")             \
    X(NotSquare, D3DERR_INVALIDCALL, "the caps take square textures only")                      \
    X(BadPool, D3DERR_INVALIDCALL, "a pool this resource or copy does not take")                \
    X(TooManyLevels, D3DERR_INVALIDCALL, "more mip levels than the size allows")                \
    X(DynamicManaged, D3DERR_INVALIDCALL, "a dynamic resource cannot be managed")               \
    X(BadUsage, D3DERR_INVALIDCALL, "a usage this resource does not take")                      \
    X(NotARenderTarget, D3DERR_INVALIDCALL, "the surface is not a render target")               \
    X(NotADepthSurface, D3DERR_INVALIDCALL, "the surface is not a depth surface")               \
    X(NoRenderTarget, D3DERR_INVALIDCALL, "render target 0 cannot be unset")                    \
    X(SceneAlreadyBegun, D3DERR_INVALIDCALL, "BeginScene inside a scene")                       \
    X(NoSceneBegun, D3DERR_INVALIDCALL, "EndScene outside a scene")                             \
    X(PresentInsideScene, D3DERR_INVALIDCALL, "Present between BeginScene and EndScene")        \
    X(RectsNeedCopySwapEffect, D3DERR_INVALIDCALL,                                              \
      "Present rectangles on a swap chain that is not COPY")                                    \
    X(EmptyRect, D3DERR_INVALIDCALL, "a rectangle without area")                                \
    X(RectOutsideSurface, D3DERR_INVALIDCALL, "a rectangle, box or range reaching past it")     \
    X(RectOffBlocks, D3DERR_INVALIDCALL, "a rectangle of a block format off the 4x4 blocks")    \
    X(ViewportOutsideTarget, D3DERR_INVALIDCALL, "the viewport reaches past the render target") \
    X(BadDepthRange, D3DERR_INVALIDCALL, "depth outside 0..1, or MinZ above MaxZ")              \
    X(BadLightType, D3DERR_INVALIDCALL, "a light type Direct3D 9 does not have")                \
    X(LightNeverSet, D3DERR_INVALIDCALL, "a light index that was never set")                    \
    X(BadScissorRect, D3DERR_INVALIDCALL, "a scissor rectangle whose edges cross")              \
    X(BadShader, D3DERR_INVALIDCALL, "shader tokens without an end token")                      \
    X(ShaderVersion, D3DERR_INVALIDCALL, "a shader version the caps do not report")             \
    X(ShaderOpcode, D3DERR_INVALIDCALL, "a shader opcode the shader model does not have")       \
    X(ShaderLength, D3DERR_INVALIDCALL, "a shader instruction whose length is wrong")           \
    X(ShaderRegister, D3DERR_INVALIDCALL, "a shader register the instruction does not take")    \
    X(ShaderRegisterRange, D3DERR_INVALIDCALL, "a shader register number out of range")         \
    X(ShaderModifier, D3DERR_INVALIDCALL, "a shader mask, swizzle or modifier not taken")       \
    X(ShaderFlowControl, D3DERR_INVALIDCALL, "unbalanced shader flow control or a bad label")   \
    X(ShaderDeclaration, D3DERR_INVALIDCALL, "a shader DCL the shader model does not take")     \
    X(ShaderTooLong, D3DERR_INVALIDCALL, "a shader longer than the device keeps")               \
    X(BadDeclarationElement, D3DERR_INVALIDCALL,                                                \
      "a vertex element of a type, stream, method or usage the device does not take")           \
    X(TooManyElements, D3DERR_INVALIDCALL, "a vertex declaration of more than 64 elements")     \
    X(NeedsLockableBackBuffer, D3DERR_INVALIDCALL, "dialog boxes need a lockable back buffer")  \
    X(NotLockable, D3DERR_INVALIDCALL, "this resource does not lock, by its pool and usage")    \
    X(AlreadyLocked, D3DERR_INVALIDCALL, "the resource is locked")                              \
    X(NotLocked, D3DERR_INVALIDCALL, "unlock of a resource that is not locked")                 \
    X(BadFilter, D3DERR_INVALIDCALL, "a filter the copy does not take")                         \
    X(DepthCopy, D3DERR_INVALIDCALL, "depth surfaces are not copied")                           \
    X(NotAColourSurface, D3DERR_INVALIDCALL, "the surface takes no colour")                     \
    X(OverlappingCopy, D3DERR_INVALIDCALL, "source and destination overlap in one surface")     \
    X(FormatMismatch, D3DERR_INVALIDCALL, "source and destination formats differ")              \
    X(SizeMismatch, D3DERR_INVALIDCALL, "source and destination sizes differ")                  \
    X(KindMismatch, D3DERR_INVALIDCALL, "source and destination are different kinds")           \
    X(BadClearFlags, D3DERR_INVALIDCALL, "clear flags name nothing, or the stencil")            \
    X(NoDepthSurface, D3DERR_INVALIDCALL, "no depth surface is set")                            \
    X(UnsupportedFvf, D3DERR_INVALIDCALL, "an FVF without a position the device draws")         \
    X(StrideTooSmall, D3DERR_INVALIDCALL, "a stride below the size of the FVF's vertex")        \
    X(BadPrimitiveType, D3DERR_INVALIDCALL, "a primitive type Direct3D 9 does not have")        \
    X(VertexCountOverflow, D3DERR_INVALIDCALL,                                                  \
      "a primitive count whose vertex count passes 32 bits")                                    \
    X(BadIndexFormat, D3DERR_INVALIDCALL, "an index format other than INDEX16 or INDEX32")      \
    X(NoStreamSource, D3DERR_INVALIDCALL, "no vertex buffer is set on stream 0")                \
    X(NoIndexBuffer, D3DERR_INVALIDCALL, "no index buffer is set")                              \
    X(RangeOutsideBuffer, D3DERR_INVALIDCALL, "vertices or indices reaching past their buffer") \
    X(DeviceLost, D3DERR_DEVICELOST, "the device is lost")                                      \
    X(OddVideoSize, D3DERR_INVALIDCALL, "a video format's size off its 2x1 or 2x2 blocks")      \
    X(VideoLockRect, D3DERR_INVALIDCALL, "a video lock off its pixel pairs, or a part of YV12") \
    X(VideoTarget, D3DERR_INVALIDCALL, "a video format as the target of a copy or fill")        \
    X(InjectedDeviceFailure, D3DERR_NOTAVAILABLE, "a failure injected by a test")               \
    X(InjectedOutOfMemory, D3DERR_OUTOFVIDEOMEMORY, "a failure injected by a test")             \
    X(InjectedInvalidCall, D3DERR_INVALIDCALL, "a failure injected by a test")

enum class D3D9Refusal {
    None,
#define TESSEL_D3D9_REFUSAL_ID(name, result, text) name,
    TESSEL_D3D9_REFUSALS(TESSEL_D3D9_REFUSAL_ID)
#undef TESSEL_D3D9_REFUSAL_ID
        Count
};

const char* D3D9RefusalName(D3D9Refusal reason);  // "NullArgument"; "None"
const char* D3D9RefusalText(D3D9Refusal reason);
HRESULT D3D9RefusalResult(D3D9Refusal reason);  // what the refused call returns
// The last refusal on any device: the method refused and why (an empty
// method and None before the first); how many refusals there have been since
// the program started.
struct D3D9Rejection {
    std::string method;
    D3D9Refusal reason = D3D9Refusal::None;
};
D3D9Rejection LastD3D9Rejection();
D3D9Refusal LastD3D9Refusal();
uint64_t D3D9RefusalCount();

// The call trace. Every device method counts its calls; while recording is
// on, each call is also kept with its arguments (and draws with their vertex
// bytes), and a refused call with the reason.
struct D3D9TraceEntry {
    std::string method;
    std::string arguments;
    std::vector<uint8_t> vertices;
    D3D9Refusal refusal = D3D9Refusal::None;
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
