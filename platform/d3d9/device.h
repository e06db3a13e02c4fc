// The device: its stored states with Direct3D 9's defaults, its resources,
// copies, scenes and presentation. The rasteriser adds its draw methods in
// files of its own (raster_*.cpp) and reads the states through State().
#pragma once

#include <map>
#include <memory>

#include "platform/d3d9.h"
#include "platform/d3d9/objects.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_types.h"

namespace platform::d3d9 {

constexpr int kRenderStateCount = 256;
constexpr int kTextureStageCount = 8;
constexpr int kTextureStageStateCount = 33;
constexpr int kSamplerCount = 16;
constexpr int kSamplerStateCount = 14;
constexpr int kTransformCount = 512;
constexpr int kRenderTargetCount = 4;
constexpr int kVertexShaderFloatCount = 256;
constexpr int kPixelShaderFloatCount = 224;
constexpr int kShaderBoolCount = 16;
constexpr int kShaderIntCount = 16;

struct LightSlot {
    D3DLIGHT9 light;
    bool enabled;
};

// Everything a draw reads. Bound objects are held with a reference.
struct DeviceState {
    DWORD renderStates[kRenderStateCount];
    DWORD stageStates[kTextureStageCount][kTextureStageStateCount];
    DWORD samplerStates[kSamplerCount][kSamplerStateCount];
    D3DMATRIX transforms[kTransformCount];
    D3DVIEWPORT9 viewport;
    RECT scissor;
    D3DMATERIAL9 material;
    std::map<DWORD, LightSlot> lights;
    float vertexShaderFloats[kVertexShaderFloatCount][4];
    BOOL vertexShaderBools[kShaderBoolCount];
    float pixelShaderFloats[kPixelShaderFloatCount][4];
    int vertexShaderInts[kShaderIntCount][4];
    int pixelShaderInts[kShaderIntCount][4];
    BOOL pixelShaderBools[kShaderBoolCount];
    IDirect3DBaseTexture9* textures[kSamplerCount];
    Surface* renderTargets[kRenderTargetCount];
    Surface* depthStencil;
    DWORD fvf;
    VertexBuffer* streamSource;  // stream 0
    UINT streamOffset;
    UINT streamStride;
    IndexBuffer* indices;
    VertexShader* vertexShader;
    PixelShader* pixelShader;
    VertexDeclaration* vertexDeclaration;
    bool inScene;
    BOOL dialogBoxMode;
};

// Fills a state record with Direct3D 9's values before anything is set.
void SetDefaultStates(DeviceState* state);

class Device;

// The swap chain of a device. Its references, and those of its back buffer,
// are the device's.
class SwapChain final : public IDirect3DSwapChain9 {
  public:
    SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, DeviceLifePtr life);
    ~SwapChain() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** backBuffer) override;

    Surface* BackBuffer() { return backBuffer_.get(); }
    const D3DPRESENT_PARAMETERS& Parameters() const { return parameters_; }

  private:
    Device* device_;
    D3DPRESENT_PARAMETERS parameters_;
    DeviceLifePtr life_;
    std::unique_ptr<Surface> backBuffer_;
};

class Device final : public RefCounted<Device, IDirect3DDevice9, &IID_IDirect3DDevice9> {
  public:
    Device(const D3DPRESENT_PARAMETERS& parameters, HWND focusWindow, DWORD behaviorFlags,
           const D3DCAPS9& caps);
    ~Device();

    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** backBuffer) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT SetDialogBoxMode(BOOL enable) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                               D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                               BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                      BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;

    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                          IDirect3DSurface9* dest, const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;

    // Drawing (raster_device.cpp).
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indexData,
                                   D3DFORMAT indexFormat, const void* vertexData,
                                   UINT stride) override;

    // Drawing from buffers (the bindings in device.cpp, the draws in raster_device.cpp).
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                            UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                 UINT numVertices, UINT startIndex, UINT primitiveCount) override;

    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data,
                                     UINT vector4fCount) override;
    HRESULT GetVertexShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;
    HRESULT SetVertexShaderConstantB(UINT startRegister, const BOOL* data, UINT boolCount) override;
    HRESULT GetVertexShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                    UINT vector4fCount) override;
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;
    HRESULT SetVertexShaderConstantI(UINT startRegister, const int* data,
                                     UINT vector4iCount) override;
    HRESULT GetVertexShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) override;
    HRESULT SetPixelShaderConstantI(UINT startRegister, const int* data,
                                    UINT vector4iCount) override;
    HRESULT GetPixelShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) override;
    HRESULT SetPixelShaderConstantB(UINT startRegister, const BOOL* data, UINT boolCount) override;
    HRESULT GetPixelShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) override;

    // For the rasteriser, presentation and the test hooks.
    const DeviceState& State() const { return state_; }
    bool IsLost() const { return life_->lost; }
    void MakeLost() { life_->lost = true; }
    SwapChain* ImplicitSwapChain() { return swapChain_.get(); }
    const D3DCAPS9& Caps() const { return caps_; }
    // The part of the render target that draws and clears may touch: the
    // viewport, cut by the scissor rectangle while the scissor test is on.
    RECT DrawableArea() const;

  private:
    template <class T>
    static void Rebind(T*& slot, T* object);
    void BindTarget(Surface*& slot, Surface* surface);

    HRESULT CheckTextureRequest(UINT width, UINT height, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool) const;
    void ClearRect(const RECT& area, DWORD flags, D3DCOLOR color, float z);
    // The rasteriser's copy of the render, stage and sampler states, which the setters keep
    // in step (raster_device.cpp), so that a draw does not copy them all.
    void CopyRasterStates();
    void KeepRasterStageState(DWORD stage, DWORD type, DWORD value);
    void KeepRasterSamplerState(DWORD sampler, DWORD type, DWORD value);
    HRESULT DrawVertices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertexData,
                         UINT vertexCount, UINT stride, const uint32_t* indices);
    // Indices of a draw, relative to its first vertex; one outside the vertex range becomes
    // vertexCount, which no primitive reads.
    HRESULT DrawWithIndices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* indexData,
                            D3DFORMAT indexFormat, int64_t baseVertex, UINT minVertexIndex,
                            UINT numVertices, const uint8_t* vertexData, UINT stride);

    DeviceLifePtr life_;
    D3DPRESENT_PARAMETERS parameters_;
    HWND focusWindow_;
    DWORD behaviorFlags_;
    D3DCAPS9 caps_;
    std::unique_ptr<SwapChain> swapChain_;
    Surface* autoDepthStencil_ = nullptr;
    DeviceState state_;
    RasterStates rasterStates_;
    // Small draws kept for the workers until something reads or changes pixels.
    std::unique_ptr<RasterBatch> batch_;
};

// A surface size the device can keep (render targets, depth and plain
// surfaces, back buffers): refused past kMaxSurfaceSide, out of video memory
// past kMaxSurfaceBytes, before anything is reserved.
HRESULT CheckSurfaceSize(D3DFORMAT format, UINT width, UINT height);

// Direct3D 9's rules for the present parameters; fills in the size and
// format a windowed device takes from its window and the desktop.
HRESULT CompletePresentParameters(D3DPRESENT_PARAMETERS* parameters, HWND focusWindow);

}  // namespace platform::d3d9
