// The splash, the title menu and the collection: their cursor tables, what
// each choice asks of the scene machine, the remembered cursors and what each
// draws.
#include "game/menu/menu_scene.h"

#include <gtest/gtest.h>

#include "game/draw/game_screens.h"
#include "game/files/score_file.h"
#include "tests/game/menu/menu_fixture.h"

namespace {

using menu_test::Buttons;
using menu_test::PictureHandle;

class MenuSceneTest : public menu_test::MenuTest {};

TEST_F(MenuSceneTest, SplashAsksForTheTitleAtFrameSixty) {
    auto scene = Build(kMenuSplash);
    for (int i = 1; i < 60; ++i) {
        Hold(scene.get(), 0);
        ASSERT_FALSE(SceneRequested()) << "frame " << i;
    }
    Hold(scene.get(), 0);
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kMenuTitle);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(MenuSceneTest, SplashGoesOnAtOnceOnDecideButNotOnOtherButtons) {
    auto scene = Build(kMenuSplash);
    Press(scene.get(), Buttons({kButtonBomb, kButtonDown}));
    EXPECT_FALSE(SceneRequested());
    Press(scene.get(), Buttons({kButtonShot}));
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kMenuTitle);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
}

TEST_F(MenuSceneTest, SplashAsksOnceWhileItsFadeRuns) {
    auto scene = Build(kMenuSplash);
    for (int i = 1; i < 50; ++i) {
        Hold(scene.get(), 0);
    }
    Press(scene.get(), Buttons({kButtonShot}));
    ClearSoundRequests();
    FadeState.length = 3;  // a change already on its way
    for (int i = 0; i < 15; ++i) {
        Press(scene.get(), Buttons({kButtonShot}));
    }
    EXPECT_EQ(FadeState.length, 3) << "the fade started over";
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(MenuSceneTest, TitleCursorFollowsItsTable) {
    const struct {
        int32_t from;
        uint16_t mask;
        int32_t to;
        std::vector<int32_t> sounds;
    } cases[] = {
        {0, Buttons({kButtonUp}), 5, {kMenuSoundSelect}},
        {5, Buttons({kButtonDown}), 0, {kMenuSoundSelect}},
        {2, Buttons({kButtonDown}), 3, {kMenuSoundSelect}},
        {3, Buttons({kButtonUp}), 2, {kMenuSoundSelect}},
        {2, Buttons({kButtonBomb}), 5, {kMenuSoundCancel}},
        {0, Buttons({kButtonBomb, kButtonDown}), 0, {kMenuSoundSelect, kMenuSoundCancel}},
        {4, Buttons({kButtonUp, kButtonDown}), 4, {kMenuSoundSelect}},
        {4, Buttons({kButtonLeft, kButtonRight}), 4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " mask " << c.mask);
        ClearFrame();
        auto scene = Build(kMenuTitle);
        scene->cursor = c.from;
        Press(scene.get(), c.mask);
        EXPECT_EQ(scene->cursor, c.to);
        EXPECT_EQ(RememberedTitleCursor, c.to);
        EXPECT_EQ(Sounds(), c.sounds);
        EXPECT_FALSE(SceneRequested());
    }
}

TEST_F(MenuSceneTest, BombThenDecideQuitsAfterATenFrameFade) {
    auto scene = Build(kMenuTitle);
    Press(scene.get(), Buttons({kButtonBomb}));
    Press(scene.get(), Buttons({kButtonShot}));
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kSceneQuit);
    EXPECT_EQ(FadeState.length, 10);
}

TEST_F(MenuSceneTest, EachTitleEntryAsksForItsScene) {
    const struct {
        int32_t entry;
        int32_t scene;
        int32_t fade;
    } cases[] = {
        {0, kScenePlay, 20},        {1, kScenePlay, 20},     {2, kMenuCollection, 10},
        {3, kMenuReplaySelect, 10}, {4, kMenuKeyConfig, 10}, {5, kSceneQuit, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "entry " << c.entry);
        ClearFrame();
        auto scene = Build(kMenuTitle);
        scene->cursor = c.entry;
        Press(scene.get(), Buttons({kButtonShot}));
        ASSERT_TRUE(SceneRequested());
        EXPECT_EQ(NextSceneId, c.scene);
        EXPECT_EQ(FadeState.length, c.fade);
        EXPECT_EQ(FadeState.colour.r + FadeState.colour.g + FadeState.colour.b, 0);
        EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
    }
}

TEST_F(MenuSceneTest, ANewGameIsSeededFromTheMillisecondClock) {
    GameScoreFile.highScores[kModeEndless] = 7777123;
    GameScoreFile.highScores[kModeTwoMinutes] = 9090901;
    const struct {
        int32_t entry;
        int32_t mode;
        int32_t lives;
        int64_t highScore;
        int clock;
    } cases[] = {
        {0, kModeEndless, 2, 7777123, 86401237},
        {1, kModeTwoMinutes, 99, 9090901, 2147483600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "entry " << c.entry);
        ClearFrame();
        ReplayPlayback = 1;  // the last thing watched was a replay
        CurrentPlay = PlaySettings{55, 66, 1 - c.mode, 7, 8, 9, 10};
        menu_test::World.clock = c.clock;
        auto scene = Build(kMenuTitle);
        scene->cursor = c.entry;
        Press(scene.get(), Buttons({kButtonShot}));
        EXPECT_EQ(ReplayPlayback, 0);
        EXPECT_EQ(CurrentPlay.score, 0);
        EXPECT_EQ(CurrentPlay.highScore, c.highScore);
        EXPECT_EQ(CurrentPlay.mode, c.mode);
        EXPECT_EQ(CurrentPlay.lives, c.lives);
        EXPECT_EQ(CurrentPlay.bombs, 2);
        EXPECT_EQ(CurrentPlay.seed, static_cast<uint32_t>(c.clock));
        EXPECT_EQ(CurrentPlay.level, 0);
        EXPECT_EQ(RememberedTitleCursor, 0) << "a game brings the title back on Endless";
    }
}

TEST_F(MenuSceneTest, TitleAndReplaySelectComeBackWhereTheyWereLeft) {
    auto title = Build(kMenuTitle);
    Press(title.get(), Buttons({kButtonDown}));
    Press(title.get(), Buttons({kButtonDown}));
    Press(title.get(), Buttons({kButtonDown}));
    title.reset();
    EXPECT_EQ(Build(kMenuTitle)->cursor, 3);

    MakeFolder("replay");
    auto list = Build(kMenuReplaySelect);
    Press(list.get(), Buttons({kButtonUp}));
    Press(list.get(), Buttons({kButtonUp}));
    list.reset();
    EXPECT_EQ(Build(kMenuReplaySelect)->cursor, 18);
    EXPECT_EQ(Build(kMenuReplaySave)->cursor, 0);
    EXPECT_EQ(Build(kMenuCollection)->cursor, 0);
}

TEST_F(MenuSceneTest, MenusLeaveTheInputAloneWhileAFadeRuns) {
    for (int32_t mode :
         {kMenuTitle, kMenuReplaySelect, kMenuKeyConfig, kMenuReplaySave, kMenuCollection}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ClearFrame();
        auto scene = Build(mode);
        scene->cursor = 4;
        RequestSceneChange(kMenuTitle, 7, MakeColor(0, 0, 0));
        for (uint16_t mask : {Buttons({kButtonDown}), Buttons({kButtonUp}), Buttons({kButtonLeft}),
                              Buttons({kButtonShot}), Buttons({kButtonBomb})}) {
            Press(scene.get(), mask);
        }
        EXPECT_EQ(scene->cursor, 4);
        EXPECT_TRUE(Sounds().empty());
        EXPECT_EQ(FadeState.length, 7);
    }
}

TEST_F(MenuSceneTest, CollectionCursorFollowsItsGrid) {
    const struct {
        int32_t from;
        uint16_t mask;
        int32_t to;
    } cases[] = {
        {2, Buttons({kButtonUp}), 8},
        {0, Buttons({kButtonLeft}), 11},
        {8, Buttons({kButtonDown}), 2},
        {11, Buttons({kButtonRight}), 0},
        {5, Buttons({kButtonRight}), 6},
        {3, Buttons({kButtonDown}), 9},
        {7, Buttons({kButtonLeft}), 6},
        {9, Buttons({kButtonUp}), 3},
        {0, Buttons({kButtonUp, kButtonLeft}), 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " mask " << c.mask);
        ClearFrame();
        auto scene = Build(kMenuCollection);
        scene->cursor = c.from;
        Press(scene.get(), c.mask);
        EXPECT_EQ(scene->cursor, c.to);
        EXPECT_FALSE(Sounds().empty());
        EXPECT_EQ(Sounds().front(), kMenuSoundSelect);
    }
}

TEST_F(MenuSceneTest, CollectionCancelGoesBackToTheTitle) {
    auto scene = Build(kMenuCollection);
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_FALSE(SceneRequested());
    Press(scene.get(), Buttons({kButtonBomb}));
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kMenuTitle);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
}

TEST_F(MenuSceneTest, OpeningTheCollectionGrantsTheCounterUnlocks) {
    GameScoreFile.rescueBombs = 30;
    GameScoreFile.giveUps = 49;
    GameScoreFile.bossKills = 50;
    GameScoreFile.gamesStarted = 99;
    auto scene = Build(kMenuCollection);
    const uint8_t expected[kScoreUnlockCount] = {0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < kScoreUnlockCount; ++i) {
        EXPECT_EQ(GameScoreFile.unlocks[i], expected[i]) << "unlock " << i;
    }
}

TEST_F(MenuSceneTest, CollectionShowsEarnedMedalsWithTheirDescriptions) {
    menu_test::FakePictureCells();
    GameScoreFile.unlocks[kUnlockNoBomb] = 1;
    GameScoreFile.unlocks[kUnlockTwoMinutesLevel10] = 1;
    auto scene = Build(kMenuCollection);
    const struct {
        int32_t cursor;
        int32_t description;
    } cases[] = {{1, 2}, {11, 12}, {0, 0}, {7, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cursor " << c.cursor);
        ClearDrawQueue(&TopDrawQueue);
        scene->cursor = c.cursor;
        DrawMenuScene(scene.get());
        std::vector<int32_t> icons;
        std::vector<int32_t> descriptions;
        for (const DrawRequest* r : Drawn()) {
            if (r->image / 100 == 1000 + 24) {
                icons.push_back(r->image % 100);
                bool white = r->brightness.r == 255 && r->brightness.b == 255;
                EXPECT_EQ(white, icons.size() - 1 == static_cast<size_t>(c.cursor));
                EXPECT_EQ(r->brightness.b, white ? 255 : 160);
            }
            if (r->image / 100 == 1000 + 25) {
                descriptions.push_back(r->image % 100);
            }
            EXPECT_EQ(r->target, FrameImage);
        }
        EXPECT_EQ(icons, (std::vector<int32_t>{0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12}));
        EXPECT_EQ(descriptions, std::vector<int32_t>{c.description});
    }
}

TEST_F(MenuSceneTest, TitleDrawsTheSelectedEntryWhiteAndTheOthersGrey) {
    menu_test::FakePictureCells();
    auto scene = Build(kMenuTitle);
    scene->cursor = 2;
    DrawMenuScene(scene.get());
    std::vector<const DrawRequest*> drawn = Drawn();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.front()->image, PictureHandle(1, 0)) << "the background, behind everything";
    int entries = 0;
    for (const DrawRequest* r : drawn) {
        if (r->image / 100 == 1000 + 4) {
            int32_t i = r->image % 100;
            EXPECT_EQ(r->y1, 220.0 + 24.0 * i);
            EXPECT_EQ(r->alpha, i == 2 ? 255 : 191);
            EXPECT_EQ(r->brightness.g, i == 2 ? 255 : 128);
            ++entries;
        }
        if (r->image / 100 == 1000 + 5) {
            EXPECT_EQ(r->image % 100, 2) << "the selected entry's description";
            EXPECT_EQ(r->y1, 416.0);
        }
    }
    EXPECT_EQ(entries, 6);
    // The four pictures over the menu, in their order, in front of the entries.
    std::vector<int32_t> front;
    for (const DrawRequest* r : drawn) {
        if (r->layer < 0) {
            front.push_back(r->image);
        }
    }
    EXPECT_EQ(front, (std::vector<int32_t>{PictureHandle(28, 0), PictureHandle(3, 0),
                                           PictureHandle(2, 0), PictureHandle(13, 0)}));
}

}  // namespace
