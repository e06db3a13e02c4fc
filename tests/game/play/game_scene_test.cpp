// The play scene: the player's moves, hits, bombs and deaths, and the wave schedule.
#include "game/play/game_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "game/behaviour/behaviour_tables.h"
#include "game/loop/sound_requests.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"
#include "game/startup/game_sounds.h"
#include "tests/game/button_masks.h"

namespace {

using game_test::Buttons;

struct SceneDeleter {
    void operator()(GameScene* scene) const { DestroyGameScene(scene); }
};
using ScenePointer = std::unique_ptr<GameScene, SceneDeleter>;

class GameSceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PlayTables = PlayKindTables{};
        PlayTables.bulletRows[0].real3 = 3.0;
        PlayTables.bulletRows[0].hitRadius = 16.0;
        ReplayPlayback = 0;
        GameScoreFile = ScoreFile{};
        CurrentPlay = PlaySettings{0, 0, kModeEndless, 2, 2, 1234u, 0};
        ClearSoundRequests();
        ResetSceneMachine();
    }
    // A built scene asks for its track and the play for effects; left queued,
    // the next game run in this process would play them on its first frame.
    void TearDown() override {
        ClearSoundRequests();
        ClearMusicRequests();
    }

    ScenePointer Build(int32_t mode = kModeEndless) {
        CurrentPlay = PlaySettings{0, 0, mode, mode == kModeTwoMinutes ? 99 : 2, 2, 1234u, 0};
        return ScenePointer(ConstructGameScene());
    }

    // One UpdatePlayer with these buttons held.
    static void Step(GameScene* scene, uint16_t mask) {
        ApplyButtonMask(&scene->input, mask);
        UpdatePlayer(scene);
    }

    static std::vector<int32_t> QueuedKinds(const GameScene& scene) {
        std::vector<int32_t> kinds;
        for (int32_t i = 0; i < scene.pool.requestCount; ++i) {
            kinds.push_back(scene.pool.requests[i].kind);
        }
        return kinds;
    }

    // A bullet in its normal state right on the player.
    static void PlaceBulletOnPlayer(GameScene* scene) {
        Bullet* bullet = scene->bullets.order[0];
        bullet->active = 1;
        bullet->state = kStateNormal;
        MakeHitCircle(&bullet->hit, 3.0);
        bullet->x = scene->player.x;
        bullet->y = scene->player.y;
    }
};

TEST_F(GameSceneTest, ButtonsMoveThePlayerByTheTable) {
    const struct {
        const char* name;
        uint16_t mask;
        double dx;
        double dy;
    } cases[] = {
        {"up", Buttons({kButtonUp}), 0.0, -5.0},
        {"up and down cancel", Buttons({kButtonUp, kButtonDown}), 0.0, 0.0},
        {"left and right cancel", Buttons({kButtonLeft, kButtonRight}), 0.0, 0.0},
        {"diagonal", Buttons({kButtonUp, kButtonRight}), 5.0 / 1.4142356, -5.0 / 1.4142356},
        {"slow", Buttons({kButtonLeft, kButtonSlow}), -2.0, 0.0},
        {"slow diagonal", Buttons({kButtonDown, kButtonLeft, kButtonSlow}), -2.0 / 1.4142356,
         2.0 / 1.4142356},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scene = Build();
        Step(scene.get(), c.mask);
        EXPECT_EQ(scene->player.x, 192.0 + c.dx);
        EXPECT_EQ(scene->player.y, 400.0 + c.dy);
    }
    auto scene = Build();
    Step(scene.get(), Buttons({kButtonUp, kButtonRight}));
    EXPECT_NEAR(scene->player.x - 192.0, 3.535479, 1e-6);
}

TEST_F(GameSceneTest, ThePlayerStaysInsideTheField) {
    auto scene = Build();
    for (int i = 0; i < 200; ++i) {
        Step(scene.get(), Buttons({kButtonUp, kButtonLeft}));
    }
    EXPECT_EQ(scene->player.x, 8.0);
    EXPECT_EQ(scene->player.y, 16.0);
    for (int i = 0; i < 200; ++i) {
        Step(scene.get(), Buttons({kButtonDown, kButtonRight}));
    }
    EXPECT_EQ(scene->player.x, 376.0);
    EXPECT_EQ(scene->player.y, 464.0);
    EXPECT_EQ(scene->player.tilt, -15.0);
}

TEST_F(GameSceneTest, ANormalBulletOnThePlayerHitsAndVanishes) {
    auto scene = Build();
    PlaceBulletOnPlayer(scene.get());
    ResolveCollisions(scene.get());
    EXPECT_EQ(scene->player.hitFlag, 1);
    EXPECT_EQ(scene->player.invincibility, 20);
    EXPECT_EQ(scene->bullets.order[0]->state, kStateVanishing);
    EXPECT_EQ(scene->pool.requestCount, 24);  // the hit burst

    // While invincible a bullet vanishes without harm.
    auto second = Build();
    second->player.invincibility = 5;
    PlaceBulletOnPlayer(second.get());
    ResolveCollisions(second.get());
    EXPECT_EQ(second->player.hitFlag, 0);
    EXPECT_EQ(second->bullets.order[0]->state, kStateVanishing);

    // An appearing bullet does not hit.
    auto third = Build();
    PlaceBulletOnPlayer(third.get());
    third->bullets.order[0]->state = kStateAppearing;
    ResolveCollisions(third.get());
    EXPECT_EQ(third->player.hitFlag, 0);
}

TEST_F(GameSceneTest, ABombInTheNineUpdatesAfterTheHitSavesThePlayer) {
    for (int bombAt = 1; bombAt <= 10; ++bombAt) {
        SCOPED_TRACE(bombAt);
        GameScoreFile.rescueBombs = 0;
        auto scene = Build();
        PlaceBulletOnPlayer(scene.get());
        ResolveCollisions(scene.get());
        ASSERT_EQ(scene->player.hitFlag, 1);
        int diedAt = 0;
        for (int update = 1; update <= 12 && diedAt == 0; ++update) {
            Step(scene.get(), update == bombAt ? Buttons({kButtonBomb}) : 0);
            if (scene->player.deadFlag != 0) {
                diedAt = update;
            }
        }
        if (bombAt <= 9) {
            EXPECT_EQ(diedAt, 0);
            EXPECT_EQ(GameScoreFile.rescueBombs, 1u);
            EXPECT_EQ(CurrentPlay.bombs, 1);
            EXPECT_EQ(scene->bombsThisGame, 1);
        } else {
            EXPECT_EQ(diedAt, 11);
            EXPECT_EQ(GameScoreFile.rescueBombs, 0u);
            EXPECT_EQ(CurrentPlay.bombs, 2);
            EXPECT_EQ(CurrentPlay.lives, 1);
        }
    }
}

TEST_F(GameSceneTest, ADeathInTwoMinutesCostsNineHundredFrames) {
    auto scene = Build(kModeTwoMinutes);
    scene->player.hitFlag = 1;
    scene->player.hitFrames = 10;
    Step(scene.get(), 0);
    EXPECT_EQ(scene->player.deadFlag, 1);
    // 900 for the death, one for the frame.
    EXPECT_EQ(scene->player.timer, kTwoMinutesStartFrames - 900 - 1);
    EXPECT_EQ(CurrentPlay.lives, 98);
    auto kinds = QueuedKinds(*scene);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 20), 1);

    // A death close to the end leaves the clock at 0, and the game ends.
    auto late = Build(kModeTwoMinutes);
    late->player.timer = 300;
    late->player.hitFlag = 1;
    late->player.hitFrames = 10;
    Step(late.get(), 0);
    EXPECT_EQ(late->player.timer, 0);
    EXPECT_EQ(late->gameOverByTime, 1);
    kinds = QueuedKinds(*late);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 24), 1);
}

TEST_F(GameSceneTest, TheLastLifeLostEndsTheGameOnce) {
    auto scene = Build();
    CurrentPlay.lives = 0;
    scene->player.hitFlag = 1;
    scene->player.hitFrames = 10;
    Step(scene.get(), 0);
    EXPECT_EQ(scene->gameOverByLives, 1);
    EXPECT_EQ(CurrentPlay.lives, -1);
    // No revival below 0 lives: the pieces never fly back in.
    for (int i = 0; i < 100; ++i) {
        Step(scene.get(), 0);
    }
    EXPECT_EQ(scene->player.deadFlag, 1);
}

TEST_F(GameSceneTest, TheFirstCycleQueuesTheWaveKindsInOrder) {
    auto scene = Build();
    std::vector<int32_t> started;
    for (int step = 0; step < 20; ++step) {
        scene->pool.requestCount = 0;
        RunWaveSchedule(scene.get());
        for (int32_t kind : QueuedKinds(*scene)) {
            started.push_back(kind);
        }
        for (int e = 0; e < 6; ++e) {
            if (scene->waves[e].started != 0) {
                scene->waves[e].kills = scene->waves[e].threshold;
            }
        }
    }
    EXPECT_EQ(started, (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(scene->bossActive, 1);
    EXPECT_EQ(scene->wavePhase, 7);
    EXPECT_EQ(scene->enemies.requestCount, 1);
    EXPECT_EQ(scene->enemies.requests[0].kind, 19);
}

TEST_F(GameSceneTest, ABossDeathReshufflesAndRaisesTheLevelUpToThirty) {
    auto scene = Build();
    CurrentPlay.level = 28;
    for (int cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE(cycle);
        scene->pool.requestCount = 0;
        EndBossWave(scene.get());
        RunWaveSchedule(scene.get());
        std::vector<int32_t> kinds;
        std::vector<int32_t> ids;
        for (int e = 0; e < 6; ++e) {
            kinds.push_back(scene->waves[e].kind);
            ids.push_back(scene->waves[e].id);
            EXPECT_EQ(scene->waves[e].kind, scene->waves[e].id + 10);
        }
        std::sort(kinds.begin(), kinds.end());
        EXPECT_EQ(kinds, (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
        EXPECT_EQ(CurrentPlay.level, std::min(29 + cycle, 30));
        auto queued = QueuedKinds(*scene);
        // The first entry starts in the same frame; the level-up object only below 30.
        EXPECT_EQ(queued.back(), scene->waves[0].kind);
        EXPECT_EQ(std::count(queued.begin(), queued.end(), 25), cycle < 2 ? 1 : 0);
        EXPECT_EQ(scene->wavePhase, 1);
    }
    EXPECT_EQ(GameScoreFile.bossKills, 4u);
}

TEST_F(GameSceneTest, WaveKillsCountByIdAndPlaybackChangesNoScoreFileCounter) {
    auto scene = Build();
    CountWaveKill(3);
    CountWaveKill(3);
    CountWaveKill(42);
    EXPECT_EQ(scene->waves[3].kills, 2);
    EXPECT_EQ(GameScoreFile.gamesStarted, 1u);
    scene.reset();
    ReplayPlayback = 1;
    GameReplay.settings = PlaySettings{0, 0, kModeEndless, 2, 2, 99u, 0};
    auto replay = Build();
    EXPECT_EQ(CurrentPlay.seed, 99u);
    EndBossWave(replay.get());
    EXPECT_EQ(GameScoreFile.gamesStarted, 1u);
    EXPECT_EQ(GameScoreFile.bossKills, 0u);
    ReplayPlayback = 0;
}

TEST_F(GameSceneTest, PauseFreezesPlayUntilTheFadeIsBackAtZero) {
    auto scene = Build();
    ApplyButtonMask(&LiveInput, Buttons({kButtonPause}));
    UpdateGameScene(scene.get());
    EXPECT_EQ(scene->pauseActive, 1);
    EXPECT_EQ(scene->frame, 1);
    ApplyButtonMask(&LiveInput, 0);
    for (int i = 0; i < 25; ++i) {
        UpdateGameScene(scene.get());
    }
    EXPECT_EQ(scene->frame, 1);
    EXPECT_EQ(scene->pauseFade, 20);
    ApplyButtonMask(&LiveInput, Buttons({kButtonShot}));  // resume
    UpdateGameScene(scene.get());
    EXPECT_EQ(scene->pauseActive, 0);
    ApplyButtonMask(&LiveInput, 0);
    for (int i = 0; i < 20; ++i) {
        UpdateGameScene(scene.get());
    }
    EXPECT_EQ(scene->frame, 1);
    UpdateGameScene(scene.get());
    EXPECT_EQ(scene->frame, 2);
}

TEST_F(GameSceneTest, GivingUpCountsAndAsksForTheTitle) {
    auto scene = Build();
    ApplyButtonMask(&LiveInput, Buttons({kButtonPause}));
    UpdateGameScene(scene.get());
    ApplyButtonMask(&LiveInput, 0);
    for (int i = 0; i < 20; ++i) {
        UpdateGameScene(scene.get());
    }
    ApplyButtonMask(&LiveInput, Buttons({kButtonDown}));
    UpdateGameScene(scene.get());
    EXPECT_EQ(scene->pauseCursor, 1);
    ApplyButtonMask(&LiveInput, Buttons({kButtonShot}));
    UpdateGameScene(scene.get());
    EXPECT_EQ(GameScoreFile.giveUps, 1u);
    EXPECT_EQ(FadeState.active, 1);
    EXPECT_EQ(NextSceneId, 1);
    EXPECT_EQ(FadeState.length, 15);
    ApplyButtonMask(&LiveInput, 0);
}

// Invincibility protects while it is above 0: at exactly 1 a bullet still
// only vanishes, at 0 and below it hits.
TEST_F(GameSceneTest, ABulletHitsOnlyOnceInvincibilityIsDownToZero) {
    const struct {
        int32_t invincibility;
        int32_t hit;
    } cases[] = {{2, 0}, {1, 0}, {0, 1}, {-7, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.invincibility);
        auto scene = Build();
        scene->player.invincibility = c.invincibility;
        PlaceBulletOnPlayer(scene.get());
        ResolveCollisions(scene.get());
        EXPECT_EQ(scene->player.hitFlag, c.hit);
        EXPECT_EQ(scene->bullets.order[0]->state, kStateVanishing);
    }
}

// An item scores 10000; a boss item (param 1) while the clock runs adds 1800
// frames and 190000 more, with its sound twice.
TEST_F(GameSceneTest, PickingUpAnItemScoresAndABossItemBuysTime) {
    const struct {
        const char* name;
        int32_t mode;
        int32_t param;
        int32_t timer;
        int64_t score;
        int32_t timerAfter;
    } cases[] = {
        {"plain item", kModeTwoMinutes, 0, 500, 10000, 500},
        {"boss item", kModeTwoMinutes, 1, 500, 200000, 2300},
        {"boss item, clock run out", kModeTwoMinutes, 1, 0, 10000, 0},
        {"boss item in Endless", kModeEndless, 1, 7259, 200000, 9059},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scene = Build(c.mode);
        scene->player.timer = c.timer;
        PooledObject* item = scene->pool.order[0];
        item->kind = 3;
        item->active = 1;
        item->param = c.param;
        MakeHitCircle(&item->hit, 16.0);
        item->x = scene->player.x + 50.0;  // inside the 40-pixel pickup circle with its own 16
        item->y = scene->player.y;
        ClearSoundRequests();
        ResolveCollisions(scene.get());
        EXPECT_EQ(item->active, 0);
        EXPECT_EQ(CurrentPlay.score, c.score);
        EXPECT_EQ(scene->player.timer, c.timerAfter);
        EXPECT_EQ(SoundSlots[6].requested, 1);
    }
}

// In 2minutes the clock ticks in each step; from 600 down, every whole second
// asks for the timer sound.
TEST_F(GameSceneTest, TheLastTenSecondsTickWithASoundEverySecond) {
    const struct {
        int32_t before;  // the clock before the step, which takes one frame
        int32_t sound;
    } cases[] = {{661, 0}, {601, 1}, {600, 0}, {541, 1}, {61, 1}, {2, 0}, {1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        auto scene = Build(kModeTwoMinutes);
        scene->player.timer = c.before;
        ClearSoundRequests();
        Step(scene.get(), 0);
        EXPECT_EQ(scene->player.timer, c.before - 1);
        EXPECT_EQ(SoundSlots[19].requested, c.sound);
    }
}

// Dead with lives left, the player comes back when invincibility reaches
// 150, with two bombs whatever it had.
TEST_F(GameSceneTest, ARevivedPlayerHasTwoBombs) {
    auto scene = Build();
    CurrentPlay.bombs = 0;
    scene->player.hitFlag = 1;
    scene->player.hitFrames = 10;
    Step(scene.get(), 0);
    ASSERT_EQ(scene->player.deadFlag, 1);
    while (scene->player.invincibility > 150) {
        Step(scene.get(), 0);
        ASSERT_EQ(CurrentPlay.bombs, 0);
        ASSERT_EQ(scene->player.deadFlag, 1);
    }
    Step(scene.get(), 0);
    EXPECT_EQ(scene->player.deadFlag, 0);
    EXPECT_EQ(scene->player.hitFlag, 0);
    EXPECT_EQ(CurrentPlay.bombs, 2);
}

// Without exactly one of left and right held the tilt halves, and snaps to 0
// once it is below 0.2 either way.
TEST_F(GameSceneTest, TheTiltHalvesAndSnapsToZeroBelowAFifth) {
    const struct {
        double tilt;
        double after;
    } cases[] = {{0.5, 0.25}, {0.4, 0.2}, {0.398, 0.0}, {-0.4, -0.2}, {-0.398, 0.0}, {12.0, 6.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tilt);
        auto scene = Build();
        scene->player.tilt = c.tilt;
        Step(scene.get(), 0);
        EXPECT_EQ(scene->player.tilt, c.after);
    }
}

}  // namespace
