// The device's life: start-up on the hardware or the software path, shutdown,
// and the repair of a lost device when the window is activated again.
#include <gtest/gtest.h>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(GraphicsTest, WindowModeStartsADeviceOfTheScreenSizeInTheDesktopsDepth) {
    ASSERT_EQ(SetScreenMode(800, 600, 16, 0), 0);
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(g_graphics.started, 1);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
    ASSERT_NE(g_graphics.device, nullptr);
    EXPECT_EQ(g_graphics.device, platform::CurrentD3D9Device());
    D3DSURFACE_DESC back = Desc(g_graphics.backBuffer);
    EXPECT_EQ(back.Width, 800u);
    EXPECT_EQ(back.Height, 600u);
    EXPECT_EQ(back.Format, static_cast<D3DFORMAT>(D3DFMT_X8R8G8B8));
    // A window shows in the desktop's depth whatever was asked.
    EXPECT_EQ(QueryScreenColorDepth(), 32);
    // The Z buffer covers the screen in powers of two.
    EXPECT_EQ(g_graphics.depthWidth, 1024);
    EXPECT_EQ(g_graphics.depthHeight, 1024);
    EXPECT_EQ(Desc(g_graphics.depthSurface).Format, static_cast<D3DFORMAT>(D3DFMT_D16));
    EXPECT_NE(g_graphics.swapChain, nullptr);
    EXPECT_NE(QueryDirectDrawObject(), nullptr);
    EXPECT_EQ(g_graphics.maxTextureSize, 4096);
    EXPECT_EQ(g_graphics.blendOpSupported, 1);
    EXPECT_EQ(g_graphics.tssArgTempSupported, 1);
    // The device runs shaders 2.0: the built-in shaders draw the models.
    EXPECT_EQ(g_graphics.shaderCapable, 1);
    EXPECT_EQ(ShaderPathOn, 1);
    EXPECT_EQ(QueryFrameInterval(), 16667);
    RECT client;
    GetClientRect(GetMainWindow(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    std::string log = Log();
    EXPECT_TRUE(Contains(log,
                         "IDirect3DDevice9 オブジェクトを取得します.... "
                         "ハードウエア頂点演算を使用します\r\n"));
    EXPECT_TRUE(Contains(log, "Driver:cpu3d.dll  Description:CPU Direct3D 9 device"));

    ASSERT_EQ(EndLibrary(), 0);
    EXPECT_EQ(g_graphics.started, 0);
    ExpectNoDeviceObjects();
}

TEST_F(GraphicsTest, ASixteenBitDesktopMakesTheWindowSixteenBitWhateverWasAsked) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.followDesktop = false;
    profile.displayMode.Format = D3DFMT_R5G6B5;
    platform::SetD3D9Profile(profile);
    ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(QueryScreenColorDepth(), 16);
    EXPECT_EQ(g_graphics.formats.screen, static_cast<D3DFORMAT>(D3DFMT_R5G6B5));
    EXPECT_EQ(g_graphics.formats.drawableForScreen, static_cast<D3DFORMAT>(D3DFMT_R5G6B5));
    EXPECT_EQ(g_graphics.formats.alphaTestForScreen, static_cast<D3DFORMAT>(D3DFMT_A1R5G5B5));
}

TEST_F(GraphicsTest, ADeviceThatCannotBeMadeStartsOnTheSoftwarePath) {
    struct Case {
        const char* name;
        int failures;
        int hardware;
        const char* line;
    };
    const Case cases[] = {
        // The first attempt asks for the device's vertex processing; the
        // second, with software vertex processing, may still work.
        {"one failure", 1, 1, "ソフトウエア頂点演算を使用します\r\n"},
        {"both attempts fail", 2, 0, "Direct3DDevice9 の作成に失敗しました\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateDevice, c.failures);
        ASSERT_EQ(StartLibrary(), 0);
        EXPECT_EQ(g_graphics.hardwareInUse, c.hardware);
        EXPECT_TRUE(Contains(Log(), c.line));
        if (c.hardware == 0) {
            EXPECT_EQ(g_graphics.device, nullptr);
            EXPECT_EQ(g_graphics.direct3D, nullptr);
            EXPECT_EQ(platform::CurrentD3D9Device(), nullptr);
            // DirectDraw stays for the vertical blank of the software path.
            EXPECT_NE(QueryDirectDrawObject(), nullptr);
        }
        ASSERT_EQ(EndLibrary(), 0);
        ExpectNoDeviceObjects();
    }
}

TEST_F(GraphicsTest, TheHardwareOptionIsTakenBeforeStartUpAndRefusedAfter) {
    ASSERT_EQ(SetUseHardwareOption(0), 0);
    EXPECT_EQ(QueryUseHardwareOption(), 0);
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(g_graphics.hardwareInUse, 0);
    EXPECT_EQ(g_graphics.device, nullptr);
    EXPECT_EQ(SetUseHardwareOption(1), -1);
    EXPECT_EQ(QueryUseHardwareOption(), 0);
    EXPECT_EQ(g_graphics.softwareOnlyOption, 1);
    ASSERT_EQ(EndLibrary(), 0);
    ASSERT_EQ(SetUseHardwareOption(1), 0);
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
}

TEST_F(GraphicsTest, WithoutTheDirect3DModuleStartUpFailsAndCanBeTriedAgain) {
    FreeLibrary(LoadLibraryA("d3d9.dll"));  // the layer's modules exist from their first load
    platform::SetModuleAbsent("d3d9.dll", true);
    EXPECT_EQ(StartLibrary(), -1);
    EXPECT_TRUE(Contains(Log(), "d3d9.dll の読み込みに失敗しました\r\n"));
    EXPECT_EQ(g_graphics.started, 0);
    ExpectNoDeviceObjects();
    EXPECT_EQ(GetMainWindow(), nullptr);
    platform::SetModuleAbsent("d3d9.dll", false);
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
}

TEST_F(GraphicsTest, ASoftwareFullScreenWhoseModeCannotBeSetFailsWithNothingLeft) {
    ChangeWindowMode(0);
    ASSERT_EQ(SetUseHardwareOption(0), 0);
    ASSERT_EQ(SetScreenMode(640, 480, 8, 0), 0);  // the size exists; no 8-bit screen does
    EXPECT_EQ(StartLibrary(), -1);
    EXPECT_EQ(g_graphics.started, 0);
    ExpectNoDeviceObjects();
    ChangeWindowMode(1);
}

TEST_F(GraphicsTest, ASceneIsOpenedAndClosedOncePerPair) {
    ASSERT_EQ(StartLibrary(), 0);
    // Start-up leaves the first frame's scene open.
    EnsureSceneEnded();
    int begins = platform::D3D9CallCount("BeginScene");
    int ends = platform::D3D9CallCount("EndScene");
    EnsureSceneBegun();
    EnsureSceneBegun();
    EXPECT_EQ(g_graphics.sceneOpen, 1);
    EnsureSceneEnded();
    EnsureSceneEnded();
    EXPECT_EQ(g_graphics.sceneOpen, 0);
    EXPECT_EQ(platform::D3D9CallCount("BeginScene") - begins, 1);
    EXPECT_EQ(platform::D3D9CallCount("EndScene") - ends, 1);
}

TEST_F(GraphicsTest, DialogBoxModeIsSwitchedOffFirstAndTheSceneEndedOnRequest) {
    EXPECT_EQ(SetDeviceDialogBoxMode(1), 0) << "no device yet";
    ASSERT_EQ(StartLibrary(), 0);
    platform::SetD3D9TraceRecording(true);
    platform::ClearD3D9Trace();
    SetDeviceDialogBoxMode(1);
    SetDeviceDialogBoxMode(0);
    EnsureSceneBegun();
    SetDialogBoxModeWithSceneEnd(1);
    std::vector<std::string> calls;
    for (const platform::D3D9TraceEntry& entry : platform::D3D9Trace()) {
        if (entry.method != "BeginScene") {
            calls.push_back(entry.method + " " + entry.arguments);
        }
    }
    platform::SetD3D9TraceRecording(false);
    const std::vector<std::string> expected = {"SetDialogBoxMode 0", "SetDialogBoxMode 1",
                                               "SetDialogBoxMode 0", "EndScene  ",
                                               "SetDialogBoxMode 1"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(g_graphics.sceneOpen, 0);
}

TEST_F(GraphicsTest, DeviceBuffersComeFromTheDeviceAndNotWithoutIt) {
    EXPECT_EQ(CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED), nullptr);
    EXPECT_EQ(CreateDeviceIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED), nullptr);
    ASSERT_EQ(StartLibrary(), 0);
    IDirect3DVertexBuffer9* vertices = CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED);
    IDirect3DIndexBuffer9* indices =
        CreateDeviceIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
    ASSERT_NE(vertices, nullptr);
    ASSERT_NE(indices, nullptr);
    vertices->Release();
    indices->Release();
}

TEST_F(GraphicsTest, ActivationLeavesAWorkingDeviceAlone) {
    ASSERT_EQ(StartLibrary(), 0);
    int created = platform::D3D9CallCount("IDirect3D9::CreateDevice");
    int presents = platform::D3D9CallCount("Present");
    Activate();
    EXPECT_EQ(platform::D3D9CallCount("IDirect3D9::CreateDevice"), created);
    EXPECT_EQ(platform::D3D9CallCount("Present"), presents + 1) << "one trial present";
    EXPECT_EQ(IsGraphicsDeviceLost(), 0);
}

TEST_F(GraphicsTest, ALostDeviceIsRestoredOnActivationWithEveryObjectAgain) {
    ASSERT_EQ(StartLibrary(), 0);
    platform::LoseD3D9Devices();
    EXPECT_EQ(g_graphics.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    Activate();
    EXPECT_EQ(IsGraphicsDeviceLost(), 0);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
    ASSERT_NE(g_graphics.device, nullptr);
    EXPECT_EQ(g_graphics.device, platform::CurrentD3D9Device()) << "the old device is released";
    EXPECT_EQ(g_graphics.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Desc(g_graphics.backBuffer).Width, 640u);
    EXPECT_EQ(Desc(g_graphics.depthSurface).Width, 1024u);
    IDirect3DSurface9* backBuffer = nullptr;
    g_graphics.swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    EXPECT_EQ(backBuffer, g_graphics.backBuffer) << "swap chain and back buffer of one device";
    backBuffer->Release();
    EXPECT_NE(QueryDirectDrawObject(), nullptr);
}

TEST_F(GraphicsTest, ARestoreThatCannotMakeTheDeviceLeavesNothingAndSucceedsNextTime) {
    ASSERT_EQ(StartLibrary(), 0);
    platform::LoseD3D9Devices();
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateDevice, 2);
    Activate();
    EXPECT_EQ(IsGraphicsDeviceLost(), 1);
    EXPECT_EQ(g_graphics.hardwareInUse, 1) << "images keep their hardware path";
    ExpectNoDeviceObjects();
    EXPECT_TRUE(Contains(Log(), "グラフィックデバイスを復帰できませんでした"));
    EnsureSceneBegun();  // nothing to open a scene on
    EXPECT_EQ(g_graphics.sceneOpen, 0);

    Activate();
    EXPECT_EQ(IsGraphicsDeviceLost(), 0);
    ASSERT_NE(g_graphics.device, nullptr);
    EXPECT_EQ(g_graphics.device, platform::CurrentD3D9Device());
    EXPECT_EQ(g_graphics.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(EndLibrary(), 0);
    ExpectNoDeviceObjects();
}

TEST_F(GraphicsTest, FullScreenRestoresOnEveryActivationUnlessMinimised) {
    ChangeWindowMode(0);
    ASSERT_EQ(StartLibrary(), 0);
    ASSERT_EQ(IsFullScreenMode(), 1);
    ASSERT_EQ(g_graphics.hardwareInUse, 1);
    IDirect3DDevice9* device = g_graphics.device;
    int created = platform::D3D9CallCount("IDirect3D9::CreateDevice");
    Activate(1);
    EXPECT_EQ(platform::D3D9CallCount("IDirect3D9::CreateDevice"), created);
    EXPECT_EQ(g_graphics.device, device);
    Activate(0);
    EXPECT_EQ(platform::D3D9CallCount("IDirect3D9::CreateDevice"), created + 1);
    EXPECT_EQ(g_graphics.device, platform::CurrentD3D9Device());
    EXPECT_EQ(Desc(g_graphics.backBuffer).Format, static_cast<D3DFORMAT>(D3DFMT_R5G6B5));
    ASSERT_EQ(EndLibrary(), 0);
    ChangeWindowMode(1);
}

TEST_F(GraphicsTest, AFullScreenDeviceTakesCompositionAndTheTopRowsAndGivesCompositionBack) {
    HWND window = nullptr;
    for (int windowMode : {1, 0}) {
        SCOPED_TRACE(windowMode);
        ChangeWindowMode(windowMode);
        ASSERT_EQ(StartLibrary(), 0);
        window = GetMainWindow();
        EXPECT_EQ(g_system.compositionOff, windowMode == 0 ? 1 : 0);
        LRESULT top = SendMessageA(window, WM_NCHITTEST, 0, MAKELONG(100, 7));
        LRESULT below = SendMessageA(window, WM_NCHITTEST, 0, MAKELONG(100, 8));
        EXPECT_EQ(top, windowMode == 0 ? 5 : HTCLIENT);
        EXPECT_EQ(below, HTCLIENT);
        if (windowMode == 0) {
            SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
            EXPECT_EQ(g_system.compositionOff, 0);
        }
        ASSERT_EQ(EndLibrary(), 0);
    }
    ChangeWindowMode(1);
}

TEST_F(GraphicsTest, APresentThatFindsTheDeviceLostIsRemembered) {
    ASSERT_EQ(StartLibrary(), 0);
    NotePresentResult(D3D_OK);
    EXPECT_EQ(IsGraphicsDeviceLost(), 0);
    NotePresentResult(D3DERR_DEVICELOST);
    EXPECT_EQ(IsGraphicsDeviceLost(), 1);
    Activate();
    EXPECT_EQ(IsGraphicsDeviceLost(), 0);
}

}  // namespace
