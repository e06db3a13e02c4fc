// The scene slots, the fade that carries every change, and the switch at its midpoint.
#include "game/loop/scene_machine.h"

#include <gtest/gtest.h>

#include <vector>

#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "tests/game/game_folder_support.h"

namespace {

class SceneMachineTest : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        PlayTables = PlayKindTables{};
        ReplayPlayback = 0;
        GameScoreFile = ScoreFile{};
        CurrentPlay = PlaySettings{0, 0, kModeEndless, 2, 2, 1234u, 0};
        ResetSceneMachine();
    }
    void TearDown() override { ResetSceneMachine(); }

    // Which slots hold a scene: the six menu slots, then play.
    static std::vector<bool> LiveSlots() {
        std::vector<bool> live;
        for (MenuScene* menu : SceneSlots.menus) {
            live.push_back(menu != nullptr);
        }
        live.push_back(SceneSlots.play != nullptr);
        return live;
    }

    static std::vector<int32_t> CountersOver(int frames) {
        std::vector<int32_t> counters;
        for (int i = 0; i < frames; ++i) {
            StepSceneFade();
            counters.push_back(FadeState.counter);
        }
        return counters;
    }
};

TEST_F(SceneMachineTest, TheSplashFadesInFromBlackOverTwentyFrames) {
    StartSplashScene();
    EXPECT_EQ(LiveSlots(), (std::vector<bool>{true, false, false, false, false, false, false}));
    EXPECT_EQ(FadeState.active, 0);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_EQ((std::vector<int>{FadeState.colour.r, FadeState.colour.g, FadeState.colour.b}),
              (std::vector<int>{0, 0, 0}));
    std::vector<int32_t> expected;
    for (int32_t counter = 19; counter >= 0; --counter) {
        expected.push_back(counter);
    }
    expected.push_back(0);  // and it stays there
    EXPECT_EQ(CountersOver(21), expected);
}

TEST_F(SceneMachineTest, TheSwitchComesInTheFrameTheCounterReachesTheLength) {
    StartSplashScene();
    CountersOver(20);
    RequestSceneChange(kSceneTitle, 4, MakeColor(0, 0, 0));
    EXPECT_EQ(FadeState.counter, 0);
    EXPECT_EQ(CountersOver(3), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(SceneSlots.menus[0] != nullptr) << "the old scene lives until the midpoint";
    EXPECT_EQ(CountersOver(1), (std::vector<int32_t>{4}));
    EXPECT_EQ(LiveSlots(), (std::vector<bool>{false, true, false, false, false, false, false}));
    EXPECT_EQ(FadeState.active, 0);
    // The new scene brightens over the same length.
    EXPECT_EQ(CountersOver(5), (std::vector<int32_t>{3, 2, 1, 0, 0}));
}

TEST_F(SceneMachineTest, ARequestDuringAFadeRestartsItAtZeroWithTheNewLength) {
    StartSplashScene();
    RequestSceneChange(kSceneTitle, 20, MakeColor(0, 0, 0));
    CountersOver(7);
    RequestSceneChange(kSceneReplaySelect, 10, MakeColor(10, 20, 30));
    EXPECT_EQ(FadeState.counter, 0);
    EXPECT_EQ(FadeState.length, 10);
    EXPECT_EQ(NextSceneId, kSceneReplaySelect);
    EXPECT_EQ(FadeState.colour.b, 30);
    CountersOver(9);
    EXPECT_TRUE(SceneSlots.menus[0] != nullptr);
    CountersOver(1);
    EXPECT_EQ(LiveSlots(), (std::vector<bool>{false, false, true, false, false, false, false}));
    EXPECT_EQ(FadeState.counter, 10);
}

TEST_F(SceneMachineTest, EachIdBuildsItsOwnSlotAndQuitBuildsNothing) {
    struct Case {
        int32_t id;
        std::vector<bool> live;
        int32_t quit;
    };
    const Case cases[] = {
        {kSceneSplash, {true, false, false, false, false, false, false}, 0},
        {kSceneTitle, {false, true, false, false, false, false, false}, 0},
        {kScenePlay, {false, false, false, false, false, false, true}, 0},
        {kSceneReplaySelect, {false, false, true, false, false, false, false}, 0},
        {kSceneKeyConfig, {false, false, false, true, false, false, false}, 0},
        {kSceneQuit, {false, false, false, false, false, false, false}, 1},
        {kSceneReplaySave, {false, false, false, false, true, false, false}, 0},
        {kSceneCollection, {false, false, false, false, false, true, false}, 0},
        {8, {false, false, false, false, false, false, false}, 0},
        {-1, {false, false, false, false, false, false, false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ResetSceneMachine();
        StartSplashScene();
        RequestSceneChange(kScenePlay, 1, MakeColor(0, 0, 0));
        StepSceneFade();  // a game lives now, so every case destroys one
        RequestSceneChange(c.id, 2, MakeColor(0, 0, 0));
        CountersOver(2);
        EXPECT_EQ(LiveSlots(), c.live);
        EXPECT_EQ(QuitRequested, c.quit);
        EXPECT_EQ(FadeState.active, 0);
        if (c.id == kScenePlay) {
            EXPECT_EQ(LiveGameScene, SceneSlots.play);
        }
    }
}

TEST_F(SceneMachineTest, AChangeSavesTheScoreFileFirstOnlyWhileAGameLives) {
    game_test::Bytes bytes;
    StartSplashScene();
    GameScoreFile.giveUps = 3;
    RequestSceneChange(kScenePlay, 1, MakeColor(0, 0, 0));
    EXPECT_FALSE(Read("score.dat", &bytes)) << "no game lives yet";
    StepSceneFade();
    ASSERT_TRUE(SceneSlots.play != nullptr);
    RequestSceneChange(kSceneTitle, 15, MakeColor(0, 0, 0));
    ASSERT_TRUE(Read("score.dat", &bytes));
    ScoreFile saved{};
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kScoreFileBytes));
    DecodeScoreFile(bytes.data(), &saved);
    EXPECT_EQ(saved.giveUps, 3u);
    EXPECT_EQ(GameScoreFile.gamesStarted, 1u);
    EXPECT_EQ(saved.gamesStarted, GameScoreFile.gamesStarted);
}

TEST_F(SceneMachineTest, TheFadeBoxIsTheCountersShareAsAByte) {
    struct Case {
        int32_t counter, length, alpha;
    };
    // (int)(share x 255): 19/20 gives 242, 1/15 gives 17, 7/10 gives 178.
    const Case cases[] = {{0, 20, 0},   {19, 20, 242}, {1, 15, 17},
                          {7, 10, 178}, {20, 20, 255}, {1, 0, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.counter << "/" << c.length);
        FadeState.counter = c.counter;
        FadeState.length = c.length;
        EXPECT_EQ(FadeBoxAlpha(), c.alpha);
    }
}

}  // namespace
