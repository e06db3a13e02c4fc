// The device-state cache of the hardware path: the last value sent of every
// device state the library sets, and the setters that send a value only when
// it differs. A setter that really changes something flushes the vertex batch
// first, because the pending vertices were meant for the old state. After a
// device reset everything is sent again with the force flag set, so that the
// comparisons do not hold back the re-send.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "platform/d3d9.h"
#include "platform/types.h"

namespace tessel {

constexpr int kSamplerStageCount = 8;
constexpr int kLightSlotCount = 256;
constexpr int kShaderLightCount = 4;  // lights with shader registers
constexpr int kVertexConstantCount = 256;
constexpr int kPixelConstantCount = 32;

// The cache's own names of the three filter states, which callers of
// SetSamplerFilterState pass; the device numbers them 5, 6 and 7.
enum SamplerFilterKind : int {
    kFilterKindMag = 16,
    kFilterKindMin = 17,
    kFilterKindMip = 18,
};

// Summary filter modes; kFilterModePerStage marks a per-stage setting and
// never equals a requested mode.
enum FilterMode : int {
    kFilterNearest = 0,
    kFilterBilinear = 1,
    kFilterAnisotropic = 2,
    kFilterModePerStage = 3,
};

// One stage of a texture-stage program; -1 in a field means leave the
// device's value as it is. The texture is a device texture, or, when the
// caller asks for handles to be resolved, the image handle in `imageHandle`.
struct StageProgramEntry {
    IDirect3DBaseTexture9* texture;
    int32_t imageHandle;
    int32_t texCoordIndex;
    int32_t resultTarget;  // 0: RESULTARG CURRENT, other: TEMP
    int16_t alphaArg1;
    int16_t alphaArg2;
    int16_t alphaOp;
    int16_t colorArg1;
    int16_t colorArg2;
    int16_t colorOp;
};

struct StageProgram {
    int32_t alphaTestEnable;
    int32_t alphaRef;
    int32_t alphaFunc;
    int32_t alphaBlendEnable;
    uint32_t textureFactor;  // 0xAARRGGBB
    int32_t srcBlend;        // -1 leaves
    int32_t destBlend;       // -1 leaves
    int32_t blendOp;         // -1 leaves
    int32_t stageCount;
    StageProgramEntry stages[kSamplerStageCount];
};

// The per-stage sampler states the cache keeps, in this order.
enum CachedSamplerState : int {
    kSamplerAddressU = 0,
    kSamplerAddressV,
    kSamplerAddressW,
    kSamplerMagFilter,
    kSamplerMinFilter,
    kSamplerMipFilter,
    kSamplerMaxAnisotropy,
    kCachedSamplerStateCount,
};

struct DeviceStateCache {
    // 1 only inside the re-apply steps: every setter sends even equal values.
    int32_t force;

    // Single render states, as the library gave them (not as sent).
    int32_t zEnable;
    int32_t zWrite;
    int32_t zFunc;
    uint32_t depthBias;  // float bits
    int32_t fillMode;
    int32_t shadeMode;
    int32_t cullMode;
    int32_t lighting;
    int32_t specular;
    int32_t diffuseFromVertex;
    int32_t specularFromVertex;
    int32_t fogEnable;
    int32_t fogMode;
    uint32_t fogColor;
    float fogStart;
    float fogEnd;
    float fogDensity;
    uint32_t lastFvf;

    int32_t sampler[kSamplerStageCount][kCachedSamplerStateCount];
    int32_t filterMode;
    int32_t maxAnisotropy;  // -1 after a per-stage change

    StageProgram program;

    int32_t texTransformOn[kSamplerStageCount];
    Mat4 texTransform[kSamplerStageCount];
    int32_t directTexTransform;
    Mat4 view;  // lights in view space are computed from it
    D3DMATERIAL9 material;
    float ambient[4];  // r, g, b, a in 0..1
    D3DLIGHT9 lights[kLightSlotCount];
    int32_t lightEnabled[kLightSlotCount];
    int32_t highestLight;

    D3DVIEWPORT9 viewport;
    RECT scissor;
    IDirect3DSurface9* renderTarget;

    // The shader path's entries. The stream source, its stride and the index
    // buffer hold only for one scene.
    IDirect3DVertexShader9* vertexShader;
    IDirect3DPixelShader9* pixelShader;
    IDirect3DVertexDeclaration9* declaration;
    IDirect3DVertexBuffer9* streamSource;
    uint32_t streamStride;
    IDirect3DIndexBuffer9* indexBuffer;
    float vertexConstants[kVertexConstantCount][4];
    float pixelConstants[kPixelConstantCount][4];
    int32_t wholeUpload;

    // Per-draw state that the draw set-up owns and rebuilds when a dirty
    // flag says so.
    IDirect3DBaseTexture9* drawTexture;
    int32_t blendMode;
    int32_t imageAlpha;
    int32_t colorKey;
    int32_t colorModulation;
    int32_t alphaModulation;
    IDirect3DBaseTexture9* maskTexture;
    int32_t maskThreshold;
    int32_t maskRange;
    int32_t programDirty;
    int32_t textureDirty;
};

extern DeviceStateCache g_stateCache;

// ---- public setters: -1 without a device where the comment says so, else 0;
// "result" ones 0 when the device took the value and -1 when it did not.
int SetZEnableState(int value);  // -1 without a device; only 1 enables
int SetZWriteState(int value);   // -1 without a device
int SetZFuncState(int value);    // -1 without a device
int SetDepthBiasState(int value);
int SetFillModeState(int value);
int SetShadeModeState(int value);  // result
int SetCullModeState(int value);   // 0: none, 2: clockwise, else counter-clockwise
int SetSpecularState(int value);   // result
int SetDiffuseFromVertexColor(int value);
int SetSpecularFromVertexColor(int value);
// Without a flush: the lighting switch never changes how pending 2D vertices
// draw, since they are pre-transformed.
int SetLightingSwitch(int on);
// Takes the draw settings' fog switch; compares even under the force flag.
void ApplyFogEnableState();
// kind is a SamplerFilterKind; another kind or a stage above 7 changes
// nothing. No flush.
int SetSamplerFilterState(int stage, int kind, int value);
int SetSamplerMaxAnisotropy(int stage, int value);
int SetTexAddressingUVW(int u, int v, int w, int stage);
int SetTextureTransformState(int on, const Mat4* matrix, int stage);
int ResetTexCoordIndices();
int SetWorldTransformDirect(const Mat4* matrix);
int ApplyLightBlock(int index, int set, const D3DLIGHT9* light);
int ApplyMaterialBlock(const D3DMATERIAL9* material);
int ApplyImageTextureState(const StageProgram* program, int texturesOnly, int resolveHandles);

// ---- internal setters of the other graphics layers
int SetFilterModeState(int mode);  // -1 for a mode above 2, keeping the old one
int SetMaxAnisotropyState(int value);
int SetBlendState(int blendMode, int imageAlpha, int colorKey);
int SetDrawTexture(IDirect3DBaseTexture9* texture);
// threshold and range -1 keep the cached values.
int SetBlendMaskState(IDirect3DBaseTexture9* mask, int threshold, int range);
// Shadowed always; sent only on the shader path. -1 for a range outside the
// registers.
int SetVertexShaderConstF(int first, const float* data, int count);
int SetPixelShaderConstF(int first, const float* data, int count);
int SetViewTransformState(const Mat4* matrix);
int SetProjectionTransformState(const Mat4* matrix);
// stage 0..7 or -1 for all eight; -1 for any other stage.
int SetTexAddressAll(int value, int stage);
int SetTexAddressU(int value, int stage);
int SetTexAddressV(int value, int stage);
int SetTexAddressW(int value, int stage);
// stage -1 acts on stages 0..3.
int ApplyTextureTransform(int stage, int on, const Mat4* matrix);
int SetFogEnableState(int value);
int SetFogModeState(int formula);
int SetFogColorState(uint32_t color);
int SetFogRangeState(float start, float end);
int SetFogDensityState(float density);
// -1 (with a log line) when the device refuses, the cached viewport kept.
int SetViewportState(const D3DVIEWPORT9* viewport);
int SetViewportRect(int left, int top, int right, int bottom);
int SetScissorState(const RECT* rect);
int SetDeviceRenderTarget(IDirect3DSurface9* surface);
// An index above 255 is sent to the device but not cached.
int SetLightState(int index, const D3DLIGHT9* light);
int EnableLightState(int index, int on);
void UpdateLightMaterialConstants();
int SetMaterialState(const D3DMATERIAL9* material);
int SetAmbientColorState(uint32_t argb);

// One set of the draw settings' Z states: when it is disabled only ZENABLE
// goes off and the other three stay as the device has them.
struct ZStateSet {
    int32_t enable;
    int32_t write;
    int32_t func;
    uint32_t bias;
};
void ApplyZStateSet(const ZStateSet& set);

// ---- the cache's life with the device
// Right after the device is made: known values everywhere. 0.
int SetupDefaultDeviceStates();
// Sends the draw-relevant part of the cache again under the force flag.
void ReapplyDrawStateForced();
// After the device was made again: every cached value is sent. -1 without a
// device.
int ReapplyAllDeviceStates();
// A new device has none of the shader path's objects.
void ResetShaderCacheEntries();
// Nor any of the old device's textures and surfaces: their addresses may come
// back for new objects, which the cache must not take for the old ones.
void ForgetCachedDeviceObjects();
// Both material sources, stored without being sent.
void SetCachedMaterialSources(int value);
// A new scene binds no stream source or index buffer.
void ClearPerSceneCache();

}  // namespace tessel
