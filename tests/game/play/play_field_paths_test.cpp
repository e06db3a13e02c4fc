// The whole program in its play scene on each drawing path: the play field
// shows the stage colour where no sprite is, and on the Direct3D path the
// floor rises out of it towards the bottom of the screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "game/draw/game_screens.h"
#include "game/loop/frame_loop.h"
#include "game/loop/scene_machine.h"
#include "game/play/play_state.h"
#include "graphics/device/graphics_device.h"
#include "tests/game/game_program_support.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/graphics/targets/target_test_support.h"

namespace {

constexpr uint32_t kPlayFrom = 5;
constexpr uint32_t kFrames = 90;
constexpr uint32_t kStageColour = 0x3C003C;  // stage 1: (60, 0, 60)

struct Point {
    int x, y;
};
// Play-field points that no sprite of the first frames covers, on the frame
// image (the field spans x 128 to 511 between the side panels), and the
// corners of the floor screen. The far points lie beyond the fog's end, where
// only the stage colour shows; the near ones show the floor on the path that
// draws it.
constexpr Point kFieldPoints[] = {{130, 2}, {509, 2}, {140, 470}, {500, 300}, {250, 300}};
constexpr bool kFieldNear[] = {false, false, true, false, false};
constexpr Point kFloorPoints[] = {{0, 0}, {511, 0}, {0, 511}, {511, 511}};
constexpr bool kFloorNear[] = {false, false, true, true};

// The play scene asked for early on, and the screens read just before the
// library ends.
struct Harness {
    static inline std::vector<uint32_t> field;
    static inline std::vector<uint32_t> floor;

    static int Pump() {
        if (FrameCounter == kPlayFrom) {
            RequestSceneChange(kScenePlay, 2, ColorRecord{});
        }
        return FrameCounter >= kFrames ? 1 : tessel::PumpMessages();
    }
    static void Read(int32_t image, const Point* points, size_t count,
                     std::vector<uint32_t>* into) {
        into->clear();
        if (tessel::SelectDrawTarget(image) != 0) {
            ADD_FAILURE() << "the screen " << image << " cannot be selected";
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            into->push_back(tessel_test::TargetPixel(points[i].x, points[i].y));
        }
    }
    static int End() {
        Read(FrameImage, kFieldPoints, std::size(kFieldPoints), &field);
        Read(FloorScreen, kFloorPoints, std::size(kFloorPoints), &floor);
        return tessel::EndLibrary();
    }
};

class PlayFieldOnAPath : public game_test::GameProgramTest,
                         public testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        GameProgramTest::SetUp();
        frameCalls_.pumpMessages = &Harness::Pump;
        frameCalls_.endLibrary = &Harness::End;
        BindFrames();
        // The game as a fresh process starts it, whatever earlier games left.
        CurrentPlay = PlaySettings{};
    }
    void TearDown() override {
        CurrentPlay = savedPlay_;
        GameProgramTest::TearDown();
    }

  private:
    const PlaySettings savedPlay_ = CurrentPlay;
};

// Left as made, the floor screen holds black, the transparent colour: the
// software path keys it out of the drawable image and the hardware path draws
// it, so the field would show the erased blue on one and black on the other.
// Only the Direct3D path has models, so only it draws the floor's near tiles.
TEST_P(PlayFieldOnAPath, ShowsTheStageColourWhereNoSpriteIs) {
    const bool floorDrawn = GetParam();
    LinkGameData();
    tessel::SetUseHardwareOption(GetParam() ? 1 : 0);
    ASSERT_EQ(RunGameProgram(), 0);
    ASSERT_EQ(FrameCounter, kFrames);
    ASSERT_EQ(Harness::field.size(), std::size(kFieldPoints));
    for (size_t i = 0; i < Harness::field.size(); ++i) {
        SCOPED_TRACE(testing::Message()
                     << "field " << kFieldPoints[i].x << "," << kFieldPoints[i].y);
        if (floorDrawn && kFieldNear[i]) {
            EXPECT_NE(Harness::field[i], kStageColour);
        } else {
            EXPECT_EQ(Harness::field[i], kStageColour);
        }
    }
    ASSERT_EQ(Harness::floor.size(), std::size(kFloorPoints));
    for (size_t i = 0; i < Harness::floor.size(); ++i) {
        SCOPED_TRACE(testing::Message()
                     << "floor " << kFloorPoints[i].x << "," << kFloorPoints[i].y);
        if (floorDrawn && kFloorNear[i]) {
            EXPECT_NE(Harness::floor[i], kStageColour);
        } else {
            EXPECT_EQ(Harness::floor[i], kStageColour);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, PlayFieldOnAPath, testing::Bool(), tessel_test::PathName);

}  // namespace
