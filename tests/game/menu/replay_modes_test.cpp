// Replay select and replay save: the list of 20 slots, a stored game played
// back with the file's settings, and the game just played written into any
// slot with the line of its local time.
#include "game/menu/replay_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "game/draw/game_screens.h"
#include "game/files/score_file.h"
#include "tests/game/menu/menu_fixture.h"

namespace {

using game_test::Bytes;
using game_test::GetLe;
using game_test::PutLe;
using menu_test::Buttons;
using menu_test::World;

using game_test::LocalTime;

class ReplayModesTest : public menu_test::MenuTest {
  protected:
    void SetUp() override {
        MenuTest::SetUp();
        MakeFolder("replay");
        World.localTime = LocalTime(2026, 3, 14, 15, 9);
    }

    // A finished 2minutes game with non-round values, as the play scene leaves it.
    static std::unique_ptr<ReplayState> PlayedGame() {
        auto state = std::make_unique<ReplayState>();
        state->settings = {0, 4400321, kModeTwoMinutes, 99, 2, 0x9E3779B9u, 0};
        state->savedSeed = 0;
        for (int32_t i = 0; i < kReplayMaskCount; ++i) {
            state->masks[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
        }
        return state;
    }

    // Stores a replay file of that game into the slot.
    static void StoreSlot(int slot, int64_t score, const std::tm& time) {
        auto replay = std::make_unique<ReplayFile>();
        PlaySettings final = PlayedGame()->settings;
        final.score = score;
        final.level = 9;
        FillReplayFile(final, *PlayedGame(), time, replay.get());
        char path[kReplayPathBytes];
        ReplaySlotPath(slot, path);
        ASSERT_EQ(SaveReplayFile(*replay, path), 0);
    }

    static std::string Text(int slot) { return ReplayList[slot].text; }
};

TEST_F(ReplayModesTest, TheListShowsStoredSlotsAndEmptyOnes) {
    StoreSlot(7, 1234567, LocalTime(2025, 12, 31, 23, 59));
    StoreSlot(12, 0, LocalTime(2026, 1, 2, 3, 4));
    Bytes spoilt(kReplayFileBytes, 0);
    PutLe(&spoilt, 8, 2, 4);  // a mode no game has
    Write("replay/vn_rep03.rpl", spoilt);
    Write("replay/vn_rep04.rpl", Bytes(50, 0));  // too short for a header

    auto scene = Build(kMenuReplaySelect);
    EXPECT_EQ(Text(7), "No07 2025/12/31 23:59    1234567 2minutes");
    EXPECT_EQ(Text(12), "No12 2026/01/02 03:04          0 2minutes");
    EXPECT_EQ(Text(0), "No00 ----/--/-- --:-- ---------- --------");
    EXPECT_EQ(Text(3), "No03 ----/--/-- --:-- ---------- --------");
    EXPECT_EQ(Text(4), "No04 ----/--/-- --:-- ---------- --------");
    EXPECT_EQ(Text(19), "No19 ----/--/-- --:-- ---------- --------");
    for (int slot = 0; slot < kReplaySlotCount; ++slot) {
        EXPECT_EQ(ReplayList[slot].exists, slot == 7 || slot == 12 ? 1 : 0) << "slot " << slot;
    }
}

TEST_F(ReplayModesTest, ListScenesStopTheMusic) {
    for (int32_t mode : {kMenuReplaySelect, kMenuReplaySave}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ClearFrame();
        auto scene = Build(mode);
        ASSERT_EQ(FrameMusicRequests.count, 2);
        EXPECT_EQ(FrameMusicRequests.requests[0].track, 1);
        EXPECT_EQ(FrameMusicRequests.requests[1].track, 2);
        EXPECT_EQ(FrameMusicRequests.requests[0].command, kMusicStop);
        EXPECT_EQ(FrameMusicRequests.requests[1].command, kMusicStop);
    }
}

TEST_F(ReplayModesTest, DecideOnAStoredSlotPlaysItBackWithTheFilesSettings) {
    StoreSlot(7, 31415926, LocalTime(2025, 12, 31, 23, 59));
    GameScoreFile.highScores[kModeEndless] = 111;
    GameScoreFile.highScores[kModeTwoMinutes] = 8080808;
    CurrentPlay = PlaySettings{5, 6, kModeEndless, 1, 0, 77, 13};
    auto scene = Build(kMenuReplaySelect);
    scene->cursor = 7;
    Press(scene.get(), Buttons({kButtonShot}));

    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
    ASSERT_TRUE(SceneRequested());
    EXPECT_EQ(NextSceneId, kScenePlay);
    EXPECT_EQ(FadeState.length, 20);
    EXPECT_EQ(ReplayPlayback, 1);
    auto played = PlayedGame();
    EXPECT_EQ(CurrentPlay.score, 0);
    EXPECT_EQ(CurrentPlay.highScore, 8080808);
    EXPECT_EQ(CurrentPlay.mode, kModeTwoMinutes);
    EXPECT_EQ(CurrentPlay.lives, 99);
    EXPECT_EQ(CurrentPlay.bombs, 2);
    EXPECT_EQ(CurrentPlay.level, 0);
    EXPECT_EQ(CurrentPlay.seed, 0x9E3779B9u);
    EXPECT_EQ(GameReplay.settings.highScore, played->settings.highScore);
    EXPECT_EQ(GameReplay.settings.seed, played->settings.seed);
    EXPECT_EQ(GameReplay.savedSeed, 0x9E3779B9u);
    EXPECT_EQ(memcmp(GameReplay.masks, played->masks, sizeof played->masks), 0);
}

TEST_F(ReplayModesTest, AnEmptySlotCannotBeChosen) {
    StoreSlot(7, 1, LocalTime(2025, 12, 31, 23, 59));
    auto scene = Build(kMenuReplaySelect);
    scene->cursor = 6;
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
    EXPECT_FALSE(SceneRequested());
    EXPECT_EQ(ReplayPlayback, 0);

    // Listed, then gone before it was chosen: an empty slot from then on.
    ASSERT_EQ(remove("replay/vn_rep07.rpl"), 0);
    ClearFrame();
    scene->cursor = 7;
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
    EXPECT_FALSE(SceneRequested());
    EXPECT_EQ(ReplayPlayback, 0);
    EXPECT_EQ(Text(7), "No07 ----/--/-- --:-- ---------- --------");
}

TEST_F(ReplayModesTest, CancelGoesBackToTheTitleFromEitherList) {
    for (int32_t mode : {kMenuReplaySelect, kMenuReplaySave}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ClearFrame();
        auto scene = Build(mode);
        ClearFrame();
        Press(scene.get(), Buttons({kButtonBomb}));
        ASSERT_TRUE(SceneRequested());
        EXPECT_EQ(NextSceneId, kMenuTitle);
        EXPECT_EQ(FadeState.length, 20);
        EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
    }
}

TEST_F(ReplayModesTest, SaveWritesTheSlotWithTheLineOfItsLocalTime) {
    auto played = PlayedGame();
    GameReplay = *played;
    CurrentPlay = played->settings;
    CurrentPlay.score = 98765432109LL;
    CurrentPlay.level = 17;
    auto scene = Build(kMenuReplaySave);
    Press(scene.get(), Buttons({kButtonUp}));
    Press(scene.get(), Buttons({kButtonUp}));
    Press(scene.get(), Buttons({kButtonUp}));
    ASSERT_EQ(scene->cursor, 17);
    ClearFrame();
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCheck});
    EXPECT_FALSE(SceneRequested()) << "the scene stays for more slots";

    const char line[] = "2026/03/14 15:09  98765432109 2minutes";
    EXPECT_EQ(Text(17), std::string("No17 ") + line);
    Bytes file;
    ASSERT_TRUE(Read("replay/vn_rep17.rpl", &file));
    ASSERT_EQ(file.size(), kReplayFileBytes);
    EXPECT_EQ(static_cast<int64_t>(GetLe(file, 0, 8)), 98765432109LL);
    EXPECT_EQ(GetLe(file, 8, 4), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[12])), line);
    EXPECT_EQ(GetLe(file, 112, 4), 0x9E3779B9u);
    EXPECT_EQ(GetLe(file, 76 + 8, 8), 4400321u) << "the settings the game began with";
    for (int32_t frame : {0, 1, 4999, kReplayMaskCount - 1}) {
        EXPECT_EQ(GetLe(file, 116 + 2 * frame, 2), played->masks[frame]) << "frame " << frame;
    }

    // The same game into a second slot, at a later minute.
    World.localTime = LocalTime(2026, 3, 14, 15, 10);
    Press(scene.get(), Buttons({kButtonDown}));
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(Text(18), "No18 2026/03/14 15:10  98765432109 2minutes");
    Bytes second;
    ASSERT_TRUE(Read("replay/vn_rep18.rpl", &second));
    EXPECT_TRUE(std::equal(file.begin() + 76, file.end(), second.begin() + 76));

    // Played back from the list, the saved game is the one that was played.
    ClearFrame();
    auto select = Build(kMenuReplaySelect);
    select->cursor = 17;
    Press(select.get(), Buttons({kButtonShot}));
    EXPECT_EQ(ReplayPlayback, 1);
    EXPECT_EQ(memcmp(GameReplay.masks, played->masks, sizeof played->masks), 0);
}

TEST_F(ReplayModesTest, AFailedSaveKeepsTheSlotAsItWas) {
    StoreSlot(2, 4242, LocalTime(2025, 12, 31, 23, 59));
    auto scene = Build(kMenuReplaySave);
    const std::string before = Text(2);
    ASSERT_EQ(rename("replay", "elsewhere"), 0);  // the folder is gone
    scene->cursor = 2;
    Press(scene.get(), Buttons({kButtonShot}));
    EXPECT_EQ(Sounds(), std::vector<int32_t>{kMenuSoundCancel});
    EXPECT_EQ(Text(2), before);
    EXPECT_EQ(ReplayList[2].exists, 1);
}

TEST_F(ReplayModesTest, TheListDrawsTheSelectedSlotWhite) {
    menu_test::FakePictureCells();
    for (int32_t mode : {kMenuReplaySelect, kMenuReplaySave}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ClearFrame();
        auto scene = Build(mode);
        scene->cursor = 5;
        DrawMenuScene(scene.get());
        std::vector<const DrawRequest*> drawn = Drawn();
        ASSERT_EQ(drawn.size(), 22u);
        EXPECT_EQ(drawn[0]->image, menu_test::PictureHandle(1, 0));
        EXPECT_EQ(drawn[1]->image, menu_test::PictureHandle(21, mode == kMenuReplaySave ? 1 : 0));
        EXPECT_EQ(drawn[1]->x1, 8.0);
        for (int i = 0; i < kReplaySlotCount; ++i) {
            const DrawRequest& r = *drawn[2 + i];
            EXPECT_EQ(r.kind, kDrawText);
            EXPECT_EQ(r.textStyle, 1);
            EXPECT_EQ(std::string(r.text), Text(i));
            EXPECT_EQ(r.x1, 80.0);
            EXPECT_EQ(r.y1, 80.0 + 16 * i);
            EXPECT_EQ(r.alpha, 255);
            EXPECT_EQ(r.brightness.r, i == 5 ? 255 : 160);
            EXPECT_EQ(r.target, FrameImage);
        }
    }
}

}  // namespace
