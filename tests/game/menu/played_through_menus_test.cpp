// The whole program on the running library, played through its real menus by
// a scripted player: from the splash to a new game, 2,000 frames of play,
// then the game given up (the player flies into the bullets until it is
// over, since the pause menu's give-up leaves without a replay to save), the
// replay saved, watched through the replay list, and the same final score
// seen again; once for each mode, then quit from the title. The library
// draws one frame in 128, which keeps the run short on the software device.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "game/bullets/bullet_manager.h"
#include "game/draw/draw_queue.h"
#include "game/files/replay_file.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_loop.h"
#include "game/loop/frame_overlays.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_services.h"
#include "game/menu/replay_list.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/play/replay_check.h"
#include "game/random/dsfmt_random.h"
#include "game/startup/startup_calls.h"
#include "tests/game/button_masks.h"
#include "tests/game/drawn_one_frame_in.h"
#include "tests/game/game_program_support.h"

namespace {

using game_test::Buttons;

constexpr int32_t kPlayedFrames = 2000;
// Far more than two games, their replays and the menus between take.
constexpr uint32_t kFrameLimit = 60000;

// One game of the script: its mode, the title entry that starts it, the
// replay slot it is saved into, and what was seen.
struct ScriptedRun {
    int32_t mode;
    int32_t titleEntry;
    int32_t slot;
    bool started = false;
    int32_t liveFrames = -1;  // the play scene's frames when the game was over
    bool saved = false;
    int64_t savedScore = -1;
    bool watching = false;
    int32_t watchedFrames = -1;
    int64_t watchedScore = -1;
};

// The scripted player. It reads what the screen would show (the live scene
// and its cursor) and answers with the buttons a player would press: each
// press is let go the next frame, since the menus act on new presses only,
// and nothing is pressed while a fade runs.
struct Pilot {
    static inline ScriptedRun runs[2] = {{kModeEndless, 0, 7}, {kModeTwoMinutes, 1, 12}};
    static inline int current = 0;
    static inline uint16_t lastMask = 0;
    static inline MaskScript script = MakeMaskScript(20261210);
    static inline int32_t lastPlayFrame = 0;

    static MenuScene* Menu(int32_t scene) {
        for (int slot = 0; slot < kMenuSceneSlots; ++slot) {
            if (kMenuSlotScenes[slot] == scene) {
                return SceneSlots.menus[slot];
            }
        }
        return nullptr;
    }
    // Towards `target` on a list, then `then` on it.
    static uint16_t Steer(const MenuScene& menu, int32_t target, uint16_t then) {
        if (menu.cursor == target) {
            return then;
        }
        return Buttons({menu.cursor < target ? kButtonDown : kButtonUp});
    }

    // The bullet that can still hit nearest to the player, and its squared distance.
    static const Bullet* NearestBullet(const GameScene& scene, double* squared) {
        const Player& p = scene.player;
        const Bullet* nearest = nullptr;
        double best = 0.0;
        for (const Bullet* bullet : scene.bullets.order) {
            if (bullet->active == 0 || bullet->state != kStateNormal) {
                continue;
            }
            const double d =
                (bullet->x - p.x) * (bullet->x - p.x) + (bullet->y - p.y) * (bullet->y - p.y);
            if (nearest == nullptr || d < best) {
                nearest = bullet;
                best = d;
            }
        }
        *squared = best;
        return nearest;
    }

    // The buttons that move the player towards (or, with `away`, from) the point.
    static uint16_t Towards(const Player& p, double x, double y, bool away) {
        uint16_t mask = 0;
        const auto axis = [&mask, away](double delta, int less, int more) {
            if (delta < -2.0) {
                mask = static_cast<uint16_t>(mask | Buttons({away ? more : less}));
            } else if (delta > 2.0) {
                mask = static_cast<uint16_t>(mask | Buttons({away ? less : more}));
            }
        };
        axis(x - p.x, kButtonLeft, kButtonRight);
        axis(y - p.y, kButtonUp, kButtonDown);
        return mask;
    }

    // Playing well: the scripted steering under the enemies, out of the way
    // of a bullet that comes close, and a bomb as soon as one hits.
    static uint16_t PlayWell(const GameScene& scene) {
        const Player& p = scene.player;
        if (p.hitFlag != 0) {
            return Buttons({kButtonBomb});
        }
        double squared = 0.0;
        const Bullet* nearest = NearestBullet(scene, &squared);
        uint16_t mask = NextSteeredMask(&script, scene);
        if (nearest != nullptr && squared < 48.0 * 48.0) {
            mask = static_cast<uint16_t>(Buttons({kButtonShot}) |
                                         Towards(p, nearest->x, nearest->y, true));
        }
        return mask;
    }

    // Giving up: shooting, into the nearest bullet that can still hit.
    static uint16_t GiveUp(const GameScene& scene) {
        double squared = 0.0;
        const Bullet* nearest = NearestBullet(scene, &squared);
        uint16_t mask = Buttons({kButtonShot});
        return nearest == nullptr ? mask
                                  : static_cast<uint16_t>(mask | Towards(scene.player, nearest->x,
                                                                         nearest->y, false));
    }

    static uint16_t Play(const GameScene& scene) {
        ScriptedRun& run = runs[current];
        lastPlayFrame = scene.frame;
        if (ReplayPlayback != 0) {
            return Buttons({kButtonBomb});  // fast-forward; never recorded
        }
        run.started = true;
        return scene.frame < kPlayedFrames ? PlayWell(scene) : GiveUp(scene);
    }

    static uint16_t InTitle(const MenuScene& title) {
        if (current == 2) {
            return title.cursor == 5 ? Buttons({kButtonShot}) : Buttons({kButtonBomb});
        }
        const ScriptedRun& run = runs[current];
        return Steer(title, run.saved ? 3 : run.titleEntry, Buttons({kButtonShot}));
    }

    static uint16_t InReplaySave(const MenuScene& list) {
        ScriptedRun& run = runs[current];
        if (run.liveFrames < 0) {
            run.liveFrames = lastPlayFrame;
        }
        if (run.saved) {
            return Buttons({kButtonBomb});
        }
        uint16_t mask = Steer(list, run.slot, Buttons({kButtonShot}));
        if (mask == Buttons({kButtonShot})) {
            run.saved = true;
            run.savedScore = CurrentPlay.score;
        }
        return mask;
    }

    static uint16_t InReplaySelect(const MenuScene& list) {
        ScriptedRun& run = runs[current];
        if (run.watching) {
            // Back from watching it: the game over of the playback asked for the list.
            run.watchedFrames = lastPlayFrame;
            run.watchedScore = CurrentPlay.score;
            current += 1;
            return Buttons({kButtonBomb});
        }
        uint16_t mask = Steer(list, run.slot, Buttons({kButtonShot}));
        run.watching = mask == Buttons({kButtonShot});
        return mask;
    }

    static uint16_t Next() {
        if (SceneSlots.play != nullptr) {
            return Play(*SceneSlots.play);
        }
        if (SceneFadeRunning() || lastMask != 0) {
            return 0;
        }
        if (const MenuScene* title = Menu(kSceneTitle)) {
            return InTitle(*title);
        }
        if (const MenuScene* save = Menu(kSceneReplaySave)) {
            return InReplaySave(*save);
        }
        if (const MenuScene* select = Menu(kSceneReplaySelect)) {
            return current < 2 ? InReplaySelect(*select) : Buttons({kButtonBomb});
        }
        return 0;  // the splash goes on by itself
    }

    static void UpdateInput(InputState* live) {
        lastMask = Next();
        ApplyButtonMask(live, lastMask);
    }
};

// The library's drawing of one frame in 128; the others are left out.
struct Harness : game_test::DrawnOneFrameIn<128> {
    static int Pump() { return FrameCounter >= kFrameLimit ? 1 : tessel::PumpMessages(); }
    static int NoKey(int) { return 0; }
    // The menus' clock seeds each new game from the frame it starts in.
    static int MenuClock() { return 86400 * 3 + static_cast<int>(FrameCounter) * 17; }
    static std::tm SaveTime() {
        std::tm time{};
        time.tm_year = 126;
        time.tm_mon = 11;
        time.tm_mday = 10;
        time.tm_hour = 9;
        time.tm_min = 41;
        return time;
    }
    static int NoPad(int) { return 0; }
};

class PlayedThroughMenus : public game_test::GameProgramTest {
  protected:
    void SetUp() override {
        GameProgramTest::SetUp();
        frameCalls_.pumpMessages = &Harness::Pump;
        frameCalls_.isKeyPressed = &Harness::NoKey;
        frameCalls_.updateInput = &Pilot::UpdateInput;
        frameCalls_.flushDrawQueue = &Harness::Flush;
        frameCalls_.eraseDrawTarget = &Harness::Erase;
        frameCalls_.renderModel = &Harness::Render;
        frameCalls_.drawImageStretched = &Harness::Stretch;
        frameCalls_.presentScreen = &Harness::Present;
        BindFrames();
        static const MenuServices menuServices{&Harness::MenuClock, &Harness::SaveTime,
                                               &Harness::NoPad};
        BindMenuServices(&menuServices);
    }
    void TearDown() override {
        BindMenuServices(nullptr);
        GameProgramTest::TearDown();
    }
};

TEST_F(PlayedThroughMenus, EachModeIsPlayedSavedAndWatchedToTheSameFinalScore) {
    LinkGameData();
    ASSERT_EQ(mkdir(Folder("replay").c_str(), 0755), 0);

    EXPECT_EQ(RunGameProgram(), 0);
    EXPECT_EQ(QuitRequested, 1) << "ended by the frame limit at frame " << FrameCounter;

    for (const ScriptedRun& run : Pilot::runs) {
        SCOPED_TRACE(testing::Message() << "mode " << run.mode);
        EXPECT_TRUE(run.started);
        EXPECT_GT(run.liveFrames, kPlayedFrames);
        EXPECT_TRUE(run.saved);
        EXPECT_GT(run.savedScore, 0);
        EXPECT_EQ(run.watchedFrames, run.liveFrames);
        EXPECT_EQ(run.watchedScore, run.savedScore);

        auto replay = std::make_unique<ReplayFile>();
        char path[kReplayPathBytes];
        ReplaySlotPath(run.slot, path);
        ASSERT_EQ(LoadReplayFile(replay.get(), path), 0);
        EXPECT_EQ(replay->finalScore, run.savedScore);
        EXPECT_EQ(static_cast<int32_t>(replay->mode), run.mode);
        EXPECT_EQ(replay->state.settings.mode, run.mode);
        EXPECT_NE(std::string(replay->listLine).find("2026/12/10 09:41 "), std::string::npos);
    }
}

}  // namespace
