// The stage floor drawn by the play scene into its floor screen on the
// Direct3D path: the game's own floor model under the stage's fog and camera.
// Far tiles fade into the fog colour, the band above the horizon keeps the
// stage colour the screen was filled with, and the near tiles show their
// texture. The picture is kept with the test artifacts to be looked at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "game/draw/game_screens.h"
#include "game/loop/frame_calls.h"
#include "game/play/game_scene.h"
#include "game/startup/init_game.h"
#include "graphics/device/shader_pack.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/targets/draw_targets.h"
#include "models/loading/model_loading.h"
#include "platform/d3d9_testing.h"
#include "platform/kernel/files.h"
#include "tests/game/play/floor_stage.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/support/virtual_display.h"

namespace {

class StageFloorTest : public tessel_test::ImageTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(true);
    }
    void TearDown() override {
        FloorScreen = -1;
        GameFloor = FloorRecord{-1, 300, 0};
        ImageTest::TearDown();
    }
    // Loads the floor model, draws the stage floor into a new floor screen
    // and checks the picture (kept as `shotName`).
    void DrawAndCheckFloor(const char* shotName);
};

void StageFloorTest::DrawAndCheckFloor(const char* shotName) {
    const std::string path = platform::WindowsPathFromLinux(std::string(VANTREL_GAME_DATA_DIR) +
                                                            "/image/model/stage_1/yuka.mqo");
    const int model = tessel::LoadModel(path.c_str());
    ASSERT_GE(model, 0) << Log();
    FloorScreen = tessel::CreateDrawableImage(512, 512);
    ASSERT_NE(FloorScreen, -1);
    GameFloor = FloorRecord{model, 300, 1};
    auto scene = std::make_unique<GameScene>();
    vantrel_test::SetUpFloorStage(&scene->stage, model);
    BindFrameCalls(nullptr);
    DrawStageFloor(scene.get());
    ASSERT_EQ(tessel::SelectDrawTarget(FloorScreen), 0);
    const std::string shot =
        tessel_test::ScreenshotPath(tessel_test::ThisProgramFolder(), shotName);
    tessel::SaveDrawScreen(0, 0, 512, 512, platform::WindowsPathFromLinux(shot).c_str(), 2, 80, 0,
                           -1);
    // Above the horizon: the stage colour the screen was filled with.
    EXPECT_EQ(tessel_test::TargetPixel(256, 10), 0x3C003Cu);
    // The farthest tiles lie past the fog's end: the horizon is the fog
    // colour within a step of the texture's darkest lines.
    const uint32_t horizon = tessel_test::TargetPixel(256, 324);
    EXPECT_NEAR(static_cast<int>(horizon >> 16), 60, 4) << std::hex << horizon;
    EXPECT_NEAR(static_cast<int>(horizon >> 8 & 0xFF), 0, 4) << std::hex << horizon;
    EXPECT_NEAR(static_cast<int>(horizon & 0xFF), 60, 4) << std::hex << horizon;
    // The nearest rows show the tiles' texture, far from the fog colour.
    int textured = 0;
    for (int x = 64; x < 448; x += 8) {
        const uint32_t near = tessel_test::TargetPixel(x, 470);
        const int distance = std::abs(static_cast<int>(near >> 16) - 60) +
                             std::abs(static_cast<int>(near >> 8 & 0xFF)) +
                             std::abs(static_cast<int>(near & 0xFF) - 60);
        textured += distance > 24 ? 1 : 0;
    }
    EXPECT_GT(textured, 4);
}

TEST_F(StageFloorTest, FarTilesFadeIntoTheFogAndNearOnesShowTheirTexture) {
    DrawAndCheckFloor("stage_floor");
}

// A game may end the library and start it again in one process: the second
// start's new device must draw the floor as the first one did.
TEST_F(StageFloorTest, TheFloorIsDrawnAgainAfterTheLibraryEndsAndStartsAgain) {
    ASSERT_NO_FATAL_FAILURE(DrawAndCheckFloor("stage_floor_first_start"));
    FloorScreen = -1;
    GameFloor = FloorRecord{-1, 300, 0};
    tessel::EndLibrary();
    Start(true);
    DrawAndCheckFloor("stage_floor_second_start");
}

// On a device with shaders 2.0 the floor is drawn through the built-in shaders from its device
// buffers, and looks as the fixed-function path draws it, within one step per channel.
class StageFloorShaderTest : public StageFloorTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
        profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
        platform::SetD3D9Profile(profile);
        Start(true);
    }
    void TearDown() override {
        tessel::ShaderPathOn = 0;
        StageFloorTest::TearDown();
    }
    std::vector<uint32_t> FloorPixels() {
        std::vector<uint32_t> pixels;
        IDirect3DSurface9* target = tessel::g_stateCache.renderTarget;
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) {
                pixels.push_back(platform::ReadD3D9SurfacePixel(target, x, y) & 0xFFFFFFu);
            }
        }
        return pixels;
    }
};

TEST_F(StageFloorShaderTest, TheFloorIsDrawnThroughTheShadersAsTheFixedPathDrawsIt) {
    ASSERT_EQ(tessel::ShaderPathOn, 1);
    const int indexed = platform::D3D9CallCount("DrawIndexedPrimitive");
    const int fromMemory = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
    ASSERT_NO_FATAL_FAILURE(DrawAndCheckFloor("stage_floor_shaders"));
    EXPECT_GT(platform::D3D9CallCount("DrawIndexedPrimitive"), indexed);
    EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitiveUP"), fromMemory);
    const std::vector<uint32_t> shaded = FloorPixels();
    FloorScreen = -1;
    tessel::ShaderPathOn = 0;
    ASSERT_NO_FATAL_FAILURE(DrawAndCheckFloor("stage_floor_fixed"));
    EXPECT_GT(platform::D3D9CallCount("DrawIndexedPrimitiveUP"), fromMemory);
    const std::vector<uint32_t> fixed = FloorPixels();
    int off = 0;
    int worst = 0;
    int drawn = 0;
    for (size_t i = 0; i < fixed.size(); ++i) {
        // An edge pixel covered one way only: the two paths place the corners in different
        // precisions.
        if (fixed[i] == 0x3C003Cu || shaded[i] == 0x3C003Cu) {
            continue;
        }
        ++drawn;
        int most = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            most = std::max(most, std::abs(static_cast<int>((fixed[i] >> shift) & 255) -
                                           static_cast<int>((shaded[i] >> shift) & 255)));
        }
        worst = std::max(worst, most);
        off += most > 1 ? 1 : 0;
    }
    EXPECT_GT(drawn, 512 * 80);
    EXPECT_EQ(off, 0) << "worst " << worst << " of " << drawn;
}

}  // namespace
