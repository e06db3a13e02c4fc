// The Direct3D object: the adapter as the active profile describes it, and
// device creation. Also the d3d9.dll module of the layer.
//
// Not here: more than one adapter, Direct3DCreate9Ex, display mode changes (the
// window service owns the display).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/device.h"
#include "platform/d3d9/present.h"
#include "platform/d3d9/trace.h"
#include "platform/kernel/modules.h"
#include "platform/layer_modules.h"

namespace platform::d3d9 {

namespace {

bool Contains(const std::vector<D3DFORMAT>& formats, D3DFORMAT format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool IsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
}

bool IsBackBufferFormat(D3DFORMAT format) {
    return IsDisplayFormat(format) || format == D3DFMT_A1R5G5B5;
}

// The display format a full-screen back buffer format runs on.
D3DFORMAT DisplayFormatFor(D3DFORMAT backBufferFormat) {
    return backBufferFormat == D3DFMT_A1R5G5B5 ? D3DFMT_X1R5G5B5 : backBufferFormat;
}

D3DCAPS9 CapsFromProfile(const D3D9Profile& profile) {
    D3DCAPS9 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    caps.PrimitiveMiscCaps = profile.primitiveMiscCaps;
    caps.TextureCaps = D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_VOLUMEMAP;
    if (profile.squareTexturesOnly) {
        caps.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
    }
    caps.MaxTextureWidth = profile.maxTextureWidth;
    caps.MaxTextureHeight = profile.maxTextureHeight;
    caps.MaxVolumeExtent = 256;
    caps.MaxAnisotropy = 16;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.MaxActiveLights = 8;
    caps.MaxStreams = 16;
    caps.VertexShaderVersion = profile.vertexShaderVersion;
    caps.MaxVertexShaderConst = kVertexShaderFloatCount;
    caps.PixelShaderVersion = profile.pixelShaderVersion;
    return caps;
}

// The adapter a format query names: adapter 0 of type HAL, on a display format.
HRESULT CheckAdapter(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat) {
    if (adapter != 0 || deviceType != D3DDEVTYPE_HAL) {
        return Refuse(Why::NoSuchAdapter);
    }
    if (!IsDisplayFormat(adapterFormat)) {
        return Refuse(Why::NotADisplayFormat);
    }
    return D3D_OK;
}

class Direct3D final : public RefCounted<Direct3D, IDirect3D9, &IID_IDirect3D9> {
  public:
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags,
                                 D3DADAPTER_IDENTIFIER9* identifier) override {
        Enter("IDirect3D9::GetAdapterIdentifier");
        if (adapter != 0) {
            return Refuse(Why::NoSuchAdapter);
        }
        if (identifier == nullptr) {
            return Refuse(Why::NullArgument);
        }
        D3D9Profile profile = ActiveProfile();
        std::memset(identifier, 0, sizeof *identifier);
        std::snprintf(identifier->Driver, sizeof identifier->Driver, "%s", profile.driver.c_str());
        std::snprintf(identifier->Description, sizeof identifier->Description, "%s",
                      profile.description.c_str());
        std::snprintf(identifier->DeviceName, sizeof identifier->DeviceName, "%s",
                      "\\\\.\\DISPLAY1");
        return D3D_OK;
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        if (adapter != 0) {
            return 0;
        }
        D3D9Profile profile = ActiveProfile();
        return static_cast<UINT>(
            std::count_if(profile.displayModes.begin(), profile.displayModes.end(),
                          [format](const D3DDISPLAYMODE& mode) { return mode.Format == format; }));
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                             D3DDISPLAYMODE* mode) override {
        Enter("IDirect3D9::EnumAdapterModes");
        if (adapter != 0) {
            return Refuse(Why::NoSuchAdapter);
        }
        if (mode == nullptr) {
            return Refuse(Why::NullArgument);
        }
        UINT seen = 0;
        for (const D3DDISPLAYMODE& candidate : ActiveProfile().displayModes) {
            if (candidate.Format == format && seen++ == index) {
                *mode = candidate;
                return D3D_OK;
            }
        }
        return Refuse(Why::IndexOutOfRange);
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        Enter("IDirect3D9::GetAdapterDisplayMode");
        if (adapter != 0) {
            return Refuse(Why::NoSuchAdapter);
        }
        if (mode == nullptr) {
            return Refuse(Why::NullArgument);
        }
        *mode = ActiveProfile().displayMode;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                              DWORD usage, D3DRESOURCETYPE resourceType,
                              D3DFORMAT checkFormat) override {
        Enter("IDirect3D9::CheckDeviceFormat");
        HRESULT check = CheckAdapter(adapter, deviceType, adapterFormat);
        if (FAILED(check)) {
            return check;
        }
        D3D9Profile profile = ActiveProfile();
        bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0;
        bool depth = (usage & D3DUSAGE_DEPTHSTENCIL) != 0;
        bool accepted = false;
        switch (resourceType) {
            case D3DRTYPE_TEXTURE:
                accepted = depth ? false
                                 : Contains(renderTarget ? profile.renderTargetTextureFormats
                                                         : profile.textureFormats,
                                            checkFormat);
                break;
            case D3DRTYPE_SURFACE:
                if (depth) {
                    accepted = Contains(profile.depthFormats, checkFormat);
                } else if (renderTarget) {
                    accepted = IsBackBufferFormat(checkFormat) ||
                               Contains(profile.renderTargetTextureFormats, checkFormat);
                } else {
                    const FormatInfo* info = FindFormat(checkFormat);
                    accepted = info != nullptr && !info->depth;
                }
                break;
            case D3DRTYPE_VOLUMETEXTURE:
                accepted = !renderTarget && !depth &&
                           (checkFormat == D3DFMT_X8R8G8B8 || checkFormat == D3DFMT_A8R8G8B8);
                break;
            default:
                accepted = false;
                break;
        }
        return accepted ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat,
                                   D3DFORMAT depthStencilFormat) override {
        Enter("IDirect3D9::CheckDepthStencilMatch");
        HRESULT check = CheckAdapter(adapter, deviceType, adapterFormat);
        if (FAILED(check)) {
            return check;
        }
        D3D9Profile profile = ActiveProfile();
        bool target = IsBackBufferFormat(renderTargetFormat) ||
                      Contains(profile.renderTargetTextureFormats, renderTargetFormat);
        return target && Contains(profile.depthFormats, depthStencilFormat) ? D3D_OK
                                                                            : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override {
        Enter("IDirect3D9::GetDeviceCaps");
        if (adapter != 0 || deviceType != D3DDEVTYPE_HAL) {
            return Refuse(Why::NoSuchAdapter);
        }
        if (caps == nullptr) {
            return Refuse(Why::NullArgument);
        }
        *caps = CapsFromProfile(ActiveProfile());
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
        Trace("IDirect3D9::CreateDevice", "adapter %u, type %u, flags 0x%X", adapter, deviceType,
              behaviorFlags);
        if (device == nullptr) {
            return Refuse(Why::NullArgument);
        }
        *device = nullptr;
        if (adapter != 0 || deviceType != D3DDEVTYPE_HAL) {
            return Refuse(Why::NoSuchAdapter);
        }
        if (parameters == nullptr) {
            return Refuse(Why::NullArgument);
        }
        DWORD processing = behaviorFlags &
                           (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                            D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
        if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
            processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
            processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
            return Refuse(Why::BadVertexProcessing);
        }
        if (ConsumeFailure(D3D9FailPoint::CreateDevice)) {
            return Refuse(Why::InjectedDeviceFailure);
        }
        HRESULT completed = CompletePresentParameters(parameters, focusWindow);
        if (FAILED(completed)) {
            return completed;
        }
        *device =
            new Device(*parameters, focusWindow, behaviorFlags, CapsFromProfile(ActiveProfile()));
        return D3D_OK;
    }
};

FARPROC ExportAddress(IDirect3D9* (*function)(UINT)) {
    return reinterpret_cast<FARPROC>(function);
}

}  // namespace

HRESULT CompletePresentParameters(D3DPRESENT_PARAMETERS* p, HWND focusWindow) {
    if (p->BackBufferCount == 0) {
        p->BackBufferCount = 1;
    }
    if (p->BackBufferCount > 3 ||
        (p->SwapEffect == D3DSWAPEFFECT_COPY && p->BackBufferCount != 1)) {
        return Refuse(Why::BadBackBufferCount);
    }
    if (p->SwapEffect < D3DSWAPEFFECT_DISCARD || p->SwapEffect > D3DSWAPEFFECT_COPY) {
        return Refuse(Why::BadSwapEffect);
    }
    if (p->MultiSampleType != D3DMULTISAMPLE_NONE) {
        return Refuse(Why::MultisampleUnsupported);
    }
    if (p->hDeviceWindow == nullptr) {
        p->hDeviceWindow = focusWindow;
    }
    if (p->hDeviceWindow == nullptr) {
        return Refuse(Why::NoDeviceWindow);
    }
    if (p->PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT &&
        p->PresentationInterval != D3DPRESENT_INTERVAL_ONE &&
        p->PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) {
        return Refuse(Why::BadPresentationInterval);
    }
    D3D9Profile profile = ActiveProfile();
    if (p->EnableAutoDepthStencil && !Contains(profile.depthFormats, p->AutoDepthStencilFormat)) {
        return Refuse(Why::UnsupportedFormat);
    }
    if (p->Windowed) {
        if (p->BackBufferFormat == D3DFMT_UNKNOWN) {
            p->BackBufferFormat = profile.displayMode.Format;
        }
        if (!IsBackBufferFormat(p->BackBufferFormat)) {
            return Refuse(Why::UnsupportedFormat);
        }
        if (p->BackBufferWidth == 0 || p->BackBufferHeight == 0) {
            int width = 0;
            int height = 0;
            WindowClientSize(p->hDeviceWindow, &width, &height);
            p->BackBufferWidth =
                p->BackBufferWidth == 0 ? static_cast<UINT>(width) : p->BackBufferWidth;
            p->BackBufferHeight =
                p->BackBufferHeight == 0 ? static_cast<UINT>(height) : p->BackBufferHeight;
        }
        return CheckSurfaceSize(p->BackBufferFormat, p->BackBufferWidth, p->BackBufferHeight);
    }
    if (!IsBackBufferFormat(p->BackBufferFormat)) {
        return Refuse(Why::UnsupportedFormat);
    }
    D3DFORMAT display = DisplayFormatFor(p->BackBufferFormat);
    for (const D3DDISPLAYMODE& mode : profile.displayModes) {
        if (mode.Width == p->BackBufferWidth && mode.Height == p->BackBufferHeight &&
            mode.Format == display &&
            (p->FullScreen_RefreshRateInHz == 0 ||
             mode.RefreshRate == p->FullScreen_RefreshRateInHz)) {
            return CheckSurfaceSize(p->BackBufferFormat, p->BackBufferWidth, p->BackBufferHeight);
        }
    }
    return Refuse(Why::NoDisplayMode);
}

}  // namespace platform::d3d9

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) {
        return nullptr;
    }
    return new platform::d3d9::Direct3D();
}

namespace platform {

void RegisterD3D9Module() {
    static const PlatformExport exports[] = {
        {"Direct3DCreate9", d3d9::ExportAddress(&Direct3DCreate9)},
        {nullptr, nullptr},
    };
    RegisterModule("d3d9.dll", exports);
}

}  // namespace platform
