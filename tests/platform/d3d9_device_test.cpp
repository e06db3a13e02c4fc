#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "d3d9_fixture.h"
#include "platform/com.h"
#include "platform/ddraw.h"
#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "platform/window.h"
#include "platform/window_testing.h"

using d3d9test::DeviceTest;
using d3d9test::FakeWindow;
using d3d9test::WindowedParameters;

namespace {

DWORD Bits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(D3D9Module, LoadLibraryFindsDirect3DCreate9) {
    HMODULE module = LoadLibraryA("d3d9.dll");
    ASSERT_NE(module, nullptr);
    auto create =
        reinterpret_cast<IDirect3D9* (*)(UINT)>(GetProcAddress(module, "Direct3DCreate9"));
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create(31), nullptr);
    IDirect3D9* d3d = create(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
    EXPECT_EQ(GetProcAddress(module, "Direct3DCreate9Ex"), nullptr);
    FreeLibrary(module);

    platform::SetModuleAbsent("d3d9.dll", true);
    EXPECT_EQ(LoadLibraryA("D3D9.DLL"), nullptr);
    platform::SetModuleAbsent("d3d9.dll", false);
}

TEST(D3D9Adapter, ReportsTheProfile) {
    platform::SetD3D9Profile(d3d9test::PinnedProfile());
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);

    // Format checks as the library asks them: texture on the screen format.
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                     D3DFMT_DXT5),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                     D3DRTYPE_TEXTURE, D3DFMT_A1R5G5B5),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8,
                                          D3DFMT_D16),
              D3D_OK);

    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(2, 0));
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(2, 0));
    EXPECT_NE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP, 0u);

    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_STRNE(id.Driver, "");

    // A profile without DXT, blend operations or 24-bit depth, square
    // textures only, on a 16-bit desktop.
    platform::D3D9Profile profile = d3d9test::PinnedProfile();
    profile.textureFormats = {D3DFMT_R5G6B5, D3DFMT_A4R4G4B4};
    profile.primitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
    profile.depthFormats = {D3DFMT_D16};
    profile.squareTexturesOnly = true;
    profile.maxTextureWidth = profile.maxTextureHeight = 256;
    profile.displayMode.Format = D3DFMT_R5G6B5;
    platform::SetD3D9Profile(profile);
    EXPECT_EQ(
        d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
        D3DERR_NOTAVAILABLE);
    EXPECT_EQ(
        d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, D3DFMT_D24X8),
        D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP, 0u);
    EXPECT_EQ(caps.MaxTextureWidth, 256u);

    // A windowed device takes the desktop's format.
    D3DPRESENT_PARAMETERS p = WindowedParameters(32, 32, FakeWindow());
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING,
                                &p, &device),
              D3D_OK);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_R5G6B5);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_REFUSED(NotSquare, device->CreateTexture(128, 64, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED,
                                                    &texture, nullptr));
    EXPECT_REFUSED(TextureTooLarge, device->CreateTexture(512, 512, 1, 0, D3DFMT_R5G6B5,
                                                          D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(
        device->CreateTexture(256, 256, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    texture->Release();
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    platform::ResetD3D9Profile();
}

TEST(D3D9Adapter, CreateDeviceChecksItsParameters) {
    platform::SetD3D9Profile(d3d9test::PinnedProfile());
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* device = nullptr;
    struct Case {
        const char* what;
        DWORD flags;
        void (*change)(D3DPRESENT_PARAMETERS*);
        HRESULT expected;
        platform::D3D9Refusal reason = platform::D3D9Refusal::None;
    };
    using Why = platform::D3D9Refusal;
    const Case cases[] = {
        {"software", D3DCREATE_SOFTWARE_VERTEXPROCESSING, [](D3DPRESENT_PARAMETERS*) {}, D3D_OK},
        {"mixed", D3DCREATE_MIXED_VERTEXPROCESSING, [](D3DPRESENT_PARAMETERS*) {}, D3D_OK},
        {"no processing flag", 0, [](D3DPRESENT_PARAMETERS*) {}, D3DERR_INVALIDCALL,
         Why::BadVertexProcessing},
        {"two processing flags",
         D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS*) {}, D3DERR_INVALIDCALL, Why::BadVertexProcessing},
        {"copy with two buffers", D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS* p) { p->BackBufferCount = 2; }, D3DERR_INVALIDCALL,
         Why::BadBackBufferCount},
        {"multisampling", D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS* p) { p->MultiSampleType = 2; }, D3DERR_INVALIDCALL,
         Why::MultisampleUnsupported},
        {"exclusive 640x480 R5G6B5", D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS* p) {
             p->Windowed = FALSE;
             p->BackBufferWidth = 640;
             p->BackBufferHeight = 480;
             p->BackBufferFormat = D3DFMT_R5G6B5;
             p->FullScreen_RefreshRateInHz = 60;
         },
         D3D_OK},
        {"exclusive mode not listed", D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS* p) {
             p->Windowed = FALSE;
             p->BackBufferWidth = 641;
             p->BackBufferHeight = 480;
         },
         D3DERR_INVALIDCALL, Why::NoDisplayMode},
        {"no window", D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         [](D3DPRESENT_PARAMETERS* p) { p->hDeviceWindow = nullptr; }, D3DERR_INVALIDCALL,
         Why::NoDeviceWindow},
    };
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(64, 48, FakeWindow());
        c.change(&p);
        HWND focus = p.hDeviceWindow;
        SCOPED_TRACE(c.what);
        uint64_t refusals = platform::D3D9RefusalCount();
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, focus, c.flags, &p, &device), c.expected);
        if (c.reason != Why::None) {
            d3d9test::CheckRefusal(c.expected, refusals, c.reason, "CreateDevice");
        }
        if (device != nullptr) {
            EXPECT_EQ(device->Release(), 0u);
            device = nullptr;
        }
    }
    d3d->Release();
    platform::ResetD3D9Profile();
}

TEST(D3D9Adapter, DisplayFollowsTheWindowServiceAndTheEnvironment) {
    const platform::DisplayMode modes[] = {
        {640, 480, 16, 60}, {640, 480, 32, 60}, {800, 600, 32, 75}, {800, 600, 8, 60}};
    const platform::DisplayMode desktop = {800, 600, 32, 75};
    platform::SetDisplayModes(modes, 4, &desktop);
    platform::ResetD3D9Profile();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.RefreshRate, 75u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 1u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 2u);
    ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 1, &mode), D3D_OK);
    EXPECT_EQ(mode.Height, 600u);
    EXPECT_REFUSED(IndexOutOfRange, d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 2, &mode));

    setenv("TESSEL_D3D9_PROFILE", "nodxt, noblendop,maxtex=512,square,desktop16,nod32", 1);
    platform::ResetD3D9Profile();
    unsetenv("TESSEL_D3D9_PROFILE");
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    D3DCAPS9 caps;
    d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps);
    EXPECT_EQ(caps.MaxTextureWidth, 512u);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP, 0u);
    EXPECT_NE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP, 0u);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY, 0u);
    EXPECT_EQ(
        d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT3),
        D3DERR_NOTAVAILABLE);
    EXPECT_EQ(
        d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, D3DFMT_D32),
        D3DERR_NOTAVAILABLE);
    d3d->Release();
    platform::ResetD3D9Profile();
    platform::SetDisplayModes(nullptr, -1, nullptr);
}

TEST(D3D9Adapter, InjectedFailuresFailTheNextCalls) {
    platform::ResetD3D9Profile();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p = WindowedParameters(16, 16, FakeWindow());
    IDirect3DDevice9* device = nullptr;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateDevice, 2);
    EXPECT_REFUSED(InjectedDeviceFailure,
                   d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(),
                                     D3DCREATE_MIXED_VERTEXPROCESSING, &p, &device));
    EXPECT_EQ(device, nullptr);
    EXPECT_REFUSED(InjectedDeviceFailure,
                   d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(),
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device));
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(),
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
              D3D_OK);

    IDirect3DTexture9* texture = nullptr;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateTexture, 1);
    EXPECT_REFUSED(InjectedOutOfMemory, device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8,
                                                              D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(
        device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    texture->Release();

    D3DVIEWPORT9 viewport = {0, 0, 8, 8, 0.0f, 1.0f};
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::SetViewport, 1);
    EXPECT_REFUSED(InjectedInvalidCall, device->SetViewport(&viewport));
    D3DVIEWPORT9 kept;
    device->GetViewport(&kept);
    EXPECT_EQ(kept.Width, 16u);
    EXPECT_EQ(device->SetViewport(&viewport), D3D_OK);

    IDirect3DVertexBuffer9* vertices = nullptr;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateVertexBuffer, 1);
    EXPECT_REFUSED(InjectedOutOfMemory,
                   device->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &vertices, nullptr));
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &vertices, nullptr), D3D_OK);
    vertices->Release();
    IDirect3DIndexBuffer9* indices = nullptr;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateIndexBuffer, 1);
    EXPECT_REFUSED(
        InjectedOutOfMemory,
        device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &indices, nullptr));
    ASSERT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &indices, nullptr),
              D3D_OK);
    indices->Release();
    EXPECT_EQ(device->Release(), 0u);
    d3d->Release();
}

// Every render state number, read back: those not listed start at zero.
TEST_F(DeviceTest, EveryRenderStateStartsAtItsDirect3DDefault) {
    struct Expected {
        DWORD state;
        DWORD value;
        const char* name;
    };
    const Expected nonZero[] = {
        {8, 3, "FILLMODE SOLID"},
        {9, 2, "SHADEMODE GOURAUD"},
        {14, 1, "ZWRITEENABLE"},
        {16, 1, "LASTPIXEL"},
        {19, 2, "SRCBLEND ONE"},
        {20, 1, "DESTBLEND ZERO"},
        {22, 3, "CULLMODE CCW"},
        {23, 4, "ZFUNC LESSEQUAL"},
        {25, 8, "ALPHAFUNC ALWAYS"},
        {37, Bits(1.0f), "FOGEND"},
        {38, Bits(1.0f), "FOGDENSITY"},
        {53, 1, "STENCILFAIL KEEP"},
        {54, 1, "STENCILZFAIL KEEP"},
        {55, 1, "STENCILPASS KEEP"},
        {56, 8, "STENCILFUNC ALWAYS"},
        {58, 0xFFFFFFFFu, "STENCILMASK"},
        {59, 0xFFFFFFFFu, "STENCILWRITEMASK"},
        {60, 0xFFFFFFFFu, "TEXTUREFACTOR"},
        {136, 1, "CLIPPING"},
        {137, 1, "LIGHTING"},
        {141, 1, "COLORVERTEX"},
        {142, 1, "LOCALVIEWER"},
        {145, 1, "DIFFUSEMATERIALSOURCE COLOR1"},
        {146, 2, "SPECULARMATERIALSOURCE COLOR2"},
        {147, 0, "AMBIENTMATERIALSOURCE MATERIAL"},
        {148, 0, "EMISSIVEMATERIALSOURCE MATERIAL"},
        {154, Bits(1.0f), "POINTSIZE"},
        {155, Bits(1.0f), "POINTSIZE_MIN"},
        {158, Bits(1.0f), "POINTSCALE_A"},
        {161, 1, "MULTISAMPLEANTIALIAS"},
        {162, 0xFFFFFFFFu, "MULTISAMPLEMASK"},
        {166, Bits(64.0f), "POINTSIZE_MAX"},
        {168, 0xF, "COLORWRITEENABLE"},
        {171, 1, "BLENDOP ADD"},
        {172, 3, "POSITIONDEGREE CUBIC"},
        {173, 1, "NORMALDEGREE LINEAR"},
        {178, Bits(1.0f), "MINTESSELLATIONLEVEL"},
        {179, Bits(1.0f), "MAXTESSELLATIONLEVEL"},
        {182, Bits(1.0f), "ADAPTIVETESS_Z"},
        {186, 1, "CCW_STENCILFAIL KEEP"},
        {187, 1, "CCW_STENCILZFAIL KEEP"},
        {188, 1, "CCW_STENCILPASS KEEP"},
        {189, 8, "CCW_STENCILFUNC ALWAYS"},
        {190, 0xF, "COLORWRITEENABLE1"},
        {191, 0xF, "COLORWRITEENABLE2"},
        {192, 0xF, "COLORWRITEENABLE3"},
        {193, 0xFFFFFFFFu, "BLENDFACTOR"},
        {207, 2, "SRCBLENDALPHA ONE"},
        {208, 1, "DESTBLENDALPHA ZERO"},
        {209, 1, "BLENDOPALPHA ADD"},
    };
    DWORD expected[256] = {};
    const char* names[256] = {};
    for (const Expected& e : nonZero) {
        expected[e.state] = e.value;
        names[e.state] = e.name;
    }
    for (DWORD state = 0; state < 256; ++state) {
        SCOPED_TRACE(names[state] != nullptr ? names[state] : "a state that starts at zero");
        DWORD value = 0xDEADBEEF;
        ASSERT_EQ(device_->GetRenderState(state, &value), D3D_OK) << "render state " << state;
        EXPECT_EQ(value, expected[state]) << "render state " << state;
    }
}

TEST_F(DeviceTest, StatesStartWithDirect3DDefaults) {
    struct Expected {
        DWORD state;
        DWORD value;
    };
    const Expected renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_FALSE},  // no automatic depth buffer
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ALPHATESTENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_FOGENABLE, FALSE},
        {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_FOGCOLOR, 0},
        {D3DRS_FOGSTART, Bits(0.0f)},
        {D3DRS_FOGEND, Bits(1.0f)},
        {D3DRS_FOGDENSITY, Bits(1.0f)},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
        {D3DRS_NORMALIZENORMALS, FALSE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_SCISSORTESTENABLE, FALSE},
        {D3DRS_DEPTHBIAS, 0},
    };
    for (const Expected& e : renderStates) {
        DWORD value = 0xDEADBEEF;
        ASSERT_EQ(device_->GetRenderState(e.state, &value), D3D_OK);
        EXPECT_EQ(value, e.value) << "render state " << e.state;
    }
    for (DWORD stage = 0; stage < 8; ++stage) {
        const Expected stageStates[] = {
            {D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE},
            {D3DTSS_COLORARG1, D3DTA_TEXTURE},
            {D3DTSS_COLORARG2, D3DTA_CURRENT},
            {D3DTSS_ALPHAOP, stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE},
            {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
            {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
            {D3DTSS_TEXCOORDINDEX, stage},
            {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
            {D3DTSS_RESULTARG, D3DTA_CURRENT},
        };
        for (const Expected& e : stageStates) {
            DWORD value = 0xDEADBEEF;
            ASSERT_EQ(device_->GetTextureStageState(stage, e.state, &value), D3D_OK);
            EXPECT_EQ(value, e.value) << "stage " << stage << " state " << e.state;
        }
    }
    for (DWORD sampler = 0; sampler < 16; ++sampler) {
        const Expected samplerStates[] = {
            {D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
            {D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP}, {D3DSAMP_BORDERCOLOR, 0},
            {D3DSAMP_MAGFILTER, D3DTEXF_POINT},   {D3DSAMP_MINFILTER, D3DTEXF_POINT},
            {D3DSAMP_MIPFILTER, D3DTEXF_NONE},    {D3DSAMP_MAXANISOTROPY, 1},
        };
        for (const Expected& e : samplerStates) {
            DWORD value = 0xDEADBEEF;
            ASSERT_EQ(device_->GetSamplerState(sampler, e.state, &value), D3D_OK);
            EXPECT_EQ(value, e.value) << "sampler " << sampler << " state " << e.state;
        }
    }
    D3DMATRIX m;
    for (DWORD t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE3}) {
        ASSERT_EQ(device_->GetTransform(t, &m), D3D_OK);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
            }
        }
    }
    D3DVIEWPORT9 viewport;
    ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.X, 0u);
    EXPECT_EQ(viewport.Width, 64u);
    EXPECT_EQ(viewport.Height, 48u);
    EXPECT_EQ(viewport.MaxZ, 1.0f);
    RECT scissor;
    ASSERT_EQ(device_->GetScissorRect(&scissor), D3D_OK);
    EXPECT_EQ(scissor.right, 64);
    EXPECT_EQ(scissor.bottom, 48);
}

TEST_F(DeviceTest, AnyValueIsStoredAndReadBack) {
    EXPECT_EQ(device_->SetRenderState(D3DRS_SRCBLEND, 0x12345), D3D_OK);
    EXPECT_EQ(device_->SetTextureStageState(3, D3DTSS_COLORARG1,
                                            D3DTA_TEMP | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE),
              D3D_OK);
    EXPECT_EQ(device_->SetSamplerState(5, D3DSAMP_BORDERCOLOR, 0x80FF0010), D3D_OK);
    DWORD value;
    device_->GetRenderState(D3DRS_SRCBLEND, &value);
    EXPECT_EQ(value, 0x12345u);
    device_->GetTextureStageState(3, D3DTSS_COLORARG1, &value);
    EXPECT_EQ(value, D3DTA_TEMP | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE);
    device_->GetSamplerState(5, D3DSAMP_BORDERCOLOR, &value);
    EXPECT_EQ(value, 0x80FF0010u);
    EXPECT_REFUSED(UnknownState, device_->SetRenderState(300, 1));
    EXPECT_REFUSED(IndexOutOfRange, device_->SetTextureStageState(8, D3DTSS_COLOROP, 1));
    EXPECT_REFUSED(IndexOutOfRange, device_->SetSamplerState(16, D3DSAMP_MAGFILTER, 1));

    D3DMATRIX world{};
    world._11 = 2.0f;
    world._42 = -7.5f;
    EXPECT_EQ(device_->SetTransform(D3DTS_WORLDMATRIX(3), &world), D3D_OK);
    D3DMATRIX back;
    device_->GetTransform(D3DTS_WORLDMATRIX(3), &back);
    EXPECT_EQ(std::memcmp(&world, &back, sizeof world), 0);
    EXPECT_REFUSED(UnknownState, device_->SetTransform(1, &world));

    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_SPOT;
    light.Range = 2000.0f;
    light.Theta = 2.0f;
    EXPECT_EQ(device_->SetLight(300, &light), D3D_OK);
    D3DLIGHT9 read{};
    ASSERT_EQ(device_->GetLight(300, &read), D3D_OK);
    EXPECT_EQ(read.Type, D3DLIGHT_SPOT);
    EXPECT_EQ(read.Theta, 2.0f);
    BOOL enabled = TRUE;
    device_->GetLightEnable(300, &enabled);
    EXPECT_FALSE(enabled);
    // Enabling a light that was never set makes Direct3D's default light.
    EXPECT_EQ(device_->LightEnable(7, TRUE), D3D_OK);
    ASSERT_EQ(device_->GetLight(7, &read), D3D_OK);
    EXPECT_EQ(read.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(read.Direction.z, 1.0f);
    EXPECT_EQ(read.Diffuse.r, 1.0f);
    EXPECT_REFUSED(LightNeverSet, device_->GetLight(8, &read));
    light.Type = 0;
    EXPECT_REFUSED(BadLightType, device_->SetLight(1, &light));

    D3DMATERIAL9 material{};
    material.Power = 20.0f;
    material.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    device_->SetMaterial(&material);
    D3DMATERIAL9 readMaterial;
    device_->GetMaterial(&readMaterial);
    EXPECT_EQ(readMaterial.Power, 20.0f);
    EXPECT_EQ(readMaterial.Diffuse.a, 1.0f);

    const float constants[8] = {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    EXPECT_EQ(device_->SetPixelShaderConstantF(0, constants, 2), D3D_OK);
    EXPECT_EQ(device_->SetVertexShaderConstantF(254, constants, 2), D3D_OK);
    EXPECT_REFUSED(IndexOutOfRange, device_->SetVertexShaderConstantF(255, constants, 2));
    float readConstants[8] = {};
    device_->GetVertexShaderConstantF(254, readConstants, 2);
    EXPECT_EQ(std::memcmp(constants, readConstants, sizeof constants), 0);
    const BOOL flags[3] = {TRUE, FALSE, TRUE};
    EXPECT_EQ(device_->SetVertexShaderConstantB(4, flags, 3), D3D_OK);
    BOOL readFlags[3] = {};
    device_->GetVertexShaderConstantB(4, readFlags, 3);
    EXPECT_EQ(readFlags[2], TRUE);
}

// Sizes past the largest surface are refused (or run out of memory) before
// anything is reserved; none of these may take memory or abort.
TEST_F(DeviceTest, OversizedResourcesAreRefusedBeforeAnythingIsReserved) {
    IDirect3DSurface9* surface = nullptr;
    EXPECT_REFUSED(SurfaceTooLarge,
                   device_->CreateRenderTarget(70000, 70000, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE,
                                               0, FALSE, &surface, nullptr));
    EXPECT_EQ(surface, nullptr);
    EXPECT_REFUSED(SurfaceTooLarge,
                   device_->CreateOffscreenPlainSurface(600000000, 2, D3DFMT_A8R8G8B8,
                                                        D3DPOOL_SYSTEMMEM, &surface, nullptr));
    EXPECT_REFUSED(SurfaceTooLarge,
                   device_->CreateOffscreenPlainSurface(0xFFFFFFFFu, 0xFFFFFFFFu, D3DFMT_DXT5,
                                                        D3DPOOL_SYSTEMMEM, &surface, nullptr));
    EXPECT_REFUSED(SurfaceTooLarge,
                   device_->CreateDepthStencilSurface(16385, 16, D3DFMT_D32, D3DMULTISAMPLE_NONE, 0,
                                                      FALSE, &surface, nullptr));
    // Within the largest side but past the storage budget: 1 GiB.
    EXPECT_REFUSED(StorageTooLarge,
                   device_->CreateOffscreenPlainSurface(16384, 16384, D3DFMT_A8R8G8B8,
                                                        D3DPOOL_SYSTEMMEM, &surface, nullptr));
    EXPECT_EQ(surface, nullptr);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_REFUSED(TextureTooLarge, device_->CreateTexture(4097, 16, 1, 0, D3DFMT_A8R8G8B8,
                                                           D3DPOOL_MANAGED, &texture, nullptr));
    IDirect3DVertexBuffer9* buffer = nullptr;
    EXPECT_REFUSED(StorageTooLarge, device_->CreateVertexBuffer(0xFFFFFFF0u, 0, 0, D3DPOOL_MANAGED,
                                                                &buffer, nullptr));
    IDirect3DIndexBuffer9* indices = nullptr;
    EXPECT_REFUSED(StorageTooLarge, device_->CreateIndexBuffer(0xFFFFFFF0u, 0, D3DFMT_INDEX16,
                                                               D3DPOOL_MANAGED, &indices, nullptr));
    D3DPRESENT_PARAMETERS p = d3d9test::WindowedParameters(70000, 70000, d3d9test::FakeWindow());
    IDirect3DDevice9* huge = nullptr;
    EXPECT_REFUSED(SurfaceTooLarge,
                   d3d_->CreateDevice(0, D3DDEVTYPE_HAL, d3d9test::FakeWindow(),
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &huge));
    EXPECT_EQ(huge, nullptr);

    // The largest side itself is kept.
    ASSERT_EQ(device_->CreateRenderTarget(16384, 2, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                          &surface, nullptr),
              D3D_OK);
    platform::WriteD3D9SurfacePixel(surface, 16383, 1, 0xFF123456u);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(surface, 16383, 1), 0xFF123456u);
    surface->Release();
}

// An offset and size whose sum wraps past 32 bits must not lock a pointer into the buffer.
TEST_F(DeviceTest, BufferLockRangesAreCheckedWithoutWrapping) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &buffer, nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_REFUSED(RectOutsideSurface, buffer->Lock(16, 0xFFFFFFF8u, &data, 0));
    EXPECT_REFUSED(RectOutsideSurface, buffer->Lock(65, 0, &data, 0));
    ASSERT_EQ(buffer->Lock(16, 48, &data, 0), D3D_OK);
    EXPECT_REFUSED(AlreadyLocked, buffer->Lock(0, 0, &data, 0));
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_REFUSED(NotLocked, buffer->Unlock());
    buffer->Release();
}

TEST_F(DeviceTest, ViewportMustLieInsideTheRenderTarget) {
    D3DVIEWPORT9 inside = {10, 8, 54, 40, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&inside), D3D_OK);
    D3DVIEWPORT9 wide = {11, 8, 54, 40, 0.0f, 1.0f};
    EXPECT_REFUSED(ViewportOutsideTarget, device_->SetViewport(&wide));
    D3DVIEWPORT9 depth = {0, 0, 4, 4, 0.5f, 0.25f};
    EXPECT_REFUSED(BadDepthRange, device_->SetViewport(&depth));
    D3DVIEWPORT9 read;
    device_->GetViewport(&read);
    EXPECT_EQ(read.X, 10u);

    // A new render target resets the viewport and scissor to its size.
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(20, 10, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
    device_->GetViewport(&read);
    EXPECT_EQ(read.X, 0u);
    EXPECT_EQ(read.Width, 20u);
    EXPECT_EQ(read.Height, 10u);
    RECT scissor;
    device_->GetScissorRect(&scissor);
    EXPECT_EQ(scissor.right, 20);
    EXPECT_REFUSED(NoRenderTarget, device_->SetRenderTarget(0, nullptr));
    IDirect3DSurface9* depth16 = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 &depth16, nullptr),
              D3D_OK);
    EXPECT_REFUSED(NotARenderTarget, device_->SetRenderTarget(0, depth16));
    EXPECT_REFUSED(NotADepthSurface, device_->SetDepthStencilSurface(target));
    EXPECT_EQ(device_->SetDepthStencilSurface(depth16), D3D_OK);
    depth16->Release();
    target->Release();
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
    back->Release();
}

TEST_F(DeviceTest, CallTraceCountsEveryCallAndKeepsArguments) {
    platform::SetD3D9TraceRecording(true);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    EXPECT_EQ(platform::D3D9CallCount("SetRenderState"), 2);
    EXPECT_EQ(platform::D3D9CallCount("SetTextureStageState"), 1);
    EXPECT_EQ(platform::D3D9CallCount("SetSamplerState"), 0);
    std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0].method, "SetRenderState");
    EXPECT_EQ(trace[0].arguments, "27, 0x1");
    EXPECT_EQ(trace[1].arguments, trace[0].arguments);
    EXPECT_EQ(trace[2].arguments, "0, 1, 0x2");

    // Counting goes on while recording is off.
    platform::SetD3D9TraceRecording(false);
    device_->SetRenderState(D3DRS_ZENABLE, TRUE);
    EXPECT_EQ(platform::D3D9CallCount("SetRenderState"), 3);
    EXPECT_EQ(platform::D3D9Trace().size(), 3u);
    platform::ClearD3D9Trace();
    EXPECT_EQ(platform::D3D9CallCount("SetRenderState"), 0);
}

TEST_F(DeviceTest, ScenesDoNotNest) {
    EXPECT_REFUSED(NoSceneBegun, device_->EndScene());
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_REFUSED(SceneAlreadyBegun, device_->BeginScene());
    EXPECT_EQ(device_->EndScene(), D3D_OK);
}

TEST_F(DeviceTest, BoundObjectsStayAliveAndTheDeviceStillGoes) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    ASSERT_EQ(device_->SetTexture(2, texture), D3D_OK);
    EXPECT_EQ(texture->Release(), 1u);  // the device holds the last reference
    IDirect3DBaseTexture9* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(2, &bound), D3D_OK);
    EXPECT_EQ(bound, texture);
    EXPECT_EQ(bound->GetLevelCount(), 1u);
    bound->Release();
    EXPECT_REFUSED(IndexOutOfRange, device_->SetTexture(16, nullptr));

    // The swap chain and back buffer count on the device.
    IDirect3DSwapChain9* chain = nullptr;
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(device_->AddRef(), 4u);
    EXPECT_EQ(device_->Release(), 3u);
    back->Release();
    chain->Release();
    // TearDown's release must then free the device with the texture bound.
}

TEST_F(DeviceTest, TextureLevelsAndTheirSizes) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(64, 16, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 7u);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(4, &desc);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 1u);
    texture->GetLevelDesc(6, &desc);
    EXPECT_EQ(desc.Width, 1u);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(2, &level), D3D_OK);
    level->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(level->Release(), 1u);  // the texture's reference
    EXPECT_REFUSED(IndexOutOfRange, texture->GetSurfaceLevel(7, &level));
    EXPECT_EQ(texture->Release(), 0u);

    // DXT rows are rows of 4x4 blocks.
    ASSERT_EQ(device_->CreateTexture(16, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 32);
    uint8_t* base = static_cast<uint8_t*>(locked.pBits);
    texture->UnlockRect(0);
    RECT block = {8, 4, 16, 8};
    ASSERT_EQ(texture->LockRect(0, &locked, &block, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.pBits), base + 32 + 2 * 8);
    texture->UnlockRect(0);
    RECT unaligned = {2, 0, 8, 4};
    EXPECT_REFUSED(RectOffBlocks, texture->LockRect(0, &locked, &unaligned, 0));
    texture->Release();
}

// New memory is left untouched (undefined, as on a real device) unless the
// poison is on (the test programs turn it on through the environment): then
// surfaces, texture levels and volumes start with 0xCD in every byte, and
// only a clear shows as clear, whatever the poison.
TEST_F(DeviceTest, NewMemoryHoldsThePoisonByteWhileThePoisonIsOn) {
    EXPECT_TRUE(platform::D3D9PoisonFill()) << "the test programs poison new memory";
    for (bool poison : {true, false}) {
        SCOPED_TRACE(poison);
        platform::SetD3D9PoisonFill(poison);
        const uint8_t expected = platform::kD3D9PoisonByte;
        IDirect3DSurface9* plain = Plain(5, 3, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
        ASSERT_NE(plain, nullptr);
        if (poison) {
            for (uint8_t byte : d3d9test::ReadBytes(plain, 5 * 4, 3)) {
                ASSERT_EQ(byte, expected);
            }
        }
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(8, 4, 2, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                         D3DPOOL_DEFAULT, &texture, nullptr),
                  D3D_OK);
        IDirect3DSurface9* level = nullptr;
        ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
        if (poison) {
            EXPECT_EQ(platform::ReadD3D9SurfacePixel(level, 3, 1), expected * 0x01010101u);
        }
        IDirect3DVolumeTexture9* volume = nullptr;
        ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                               &volume, nullptr),
                  D3D_OK);
        D3DLOCKED_BOX box;
        ASSERT_EQ(volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
        if (poison) {
            EXPECT_EQ(static_cast<const uint8_t*>(box.pBits)[box.SlicePitch + 4 * 4 - 1], expected);
        }
        volume->UnlockBox(0);
        ASSERT_EQ(device_->ColorFill(level, nullptr, 0), D3D_OK);
        EXPECT_EQ(platform::ReadD3D9SurfacePixel(level, 3, 1), 0u);
        volume->Release();
        level->Release();
        texture->Release();
        plain->Release();
    }
    platform::SetD3D9PoisonFill(true);
}

// Which surfaces lock, by how they were made.
TEST_F(DeviceTest, LockRulesFollowPoolsAndUsage) {
    auto texture = [&](DWORD usage, D3DPOOL pool) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device_->CreateTexture(8, 8, 1, usage, D3DFMT_A8R8G8B8, pool, &t, nullptr),
                  D3D_OK);
        return t;
    };
    struct Case {
        const char* what;
        IDirect3DTexture9* texture;
        bool locks;
    };
    Case cases[] = {
        {"managed", texture(0, D3DPOOL_MANAGED), true},
        {"system memory", texture(0, D3DPOOL_SYSTEMMEM), true},
        {"default", texture(0, D3DPOOL_DEFAULT), false},
        {"default dynamic", texture(D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT), true},
        {"render target", texture(D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT), false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        D3DLOCKED_RECT locked;
        if (!c.locks) {
            EXPECT_REFUSED(NotLockable, c.texture->LockRect(0, &locked, nullptr, 0));
        } else {
            ASSERT_EQ(c.texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
            EXPECT_EQ(locked.Pitch, 32);
            // Locked twice.
            EXPECT_REFUSED(AlreadyLocked, c.texture->LockRect(0, &locked, nullptr, 0));
            EXPECT_EQ(c.texture->UnlockRect(0), D3D_OK);
        }
        EXPECT_REFUSED(NotLocked, c.texture->UnlockRect(0));
        c.texture->Release();
    }

    IDirect3DSurface9* notLockable = nullptr;
    IDirect3DSurface9* lockable = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &notLockable, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, TRUE,
                                          &lockable, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_REFUSED(NotLockable, notLockable->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    RECT part = {4, 2, 8, 6};
    ASSERT_EQ(lockable->LockRect(&locked, &part, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 32);
    lockable->UnlockRect();
    RECT outside = {4, 2, 17, 6};
    EXPECT_REFUSED(RectOutsideSurface, lockable->LockRect(&locked, &outside, 0));
    notLockable->Release();
    lockable->Release();

    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(16, 16, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 &depth, nullptr),
              D3D_OK);
    EXPECT_REFUSED(NotLockable, depth->LockRect(&locked, nullptr, 0));
    depth->Release();

    // The back buffer locks because the parameters asked for it.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(locked.Pitch, 64 * 4);
    back->UnlockRect();
    back->Release();
}

TEST_F(DeviceTest, VolumeTextureLocksItsBoxes) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 4, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                           &volume, nullptr),
              D3D_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 32);
    EXPECT_EQ(box.SlicePitch, 128);
    volume->UnlockBox(0);
    D3DBOX part = {1, 2, 3, 4, 1, 2};
    uint8_t* base = nullptr;
    volume->LockBox(0, &box, nullptr, 0);
    base = static_cast<uint8_t*>(box.pBits);
    volume->UnlockBox(0);
    ASSERT_EQ(volume->LockBox(0, &box, &part, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(box.pBits), base + 128 + 2 * 32 + 4);
    volume->UnlockBox(0);
    EXPECT_EQ(volume->Release(), 0u);

    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &volume,
                                           nullptr),
              D3D_OK);
    EXPECT_REFUSED(NotLockable, volume->LockBox(0, &box, nullptr, 0));
    volume->Release();
}

TEST_F(DeviceTest, LostDeviceRefusesPresentAndANewDeviceWorks) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    platform::LoseD3D9Devices();
    EXPECT_REFUSED(DeviceLost, device_->Present(nullptr, nullptr, nullptr, nullptr));
    // Clears do nothing; back-buffer locks fail.
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(back, 5, 5), 0xFF102030u);
    D3DLOCKED_RECT locked;
    EXPECT_REFUSED(DeviceLost, back->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    // Releases work, and the next device is not lost.
    back->Release();
    EXPECT_EQ(device_->Release(), 0u);
    device_ = nullptr;
    D3DPRESENT_PARAMETERS p = WindowedParameters(32, 32, FakeWindow());
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(),
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
              D3D_OK);
    EXPECT_EQ(platform::CurrentD3D9Device(), device_);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(DirectDraw, WaitsForTheVerticalBlankThroughCom) {
    IDirectDraw7* directDraw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                               reinterpret_cast<void**>(&directDraw)),
              S_OK);
    ASSERT_NE(directDraw, nullptr);
    EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DDERR_NOTINITIALIZED);
    EXPECT_EQ(directDraw->Initialize(nullptr), DD_OK);
    EXPECT_EQ(directDraw->Initialize(nullptr), DDERR_ALREADYINITIALIZED);
    EXPECT_EQ(directDraw->SetCooperativeLevel(FakeWindow(), DDSCL_NORMAL), DD_OK);

    // Real blanks come one refresh apart (60 Hz by default).
    // Four blanks after any moment span at least three whole refresh periods.
    platform::SetD3D9Profile(d3d9test::PinnedProfile());
    platform::SetVirtualVerticalBlank(false);
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    }
    QueryPerformanceCounter(&end);
    double milliseconds = (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
    EXPECT_GT(milliseconds, 49.9);
    platform::ResetD3D9Profile();

    // Virtual blanks return at once and are counted.
    platform::SetVirtualVerticalBlank(true);
    uint64_t before = platform::VerticalBlankCount();
    for (int i = 0; i < 100; ++i) {
        directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    }
    EXPECT_EQ(platform::VerticalBlankCount(), before + 100);
    platform::SetVirtualVerticalBlank(false);
    EXPECT_EQ(directDraw->Release(), 0u);

    const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IDirectDraw7, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
