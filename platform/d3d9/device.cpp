// The device object: its stored states with Direct3D 9's defaults, resource creation, render
// targets, scenes, and the state calls. Copies live in copies.cpp, draws in raster_device.cpp,
// presentation in present.cpp.
//
// Every state call stores any value it is given and interprets nothing (the rasteriser reads
// the states when it draws); calls refuse only what Direct3D 9 refuses, each refusal naming
// its reason (d3d9_testing.h). Resource creation checks the caps, the profile's formats, the
// pool and usage rules, and the size limits of format.h before anything is reserved.
//
// Not here: Reset, state blocks, queries, vertex and index buffer streams (draws take client
// memory), shaders beyond keeping their tokens, and stencil (stored, never used).
#include "platform/d3d9/device.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/trace.h"
#include "platform/d3d9/yuv_surface.h"

namespace platform::d3d9 {

namespace {

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Direct3D 9's documented value of every render state that does not start at
// zero, by number: most are states the library never sets, stored all the
// same so that a reader finds what Direct3D 9 would hold.
struct RenderStateDefault {
    DWORD state;
    DWORD value;
};

constexpr DWORD kOneFloat = 0x3F800000u;  // 1.0f
constexpr DWORD kKeep = 1;                // D3DSTENCILOP_KEEP
constexpr DWORD kCubic = 3;               // D3DDEGREE_CUBIC
constexpr DWORD kLinearDegree = 1;        // D3DDEGREE_LINEAR

constexpr RenderStateDefault kRenderStateDefaults[] = {
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_ZWRITEENABLE, TRUE},
    {16, TRUE},  // LASTPIXEL
    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
    {D3DRS_FOGEND, kOneFloat},
    {D3DRS_FOGDENSITY, kOneFloat},
    {53, kKeep},          // STENCILFAIL
    {54, kKeep},          // STENCILZFAIL
    {55, kKeep},          // STENCILPASS
    {56, D3DCMP_ALWAYS},  // STENCILFUNC
    {58, 0xFFFFFFFFu},    // STENCILMASK
    {59, 0xFFFFFFFFu},    // STENCILWRITEMASK
    {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
    {136, TRUE},  // CLIPPING
    {D3DRS_LIGHTING, TRUE},
    {141, TRUE},  // COLORVERTEX
    {142, TRUE},  // LOCALVIEWER
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
    {148, D3DMCS_MATERIAL},  // EMISSIVEMATERIALSOURCE
    {154, kOneFloat},        // POINTSIZE
    {155, kOneFloat},        // POINTSIZE_MIN
    {158, kOneFloat},        // POINTSCALE_A
    {161, TRUE},             // MULTISAMPLEANTIALIAS
    {162, 0xFFFFFFFFu},      // MULTISAMPLEMASK
    {166, 0x42800000u},      // POINTSIZE_MAX: 64.0f
    {168, 0xFu},             // COLORWRITEENABLE
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {172, kCubic},          // POSITIONDEGREE
    {173, kLinearDegree},   // NORMALDEGREE
    {178, kOneFloat},       // MINTESSELLATIONLEVEL
    {179, kOneFloat},       // MAXTESSELLATIONLEVEL
    {182, kOneFloat},       // ADAPTIVETESS_Z
    {186, kKeep},           // CCW_STENCILFAIL
    {187, kKeep},           // CCW_STENCILZFAIL
    {188, kKeep},           // CCW_STENCILPASS
    {189, D3DCMP_ALWAYS},   // CCW_STENCILFUNC
    {190, 0xFu},            // COLORWRITEENABLE1
    {191, 0xFu},            // COLORWRITEENABLE2
    {192, 0xFu},            // COLORWRITEENABLE3
    {193, 0xFFFFFFFFu},     // BLENDFACTOR
    {207, D3DBLEND_ONE},    // SRCBLENDALPHA
    {208, D3DBLEND_ZERO},   // DESTBLENDALPHA
    {209, D3DBLENDOP_ADD},  // BLENDOPALPHA
};

bool IsTransformState(D3DTRANSFORMSTATETYPE state) {
    return state == D3DTS_VIEW || state == D3DTS_PROJECTION ||
           (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) ||
           (state >= D3DTS_WORLD && state < static_cast<DWORD>(kTransformCount));
}

bool Contains(const std::vector<D3DFORMAT>& formats, D3DFORMAT format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool IsBackBufferFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ||
           format == D3DFMT_A1R5G5B5;
}

int FullMipChain(UINT width, UINT height, UINT depth = 1) {
    int levels = 1;
    while (width > 1 || height > 1 || depth > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        depth = std::max(1u, depth / 2);
        ++levels;
    }
    return levels;
}

// The light LightEnable makes for an index that was never set.
D3DLIGHT9 DefaultLight() {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

}  // namespace

void SetDefaultStates(DeviceState* state) {
    // Bound objects are not touched here; the device owns those slots.
    DWORD* rs = state->renderStates;
    std::fill(rs, rs + kRenderStateCount, 0u);
    for (const RenderStateDefault& entry : kRenderStateDefaults) {
        rs[entry.state] = entry.value;
    }

    for (int stage = 0; stage < kTextureStageCount; ++stage) {
        DWORD* ts = state->stageStates[stage];
        std::fill(ts, ts + kTextureStageStateCount, 0u);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(stage);
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (int sampler = 0; sampler < kSamplerCount; ++sampler) {
        DWORD* ss = state->samplerStates[sampler];
        std::fill(ss, ss + kSamplerStateCount, 0u);
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
    std::fill(state->transforms, state->transforms + kTransformCount, Identity());
    state->material = D3DMATERIAL9{};
    state->lights.clear();
    std::memset(state->vertexShaderFloats, 0, sizeof state->vertexShaderFloats);
    std::memset(state->vertexShaderBools, 0, sizeof state->vertexShaderBools);
    std::memset(state->pixelShaderFloats, 0, sizeof state->pixelShaderFloats);
    std::memset(state->vertexShaderInts, 0, sizeof state->vertexShaderInts);
    std::memset(state->pixelShaderInts, 0, sizeof state->pixelShaderInts);
    std::memset(state->pixelShaderBools, 0, sizeof state->pixelShaderBools);
    state->fvf = 0;
    state->inScene = false;
    state->dialogBoxMode = FALSE;
}

HRESULT CheckSurfaceSize(D3DFORMAT format, UINT width, UINT height) {
    if (width == 0 || height == 0) {
        return Refuse(Why::EmptySize);
    }
    if (width > kMaxSurfaceSide || height > kMaxSurfaceSide) {
        return Refuse(Why::SurfaceTooLarge);
    }
    if (StorageBytes(format, width, height) > kMaxSurfaceBytes) {
        return Refuse(Why::StorageTooLarge);
    }
    return D3D_OK;
}

namespace {

// A state of a numbered slot (stage or sampler): both numbers in range, and
// the state type not 0, which Direct3D 9 does not use.
HRESULT CheckSlot(DWORD slot, int slotCount, DWORD type, int typeCount) {
    if (slot >= static_cast<DWORD>(slotCount)) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (type == 0 || type >= static_cast<DWORD>(typeCount)) {
        return Refuse(Why::UnknownState);
    }
    return D3D_OK;
}

// What vertex and index buffers check alike.
template <class Buffer>
HRESULT CheckBufferRequest(Buffer** buffer, HANDLE* sharedHandle, UINT length, D3DPOOL pool) {
    if (buffer == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    if (length == 0) {
        return Refuse(Why::EmptySize);
    }
    if (pool > D3DPOOL_SCRATCH) {
        return Refuse(Why::BadPool);
    }
    if (length > kMaxSurfaceBytes) {
        return Refuse(Why::StorageTooLarge);
    }
    return D3D_OK;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and lifetime

Device::Device(const D3DPRESENT_PARAMETERS& parameters, HWND focusWindow, DWORD behaviorFlags,
               const D3DCAPS9& caps)
    : life_(std::make_shared<DeviceLife>()),
      parameters_(parameters),
      focusWindow_(focusWindow),
      behaviorFlags_(behaviorFlags),
      caps_(caps) {
    swapChain_ = std::make_unique<SwapChain>(this, parameters_, life_);
    std::memset(state_.textures, 0, sizeof state_.textures);
    std::memset(state_.renderTargets, 0, sizeof state_.renderTargets);
    state_.depthStencil = nullptr;
    state_.vertexShader = nullptr;
    state_.pixelShader = nullptr;
    state_.vertexDeclaration = nullptr;
    state_.streamSource = nullptr;
    state_.streamOffset = state_.streamStride = 0;
    state_.indices = nullptr;
    SetDefaultStates(&state_);

    Surface* backBuffer = swapChain_->BackBuffer();
    BindTarget(state_.renderTargets[0], backBuffer);
    state_.viewport = {0,
                       0,
                       static_cast<DWORD>(backBuffer->Width()),
                       static_cast<DWORD>(backBuffer->Height()),
                       0.0f,
                       1.0f};
    state_.scissor = {0, 0, backBuffer->Width(), backBuffer->Height()};
    if (parameters_.EnableAutoDepthStencil) {
        autoDepthStencil_ = new Surface(
            SurfaceKind::DepthStencil, parameters_.AutoDepthStencilFormat, backBuffer->Width(),
            backBuffer->Height(), D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false, nullptr, life_);
        BindTarget(state_.depthStencil, autoDepthStencil_);
        state_.renderStates[D3DRS_ZENABLE] = D3DZB_TRUE;
    }
    CopyRasterStates();
    batch_ = std::make_unique<RasterBatch>();
    life_->batch = batch_.get();
    RegisterLiveDevice(this);
}

Device::~Device() {
    UnregisterLiveDevice(this);
    batch_->Flush();
    life_->batch = nullptr;
    for (IDirect3DBaseTexture9*& texture : state_.textures) {
        Rebind(texture, static_cast<IDirect3DBaseTexture9*>(nullptr));
    }
    for (Surface*& target : state_.renderTargets) {
        BindTarget(target, nullptr);
    }
    BindTarget(state_.depthStencil, nullptr);
    if (autoDepthStencil_ != nullptr) {
        autoDepthStencil_->Release();
    }
    Rebind(state_.vertexShader, static_cast<VertexShader*>(nullptr));
    Rebind(state_.pixelShader, static_cast<PixelShader*>(nullptr));
    Rebind(state_.vertexDeclaration, static_cast<VertexDeclaration*>(nullptr));
    Rebind(state_.streamSource, static_cast<VertexBuffer*>(nullptr));
    Rebind(state_.indices, static_cast<IndexBuffer*>(nullptr));
}

template <class T>
void Device::Rebind(T*& slot, T* object) {
    if (object != nullptr) {
        object->AddRef();
    }
    if (slot != nullptr) {
        slot->Release();
    }
    slot = object;
}

// The device's own back buffer counts its references on the device, so
// binding it must not hold one: the device could then never be released.
void Device::BindTarget(Surface*& slot, Surface* surface) {
    Surface* own = swapChain_->BackBuffer();
    if (surface != nullptr && surface != own) {
        surface->AddRef();
    }
    if (slot != nullptr && slot != own) {
        slot->Release();
    }
    slot = surface;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    Trace("GetDeviceCaps", " ");
    if (caps == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *caps = caps_;
    return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) {
    Trace("GetSwapChain", "%u", index);
    if (swapChain == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (index != 0) {
        return Refuse(Why::IndexOutOfRange);
    }
    *swapChain = swapChain_.get();
    swapChain_->AddRef();
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                              IDirect3DSurface9** backBuffer) {
    Trace("GetBackBuffer", "%u, %u", swapChain, index);
    if (swapChain != 0) {
        return Refuse(Why::IndexOutOfRange);
    }
    return swapChain_->GetBackBuffer(index, type, backBuffer);
}

HRESULT Device::SetDialogBoxMode(BOOL enable) {
    Trace("SetDialogBoxMode", "%d", enable);
    if (enable && (parameters_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) == 0) {
        return Refuse(Why::NeedsLockableBackBuffer);
    }
    state_.dialogBoxMode = enable;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Resources

HRESULT Device::CheckTextureRequest(UINT width, UINT height, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool) const {
    if (width == 0 || height == 0) {
        return Refuse(Why::EmptySize);
    }
    if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) {
        return Refuse(Why::TextureTooLarge);
    }
    if ((caps_.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0 && width != height) {
        return Refuse(Why::NotSquare);
    }
    if (pool > D3DPOOL_SCRATCH) {
        return Refuse(Why::BadPool);
    }
    D3D9Profile profile = ActiveProfile();
    if ((usage & D3DUSAGE_RENDERTARGET) != 0) {
        if (pool != D3DPOOL_DEFAULT) {
            return Refuse(Why::BadPool);
        }
        if (!Contains(profile.renderTargetTextureFormats, format)) {
            return Refuse(Why::UnsupportedFormat);
        }
    } else if (!Contains(profile.textureFormats, format)) {
        return Refuse(Why::UnsupportedFormat);
    }
    if ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED) {
        return Refuse(Why::DynamicManaged);
    }
    return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    Trace("CreateTexture", "%ux%u, levels %u, usage 0x%X, format %u, pool %u", width, height,
          levels, usage, format, pool);
    if (texture == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    *texture = nullptr;
    if (ConsumeFailure(D3D9FailPoint::CreateTexture)) {
        return Refuse(Why::InjectedOutOfMemory);
    }
    HRESULT check = CheckTextureRequest(width, height, usage, format, pool);
    if (FAILED(check)) {
        return check;
    }
    int full = FullMipChain(width, height);
    int count = levels == 0 ? full : static_cast<int>(levels);
    if (levels > static_cast<UINT>(full)) {
        return Refuse(Why::TooManyLevels);
    }
    *texture = new Texture(static_cast<int>(width), static_cast<int>(height), count, usage, format,
                           pool, life_);
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                    D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DVolumeTexture9** texture, HANDLE* sharedHandle) {
    Trace("CreateVolumeTexture", "%ux%ux%u, levels %u, usage 0x%X, format %u, pool %u", width,
          height, depth, levels, usage, format, pool);
    if (texture == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    *texture = nullptr;
    if (width == 0 || height == 0 || depth == 0) {
        return Refuse(Why::EmptySize);
    }
    if (width > caps_.MaxVolumeExtent || height > caps_.MaxVolumeExtent ||
        depth > caps_.MaxVolumeExtent) {
        return Refuse(Why::TextureTooLarge);
    }
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) {
        return Refuse(Why::UnsupportedFormat);
    }
    if ((usage & D3DUSAGE_RENDERTARGET) != 0) {
        return Refuse(Why::BadUsage);
    }
    if (pool > D3DPOOL_SCRATCH) {
        return Refuse(Why::BadPool);
    }
    int full = FullMipChain(width, height, depth);
    int count = levels == 0 ? full : static_cast<int>(levels);
    if (levels > static_cast<UINT>(full)) {
        return Refuse(Why::TooManyLevels);
    }
    *texture = new VolumeTexture(static_cast<int>(width), static_cast<int>(height),
                                 static_cast<int>(depth), count, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) {
    Trace("CreateVertexBuffer", "%u, usage 0x%X, fvf 0x%X, pool %u", length, usage, fvf, pool);
    HRESULT check = CheckBufferRequest(buffer, sharedHandle, length, pool);
    if (FAILED(check)) {
        return check;
    }
    if (ConsumeFailure(D3D9FailPoint::CreateVertexBuffer)) {
        return Refuse(Why::InjectedOutOfMemory);
    }
    *buffer = new VertexBuffer(length, usage, fvf);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) {
    Trace("CreateIndexBuffer", "%u, usage 0x%X, format %u, pool %u", length, usage, format, pool);
    HRESULT check = CheckBufferRequest(buffer, sharedHandle, length, pool);
    if (FAILED(check)) {
        return check;
    }
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) {
        return Refuse(Why::BadIndexFormat);
    }
    if (ConsumeFailure(D3D9FailPoint::CreateIndexBuffer)) {
        return Refuse(Why::InjectedOutOfMemory);
    }
    *buffer = new IndexBuffer(length, usage, format);
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                   D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                   BOOL lockable, IDirect3DSurface9** surface,
                                   HANDLE* sharedHandle) {
    Trace("CreateRenderTarget", "%ux%u, format %u, lockable %d", width, height, format, lockable);
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    *surface = nullptr;
    bool known =
        IsBackBufferFormat(format) || Contains(ActiveProfile().renderTargetTextureFormats, format);
    if (multiSample != D3DMULTISAMPLE_NONE) {
        return Refuse(Why::MultisampleUnsupported);
    }
    if (!known) {
        return Refuse(Why::UnsupportedFormat);
    }
    HRESULT size = CheckSurfaceSize(format, width, height);
    if (FAILED(size)) {
        return size;
    }
    *surface = new Surface(SurfaceKind::RenderTarget, format, static_cast<int>(width),
                           static_cast<int>(height), D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET,
                           lockable != FALSE, nullptr, life_);
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                          D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                          BOOL discard, IDirect3DSurface9** surface,
                                          HANDLE* sharedHandle) {
    Trace("CreateDepthStencilSurface", "%ux%u, format %u, discard %d", width, height, format,
          discard);
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    *surface = nullptr;
    if (multiSample != D3DMULTISAMPLE_NONE) {
        return Refuse(Why::MultisampleUnsupported);
    }
    if (!Contains(ActiveProfile().depthFormats, format)) {
        return Refuse(Why::UnsupportedFormat);
    }
    HRESULT size = CheckSurfaceSize(format, width, height);
    if (FAILED(size)) {
        return size;
    }
    *surface = new Surface(SurfaceKind::DepthStencil, format, static_cast<int>(width),
                           static_cast<int>(height), D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false,
                           nullptr, life_);
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    Trace("CreateOffscreenPlainSurface", "%ux%u, format %u, pool %u", width, height, format, pool);
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sharedHandle != nullptr) {
        return Refuse(Why::SharedHandle);
    }
    *surface = nullptr;
    const FormatInfo* info = FindFormat(format);
    if ((info == nullptr && !IsYuvFormat(format)) || (info != nullptr && info->depth)) {
        return Refuse(Why::UnsupportedFormat);
    }
    if (pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) {
        return Refuse(Why::BadPool);
    }
    if (IsYuvFormat(format) && !Contains(ActiveProfile().videoFormats, format)) {
        return Refuse(Why::UnsupportedFormat);
    }
    if (IsYuvFormat(format) && YuvSizeFault(format, width, height) != Why::None) {
        return Refuse(YuvSizeFault(format, width, height));
    }
    HRESULT size = CheckSurfaceSize(format, width, height);
    if (FAILED(size)) {
        return size;
    }
    *surface = new Surface(SurfaceKind::Plain, format, static_cast<int>(width),
                           static_cast<int>(height), pool, 0, true, nullptr, life_);
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Targets and scenes

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    Trace("SetRenderTarget", "%u, %p", index, static_cast<void*>(surface));
    Surface* target = AsSurface(surface);
    if (index >= static_cast<DWORD>(kRenderTargetCount)) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (index == 0 && target == nullptr) {
        return Refuse(Why::NoRenderTarget);
    }
    if (target != nullptr && !target->IsRenderTarget()) {
        return Refuse(Why::NotARenderTarget);
    }
    BindTarget(state_.renderTargets[index], target);
    if (index == 0) {
        // Direct3D 9 resets the viewport and the scissor rectangle to the new target.
        state_.viewport = {
            0,    0,   static_cast<DWORD>(target->Width()), static_cast<DWORD>(target->Height()),
            0.0f, 1.0f};
        state_.scissor = {0, 0, target->Width(), target->Height()};
    }
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
    Trace("GetRenderTarget", "%u", index);
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (index >= static_cast<DWORD>(kRenderTargetCount)) {
        return Refuse(Why::IndexOutOfRange);
    }
    *surface = state_.renderTargets[index];
    if (*surface == nullptr) {
        return D3DERR_NOTFOUND;
    }
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    Trace("SetDepthStencilSurface", "%p", static_cast<void*>(surface));
    Surface* depth = AsSurface(surface);
    if (depth != nullptr && depth->Kind() != SurfaceKind::DepthStencil) {
        return Refuse(Why::NotADepthSurface);
    }
    BindTarget(state_.depthStencil, depth);
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    Trace("GetDepthStencilSurface", " ");
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *surface = state_.depthStencil;
    if (*surface == nullptr) {
        return D3DERR_NOTFOUND;
    }
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    Trace("BeginScene", " ");
    if (state_.inScene) {
        return Refuse(Why::SceneAlreadyBegun);
    }
    state_.inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    Trace("EndScene", " ");
    if (!state_.inScene) {
        return Refuse(Why::NoSceneBegun);
    }
    state_.inScene = false;
    return D3D_OK;
}

RECT Device::DrawableArea() const {
    const D3DVIEWPORT9& vp = state_.viewport;
    RECT area = {static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y),
                 static_cast<LONG>(vp.X + vp.Width), static_cast<LONG>(vp.Y + vp.Height)};
    if (state_.renderStates[D3DRS_SCISSORTESTENABLE] != FALSE) {
        area.left = std::max(area.left, state_.scissor.left);
        area.top = std::max(area.top, state_.scissor.top);
        area.right = std::min(area.right, state_.scissor.right);
        area.bottom = std::min(area.bottom, state_.scissor.bottom);
    }
    return area;
}

// ---------------------------------------------------------------------------
// States

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (TraceRecording() && matrix != nullptr) {
        Trace("SetTransform", "%u, [%g %g %g %g | %g %g %g %g | %g %g %g %g | %g %g %g %g]", state,
              matrix->_11, matrix->_12, matrix->_13, matrix->_14, matrix->_21, matrix->_22,
              matrix->_23, matrix->_24, matrix->_31, matrix->_32, matrix->_33, matrix->_34,
              matrix->_41, matrix->_42, matrix->_43, matrix->_44);
    } else {
        Trace("SetTransform", "%u", state);
    }
    if (matrix == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (!IsTransformState(state)) {
        return Refuse(Why::UnknownState);
    }
    state_.transforms[state] = *matrix;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    Enter("GetTransform");
    if (matrix == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (!IsTransformState(state)) {
        return Refuse(Why::UnknownState);
    }
    *matrix = state_.transforms[state];
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (viewport == nullptr) {
        Trace("SetViewport", "null");
        return Refuse(Why::NullArgument);
    }
    Trace("SetViewport", "%u, %u, %u, %u, %g, %g", viewport->X, viewport->Y, viewport->Width,
          viewport->Height, viewport->MinZ, viewport->MaxZ);
    if (ConsumeFailure(D3D9FailPoint::SetViewport)) {
        return Refuse(Why::InjectedInvalidCall);
    }
    const Surface* target = state_.renderTargets[0];
    uint64_t right = static_cast<uint64_t>(viewport->X) + viewport->Width;
    uint64_t bottom = static_cast<uint64_t>(viewport->Y) + viewport->Height;
    if (right > static_cast<uint64_t>(target->Width()) ||
        bottom > static_cast<uint64_t>(target->Height())) {
        return Refuse(Why::ViewportOutsideTarget);
    }
    if (!(viewport->MinZ >= 0.0f) || !(viewport->MaxZ <= 1.0f) || viewport->MinZ > viewport->MaxZ) {
        return Refuse(Why::BadDepthRange);
    }
    state_.viewport = *viewport;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    Enter("GetViewport");
    if (viewport == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    Trace("SetMaterial", " ");
    if (material == nullptr) {
        return Refuse(Why::NullArgument);
    }
    state_.material = *material;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    Enter("GetMaterial");
    if (material == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    Trace("SetLight", "%u, type %u", index, light != nullptr ? light->Type : 0u);
    if (light == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) {
        return Refuse(Why::BadLightType);
    }
    auto found = state_.lights.find(index);
    if (found == state_.lights.end()) {
        state_.lights[index] = LightSlot{*light, false};
    } else {
        found->second.light = *light;
    }
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    Enter("GetLight");
    auto found = state_.lights.find(index);
    if (light == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (found == state_.lights.end()) {
        return Refuse(Why::LightNeverSet);
    }
    *light = found->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    Trace("LightEnable", "%u, %d", index, enable);
    auto found = state_.lights.find(index);
    if (found == state_.lights.end()) {
        state_.lights[index] = LightSlot{DefaultLight(), enable != FALSE};
    } else {
        found->second.enabled = enable != FALSE;
    }
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    Enter("GetLightEnable");
    auto found = state_.lights.find(index);
    if (enable == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (found == state_.lights.end()) {
        return Refuse(Why::LightNeverSet);
    }
    *enable = found->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    Trace("SetRenderState", "%u, 0x%X", state, value);
    if (state >= static_cast<DWORD>(kRenderStateCount)) {
        return Refuse(Why::UnknownState);
    }
    state_.renderStates[state] = value;
    rasterStates_.render[state] = value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    Enter("GetRenderState");
    if (value == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (state >= static_cast<DWORD>(kRenderStateCount)) {
        return Refuse(Why::UnknownState);
    }
    *value = state_.renderStates[state];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    Trace("SetTexture", "%u, %p", stage, static_cast<void*>(texture));
    if (stage >= static_cast<DWORD>(kSamplerCount)) {
        return Refuse(Why::IndexOutOfRange);
    }
    Rebind(state_.textures[stage], texture);
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    Enter("GetTexture");
    if (texture == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (stage >= static_cast<DWORD>(kSamplerCount)) {
        return Refuse(Why::IndexOutOfRange);
    }
    *texture = state_.textures[stage];
    if (*texture != nullptr) {
        (*texture)->AddRef();
    }
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    Trace("SetTextureStageState", "%u, %u, 0x%X", stage, type, value);
    HRESULT check = CheckSlot(stage, kTextureStageCount, type, kTextureStageStateCount);
    if (FAILED(check)) {
        return check;
    }
    state_.stageStates[stage][type] = value;
    KeepRasterStageState(stage, type, value);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    Enter("GetTextureStageState");
    if (value == nullptr) {
        return Refuse(Why::NullArgument);
    }
    HRESULT check = CheckSlot(stage, kTextureStageCount, type, kTextureStageStateCount);
    if (FAILED(check)) {
        return check;
    }
    *value = state_.stageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    Trace("SetSamplerState", "%u, %u, 0x%X", sampler, type, value);
    HRESULT check = CheckSlot(sampler, kSamplerCount, type, kSamplerStateCount);
    if (FAILED(check)) {
        return check;
    }
    state_.samplerStates[sampler][type] = value;
    KeepRasterSamplerState(sampler, type, value);
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    Enter("GetSamplerState");
    if (value == nullptr) {
        return Refuse(Why::NullArgument);
    }
    HRESULT check = CheckSlot(sampler, kSamplerCount, type, kSamplerStateCount);
    if (FAILED(check)) {
        return check;
    }
    *value = state_.samplerStates[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    Trace("SetScissorRect", "%s", FormatRect(rect).c_str());
    if (rect == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (rect->left > rect->right || rect->top > rect->bottom) {
        return Refuse(Why::BadScissorRect);
    }
    state_.scissor = *rect;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
    Enter("GetScissorRect");
    if (rect == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *rect = state_.scissor;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                UINT stride) {
    Trace("SetStreamSource", "%u, %p, offset %u, stride %u", stream, static_cast<void*>(data),
          offset, stride);
    // One stream: the fixed-function FVF draws read stream 0 alone.
    if (stream != 0) {
        return Refuse(Why::IndexOutOfRange);
    }
    Rebind(state_.streamSource, static_cast<VertexBuffer*>(data));
    state_.streamOffset = offset;
    state_.streamStride = stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indices) {
    Trace("SetIndices", "%p", static_cast<void*>(indices));
    Rebind(state_.indices, static_cast<IndexBuffer*>(indices));
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    Trace("SetFVF", "0x%X", fvf);
    state_.fvf = fvf;
    // Setting an FVF replaces the vertex declaration, as in Direct3D 9.
    Rebind(state_.vertexDeclaration, static_cast<VertexDeclaration*>(nullptr));
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    Enter("GetFVF");
    if (fvf == nullptr) {
        return Refuse(Why::NullArgument);
    }
    *fvf = state_.fvf;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Shaders

namespace {

// The refusal that names a compile error.
Why RefusalFor(shader::ShaderError error) {
    switch (error) {
        case shader::ShaderError::kNoEndToken:
            return Why::BadShader;
        case shader::ShaderError::kBadVersion:
            return Why::ShaderVersion;
        case shader::ShaderError::kUnknownOpcode:
            return Why::ShaderOpcode;
        case shader::ShaderError::kBadLength:
            return Why::ShaderLength;
        case shader::ShaderError::kBadRegister:
            return Why::ShaderRegister;
        case shader::ShaderError::kRegisterOutOfRange:
            return Why::ShaderRegisterRange;
        case shader::ShaderError::kBadModifier:
            return Why::ShaderModifier;
        case shader::ShaderError::kBadFlowControl:
            return Why::ShaderFlowControl;
        case shader::ShaderError::kBadDeclaration:
            return Why::ShaderDeclaration;
        case shader::ShaderError::kTooLong:
        case shader::ShaderError::kNone:
            break;
    }
    return Why::ShaderTooLong;
}

// Checks the stream (up to its end token, walked instruction by instruction by the lengths
// the tokens give) and compiles it once. A version above the caps' is refused, as a device
// refuses shaders it cannot run.
template <class Shader, class Interface>
HRESULT MakeShader(const DWORD* function, shader::ShaderKind kind, DWORD capsVersion,
                   Interface** shader) {
    if (function == nullptr || shader == nullptr) {
        return Refuse(Why::NullArgument);
    }
    const size_t kLimit = 1u << 20;
    if ((function[0] & 0xFFFFu) > (capsVersion & 0xFFFFu) ||
        (function[0] & 0xFFFF0000u) != (capsVersion & 0xFFFF0000u)) {
        return Refuse(Why::ShaderVersion);
    }
    size_t length = shader::ShaderStreamLength(function, kLimit);
    if (length == 0) {
        return Refuse(Why::BadShader);
    }
    auto program = std::make_shared<shader::ShaderProgram>();
    shader::ShaderCompileResult result =
        shader::CompileShader(function, length, kind, program.get());
    if (result.error != shader::ShaderError::kNone) {
        return Refuse(RefusalFor(result.error));
    }
    *shader = new Shader(std::vector<DWORD>(function, function + length), std::move(program));
    return D3D_OK;
}

// The element types, methods and usages the device reads.
bool ElementSupported(const D3DVERTEXELEMENT9& e) {
    return e.Stream == 0 && e.Type <= D3DDECLTYPE_UBYTE4 && e.Method == D3DDECLMETHOD_DEFAULT &&
           e.Usage <= 13;
}

}  // namespace

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                        IDirect3DVertexDeclaration9** declaration) {
    Trace("CreateVertexDeclaration", " ");
    if (elements == nullptr || declaration == nullptr) {
        return Refuse(Why::NullArgument);
    }
    std::vector<D3DVERTEXELEMENT9> list;
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e) {
        if (list.size() == 64) {
            return Refuse(Why::TooManyElements);
        }
        if (!ElementSupported(*e)) {
            return Refuse(Why::BadDeclarationElement);
        }
        list.push_back(*e);
    }
    *declaration = new VertexDeclaration(std::move(list));
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    Trace("SetVertexDeclaration", "%p", static_cast<void*>(declaration));
    Rebind(state_.vertexDeclaration, static_cast<VertexDeclaration*>(declaration));
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
    Trace("CreateVertexShader", " ");
    return MakeShader<VertexShader>(function, shader::ShaderKind::kVertex,
                                    caps_.VertexShaderVersion, shader);
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    Trace("SetVertexShader", "%p", static_cast<void*>(shader));
    Rebind(state_.vertexShader, static_cast<VertexShader*>(shader));
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    Trace("CreatePixelShader", " ");
    return MakeShader<PixelShader>(function, shader::ShaderKind::kPixel, caps_.PixelShaderVersion,
                                   shader);
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    Trace("SetPixelShader", "%p", static_cast<void*>(shader));
    Rebind(state_.pixelShader, static_cast<PixelShader*>(shader));
    return D3D_OK;
}

namespace {

// Copies `count` registers from `start` into the device's state or out of it.
template <class T, size_t N>
HRESULT CopyRegisters(T (&registers)[N], UINT start, const T* data, UINT count, bool toDevice,
                      T* out) {
    if (toDevice ? data == nullptr : out == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (start > N || count > N - start) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (toDevice) {
        std::copy(data, data + count, registers + start);
    } else {
        std::copy(registers + start, registers + start + count, out);
    }
    return D3D_OK;
}

// The same for float registers, four floats each.
template <size_t N>
HRESULT CopyFloatRegisters(float (&registers)[N][4], UINT start, const float* data, UINT count,
                           bool toDevice, float* out) {
    if (toDevice ? data == nullptr : out == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (start > N || count > N - start) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (toDevice) {
        std::memcpy(registers[start], data, count * 16u);
    } else {
        std::memcpy(out, registers[start], count * 16u);
    }
    return D3D_OK;
}

// The same for integer registers, four integers each.
template <size_t N>
HRESULT CopyIntRegisters(int (&registers)[N][4], UINT start, const int* data, UINT count,
                         bool toDevice, int* out) {
    if (toDevice ? data == nullptr : out == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (start > N || count > N - start) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (toDevice) {
        std::memcpy(registers[start], data, count * 16u);
    } else {
        std::memcpy(out, registers[start], count * 16u);
    }
    return D3D_OK;
}

}  // namespace

HRESULT Device::SetVertexShaderConstantF(UINT startRegister, const float* data,
                                         UINT vector4fCount) {
    Trace("SetVertexShaderConstantF", "%u, %u", startRegister, vector4fCount);
    return CopyFloatRegisters(state_.vertexShaderFloats, startRegister, data, vector4fCount, true,
                              static_cast<float*>(nullptr));
}

HRESULT Device::GetVertexShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) {
    Enter("GetVertexShaderConstantF");
    return CopyFloatRegisters(state_.vertexShaderFloats, startRegister,
                              static_cast<const float*>(nullptr), vector4fCount, false, data);
}

HRESULT Device::SetVertexShaderConstantB(UINT startRegister, const BOOL* data, UINT boolCount) {
    Trace("SetVertexShaderConstantB", "%u, %u", startRegister, boolCount);
    return CopyRegisters(state_.vertexShaderBools, startRegister, data, boolCount, true,
                         static_cast<BOOL*>(nullptr));
}

HRESULT Device::GetVertexShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) {
    Enter("GetVertexShaderConstantB");
    return CopyRegisters(state_.vertexShaderBools, startRegister, static_cast<const BOOL*>(nullptr),
                         boolCount, false, data);
}

HRESULT Device::SetPixelShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) {
    Trace("SetPixelShaderConstantF", "%u, %u", startRegister, vector4fCount);
    return CopyFloatRegisters(state_.pixelShaderFloats, startRegister, data, vector4fCount, true,
                              static_cast<float*>(nullptr));
}

HRESULT Device::GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) {
    Enter("GetPixelShaderConstantF");
    return CopyFloatRegisters(state_.pixelShaderFloats, startRegister,
                              static_cast<const float*>(nullptr), vector4fCount, false, data);
}

HRESULT Device::SetVertexShaderConstantI(UINT startRegister, const int* data, UINT vector4iCount) {
    Trace("SetVertexShaderConstantI", "%u, %u", startRegister, vector4iCount);
    return CopyIntRegisters(state_.vertexShaderInts, startRegister, data, vector4iCount, true,
                            static_cast<int*>(nullptr));
}

HRESULT Device::GetVertexShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) {
    Enter("GetVertexShaderConstantI");
    return CopyIntRegisters(state_.vertexShaderInts, startRegister,
                            static_cast<const int*>(nullptr), vector4iCount, false, data);
}

HRESULT Device::SetPixelShaderConstantI(UINT startRegister, const int* data, UINT vector4iCount) {
    Trace("SetPixelShaderConstantI", "%u, %u", startRegister, vector4iCount);
    return CopyIntRegisters(state_.pixelShaderInts, startRegister, data, vector4iCount, true,
                            static_cast<int*>(nullptr));
}

HRESULT Device::GetPixelShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) {
    Enter("GetPixelShaderConstantI");
    return CopyIntRegisters(state_.pixelShaderInts, startRegister, static_cast<const int*>(nullptr),
                            vector4iCount, false, data);
}

HRESULT Device::SetPixelShaderConstantB(UINT startRegister, const BOOL* data, UINT boolCount) {
    Trace("SetPixelShaderConstantB", "%u, %u", startRegister, boolCount);
    return CopyRegisters(state_.pixelShaderBools, startRegister, data, boolCount, true,
                         static_cast<BOOL*>(nullptr));
}

HRESULT Device::GetPixelShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) {
    Enter("GetPixelShaderConstantB");
    return CopyRegisters(state_.pixelShaderBools, startRegister, static_cast<const BOOL*>(nullptr),
                         boolCount, false, data);
}

}  // namespace platform::d3d9
