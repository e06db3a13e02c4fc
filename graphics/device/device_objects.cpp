// The device objects: DirectDraw (for the vertical blank), the Direct3D
// object, the device with its presentation parameters, caps and format
// table, the Z buffer, the sub back buffer, and their release.
//
// Routes: window mode presents windowed in the desktop's format; full screen
// in the 320x240 modes presents windowed on the display mode the program set
// itself; any other full screen is exclusive. The platform offers no
// Direct3DCreate9Ex, so the look-up of it always falls back to Direct3DCreate9.
//
// Not here: a lost device is never reset, it is released and made again
// (graphics_system.cpp); the sub back buffer is made when presentation first
// needs it, not with the device.
#include <algorithm>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/core/model_system.h"
#include "platform/kernel.h"
#include "platform/types.h"
#include "platform/window.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

constexpr int kClearPresentRounds = 4;
constexpr DWORD kDefaultTextureSize = 256;

using Direct3DCreate9Function = IDirect3D9* (*)(UINT sdkVersion);

// The shader model this library's shaders need: 2.0 in the low 16 bits of
// both version words.
bool VersionAtLeast20(DWORD version) {
    return (version & 0xFFFFu) >= 0x0200u;
}

int BitsOfDisplayFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_X8R8G8B8:
            return 32;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
            return 16;
        default:
            return 0;
    }
}

// The back buffer for the screen's depth; 0 for a depth no back buffer has.
D3DFORMAT BackBufferFormatForDepth() {
    if (g_screen.colorBits == 16) {
        bool has565 =
            g_graphics.direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) > 0;
        return has565 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    }
    if (g_screen.colorBits == 32) {
        return D3DFMT_X8R8G8B8;
    }
    WriteLog("非対応のバックバッファービット深度が指定されました\n");
    return 0;
}

bool ProgramSetsFullScreenMode() {
    return g_system.windowMode == 0 && g_system.info.osCode >= kOsWindowsVista &&
           IsScreenHalfSize() != 0;
}

// Fills the parts of the presentation parameters that depend on the mode.
// false when the screen's depth has no back buffer format.
bool ChoosePresentation(D3DPRESENT_PARAMETERS* parameters) {
    if (g_system.windowMode != 0) {
        D3DDISPLAYMODE desktop = {};
        g_graphics.direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
        parameters->BackBufferFormat = desktop.Format;
        parameters->Windowed = TRUE;
        int bits = BitsOfDisplayFormat(desktop.Format);
        if (bits != 0) {
            g_screen.colorBits = bits;
        }
        EnableDesktopComposition(g_graphics.desktopCompositionOffOption != 0 ? 0 : 1);
        return true;
    }
    parameters->BackBufferFormat = BackBufferFormatForDepth();
    if (parameters->BackBufferFormat == 0) {
        return false;
    }
    if (ProgramSetsFullScreenMode()) {
        parameters->Windowed = TRUE;
        return true;
    }
    parameters->Windowed = FALSE;
    parameters->FullScreen_RefreshRateInHz = static_cast<UINT>(g_screen.refreshRate);
    EnableDesktopComposition(0);
    if (g_system.enableComposition != nullptr) {
        WriteLog("Desktop Window Manager を無効にしました\n");
    }
    return true;
}

bool CreateDeviceWith(DWORD behaviour, const D3DPRESENT_PARAMETERS& wanted) {
    D3DPRESENT_PARAMETERS parameters = wanted;
    return SUCCEEDED(g_graphics.direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                       g_system.mainWindow, behaviour, &parameters,
                                                       &g_graphics.device));
}

int MakeDevice(const D3DPRESENT_PARAMETERS& parameters) {
    WriteLog("IDirect3DDevice9 オブジェクトを取得します.... ");
    DWORD first = g_graphics.shaderCapable != 0 ? D3DCREATE_MIXED_VERTEXPROCESSING
                                                : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (CreateDeviceWith(first, parameters)) {
        WriteLog("ハードウエア頂点演算を使用します\n");
        return 0;
    }
    g_graphics.shaderCapable = 0;
    if (CreateDeviceWith(D3DCREATE_SOFTWARE_VERTEXPROCESSING, parameters)) {
        WriteLog("ソフトウエア頂点演算を使用します\n");
        return 0;
    }
    g_graphics.device = nullptr;
    return WriteLog("Direct3DDevice9 の作成に失敗しました\n");
}

// Both buffers start in the window's background colour.
void ClearAndPresentFrames() {
    D3DCOLOR background = (static_cast<D3DCOLOR>(g_system.backgroundRed) << 16) |
                          (static_cast<D3DCOLOR>(g_system.backgroundGreen) << 8) |
                          g_system.backgroundBlue;
    for (int i = 0; i < kClearPresentRounds; ++i) {
        g_graphics.device->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
        NotePresentResult(g_graphics.device->Present(nullptr, nullptr, nullptr, nullptr));
    }
}

void ReadDeviceCaps() {
    D3DCAPS9& caps = g_graphics.deviceCaps;
    g_graphics.device->GetDeviceCaps(&caps);
    g_graphics.tssArgTempSupported = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
    g_graphics.blendOpSupported = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
    g_graphics.vertexShader20 =
        g_graphics.shaderCapable != 0 && VersionAtLeast20(caps.VertexShaderVersion);
    g_graphics.pixelShader20 =
        g_graphics.shaderCapable != 0 && VersionAtLeast20(caps.PixelShaderVersion);
    DWORD width = caps.MaxTextureWidth != 0 ? caps.MaxTextureWidth : kDefaultTextureSize;
    DWORD height = caps.MaxTextureHeight != 0 ? caps.MaxTextureHeight : kDefaultTextureSize;
    g_graphics.maxTextureSize = static_cast<int32_t>(std::min(width, height));
    SetCachedMaterialSources(255);
}

int SmallestPowerOfTwoAtLeast(int size) {
    int power = 1;
    while (power < size) {
        power <<= 1;
    }
    return power;
}

}  // namespace

int CreateDirectDrawObject() {
    ReleaseComObject(&g_graphics.directDraw);
    WriteLog("DirectDraw オブジェクトの取得を行います....  ");
    void* object = nullptr;
    if (FAILED(
            CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, &object))) {
        return WriteLog("オブジェクトの取得に失敗しました\n");
    }
    g_graphics.directDraw = static_cast<IDirectDraw7*>(object);
    WriteLog("成功\n");
    WriteLog("引き続き初期化処理... ");
    if (FAILED(g_graphics.directDraw->Initialize(nullptr))) {
        WriteLog("DirectDrawオブジェクトの初期化に失敗しました\n");
        ReleaseComObject(&g_graphics.directDraw);
        return -1;
    }
    WriteLog("初期化に成功しました\n");
    g_graphics.directDraw->SetCooperativeLevel(g_system.mainWindow, DDSCL_NORMAL);
    if (g_graphics.desktopCompositionOffOption != 0) {
        EnableDesktopComposition(0);
    }
    return 0;
}

int CreateDirect3DObject() {
    ReleaseComObject(&g_graphics.direct3D);
    WriteLog("IDirect3D9Ex オブジェクトを取得します.... ");
    // The 9Ex entry point is looked up first; the platform has none, and the
    // plain object serves.
    GetProcAddress(g_graphics.d3d9Module, "Direct3DCreate9Ex");
    WriteLog("IDirect3D9 オブジェクトを取得します.... ");
    auto create = reinterpret_cast<Direct3DCreate9Function>(
        GetProcAddress(g_graphics.d3d9Module, "Direct3DCreate9"));
    if (create == nullptr) {
        return WriteLog("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
    }
    g_graphics.direct3D = create(D3D_SDK_VERSION);
    if (g_graphics.direct3D == nullptr) {
        return WriteLog("IDirect3D9 オブジェクトの取得に失敗しました\n");
    }
    WriteLog("成功\n");
    return 0;
}

int CreateDirect3DDevice() {
    if (g_graphics.direct3D == nullptr) {
        return -1;
    }
    ReleaseDeviceObjects();
    D3DPRESENT_PARAMETERS parameters = {};
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    parameters.BackBufferWidth = static_cast<UINT>(width);
    parameters.BackBufferHeight = static_cast<UINT>(height);
    parameters.BackBufferCount = 1;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = g_system.mainWindow;
    parameters.EnableAutoDepthStencil = FALSE;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    parameters.PresentationInterval =
        QueryVerticalBlankWait() != 0 ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    if (!ChoosePresentation(&parameters)) {
        return -1;
    }
    D3DCAPS9 adapterCaps = {};
    g_graphics.direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &adapterCaps);
    g_graphics.shaderCapable = VersionAtLeast20(adapterCaps.VertexShaderVersion) &&
                               VersionAtLeast20(adapterCaps.PixelShaderVersion);
    if (MakeDevice(parameters) != 0) {
        return -1;
    }
    MeasureFrameInterval();
    ResetShaderCacheEntries();
    ForgetCachedDeviceObjects();
    g_graphics.device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    ClearAndPresentFrames();
    g_graphics.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_graphics.backBuffer);
    g_graphics.device->GetSwapChain(0, &g_graphics.swapChain);
    WriteLog("成功\n");
    ReadDeviceCaps();
    D3DADAPTER_IDENTIFIER9 identifier = {};
    g_graphics.direct3D->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
    WriteLogFormat("Driver:%s  Description:%s", identifier.Driver, identifier.Description);
    if (g_graphics.backBuffer == nullptr) {
        return -1;
    }
    return ChooseDeviceFormats();
}

int CreateZBuffer() {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    ReleaseComObject(&g_graphics.depthSurface);
    WriteLog("Ｚバッファを作成します.... ");
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    width = SmallestPowerOfTwoAtLeast(width);
    height = SmallestPowerOfTwoAtLeast(height);
    if (FAILED(g_graphics.device->CreateDepthStencilSurface(
            static_cast<UINT>(width), static_cast<UINT>(height), g_graphics.formats.depth,
            D3DMULTISAMPLE_NONE, 0, TRUE, &g_graphics.depthSurface, nullptr))) {
        g_graphics.depthSurface = nullptr;
        return WriteLog("Ｚバッファの作成に失敗しました\n");
    }
    g_graphics.depthWidth = width;
    g_graphics.depthHeight = height;
    g_graphics.device->SetDepthStencilSurface(g_graphics.depthSurface);
    g_graphics.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    WriteLog("成功\n");
    return 0;
}

int CreateSubBackBuffer() {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    ReleaseComObject(&g_graphics.subBackBuffer);
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    if (FAILED(g_graphics.device->CreateRenderTarget(
            static_cast<UINT>(width), static_cast<UINT>(height), g_graphics.formats.screen,
            D3DMULTISAMPLE_NONE, 0, FALSE, &g_graphics.subBackBuffer, nullptr))) {
        g_graphics.subBackBuffer = nullptr;
        return WriteLog("サブバックバッファの作成に失敗しました\n");
    }
    return 0;
}

void ReleaseDeviceObjects() {
    ReleaseComObject(&g_graphics.depthSurface);
    g_graphics.depthWidth = 0;
    g_graphics.depthHeight = 0;
    ReleaseComObject(&g_graphics.subBackBuffer);
    ReleaseComObject(&g_graphics.backBuffer);
    ReleaseComObject(&g_graphics.swapChain);
    ReleaseComObject(&g_graphics.maxBrightnessVolume);
    ReleaseComObject(&g_graphics.device);
    g_graphics.sceneOpen = 0;
}

void ReleaseDirect3D() {
    ReleaseAllModelBuffers();
    ReleaseVertexDeclarations();
    ReleaseBuiltInShaders();
    bool programSetMode =
        g_system.windowMode == 0 && (g_graphics.hardwareInUse == 0 || ProgramSetsFullScreenMode());
    if (programSetMode) {
        ChangeDisplaySettingsA(nullptr, 0);
    }
    ReleaseDeviceObjects();
    ReleaseComObject(&g_graphics.direct3D);
    ReleaseComObject(&g_graphics.directDraw);
    if (g_graphics.d3d9Module != nullptr) {
        FreeLibrary(g_graphics.d3d9Module);
        g_graphics.d3d9Module = nullptr;
    }
    FreeDisplayModeList();
}

}  // namespace tessel
