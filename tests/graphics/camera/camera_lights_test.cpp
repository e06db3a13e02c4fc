// The 2D and 3D cameras, the device projection chain and the light handles' device indices.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/camera/camera.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace {

using namespace tessel;

class CameraTest : public tessel_test::GraphicsTest {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_NE(g_graphics.device, nullptr);
    }
    static Mat4 DeviceTransform(D3DTRANSFORMSTATETYPE which) {
        Mat4 m = {};
        g_graphics.device->GetTransform(which, reinterpret_cast<D3DMATRIX*>(&m));
        return m;
    }
    static void ExpectNear(const Mat4& a, const Mat4& b, float tolerance) {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
            }
        }
    }
    // The enabled device light indices, with the type each holds.
    static std::vector<int> EnabledTypes() {
        std::vector<int> types;
        for (DWORD i = 0; i < 8; ++i) {
            BOOL on = FALSE;
            g_graphics.device->GetLightEnable(i, &on);
            if (on == FALSE) {
                break;
            }
            D3DLIGHT9 light = {};
            g_graphics.device->GetLight(i, &light);
            types.push_back(static_cast<int>(light.Type));
        }
        return types;
    }
};

TEST_F(CameraTest, TheTargetCameraShowsA640x480TargetPixelForPixel) {
    // Start-up ends by selecting the back and then the front screen, which
    // replaces the draw-state reset's near 10 and far 10000 with the target
    // camera's own.
    EXPECT_EQ(QueryDrawTarget(), -4);
    const CameraSettings& c = g_drawSettings.camera;
    EXPECT_NEAR(c.position.z, -415.69f, 0.01f);
    EXPECT_EQ(c.position.x, 320.0f);
    EXPECT_EQ(c.position.y, 240.0f);
    EXPECT_NEAR(c.nearZ, 41.569f, 0.001f);
    EXPECT_NEAR(c.farZ, 20415.69f, 0.01f);
    // Points at z = 0 land on whole pixels of the target: x as given, y
    // mirrored about the centre line, since the camera's up is +y while the
    // viewport matrix counts rows downwards.
    const Vec3 points[] = {{0, 0, 0}, {640, 480, 0}, {123, 45, 0}};
    for (const Vec3& p : points) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        Vec3 screen = {};
        WorldToScreenPoint(&screen, p);
        EXPECT_NEAR(screen.x, p.x, 0.01f);
        EXPECT_NEAR(screen.y, 480.0f - p.y, 0.01f);
    }
}

TEST_F(CameraTest, TheDeviceProjectionIsProjectionTimesAdjustmentTimesTheInverseAreaMatrix) {
    ASSERT_EQ(SetClipRegion(100, 60, 300, 200), 0);
    PlaceCameraByAngles(10.0f, 20.0f, -30.0f, 0.3f, -0.7f, 0.1f);
    SetCameraDepthRange(5.0f, 900.0f);
    const DrawSettings& s = g_drawSettings;
    Mat4 area = {};
    MatViewport(&area, 200.0f, 130.0f, 200.0f, 140.0f);
    Mat4 inverse = {};
    ASSERT_EQ(MatInverted(&inverse, &area), 0);
    Mat4 want = {};
    MatMul(&want, &s.projection, &s.projectionAdjust);
    MatMul(&want, &want, &inverse);
    ExpectNear(DeviceTransform(D3DTS_PROJECTION), want, 1e-5f);
    ExpectNear(DeviceTransform(D3DTS_VIEW), s.view, 0.0f);
    EXPECT_EQ(s.projectionChanged, 1);
}

TEST_F(CameraTest, ANewDeviceGetsThePlacedCameraBackAsAUserProjection) {
    PlaceCameraByAngles(10.0f, 20.0f, -30.0f, 0.3f, -0.7f, 0.1f);
    SetCameraDepthRange(5.0f, 900.0f);
    const Mat4 view = g_drawSettings.view;
    const Mat4 projection = g_drawSettings.projection;
    IDirect3DDevice9* old = g_graphics.device;
    ASSERT_EQ(RestoreGraphicsDevice(), 0);
    ASSERT_NE(g_graphics.device, nullptr);
    (void)old;
    ExpectNear(DeviceTransform(D3DTS_VIEW), view, 0.0f);
    ExpectNear(g_drawSettings.projection, projection, 0.0f);
    EXPECT_EQ(g_drawSettings.camera.projectionMode, 2);
}

TEST_F(CameraTest, ACameraWithoutAnglesLooksAlongZWithYUp) {
    PlaceCameraByAngles(0, 0, 0, 0, 0, 0);
    Mat4 identity = {};
    MatIdentity(&identity);
    ExpectNear(g_drawSettings.view, identity, 1e-6f);
    // A positive vertical angle looks down.
    PlaceCameraByAngles(0, 0, 0, 0.5f, 0, 0);
    EXPECT_LT(g_drawSettings.camera.target.y, 0.0f);
}

TEST_F(CameraTest, DirectionalLightsComeFirstAndADeletionMovesTheOthersDown) {
    // The default light is directional and holds index 0.
    const int second = CreateDirectionalLight(0.0f, 0.0f, 2.0f);
    const int point = AllocLightHandle();
    ASSERT_NE(GetLightRecord(point), nullptr);
    GetLightRecord(point)->light.Type = D3DLIGHT_POINT;
    const int third = CreateDirectionalLight(3.0f, 0.0f, 4.0f);
    ASSERT_NE(third, -1);
    EXPECT_NEAR(GetLightRecord(third)->light.Direction.x, 0.6f, 1e-6f);
    ApplyDrawSettings(nullptr, nullptr, kDrawLighting3D);
    EXPECT_EQ(EnabledTypes(), (std::vector<int>{3, 3, 3, 1}));
    EXPECT_EQ(GetLightRecord(point)->deviceIndex, 3);

    ASSERT_EQ(ReleaseLightHandle(second), 0);
    EXPECT_EQ(ReleaseLightHandle(second), -1) << "released twice";
    ApplyDrawSettings(nullptr, nullptr, kDrawLighting3D);
    EXPECT_EQ(EnabledTypes(), (std::vector<int>{3, 3, 1}));
    EXPECT_EQ(GetLightRecord(point)->deviceIndex, 2);
    BOOL stale = TRUE;
    g_graphics.device->GetLightEnable(3, &stale);
    EXPECT_EQ(stale, FALSE) << "the old last index is switched off";

    EXPECT_EQ(DeleteAllLights(), 0);
    EXPECT_EQ(g_lights.count, 1) << "the default light stays";
}

TEST_F(CameraTest, AFullLightTableRefusesAndReusesTheFirstFreedSlot) {
    EXPECT_EQ(CreateDirectionalLight(0.0f, 0.0f, 0.0f), -1) << "a zero direction has no normal";
    std::vector<int> handles;
    while (g_lights.count < kLightTableSize) {
        const int h = AllocLightHandle();
        ASSERT_NE(h, -1);
        handles.push_back(h);
    }
    EXPECT_EQ(AllocLightHandle(), -1);
    const int freed = handles[10];
    ASSERT_EQ(ReleaseLightHandle(freed), 0);
    const int again = AllocLightHandle();
    ASSERT_NE(again, -1);
    EXPECT_EQ(again & 0xFFFF, freed & 0xFFFF);
    EXPECT_NE(again, freed) << "a new check number";
    EXPECT_EQ(ReleaseLightHandle(freed), -1);
    DeleteAllLights();
    EXPECT_EQ(g_lights.count, 1);
    EXPECT_EQ(g_lights.end, (g_lights.defaultLight & 0xFFFF) + 1);
}

}  // namespace
