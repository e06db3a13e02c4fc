// The game program against recording tables: start-up, a frame's draw sequence, the fade, the skip
// rules and the end.
#include "game/loop/frame_loop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/loop/frame_overlays.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/loop/sound_requests.h"
#include "game/math/color.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"
#include "game/startup/init_game.h"
#include "game/startup/startup_calls.h"
#include "tests/game/game_folder_support.h"
#include "tests/game/loop/frame_recorder.h"
#include "tests/game/startup/startup_recorder.h"

namespace {

using Calls = std::vector<std::string>;
using game_test::FrameRecorder;

class FrameLoopTest : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        BindStartupCalls(&startup_.Bind());
        ClearSoundRequests();
        ClearMusicRequests();
        ResetSceneMachine();
        ResetFramePacer(&FramePacer);
        ScreenshotKey = ScreenshotKeyState{};
        ReplayPlayback = 0;
        PlayTables = PlayKindTables{};
    }
    void TearDown() override {
        ResetSceneMachine();
        ReplayPlayback = 0;
        BindStartupCalls(nullptr);
        BindLibraryDrawCalls(nullptr);
        // Start-up seeds the process's generators; other tests see them fresh.
        PlayRandom = savedPlay_;
        AuxRandomB = savedB_;
    }

    // Starts the game with config.dat's option byte; the calls start empty.
    void Start(uint8_t options, uint8_t resolution = 0) {
        Write("config.dat", {resolution, 0, 0, options});
        ASSERT_EQ(StartGame(), 0);
        rec().calls.clear();
    }
    // Runs `frames` passes of the loop (fewer when the quit scene comes).
    void Run(int frames) {
        rec().framesLeft = frames;
        RunFrameLoop();
    }

    FrameRecorder& rec() { return frames_.recorder; }
    static std::string Selected(int target) {
        return "SelectDrawTarget(" + std::to_string(target) + ")";
    }

    // The fade box's alpha of each frame, or -1 for a frame without one.
    std::vector<int> FadeAlphas() {
        std::vector<int> alphas;
        for (const Calls& frame : rec().Frames()) {
            int alpha = -1;
            for (size_t i = 0; i + 1 < frame.size(); ++i) {
                if (frame[i + 1].rfind("DrawBoxShape", 0) == 0) {
                    std::sscanf(frame[i].c_str(), "SetImageBlendMode(1,%d)", &alpha);
                }
            }
            alphas.push_back(alpha);
        }
        return alphas;
    }

    // Per frame: drawn (stretched to the back screen), waited, presented.
    struct FrameSteps {
        int drawn, waited, presented;
        bool operator==(const FrameSteps&) const = default;
    };
    std::vector<FrameSteps> Steps() {
        std::vector<FrameSteps> steps;
        for (const Calls& frame : rec().Frames()) {
            steps.push_back({FrameRecorder::CountIn(frame, "DrawImageStretched"),
                             FrameRecorder::CountIn(frame, "Sleep"),
                             FrameRecorder::CountIn(frame, "PresentScreen")});
        }
        return steps;
    }

    game_test::StartupRecorder startup_;
    game_test::BoundFrameRecorder frames_;
    const DsfmtRandom savedPlay_ = PlayRandom;
    const DsfmtRandom savedB_ = AuxRandomB;
};

TEST_F(FrameLoopTest, AFrameDrawsInTheOrderOfTheLoop) {
    Start(kConfigShowFps, kConfigResolution960x720);
    rec().keyDown = 1;
    rec().localTime.tm_year = 126;
    rec().localTime.tm_mday = 1;
    Run(1);
    const std::string frame = Selected(FrameImage);
    const std::string effect = Selected(EffectScreen);
    auto part = [&](int x, int sx, int w) {
        return "DrawImagePart(" + std::to_string(x) + ",464," + std::to_string(sx) + ",0," +
               std::to_string(w) + ",16," + std::to_string(FpsSheetImage) + ",1,0)";
    };
    const Calls expected = {
        "PumpMessages()",
        frame,
        "EraseDrawTarget()",
        frame,
        effect,
        "EraseDrawTarget()",
        effect,
        frame,
        "FlushDrawQueue(front)",
        "FlushDrawQueue(top)",
        "SetImageBlendMode(1,255)",
        "SetImageBrightness(255,255,255)",
        frame,
        "SetImageBlendMode(1,255)",
        part(544, 168, 43),
        part(619, 140, 6),
        part(593, 154, 14),
        part(606, 154, 14),
        part(624, 154, 14),
        // The splash's fade-in, 19 of 20 frames left.
        "SetImageBlendMode(1,242)",
        "DrawBoxShape(0,0,640,480,4278190080,1)",
        "SetImageBlendMode(1,255)",
        "SaveDrawScreen(screenshot\\260101000000.bmp)(0,0,640,480,0,80,1,-1)",
        Selected(-2),
        "DrawImageStretched(0,0,960,720," + std::to_string(FrameImage) + ",1)",
        "PresentScreen()",
        "PumpMessages()",
    };
    EXPECT_EQ(rec().calls, expected);
    EXPECT_EQ(FrameCounter, 1u);
}

TEST_F(FrameLoopTest, StartUpLoadsTheFilesAndBuildsTheSplashFadingIn) {
    Start(0);
    EXPECT_EQ(LiveInput.padId, 1u);
    KeyAssignment defaults{};
    SetDefaultKeyAssignment(&defaults);
    EXPECT_EQ(std::memcmp(&LiveInput.assignment, &defaults, sizeof defaults), 0);
    EXPECT_TRUE(SceneSlots.menus[0] != nullptr);
    EXPECT_EQ(FadeState.counter, 20);
    EXPECT_EQ(DrawCalls().drawAt, LibraryOwnDrawCalls().drawAt) << "the queues draw for real";
    EXPECT_EQ(DrawCalls().drawRotatedAlt, LibraryOwnDrawCalls().drawRotatedAlt);
    EXPECT_NE(FrameImage, -1);
}

TEST_F(FrameLoopTest, TheSplashFadesInFromBlackOverTwentyFrames) {
    Start(0);
    Run(21);
    std::vector<int> expected;
    for (int counter = 19; counter >= 1; --counter) {
        expected.push_back(UnitToByte(static_cast<float>(counter) / 20.0f));
    }
    expected.push_back(-1);
    expected.push_back(-1);
    expected.push_back(-1);  // the last pump ends the loop
    EXPECT_EQ(FadeAlphas(), expected);
}

TEST_F(FrameLoopTest, HalfRateDrawsOnlyEvenFramesButEveryFrameWaitsAndPresents) {
    Start(kConfigHalfFrameRate);
    Run(6);
    const std::vector<FrameSteps> expected = {{1, 0, 1}, {0, 1, 1}, {1, 1, 1}, {0, 1, 1},
                                              {1, 1, 1}, {0, 1, 1}, {0, 0, 0}};
    EXPECT_EQ(Steps(), expected);
}

TEST_F(FrameLoopTest, ReplayFastForwardDrawsAndWaitsOnlyOnEveryFourthFrame) {
    Start(0);
    ReplayPlayback = 1;
    GameReplay.settings = PlaySettings{0, 0, kModeEndless, 2, 2, 99u, 0};
    rec().liveMask = 1u << kButtonBomb;
    Run(3);  // no game lives: the bomb key changes nothing
    NextSceneId = kScenePlay;
    SwitchScene();
    ASSERT_TRUE(SceneSlots.play != nullptr);
    Run(10);  // frames 3 to 12
    rec().liveMask = 0;
    Run(3);  // released: every frame again
    const FrameSteps full = {1, 1, 1};
    const FrameSteps none = {0, 0, 0};
    const std::vector<FrameSteps> expected = {
        {1, 0, 1}, full, full, none,              // 0-2, and the pump that ends the run
        none,      full, none, none, none, full,  // 3-8
        none,      none, none, full, none,        // 9-12, end
        full,      full, full, none,              // 13-15, end
    };
    EXPECT_EQ(Steps(), expected);
    EXPECT_EQ(SceneSlots.play->frame, 13) << "play updated in every frame since it was built";
}

TEST_F(FrameLoopTest, TheQuitSceneEndsTheLoopAtTheEndOfItsFade) {
    Start(0);
    Run(25);  // the splash has faded in
    rec().calls.clear();
    RequestSceneChange(kSceneQuit, 10, MakeColor(0, 0, 0));
    Run(100);
    EXPECT_EQ(rec().pumps - 26, 10);
    EXPECT_EQ(QuitRequested, 1);
    EXPECT_EQ(rec().Count("PresentScreen"), 10) << "the last frame still shows";
    EXPECT_EQ(FadeAlphas().back(), 255);
}

TEST_F(FrameLoopTest, TheProgramSavesTheScoreAndEndsTheLibrary) {
    rec().framesLeft = 3;
    GameScoreFile = ScoreFile{};
    EXPECT_EQ(RunGameProgram(), 0);
    EXPECT_EQ(rec().pumps, 4);
    EXPECT_EQ(rec().calls.back(), "EndLibrary()");
    game_test::Bytes bytes;
    EXPECT_TRUE(Read("score.dat", &bytes));
    EXPECT_TRUE(SceneSlots.menus[0] == nullptr);
}

TEST_F(FrameLoopTest, AFailedStartEndsWithMinusOneSavingNothing) {
    startup_.startResult = -1;
    EXPECT_EQ(RunGameProgram(), -1);
    EXPECT_EQ(rec().pumps, 0);
    EXPECT_EQ(rec().Count("EndLibrary"), 0);
    game_test::Bytes bytes;
    EXPECT_FALSE(Read("score.dat", &bytes));
    for (MenuScene* menu : SceneSlots.menus) {
        EXPECT_TRUE(menu == nullptr);
    }
}

}  // namespace
