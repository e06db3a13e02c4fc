// The plain data the CPU rasteriser works on: surfaces and textures as pointer, size, pitch and
// format; a state block indexed by Direct3D 9's own state numbers; vertices already in screen
// space. Nothing here knows the device objects, so the rasteriser can be driven (and tested)
// directly.
//
// The constants below carry Direct3D 9's numbers under names of our own, so that this header
// does not collide with the device header, which declares the Windows names.
#pragma once

#include <cstdint>

namespace platform {

// Surface and texture formats (D3DFORMAT values).
enum : uint32_t {
    kFmtA8R8G8B8 = 21,
    kFmtX8R8G8B8 = 22,
    kFmtR5G6B5 = 23,
    kFmtX1R5G5B5 = 24,
    kFmtA1R5G5B5 = 25,
    kFmtA4R4G4B4 = 26,
    kFmtD32 = 71,
    kFmtD24X8 = 77,
    kFmtD16 = 80,
    kFmtDxt1 = 0x31545844,
    kFmtDxt2 = 0x32545844,
    kFmtDxt3 = 0x33545844,
    kFmtDxt4 = 0x34545844,
    kFmtDxt5 = 0x35545844,
};

// Render states the rasteriser reads (D3DRENDERSTATETYPE values).
enum : uint32_t {
    kRsZEnable = 7,
    kRsFillMode = 8,
    kRsShadeMode = 9,
    kRsZWriteEnable = 14,
    kRsAlphaTestEnable = 15,
    kRsLastPixel = 16,
    kRsSrcBlend = 19,
    kRsDestBlend = 20,
    kRsCullMode = 22,
    kRsZFunc = 23,
    kRsAlphaRef = 24,
    kRsAlphaFunc = 25,
    kRsDitherEnable = 26,
    kRsAlphaBlendEnable = 27,
    kRsFogEnable = 28,
    kRsSpecularEnable = 29,
    kRsFogColor = 34,
    kRsFogTableMode = 35,
    kRsFogStart = 36,
    kRsFogEnd = 37,
    kRsFogDensity = 38,
    kRsTextureFactor = 60,
    kRsLighting = 137,
    kRsFogVertexMode = 140,
    kRsColorWriteEnable = 168,
    kRsBlendOp = 171,
    kRsScissorTestEnable = 174,
    kRsSlopeScaleDepthBias = 175,
    kRsDepthBias = 195,
    kRenderStateCount = 256,
};

// Texture stage states (D3DTEXTURESTAGESTATETYPE values).
enum : uint32_t {
    kTssColorOp = 1,
    kTssColorArg1 = 2,
    kTssColorArg2 = 3,
    kTssAlphaOp = 4,
    kTssAlphaArg1 = 5,
    kTssAlphaArg2 = 6,
    kTssTexCoordIndex = 11,
    kTssTextureTransformFlags = 24,
    kTssResultArg = 28,
    kStageStateCount = 33,
};

// Sampler states (D3DSAMPLERSTATETYPE values).
enum : uint32_t {
    kSampAddressU = 1,
    kSampAddressV = 2,
    kSampAddressW = 3,
    kSampBorderColor = 4,
    kSampMagFilter = 5,
    kSampMinFilter = 6,
    kSampMipFilter = 7,
    kSampMipMapLodBias = 8,
    kSampMaxMipLevel = 9,
    kSamplerStateCount = 14,
};

// Texture operations (D3DTEXTUREOP values).
enum : uint32_t {
    kTopDisable = 1,
    kTopSelectArg1 = 2,
    kTopSelectArg2 = 3,
    kTopModulate = 4,
    kTopModulate2x = 5,
    kTopModulate4x = 6,
    kTopAdd = 7,
    kTopAddSigned = 8,
    kTopSubtract = 10,
    kTopBlendDiffuseAlpha = 12,
    kTopBlendTextureAlpha = 13,
    kTopBlendFactorAlpha = 14,
    kTopBlendCurrentAlpha = 16,
};

// Stage arguments and modifiers (D3DTA values).
enum : uint32_t {
    kTaSelectMask = 0x0F,
    kTaDiffuse = 0,
    kTaCurrent = 1,
    kTaTexture = 2,
    kTaTFactor = 3,
    kTaSpecular = 4,
    kTaTemp = 5,
    kTaComplement = 0x10,
    kTaAlphaReplicate = 0x20,
};

enum : uint32_t {
    kAddressWrap = 1,
    kAddressMirror = 2,
    kAddressClamp = 3,
    kAddressBorder = 4,
    kAddressMirrorOnce = 5,
};

enum : uint32_t {
    kFilterNone = 0,
    kFilterPoint = 1,
    kFilterLinear = 2,
    kFilterAnisotropic = 3,
};

// Blend factors (D3DBLEND) and operations (D3DBLENDOP).
enum : uint32_t {
    kBlendZero = 1,
    kBlendOne = 2,
    kBlendSrcColor = 3,
    kBlendInvSrcColor = 4,
    kBlendSrcAlpha = 5,
    kBlendInvSrcAlpha = 6,
    kBlendDestAlpha = 7,
    kBlendInvDestAlpha = 8,
    kBlendDestColor = 9,
    kBlendInvDestColor = 10,
    kBlendSrcAlphaSat = 11,
};
enum : uint32_t {
    kBlendOpAdd = 1,
    kBlendOpSubtract = 2,
    kBlendOpRevSubtract = 3,
    kBlendOpMin = 4,
    kBlendOpMax = 5,
};

// Compare functions (D3DCMPFUNC).
enum : uint32_t {
    kCmpNever = 1,
    kCmpLess = 2,
    kCmpEqual = 3,
    kCmpLessEqual = 4,
    kCmpGreater = 5,
    kCmpNotEqual = 6,
    kCmpGreaterEqual = 7,
    kCmpAlways = 8,
};

enum : uint32_t { kCullNone = 1, kCullCw = 2, kCullCcw = 3 };
enum : uint32_t { kShadeFlat = 1, kShadeGouraud = 2 };
enum : uint32_t { kFillPoint = 1, kFillWireframe = 2, kFillSolid = 3 };
enum : uint32_t { kFogNone = 0, kFogExp = 1, kFogExp2 = 2, kFogLinear = 3 };
constexpr uint32_t kTtffProjected = 256;

// Primitive types (D3DPRIMITIVETYPE).
enum : uint32_t {
    kPrimPointList = 1,
    kPrimLineList = 2,
    kPrimLineStrip = 3,
    kPrimTriangleList = 4,
    kPrimTriangleStrip = 5,
    kPrimTriangleFan = 6,
};

constexpr int kRasterStageCount = 4;   // texture stages the combiner runs
constexpr int kRasterStateStages = 8;  // stages whose states are stored
// Samplers a pixel shader may name: a ps_2_0 has s0 to s15, each reading the texture and sampler
// states of its own number.
constexpr int kRasterSamplerCount = 16;
constexpr int kRasterTexCoordSets = 4;  // texture-coordinate sets a vertex carries
constexpr int kRasterMaxLevels = 16;

// A rectangle of pixels: bits points at the top-left pixel.
struct RasterSurface {
    uint8_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;  // bytes per row; for DXT formats, bytes per row of 4x4 blocks
    uint32_t format = 0;
};

// A texture: its format and the chain of mip levels, largest first.
struct RasterTexture {
    uint32_t format = 0;
    int32_t levelCount = 0;
    RasterSurface levels[kRasterMaxLevels];
};

struct RasterViewport {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

struct RasterRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// A pixel shader with its constants (shaders/pixel_route.h); null: the texture stages.
struct RasterPixelShader;

// Every state the pixel path may read, indexed by Direct3D 9's numbers. Values are stored as the
// device received them; they are interpreted only when used.
struct RasterStates {
    uint32_t render[kRenderStateCount] = {};
    uint32_t stage[kRasterStateStages][kStageStateCount] = {};
    uint32_t sampler[kRasterSamplerCount][kSamplerStateCount] = {};
    const RasterTexture* textures[kRasterSamplerCount] = {};
    RasterViewport viewport;
    RasterRect scissor;
    bool blendOpCap = true;  // without it BLENDOP is ignored (always ADD)
    bool argTempCap = true;  // without it RESULTARG and the TEMP argument are ignored
    // Table fog takes the eye distance w (1 / rhw) rather than z: the projection is not affine.
    bool fogFromW = false;
    // The vertices carry a fog factor in their specular alpha (computed vertex fog, or a
    // specular colour given with the vertex); otherwise fog without a table mode leaves them.
    bool vertexFogInSpecular = false;
    // Sets whose coordinates are divided by their q at each pixel (projected texturing).
    bool texProjected[kRasterTexCoordSets] = {};
    const RasterPixelShader* pixelShader = nullptr;
};

// Fills a state block with Direct3D 9's defaults.
void SetDefaultRasterStates(RasterStates* states);

// A vertex in screen space: x, y in pixels, z in 0..1, rhw = 1 / w of the clip-space position.
struct RasterVertex {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float rhw = 1.0f;
    uint32_t diffuse = 0xFFFFFFFFu;  // 0xAARRGGBB
    uint32_t specular = 0u;          // its alpha is the vertex fog factor (255: no fog)
    float tex[kRasterTexCoordSets][2] = {};
    float texQ[kRasterTexCoordSets] = {1.0f, 1.0f, 1.0f, 1.0f};  // read only for projected sets
};

// Where a draw lands: the colour target and, optionally, the depth surface.
struct RasterTarget {
    RasterSurface color;
    RasterSurface depth;  // bits null: no depth buffer
};

}  // namespace platform
