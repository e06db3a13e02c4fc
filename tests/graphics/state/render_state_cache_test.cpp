// The render-state cache: values are sent once, again under the force flag,
// after a flush of what was pending, and refusals leave the cache as it was.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "graphics/device/shader_pack.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "tests/graphics/state/state_cache_test_support.h"

using namespace tessel;
using tessel_test::StateCacheTest;

namespace {

struct SingleState {
    const char* name;
    int (*set)(int);
    D3DRENDERSTATETYPE state;
    int value;
    DWORD sent;
};

const SingleState kSingleStates[] = {
    {"z write", SetZWriteState, D3DRS_ZWRITEENABLE, 1, 1},
    {"z function", SetZFuncState, D3DRS_ZFUNC, 7, 7},
    {"depth bias", SetDepthBiasState, D3DRS_DEPTHBIAS, 0x3F000000, 0x3F000000},
    {"fill mode", SetFillModeState, D3DRS_FILLMODE, 2, 2},
    {"shade mode", SetShadeModeState, D3DRS_SHADEMODE, 2, 2},
    {"specular", SetSpecularState, D3DRS_SPECULARENABLE, 1, 1},
    {"diffuse from vertex", SetDiffuseFromVertexColor, D3DRS_DIFFUSEMATERIALSOURCE, 0,
     D3DMCS_MATERIAL},
    {"specular from vertex", SetSpecularFromVertexColor, D3DRS_SPECULARMATERIALSOURCE, 9,
     D3DMCS_COLOR2},
    {"fog enable", SetFogEnableState, D3DRS_FOGENABLE, 1, 1},
    {"fog formula", SetFogModeState, D3DRS_FOGVERTEXMODE, 3, 3},
    {"lighting", SetLightingSwitch, D3DRS_LIGHTING, 1, 1},
};

TEST_F(StateCacheTest, AStateSetTwiceIsSentOnceAndAgainWhenTheDeviceStatesAreReapplied) {
    for (const SingleState& c : kSingleStates) {
        SCOPED_TRACE(c.name);
        platform::ClearD3D9Trace();
        EXPECT_EQ(c.set(c.value), 0);
        EXPECT_EQ(c.set(c.value), 0);
        std::string sent = RenderState(c.state, c.sent);
        EXPECT_EQ(Count(sent), 1);
        EXPECT_EQ(ReadRenderState(c.state), c.sent);
        platform::ClearD3D9Trace();
        ASSERT_EQ(ReapplyAllDeviceStates(), 0);
        EXPECT_GE(Count(sent), 1) << "the re-send was held back";
        EXPECT_EQ(g_stateCache.force, 0);
    }
}

TEST_F(StateCacheTest, StatesThatNeedADeviceRefuseOrIgnoreWithoutOne) {
    EndLibrary();
    EXPECT_EQ(SetZEnableState(1), -1);
    EXPECT_EQ(SetZWriteState(1), -1);
    EXPECT_EQ(SetFilterModeState(1), -1);
    EXPECT_EQ(SetBlendState(1, 0, 0), -1);
    EXPECT_EQ(SetViewportRect(0, 0, 10, 10), -1);
    EXPECT_EQ(SetCullModeState(2), 0);
    EXPECT_EQ(SetLightingSwitch(1), 0);
    EXPECT_EQ(ReapplyAllDeviceStates(), -1);
}

TEST_F(StateCacheTest, CullAndZEnableSendTheDevicesValuesAndKeepTheGivenOnes) {
    struct Case {
        int value;
        DWORD sent;
    };
    const Case culls[] = {{1, D3DCULL_CCW}, {2, D3DCULL_CW}, {7, D3DCULL_CCW}, {0, D3DCULL_NONE}};
    for (const Case& c : culls) {
        SCOPED_TRACE(c.value);
        SetCullModeState(c.value);
        EXPECT_EQ(ReadRenderState(D3DRS_CULLMODE), c.sent);
        EXPECT_EQ(g_stateCache.cullMode, c.value);
    }
    EXPECT_EQ(SetZEnableState(2), 0);
    EXPECT_EQ(g_stateCache.zEnable, 2);
    EXPECT_EQ(ReadRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE));
    SetZEnableState(1);
    EXPECT_EQ(ReadRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
}

TEST_F(StateCacheTest, AChangedStateDrawsThePendingVerticesFirstAndAnEqualOneKeepsThem) {
    SetZFuncState(5);
    AppendPoints(3);
    platform::ClearD3D9Trace();
    SetZFuncState(5);
    EXPECT_EQ(g_batch.count, 3) << "an equal value flushed the batch";
    SetZFuncState(6);
    EXPECT_EQ(g_batch.count, 0);
    int draw = IndexOf("DrawPrimitiveUP 1, 3, stride 20");
    int state = IndexOf(RenderState(D3DRS_ZFUNC, 6));
    ASSERT_NE(draw, -1);
    ASSERT_NE(state, -1);
    EXPECT_LT(draw, state);
}

TEST_F(StateCacheTest, TheLightingSwitchLeavesThePendingVerticesAlone) {
    AppendPoints(2);
    EXPECT_EQ(SetLightingSwitch(0), 0);
    EXPECT_EQ(g_batch.count, 2);
    EXPECT_EQ(ReadRenderState(D3DRS_LIGHTING), 0u);
}

TEST_F(StateCacheTest, ARefusedViewportIsLoggedAndLeavesTheCachedOne) {
    ASSERT_EQ(SetViewportRect(10, 20, 110, 220), 0);
    D3DVIEWPORT9 before = g_stateCache.viewport;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::SetViewport, 1);
    EXPECT_EQ(SetViewportRect(0, 0, 50, 60), -1);
    EXPECT_EQ(std::memcmp(&g_stateCache.viewport, &before, sizeof(before)), 0);
    EXPECT_NE(Log().find("ビューポートのセットに失敗しました ErrorCode 8876086c"),
              std::string::npos);
    // The cached value was kept, so the same request is sent again.
    EXPECT_EQ(SetViewportRect(0, 0, 50, 60), 0);
    D3DVIEWPORT9 now = {};
    device_->GetViewport(&now);
    EXPECT_EQ(now.Width, 50u);
    EXPECT_EQ(now.Height, 60u);
}

TEST_F(StateCacheTest, AViewportChangeEndsTheOpenScene) {
    EnsureSceneBegun();
    SetViewportRect(0, 0, 30, 30);
    EXPECT_EQ(g_graphics.sceneOpen, 0);
    EnsureSceneBegun();
    SetViewportRect(0, 0, 30, 30);
    EXPECT_EQ(g_graphics.sceneOpen, 1) << "an equal viewport ended the scene";
}

TEST_F(StateCacheTest, ANewRenderTargetBringsTheCachedViewportAndScissorOverIt) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(64, 32, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    RECT small = {1, 2, 3, 4};
    SetScissorState(&small);
    ASSERT_EQ(SetDeviceRenderTarget(target), 0);
    EXPECT_EQ(g_stateCache.viewport.Width, 64u);
    EXPECT_EQ(g_stateCache.viewport.Height, 32u);
    EXPECT_EQ(g_stateCache.scissor.right, 64);
    // The device reset its scissor; asking for the old one again must reach it.
    SetScissorState(&small);
    RECT now = {};
    device_->GetScissorRect(&now);
    EXPECT_EQ(now.right, 3);
    SetDeviceRenderTarget(g_graphics.backBuffer);
    target->Release();
}

TEST_F(StateCacheTest, SamplerFiltersAreSentUnderTheDevicesOwnNumbers) {
    struct Case {
        int kind;
        D3DSAMPLERSTATETYPE state;
        DWORD value;
    };
    const Case cases[] = {{kFilterKindMag, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
                          {kFilterKindMin, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC},
                          {kFilterKindMip, D3DSAMP_MIPFILTER, D3DTEXF_POINT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(SetSamplerFilterState(3, c.kind, static_cast<int>(c.value)), 0);
        EXPECT_EQ(ReadSamplerState(3, c.state), c.value);
        EXPECT_EQ(g_stateCache.filterMode, kFilterModePerStage);
    }
    platform::ClearD3D9Trace();
    EXPECT_EQ(SetSamplerFilterState(8, kFilterKindMag, D3DTEXF_POINT), 0);
    EXPECT_EQ(SetSamplerFilterState(2, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), 0);
    EXPECT_EQ(IndexOfMethod("SetSamplerState"), -1) << "a bad stage or kind reached the device";
}

TEST_F(StateCacheTest, TheFilterModeSetsEveryStageInUseAndRefusesAnUnknownMode) {
    g_stateCache.program.stageCount = 2;
    ASSERT_EQ(SetFilterModeState(kFilterAnisotropic), 0);
    for (DWORD stage = 0; stage < 2; ++stage) {
        SCOPED_TRACE(stage);
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_MAGFILTER), static_cast<DWORD>(D3DTEXF_LINEAR));
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_MINFILTER),
                  static_cast<DWORD>(D3DTEXF_ANISOTROPIC));
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_MIPFILTER), static_cast<DWORD>(D3DTEXF_LINEAR));
    }
    EXPECT_NE(ReadSamplerState(2, D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_ANISOTROPIC));
    EXPECT_EQ(SetFilterModeState(5), -1);
    EXPECT_EQ(g_stateCache.filterMode, kFilterAnisotropic);
    platform::ClearD3D9Trace();
    ASSERT_EQ(SetFilterModeState(kFilterBilinear), 0);
    // MAG and MIP stay linear-or-none as they were; only what differs goes.
    EXPECT_EQ(Count(SamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)), 0);
    EXPECT_EQ(Count(SamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR)), 1);
    EXPECT_EQ(Count(SamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE)), 1);
}

TEST_F(StateCacheTest, AnisotropyBelowOneIsSentAsOneAndAPerStageChangeMarksTheSummary) {
    g_stateCache.program.stageCount = 1;
    ASSERT_EQ(SetMaxAnisotropyState(4), 0);
    EXPECT_EQ(ReadSamplerState(0, D3DSAMP_MAXANISOTROPY), 4u);
    ASSERT_EQ(SetMaxAnisotropyState(-3), 0);
    EXPECT_EQ(ReadSamplerState(0, D3DSAMP_MAXANISOTROPY), 1u);
    EXPECT_EQ(SetSamplerMaxAnisotropy(5, 1), 0);
    EXPECT_EQ(g_stateCache.maxAnisotropy, -1) << "marked even though nothing was sent";
}

TEST_F(StateCacheTest, AddressModesReachOneStageOrAllEightAndRefuseOtherStages) {
    EXPECT_EQ(SetTexAddressU(D3DTADDRESS_WRAP, 8), -1);
    EXPECT_EQ(SetTexAddressU(D3DTADDRESS_WRAP, -2), -1);
    ASSERT_EQ(SetTexAddressU(D3DTADDRESS_WRAP, -1), 0);
    for (DWORD stage = 0; stage < 8; ++stage) {
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_ADDRESSV), static_cast<DWORD>(D3DTADDRESS_CLAMP));
    }
    ASSERT_EQ(SetTexAddressAll(D3DTADDRESS_MIRROR, 5), 0);
    EXPECT_EQ(ReadSamplerState(5, D3DSAMP_ADDRESSW), static_cast<DWORD>(D3DTADDRESS_MIRROR));
    EXPECT_EQ(ReadSamplerState(4, D3DSAMP_ADDRESSW), static_cast<DWORD>(D3DTADDRESS_CLAMP));
    // All eight compared: one stage differing sends the value to all.
    platform::ClearD3D9Trace();
    ASSERT_EQ(SetTexAddressW(D3DTADDRESS_MIRROR, -1), 0);
    EXPECT_EQ(Count(SamplerState(5, D3DSAMP_ADDRESSW, D3DTADDRESS_MIRROR)), 1);
    platform::ClearD3D9Trace();
    SetTexAddressW(D3DTADDRESS_MIRROR, -1);
    EXPECT_EQ(IndexOfMethod("SetSamplerState"), -1);
}

TEST_F(StateCacheTest, ALightPastTheSlotsGoesToTheDeviceButNotToTheCache) {
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Range = 7.0f;
    DeviceStateCache before = g_stateCache;
    EXPECT_EQ(SetLightState(300, &light), 0);
    EXPECT_EQ(EnableLightState(300, 1), 0);
    D3DLIGHT9 read = {};
    EXPECT_EQ(device_->GetLight(300, &read), D3D_OK);
    EXPECT_EQ(read.Range, 7.0f);
    EXPECT_EQ(std::memcmp(&before.lights, &g_stateCache.lights, sizeof(before.lights)), 0);
    EXPECT_EQ(g_stateCache.highestLight, before.highestLight);
}

TEST_F(StateCacheTest, TheHighestEnabledLightFallsToTheNextEnabledOneBelow) {
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    ApplyLightBlock(2, 1, &light);
    ApplyLightBlock(9, 1, &light);
    ApplyLightBlock(5, 1, &light);
    EXPECT_EQ(g_stateCache.highestLight, 9);
    EnableLightState(9, 0);
    EXPECT_EQ(g_stateCache.highestLight, 5);
    EnableLightState(2, 0);
    EXPECT_EQ(g_stateCache.highestLight, 5) << "a light below the highest moved it";
    EnableLightState(5, 0);
    EXPECT_EQ(g_stateCache.highestLight, 0);
}

TEST_F(StateCacheTest, LightAndMaterialRegistersHoldTheSceneAmbientAndTheLightsInViewSpace) {
    D3DMATERIAL9 material = {};
    material.Ambient = {0.5f, 0.25f, 1.0f, 1.0f};
    material.Emissive = {0.125f, 0.0f, 0.0f, 0.0f};
    material.Diffuse = {0.75f, 0.5f, 0.25f, 1.0f};
    material.Power = 3.0f;
    ASSERT_EQ(SetMaterialState(&material), 0);
    ASSERT_EQ(SetAmbientColorState(0xFF336699), 0);
    const float* scene = g_stateCache.vertexConstants[1];
    EXPECT_EQ(scene[0], (0x33 / 255.0f) * 0.5f + 0.125f);
    EXPECT_EQ(scene[1], (0x66 / 255.0f) * 0.25f);
    EXPECT_EQ(scene[2], (0x99 / 255.0f) * 1.0f);
    EXPECT_EQ(std::memcmp(g_stateCache.pixelConstants[1], scene, 16), 0);
    EXPECT_EQ(g_stateCache.vertexConstants[13][0], 3.0f);
    EXPECT_EQ(g_stateCache.pixelConstants[2][1], 0.5f);

    Mat4 view = {};
    MatTranslate(&view, 10.0f, 20.0f, 30.0f);
    SetViewTransformState(&view);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_SPOT;
    light.Position = {1.0f, 2.0f, 3.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    light.Ambient = {0.5f, 0.5f, 0.5f, 1.0f};
    ApplyLightBlock(1, 1, &light);
    const float* position = g_stateCache.vertexConstants[14 + 7];
    EXPECT_EQ(position[0], 11.0f);
    EXPECT_EQ(position[1], 22.0f);
    EXPECT_EQ(position[2], 33.0f);
    EXPECT_EQ(position[3], 1.0f);
    const float* direction = g_stateCache.vertexConstants[15 + 7];
    EXPECT_EQ(direction[0], 0.0f) << "a direction must not move with the view";
    EXPECT_EQ(direction[1], 0.0f);
    EXPECT_EQ(direction[2], 1.0f);
    EXPECT_EQ(direction[3], 0.0f);
    EXPECT_EQ(g_stateCache.vertexConstants[18 + 7][1], 0.5f * 0.25f);
    EXPECT_EQ(g_stateCache.pixelConstants[11 + 3][1], 0.5f * 0.25f);
    // The transposed view: its translation ends in the fourth column.
    EXPECT_EQ(g_stateCache.vertexConstants[6][3], 10.0f);
}

TEST_F(StateCacheTest, ShaderRegistersOutsideTheShadowsAreRefused) {
    float data[8] = {};
    EXPECT_EQ(SetVertexShaderConstF(255, data, 2), -1);
    EXPECT_EQ(SetPixelShaderConstF(31, data, 2), -1);
    EXPECT_EQ(SetPixelShaderConstF(-1, data, 1), -1);
    EXPECT_EQ(SetPixelShaderConstF(30, data, 2), 0);
}

TEST_F(StateCacheTest, ConstantsReachTheDeviceOnlyOnTheShaderPathAndAWholeUploadGoesFirst) {
    const float value[4] = {1, 2, 3, 4};
    ShaderPathOn = 0;
    SetVertexShaderConstF(40, value, 1);
    EXPECT_EQ(IndexOfMethod("SetVertexShaderConstantF"), -1);
    EXPECT_EQ(g_stateCache.vertexConstants[40][3], 4.0f);
    ShaderPathOn = 1;
    g_stateCache.wholeUpload = 1;
    SetVertexShaderConstF(41, value, 1);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "SetVertexShaderConstantF 0, 256");
    EXPECT_EQ(calls[1], "SetPixelShaderConstantF 0, 32");
    EXPECT_EQ(calls[2], "SetVertexShaderConstantF 41, 1");
    EXPECT_EQ(g_stateCache.wholeUpload, 0);
}

TEST_F(StateCacheTest, BlendTextureAndMaskChangesMarkTheDrawProgramForRebuilding) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    g_stateCache.programDirty = 0;
    g_stateCache.textureDirty = 0;
    SetBlendState(g_stateCache.blendMode, g_stateCache.imageAlpha, g_stateCache.colorKey);
    EXPECT_EQ(g_stateCache.programDirty, 0);
    SetBlendState(2, 1, 0);
    EXPECT_EQ(g_stateCache.programDirty, 1);

    g_stateCache.programDirty = 0;
    SetDrawTexture(texture);
    EXPECT_EQ(g_stateCache.textureDirty, 1);
    EXPECT_EQ(g_stateCache.programDirty, 1) << "none to a texture changes the program";
    g_stateCache.programDirty = 0;
    IDirect3DTexture9* other = nullptr;
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &other, nullptr);
    SetDrawTexture(other);
    EXPECT_EQ(g_stateCache.programDirty, 0) << "one texture for another keeps the program";

    SetBlendMaskState(texture, 10, 20);
    g_stateCache.programDirty = 0;
    SetBlendMaskState(texture, -1, -1);
    EXPECT_EQ(g_stateCache.programDirty, 0) << "-1 keeps threshold and range";
    EXPECT_EQ(g_stateCache.maskThreshold, 10);
    SetBlendMaskState(nullptr, -1, -1);
    EXPECT_EQ(g_stateCache.maskTexture, nullptr);
    EXPECT_EQ(g_stateCache.programDirty, 1);
    SetDrawTexture(nullptr);
    texture->Release();
    other->Release();
}

TEST_F(StateCacheTest, TextureTransformsLightsAndMaterialSurviveARestoreOfTheDevice) {
    Mat4 scale = {};
    MatScale(&scale, 2.0f, 3.0f, 1.0f);
    ASSERT_EQ(SetTextureTransformState(1, &scale, 1), 0);
    SetZFuncState(7);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_SPOT;
    light.Range = 12.5f;
    ApplyLightBlock(2, 1, &light);
    D3DMATERIAL9 material = {};
    material.Power = 6.0f;
    SetMaterialState(&material);
    platform::LoseD3D9Devices();
    Activate();
    IDirect3DDevice9* fresh = g_graphics.device;
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(IsGraphicsDeviceLost(), 0);
    std::string log = Log();
    const std::string made = "IDirect3DDevice9 オブジェクトを取得します";
    ASSERT_NE(log.find(made, log.find(made) + 1), std::string::npos) << "no second device";
    DWORD flags = 0;
    fresh->GetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, &flags);
    EXPECT_EQ(flags, static_cast<DWORD>(D3DTTFF_COUNT3));
    D3DMATRIX matrix = {};
    fresh->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE1), &matrix);
    EXPECT_EQ(std::memcmp(&matrix, &scale, sizeof(matrix)), 0);
    DWORD zFunc = 0;
    fresh->GetRenderState(D3DRS_ZFUNC, &zFunc);
    EXPECT_EQ(zFunc, 7u);
    D3DLIGHT9 readLight = {};
    ASSERT_EQ(fresh->GetLight(2, &readLight), D3D_OK);
    EXPECT_EQ(readLight.Range, 12.5f);
    BOOL enabled = FALSE;
    fresh->GetLightEnable(2, &enabled);
    EXPECT_EQ(enabled, TRUE);
    D3DMATERIAL9 readMaterial = {};
    fresh->GetMaterial(&readMaterial);
    EXPECT_EQ(readMaterial.Power, 6.0f);
    EXPECT_EQ(g_stateCache.force, 0);
    // The stage that was never switched on stays off.
    fresh->GetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS, &flags);
    EXPECT_EQ(flags, static_cast<DWORD>(D3DTTFF_DISABLE));
}

// The library ended and started again in one process makes a new device
// with its own defaults; a value the old device held must still reach it.
TEST_F(StateCacheTest, AValueTheEndedLibrarySentReachesTheDeviceOfTheNextStart) {
    struct Case {
        const char* name;
        void (*set)();
        bool (*reached)(IDirect3DDevice9*);
    };
    const Case cases[] = {
        {"material",
         [] {
             D3DMATERIAL9 material = {};
             material.Diffuse = {0.75f, 0.5f, 0.25f, 1.0f};
             material.Power = 6.0f;
             SetMaterialState(&material);
         },
         [](IDirect3DDevice9* device) {
             D3DMATERIAL9 material = {};
             device->GetMaterial(&material);
             return material.Power == 6.0f && material.Diffuse.a == 1.0f &&
                    material.Diffuse.r == 0.75f;
         }},
        {"fog density", [] { SetFogDensityState(0.375f); },
         [](IDirect3DDevice9* device) {
             DWORD density = 0;
             device->GetRenderState(D3DRS_FOGDENSITY, &density);
             return density == std::bit_cast<DWORD>(0.375f);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set();
        ASSERT_TRUE(c.reached(g_graphics.device));
        EndLibrary();
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_NE(g_graphics.device, nullptr);
        ASSERT_FALSE(c.reached(g_graphics.device)) << "the new device starts from its defaults";
        c.set();
        EXPECT_TRUE(c.reached(g_graphics.device));
    }
}

TEST_F(StateCacheTest, TheDefaultsAreStoredAndSentWhenTheDeviceIsMade) {
    // The draw set-up that follows at once takes the draw settings: Z off,
    // nearest filtering.
    EXPECT_EQ(g_stateCache.zEnable, 0);
    EXPECT_EQ(g_stateCache.zWrite, 0);
    EXPECT_EQ(g_stateCache.filterMode, kFilterNearest);
    EXPECT_EQ(g_stateCache.diffuseFromVertex, 255);
    EXPECT_EQ(g_stateCache.renderTarget, g_graphics.backBuffer);
    EXPECT_EQ(g_stateCache.viewport.Width, static_cast<DWORD>(g_screen.width));
    // The device's own default (TRUE) was replaced by the cache's.
    EXPECT_EQ(ReadRenderState(D3DRS_ZWRITEENABLE), 0u);
    EXPECT_EQ(ReadRenderState(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(ReadRenderState(D3DRS_SHADEMODE), static_cast<DWORD>(D3DSHADE_FLAT));
    for (DWORD stage = 0; stage < 8; ++stage) {
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
        EXPECT_EQ(ReadSamplerState(stage, D3DSAMP_MAGFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    }
}

TEST_F(StateCacheTest, FogFollowsTheDrawSettingsSwitchAndItsRegisterTheRangeAndDensity) {
    g_drawSettings.fogSwitch = 1;
    ApplyFogEnableState();
    EXPECT_EQ(ReadRenderState(D3DRS_FOGENABLE), 1u);
    platform::ClearD3D9Trace();
    g_stateCache.force = 1;
    ApplyFogEnableState();
    g_stateCache.force = 0;
    EXPECT_EQ(Count(RenderState(D3DRS_FOGENABLE, 1)), 0)
        << "the switch is compared even when forced";
    g_drawSettings.fogSwitch = 0;

    ASSERT_EQ(SetFogRangeState(10.0f, 50.0f), 0);
    ASSERT_EQ(SetFogDensityState(0.5f), 0);
    const float* fog = g_stateCache.vertexConstants[10];
    EXPECT_EQ(fog[0], 50.0f / 40.0f);
    EXPECT_EQ(fog[1], -1.0f / 40.0f);
    EXPECT_EQ(fog[2], 0.5f);
    EXPECT_EQ(fog[3], 2.7182817f);
    EXPECT_EQ(ReadRenderState(D3DRS_FOGEND), std::bit_cast<DWORD>(50.0f));
}

TEST_F(StateCacheTest, ADeviceMadeAgainForgetsTheTexturesAndTargetOfTheOldOne) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    SetDrawTexture(texture);
    SetBlendMaskState(texture, 1, 1);
    SetDeviceRenderTarget(target);
    g_stateCache.program.stages[1].texture = texture;
    platform::LoseD3D9Devices();
    Activate();
    ASSERT_EQ(IsGraphicsDeviceLost(), 0);
    EXPECT_EQ(g_stateCache.drawTexture, nullptr);
    EXPECT_EQ(g_stateCache.maskTexture, nullptr);
    EXPECT_EQ(g_stateCache.program.stages[1].texture, nullptr);
    EXPECT_NE(g_stateCache.renderTarget, target);
    texture->Release();
    target->Release();
}

TEST_F(StateCacheTest, ADisabledZSetTurnsOnlyTheZTestOffAndAnEnabledOneSetsAllFour) {
    ApplyZStateSet({1, 1, D3DCMP_GREATER, 0x40000000});
    EXPECT_EQ(ReadRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
    EXPECT_EQ(ReadRenderState(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(ReadRenderState(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_GREATER));
    EXPECT_EQ(ReadRenderState(D3DRS_DEPTHBIAS), 0x40000000u);
    ApplyZStateSet({0, 0, D3DCMP_LESS, 0});
    EXPECT_EQ(ReadRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE));
    EXPECT_EQ(ReadRenderState(D3DRS_ZWRITEENABLE), 1u) << "a disabled set touched the others";
    EXPECT_EQ(ReadRenderState(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_GREATER));
}

}  // namespace
