// Direct3D 9 as the library calls it: the d3d9.dll module's Direct3DCreate9,
// the Direct3D object, the device and its resources. The device draws on the
// CPU; platform/d3d9_testing.h holds what tests need beyond Direct3D.
#pragma once

#include "platform/com.h"
#include "platform/types.h"

// ---------------------------------------------------------------------------
// Results

#define D3D_OK S_OK
#define D3DERR_WRONGTEXTUREFORMAT ((HRESULT)0x88760818)
#define D3DERR_DRIVERINTERNALERROR ((HRESULT)0x88760827)
#define D3DERR_NOTFOUND ((HRESULT)0x88760866)
#define D3DERR_MOREDATA ((HRESULT)0x88760867)
#define D3DERR_DEVICELOST ((HRESULT)0x88760868)
#define D3DERR_DEVICENOTRESET ((HRESULT)0x88760869)
#define D3DERR_NOTAVAILABLE ((HRESULT)0x8876086A)
#define D3DERR_INVALIDDEVICE ((HRESULT)0x8876086B)
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086C)
#define D3DERR_OUTOFVIDEOMEMORY ((HRESULT)0x8876017C)
#define D3DERR_WASSTILLDRAWING ((HRESULT)0x8876021C)

#define D3D_SDK_VERSION 32u
#define D3DADAPTER_DEFAULT 0u

// ---------------------------------------------------------------------------
// Enumerations (plain DWORD values with Direct3D 9's numbers)

using D3DCOLOR = DWORD;
using D3DFORMAT = DWORD;
using D3DPOOL = DWORD;
using D3DDEVTYPE = DWORD;
using D3DRESOURCETYPE = DWORD;
using D3DMULTISAMPLE_TYPE = DWORD;
using D3DSWAPEFFECT = DWORD;
using D3DRENDERSTATETYPE = DWORD;
using D3DTEXTURESTAGESTATETYPE = DWORD;
using D3DSAMPLERSTATETYPE = DWORD;
using D3DTRANSFORMSTATETYPE = DWORD;
using D3DTEXTUREFILTERTYPE = DWORD;
using D3DBACKBUFFER_TYPE = DWORD;
using D3DLIGHTTYPE = DWORD;
using D3DPRIMITIVETYPE = DWORD;

#define D3DCOLOR_ARGB(a, r, g, b)                                                                  \
    ((D3DCOLOR)((((DWORD)(a)&0xFF) << 24) | (((DWORD)(r)&0xFF) << 16) | (((DWORD)(g)&0xFF) << 8) | \
                ((DWORD)(b)&0xFF)))
#define D3DCOLOR_XRGB(r, g, b) D3DCOLOR_ARGB(0xFF, r, g, b)

#define MAKEFOURCC(a, b, c, d)                                               \
    ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | \
     ((DWORD)(BYTE)(d) << 24))

#define D3DFMT_UNKNOWN 0u
#define D3DFMT_R8G8B8 20u
#define D3DFMT_A8R8G8B8 21u
#define D3DFMT_X8R8G8B8 22u
#define D3DFMT_R5G6B5 23u
#define D3DFMT_X1R5G5B5 24u
#define D3DFMT_A1R5G5B5 25u
#define D3DFMT_A4R4G4B4 26u
#define D3DFMT_R3G3B2 27u
#define D3DFMT_A8R3G3B2 29u
#define D3DFMT_X4R4G4B4 30u
#define D3DFMT_A2B10G10R10 31u
#define D3DFMT_A8B8G8R8 32u
#define D3DFMT_X8B8G8R8 33u
#define D3DFMT_A2R10G10B10 35u
#define D3DFMT_D32 71u
#define D3DFMT_D24X8 77u
#define D3DFMT_D16 80u
#define D3DFMT_INDEX16 101u
#define D3DFMT_INDEX32 102u
#define D3DFMT_DXT1 MAKEFOURCC('D', 'X', 'T', '1')
#define D3DFMT_DXT2 MAKEFOURCC('D', 'X', 'T', '2')
#define D3DFMT_DXT3 MAKEFOURCC('D', 'X', 'T', '3')
#define D3DFMT_DXT4 MAKEFOURCC('D', 'X', 'T', '4')
#define D3DFMT_DXT5 MAKEFOURCC('D', 'X', 'T', '5')

#define D3DPOOL_DEFAULT 0u
#define D3DPOOL_MANAGED 1u
#define D3DPOOL_SYSTEMMEM 2u
#define D3DPOOL_SCRATCH 3u

#define D3DUSAGE_RENDERTARGET 0x1u
#define D3DUSAGE_DEPTHSTENCIL 0x2u
#define D3DUSAGE_WRITEONLY 0x8u
#define D3DUSAGE_DYNAMIC 0x200u

#define D3DLOCK_READONLY 0x10u
#define D3DLOCK_DISCARD 0x2000u
#define D3DLOCK_NOOVERWRITE 0x1000u

#define D3DDEVTYPE_HAL 1u

#define D3DRTYPE_SURFACE 1u
#define D3DRTYPE_VOLUME 2u
#define D3DRTYPE_TEXTURE 3u
#define D3DRTYPE_VOLUMETEXTURE 4u
#define D3DRTYPE_VERTEXBUFFER 6u
#define D3DRTYPE_INDEXBUFFER 7u

#define D3DMULTISAMPLE_NONE 0u

#define D3DSWAPEFFECT_DISCARD 1u
#define D3DSWAPEFFECT_COPY 3u

#define D3DPRESENTFLAG_LOCKABLE_BACKBUFFER 0x1u
#define D3DPRESENT_INTERVAL_DEFAULT 0x0u
#define D3DPRESENT_INTERVAL_ONE 0x1u
#define D3DPRESENT_INTERVAL_IMMEDIATE 0x80000000u

#define D3DBACKBUFFER_TYPE_MONO 0u

#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x20u
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x40u
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x80u

#define D3DCLEAR_TARGET 0x1u
#define D3DCLEAR_ZBUFFER 0x2u
#define D3DCLEAR_STENCIL 0x4u

// Render states.
#define D3DRS_ZENABLE 7u
#define D3DRS_FILLMODE 8u
#define D3DRS_SHADEMODE 9u
#define D3DRS_ZWRITEENABLE 14u
#define D3DRS_ALPHATESTENABLE 15u
#define D3DRS_SRCBLEND 19u
#define D3DRS_DESTBLEND 20u
#define D3DRS_CULLMODE 22u
#define D3DRS_ZFUNC 23u
#define D3DRS_ALPHAREF 24u
#define D3DRS_ALPHAFUNC 25u
#define D3DRS_DITHERENABLE 26u
#define D3DRS_ALPHABLENDENABLE 27u
#define D3DRS_FOGENABLE 28u
#define D3DRS_SPECULARENABLE 29u
#define D3DRS_FOGCOLOR 34u
#define D3DRS_FOGTABLEMODE 35u
#define D3DRS_FOGSTART 36u
#define D3DRS_FOGEND 37u
#define D3DRS_FOGDENSITY 38u
#define D3DRS_RANGEFOGENABLE 48u
#define D3DRS_TEXTUREFACTOR 60u
#define D3DRS_LIGHTING 137u
#define D3DRS_AMBIENT 139u
#define D3DRS_FOGVERTEXMODE 140u
#define D3DRS_COLORVERTEX 141u
#define D3DRS_LOCALVIEWER 142u
#define D3DRS_NORMALIZENORMALS 143u
#define D3DRS_DIFFUSEMATERIALSOURCE 145u
#define D3DRS_SPECULARMATERIALSOURCE 146u
#define D3DRS_AMBIENTMATERIALSOURCE 147u
#define D3DRS_EMISSIVEMATERIALSOURCE 148u
#define D3DRS_BLENDOP 171u
#define D3DRS_SCISSORTESTENABLE 174u
#define D3DRS_SLOPESCALEDEPTHBIAS 175u
#define D3DRS_DEPTHBIAS 195u

#define D3DZB_FALSE 0u
#define D3DZB_TRUE 1u

#define D3DFILL_POINT 1u
#define D3DFILL_WIREFRAME 2u
#define D3DFILL_SOLID 3u

#define D3DSHADE_FLAT 1u
#define D3DSHADE_GOURAUD 2u

#define D3DCULL_NONE 1u
#define D3DCULL_CW 2u
#define D3DCULL_CCW 3u

#define D3DCMP_NEVER 1u
#define D3DCMP_LESS 2u
#define D3DCMP_EQUAL 3u
#define D3DCMP_LESSEQUAL 4u
#define D3DCMP_GREATER 5u
#define D3DCMP_NOTEQUAL 6u
#define D3DCMP_GREATEREQUAL 7u
#define D3DCMP_ALWAYS 8u

#define D3DBLEND_ZERO 1u
#define D3DBLEND_ONE 2u
#define D3DBLEND_SRCCOLOR 3u
#define D3DBLEND_INVSRCCOLOR 4u
#define D3DBLEND_SRCALPHA 5u
#define D3DBLEND_INVSRCALPHA 6u
#define D3DBLEND_DESTALPHA 7u
#define D3DBLEND_INVDESTALPHA 8u
#define D3DBLEND_DESTCOLOR 9u
#define D3DBLEND_INVDESTCOLOR 10u
#define D3DBLEND_SRCALPHASAT 11u

#define D3DBLENDOP_ADD 1u
#define D3DBLENDOP_SUBTRACT 2u
#define D3DBLENDOP_REVSUBTRACT 3u
#define D3DBLENDOP_MIN 4u
#define D3DBLENDOP_MAX 5u

#define D3DFOG_NONE 0u
#define D3DFOG_EXP 1u
#define D3DFOG_EXP2 2u
#define D3DFOG_LINEAR 3u

#define D3DMCS_MATERIAL 0u
#define D3DMCS_COLOR1 1u
#define D3DMCS_COLOR2 2u

// Texture-stage states.
#define D3DTSS_COLOROP 1u
#define D3DTSS_COLORARG1 2u
#define D3DTSS_COLORARG2 3u
#define D3DTSS_ALPHAOP 4u
#define D3DTSS_ALPHAARG1 5u
#define D3DTSS_ALPHAARG2 6u
#define D3DTSS_TEXCOORDINDEX 11u
#define D3DTSS_TEXTURETRANSFORMFLAGS 24u
#define D3DTSS_COLORARG0 26u
#define D3DTSS_ALPHAARG0 27u
#define D3DTSS_RESULTARG 28u

#define D3DTOP_DISABLE 1u
#define D3DTOP_SELECTARG1 2u
#define D3DTOP_SELECTARG2 3u
#define D3DTOP_MODULATE 4u
#define D3DTOP_MODULATE2X 5u
#define D3DTOP_MODULATE4X 6u
#define D3DTOP_ADD 7u
#define D3DTOP_ADDSIGNED 8u
#define D3DTOP_SUBTRACT 10u
#define D3DTOP_BLENDDIFFUSEALPHA 12u
#define D3DTOP_BLENDTEXTUREALPHA 13u
#define D3DTOP_BLENDCURRENTALPHA 16u

#define D3DTA_SELECTMASK 0x0000000Fu
#define D3DTA_DIFFUSE 0x0u
#define D3DTA_CURRENT 0x1u
#define D3DTA_TEXTURE 0x2u
#define D3DTA_TFACTOR 0x3u
#define D3DTA_SPECULAR 0x4u
#define D3DTA_TEMP 0x5u
#define D3DTA_COMPLEMENT 0x10u
#define D3DTA_ALPHAREPLICATE 0x20u

#define D3DTTFF_DISABLE 0u
#define D3DTTFF_COUNT1 1u
#define D3DTTFF_COUNT2 2u
#define D3DTTFF_COUNT3 3u
#define D3DTTFF_COUNT4 4u
#define D3DTTFF_PROJECTED 256u

// Sampler states.
#define D3DSAMP_ADDRESSU 1u
#define D3DSAMP_ADDRESSV 2u
#define D3DSAMP_ADDRESSW 3u
#define D3DSAMP_BORDERCOLOR 4u
#define D3DSAMP_MAGFILTER 5u
#define D3DSAMP_MINFILTER 6u
#define D3DSAMP_MIPFILTER 7u
#define D3DSAMP_MIPMAPLODBIAS 8u
#define D3DSAMP_MAXMIPLEVEL 9u
#define D3DSAMP_MAXANISOTROPY 10u

#define D3DTADDRESS_WRAP 1u
#define D3DTADDRESS_MIRROR 2u
#define D3DTADDRESS_CLAMP 3u
#define D3DTADDRESS_BORDER 4u

#define D3DTEXF_NONE 0u
#define D3DTEXF_POINT 1u
#define D3DTEXF_LINEAR 2u
#define D3DTEXF_ANISOTROPIC 3u

// Transforms.
#define D3DTS_VIEW 2u
#define D3DTS_PROJECTION 3u
#define D3DTS_TEXTURE0 16u
#define D3DTS_TEXTURE1 17u
#define D3DTS_TEXTURE2 18u
#define D3DTS_TEXTURE3 19u
#define D3DTS_TEXTURE4 20u
#define D3DTS_TEXTURE5 21u
#define D3DTS_TEXTURE6 22u
#define D3DTS_TEXTURE7 23u
#define D3DTS_WORLDMATRIX(index) ((D3DTRANSFORMSTATETYPE)((index) + 256))
#define D3DTS_WORLD D3DTS_WORLDMATRIX(0)

#define D3DLIGHT_POINT 1u
#define D3DLIGHT_SPOT 2u
#define D3DLIGHT_DIRECTIONAL 3u

// Primitive types.
#define D3DPT_POINTLIST 1u
#define D3DPT_LINELIST 2u
#define D3DPT_LINESTRIP 3u
#define D3DPT_TRIANGLELIST 4u
#define D3DPT_TRIANGLESTRIP 5u
#define D3DPT_TRIANGLEFAN 6u

// Flexible vertex formats.
#define D3DFVF_XYZ 0x002u
#define D3DFVF_XYZRHW 0x004u
#define D3DFVF_NORMAL 0x010u
#define D3DFVF_DIFFUSE 0x040u
#define D3DFVF_SPECULAR 0x080u
#define D3DFVF_TEX1 0x100u
#define D3DFVF_TEX2 0x200u
#define D3DFVF_POSITION_MASK 0x400Eu
#define D3DFVF_PSIZE 0x020u
#define D3DFVF_TEXCOUNT_MASK 0xF00u
#define D3DFVF_TEXCOUNT_SHIFT 8
#define D3DFVF_TEX0 0x000u
#define D3DFVF_TEX3 0x300u
#define D3DFVF_TEX4 0x400u
#define D3DFVF_TEX5 0x500u
#define D3DFVF_TEX6 0x600u
#define D3DFVF_TEX7 0x700u
#define D3DFVF_TEX8 0x800u
// The size of texture-coordinate set i: two bits a set from bit 16.
#define D3DFVF_TEXTUREFORMAT1 3u
#define D3DFVF_TEXTUREFORMAT2 0u
#define D3DFVF_TEXTUREFORMAT3 1u
#define D3DFVF_TEXTUREFORMAT4 2u
#define D3DFVF_TEXCOORDSIZE1(i) (D3DFVF_TEXTUREFORMAT1 << ((i)*2 + 16))
#define D3DFVF_TEXCOORDSIZE2(i) (D3DFVF_TEXTUREFORMAT2)
#define D3DFVF_TEXCOORDSIZE3(i) (D3DFVF_TEXTUREFORMAT3 << ((i)*2 + 16))
#define D3DFVF_TEXCOORDSIZE4(i) (D3DFVF_TEXTUREFORMAT4 << ((i)*2 + 16))

// Vertex declarations.
#define D3DDECLTYPE_FLOAT1 0u
#define D3DDECLTYPE_FLOAT2 1u
#define D3DDECLTYPE_FLOAT3 2u
#define D3DDECLTYPE_FLOAT4 3u
#define D3DDECLTYPE_D3DCOLOR 4u
#define D3DDECLTYPE_UBYTE4 5u
#define D3DDECLTYPE_UNUSED 17u
#define D3DDECLMETHOD_DEFAULT 0u
#define D3DDECLUSAGE_POSITION 0u
#define D3DDECLUSAGE_BLENDWEIGHT 1u
#define D3DDECLUSAGE_BLENDINDICES 2u
#define D3DDECLUSAGE_NORMAL 3u
#define D3DDECLUSAGE_TEXCOORD 5u
#define D3DDECLUSAGE_COLOR 10u

// Caps.
#define D3DPMISCCAPS_MASKZ 0x2u
#define D3DPMISCCAPS_CULLNONE 0x10u
#define D3DPMISCCAPS_CULLCW 0x20u
#define D3DPMISCCAPS_CULLCCW 0x40u
#define D3DPMISCCAPS_TSSARGTEMP 0x400u
#define D3DPMISCCAPS_BLENDOP 0x800u
#define D3DPTEXTURECAPS_ALPHA 0x4u
#define D3DPTEXTURECAPS_SQUAREONLY 0x20u
#define D3DPTEXTURECAPS_MIPMAP 0x4000u
#define D3DPTEXTURECAPS_VOLUMEMAP 0x2000u
#define D3DVS_VERSION(major, minor) (0xFFFE0000u | ((major) << 8) | (minor))
#define D3DPS_VERSION(major, minor) (0xFFFF0000u | ((major) << 8) | (minor))

// ---------------------------------------------------------------------------
// Structures

struct D3DVECTOR {
    float x;
    float y;
    float z;
};

struct D3DCOLORVALUE {
    float r;
    float g;
    float b;
    float a;
};

struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DRECT {
    LONG x1;
    LONG y1;
    LONG x2;
    LONG y2;
};

struct D3DBOX {
    UINT Left;
    UINT Top;
    UINT Right;
    UINT Bottom;
    UINT Front;
    UINT Back;
};

struct D3DVIEWPORT9 {
    DWORD X;
    DWORD Y;
    DWORD Width;
    DWORD Height;
    float MinZ;
    float MaxZ;
};

struct D3DLIGHT9 {
    D3DLIGHTTYPE Type;
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Ambient;
    D3DVECTOR Position;
    D3DVECTOR Direction;
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};

struct D3DMATERIAL9 {
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Ambient;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Emissive;
    float Power;
};

struct D3DDISPLAYMODE {
    UINT Width;
    UINT Height;
    UINT RefreshRate;
    D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT PresentationInterval;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    UINT Width;
    UINT Height;
};

struct D3DVOLUME_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Width;
    UINT Height;
    UINT Depth;
};

struct D3DLOCKED_RECT {
    INT Pitch;
    void* pBits;
};

struct D3DLOCKED_BOX {
    INT RowPitch;
    INT SlicePitch;
    void* pBits;
};

struct D3DADAPTER_IDENTIFIER9 {
    char Driver[512];
    char Description[512];
    char DeviceName[32];
    LARGE_INTEGER DriverVersion;
    DWORD VendorId;
    DWORD DeviceId;
    DWORD SubSysId;
    DWORD Revision;
    GUID DeviceIdentifier;
    DWORD WHQLLevel;
};

// The capability record, with the fields the library and the device read.
struct D3DCAPS9 {
    D3DDEVTYPE DeviceType;
    UINT AdapterOrdinal;
    DWORD Caps;
    DWORD Caps2;
    DWORD Caps3;
    DWORD PresentationIntervals;
    DWORD DevCaps;
    DWORD PrimitiveMiscCaps;
    DWORD RasterCaps;
    DWORD ZCmpCaps;
    DWORD SrcBlendCaps;
    DWORD DestBlendCaps;
    DWORD AlphaCmpCaps;
    DWORD ShadeCaps;
    DWORD TextureCaps;
    DWORD TextureFilterCaps;
    DWORD VolumeTextureFilterCaps;
    DWORD TextureAddressCaps;
    DWORD VolumeTextureAddressCaps;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
    DWORD MaxVolumeExtent;
    DWORD MaxAnisotropy;
    DWORD TextureOpCaps;
    DWORD MaxTextureBlendStages;
    DWORD MaxSimultaneousTextures;
    DWORD MaxActiveLights;
    DWORD MaxStreams;
    DWORD VertexShaderVersion;
    DWORD MaxVertexShaderConst;
    DWORD PixelShaderVersion;
};

struct D3DVERTEXELEMENT9 {
    WORD Stream;
    WORD Offset;
    BYTE Type;
    BYTE Method;
    BYTE Usage;
    BYTE UsageIndex;
};
#define D3DDECL_END() \
    { 0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0 }

struct RGNDATA;

// ---------------------------------------------------------------------------
// Interfaces

struct IDirect3DDevice9;
struct IDirect3DSurface9;

extern const IID IID_IDirect3D9;
extern const IID IID_IDirect3DDevice9;
extern const IID IID_IDirect3DSurface9;
extern const IID IID_IDirect3DTexture9;
extern const IID IID_IDirect3DVolumeTexture9;
extern const IID IID_IDirect3DSwapChain9;

struct IDirect3DResource9 : IUnknown {
    virtual D3DRESOURCETYPE GetType() = 0;

  protected:
    ~IDirect3DResource9() = default;
};

struct IDirect3DSurface9 : IDirect3DResource9 {
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;

  protected:
    ~IDirect3DSurface9() = default;
};

struct IDirect3DBaseTexture9 : IDirect3DResource9 {
    virtual DWORD GetLevelCount() = 0;

  protected:
    ~IDirect3DBaseTexture9() = default;
};

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;

  protected:
    ~IDirect3DTexture9() = default;
};

struct IDirect3DVolumeTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) = 0;
    virtual HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) = 0;
    virtual HRESULT UnlockBox(UINT level) = 0;

  protected:
    ~IDirect3DVolumeTexture9() = default;
};

struct IDirect3DVertexBuffer9 : IDirect3DResource9 {
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;

  protected:
    ~IDirect3DVertexBuffer9() = default;
};

struct IDirect3DIndexBuffer9 : IDirect3DResource9 {
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;

  protected:
    ~IDirect3DIndexBuffer9() = default;
};

// Shader objects: the device checks their tokens and runs them on its shader machine.
struct IDirect3DVertexShader9 : IUnknown {
  protected:
    ~IDirect3DVertexShader9() = default;
};

struct IDirect3DPixelShader9 : IUnknown {
  protected:
    ~IDirect3DPixelShader9() = default;
};

struct IDirect3DVertexDeclaration9 : IUnknown {
  protected:
    ~IDirect3DVertexDeclaration9() = default;
};

struct IDirect3DSwapChain9 : IUnknown {
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion, DWORD flags) = 0;
    virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** backBuffer) = 0;

  protected:
    ~IDirect3DSwapChain9() = default;
};

struct IDirect3DDevice9 : IUnknown {
    // Device and presentation.
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
    virtual HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) = 0;
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** backBuffer) = 0;
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;
    virtual HRESULT SetDialogBoxMode(BOOL enable) = 0;

    // Resources.
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                  HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels,
                                        DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DVolumeTexture9** texture,
                                        HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                       BOOL lockable, IDirect3DSurface9** surface,
                                       HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample,
                                              DWORD multiSampleQuality, BOOL discard,
                                              IDirect3DSurface9** surface,
                                              HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                D3DPOOL pool, IDirect3DSurface9** surface,
                                                HANDLE* sharedHandle) = 0;

    // Copies.
    virtual HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                  IDirect3DSurface9* dest, const POINT* destPoint) = 0;
    virtual HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) = 0;
    virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                        IDirect3DSurface9* dest) = 0;
    virtual HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                IDirect3DSurface9* dest, const RECT* destRect,
                                D3DTEXTUREFILTERTYPE filter) = 0;
    virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) = 0;
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;

    // Drawing from client memory with the vertex format set by SetFVF.
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                    const void* vertexData, UINT stride) = 0;
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex,
                                           UINT numVertices, UINT primitiveCount,
                                           const void* indexData, D3DFORMAT indexFormat,
                                           const void* vertexData, UINT stride) = 0;

    // Drawing from vertex and index buffers.
    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                    UINT stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer9* indices) = 0;
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                         UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                         UINT primitiveCount) = 0;

    // Targets and scenes.
    virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
    virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) = 0;
    virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;

    // States.
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
    virtual HRESULT GetMaterial(D3DMATERIAL9* material) = 0;
    virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) = 0;
    virtual HRESULT GetLight(DWORD index, D3DLIGHT9* light) = 0;
    virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
    virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                         DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                         DWORD* value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetScissorRect(const RECT* rect) = 0;
    virtual HRESULT GetScissorRect(RECT* rect) = 0;
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT GetFVF(DWORD* fvf) = 0;

    // Shaders: objects, selection and constants.
    virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                            IDirect3DVertexDeclaration9** declaration) = 0;
    virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
    virtual HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
    virtual HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data,
                                             UINT vector4fCount) = 0;
    virtual HRESULT GetVertexShaderConstantF(UINT startRegister, float* data,
                                             UINT vector4fCount) = 0;
    virtual HRESULT SetVertexShaderConstantB(UINT startRegister, const BOOL* data,
                                             UINT boolCount) = 0;
    virtual HRESULT GetVertexShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                            UINT vector4fCount) = 0;
    virtual HRESULT GetPixelShaderConstantF(UINT startRegister, float* data,
                                            UINT vector4fCount) = 0;
    virtual HRESULT SetVertexShaderConstantI(UINT startRegister, const int* data,
                                             UINT vector4iCount) = 0;
    virtual HRESULT GetVertexShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) = 0;
    virtual HRESULT SetPixelShaderConstantI(UINT startRegister, const int* data,
                                            UINT vector4iCount) = 0;
    virtual HRESULT GetPixelShaderConstantI(UINT startRegister, int* data, UINT vector4iCount) = 0;
    virtual HRESULT SetPixelShaderConstantB(UINT startRegister, const BOOL* data,
                                            UINT boolCount) = 0;
    virtual HRESULT GetPixelShaderConstantB(UINT startRegister, BOOL* data, UINT boolCount) = 0;

  protected:
    ~IDirect3DDevice9() = default;
};

struct IDirect3D9 : IUnknown {
    virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags,
                                         D3DADAPTER_IDENTIFIER9* identifier) = 0;
    virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
    virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                                     D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                      DWORD usage, D3DRESOURCETYPE resourceType,
                                      D3DFORMAT checkFormat) = 0;
    virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType,
                                           D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                           D3DFORMAT depthStencilFormat) = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) = 0;
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentParameters,
                                 IDirect3DDevice9** device) = 0;

  protected:
    ~IDirect3D9() = default;
};

using LPDIRECT3D9 = IDirect3D9*;
using LPDIRECT3DDEVICE9 = IDirect3DDevice9*;
using LPDIRECT3DSURFACE9 = IDirect3DSurface9*;
using LPDIRECT3DTEXTURE9 = IDirect3DTexture9*;
using LPDIRECT3DVOLUMETEXTURE9 = IDirect3DVolumeTexture9*;
using LPDIRECT3DSWAPCHAIN9 = IDirect3DSwapChain9*;

// The export of d3d9.dll; the library finds it through GetProcAddress.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
