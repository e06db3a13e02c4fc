// The bullet, enemy, object and wave-spawner behaviours acting in a live scene.
#include "game/behaviour/behaviours.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "game/behaviour/behaviour_tables.h"
#include "game/play/frame_requests.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/play/stand_in_tables.h"
#include "game/random/dsfmt_random.h"

namespace {

struct SceneDeleter {
    void operator()(GameScene* scene) const { DestroyGameScene(scene); }
};

class BehavioursTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PrepareStandInPlay();
        ReplayPlayback = 0;
        GameScoreFile = ScoreFile{};
        ResetSceneMachine();
        CurrentPlay = PlaySettings{0, 0, kModeEndless, 2, 2, 777u, 0};
        scene.reset(ConstructGameScene());
        ASSERT_NE(scene, nullptr);
    }

    Enemy MakeEnemy(int32_t kind, double x, double y) {
        Enemy enemy{};
        enemy.kind = kind;
        enemy.owner = scene.get();
        enemy.active = 1;
        enemy.state = kStateNormal;
        enemy.Launch(x, y, 0.0, 0.0);
        return enemy;
    }

    // Frames of phase 1 with the bullets queued in each.
    std::vector<int32_t> VolleysOf(Enemy* enemy, void (*behaviour)(Enemy*, int32_t), int frames) {
        std::vector<int32_t> counts;
        for (int i = 0; i < frames; ++i) {
            scene->bullets.requestCount = 0;
            behaviour(enemy, kBehaviourUpdate);
            counts.push_back(scene->bullets.requestCount);
        }
        return counts;
    }

    std::unique_ptr<GameScene, SceneDeleter> scene;
};

TEST_F(BehavioursTest, WaveEnemiesFireAtTheirLevelsRateAndCount) {
    const struct {
        int32_t kind;
        void (*behaviour)(Enemy*, int32_t);
        int32_t level;
        int32_t period;
        int32_t count;
    } cases[] = {
        {10, WaveEnemyBehaviour10, 0, 40, 1},
        {10, WaveEnemyBehaviour10, 30, 10, 16},
        {13, WaveEnemyBehaviour13, 0, 4, 6},  // ring A; ring B joins at 99
        {13, WaveEnemyBehaviour13, 30, 4, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " level " << c.level);
        CurrentPlay.level = c.level;
        Enemy enemy = MakeEnemy(c.kind, 192.0, 100.0);
        c.behaviour(&enemy, kBehaviourInit);
        enemy.param = 1;  // the volley comes when param reaches a multiple
        auto counts = VolleysOf(&enemy, c.behaviour, 40);
        for (int i = 0; i < 40; ++i) {
            int32_t param = i + 1;
            int32_t expected = param % c.period == 0 ? c.count : 0;
            EXPECT_EQ(counts[i], expected) << "param " << param;
        }
    }
}

TEST_F(BehavioursTest, ABouncingBulletLeftOfTheWallTurnsBackAtTheSameSpeed) {
    Bullet bullet{};
    bullet.Launch(60.0, 200.0, 3.0, 150.0);
    double vx = bullet.vx;
    ASSERT_LT(vx, 0.0);
    BulletBounceBehaviour(&bullet, kBehaviourUpdate);
    EXPECT_EQ(bullet.x, 68.0);
    EXPECT_DOUBLE_EQ(bullet.vx, -vx);
    EXPECT_DOUBLE_EQ(bullet.speed, 3.0);
    Bullet inside{};
    inside.Launch(64.0, 200.0, 3.0, 150.0);
    BulletBounceBehaviour(&inside, kBehaviourUpdate);
    EXPECT_EQ(inside.x, 64.0);
}

TEST_F(BehavioursTest, AWaveEnemyLeavesOnlyOnceItsGuardIsDown) {
    Enemy enemy = MakeEnemy(10, -40.0, 100.0);
    WaveEnemyBehaviour10(&enemy, kBehaviourInit);
    ASSERT_EQ(enemy.guard, 60);
    for (int frame = 0; frame < 60; ++frame) {
        WaveEnemyBehaviour10(&enemy, kBehaviourUpdate);
        ASSERT_EQ(enemy.active, 1) << frame;
        enemy.guard -= 1;  // the manager counts it down after the update
    }
    ASSERT_EQ(enemy.guard, 0);
    WaveEnemyBehaviour10(&enemy, kBehaviourUpdate);
    EXPECT_EQ(enemy.active, 0);
    EXPECT_EQ(scene->waves[0].kills, 1);
    EXPECT_EQ(CurrentPlay.score, 0);  // leaving scores nothing
}

TEST_F(BehavioursTest, AScatterRingDrawsScaleThenAngleThenSpeed) {
    CurrentPlay.level = 10;
    Enemy enemy = MakeEnemy(15, 150.0, 120.0);
    WaveEnemyBehaviour15(&enemy, kBehaviourInit);
    ASSERT_EQ(enemy.param, 0);
    DsfmtRandom expected = PlayRandom;
    double first = NextRandomUnit(&expected);
    double second = NextRandomUnit(&expected);
    double third = NextRandomUnit(&expected);
    scene->bullets.requestCount = 0;
    WaveEnemyBehaviour15(&enemy, kBehaviourUpdate);
    ASSERT_EQ(scene->bullets.requestCount, 3);
    const BulletRequest& shot = scene->bullets.requests[0];
    EXPECT_EQ(shot.scale, first * 1.0 + 0.4);
    EXPECT_EQ(shot.angle, second * 360.0);
    EXPECT_EQ(shot.speed, (third * 2.6 + 1.2) * (10 * 0.03 + 1.0));
    EXPECT_EQ(shot.kind, 19);
}

TEST_F(BehavioursTest, AShotOverlappingTwoEnemiesHitsBoth) {
    for (int i = 0; i < 2; ++i) {
        QueueEnemySpawn(&scene->enemies, 10, 100.0 + 8.0 * i, 100.0, 0.0, 0.0, 0, 0, 0, 0, 0);
    }
    UpdateEnemyManager(&scene->enemies);
    ASSERT_EQ(scene->enemies.activeEnd, 2);
    for (int i = 0; i < 2; ++i) {
        scene->enemies.order[i]->life = 5.0;
    }
    PooledObject shot{};
    shot.owner = scene.get();
    shot.active = 1;
    shot.Launch(104.0, 100.0, 20.0, 90.0);
    PlayerShotBehaviour(&shot, kBehaviourInit);
    PlayerShotBehaviour(&shot, kBehaviourInteraction);
    EXPECT_EQ(CurrentPlay.score, 20);
    EXPECT_EQ(shot.active, 0);
    EXPECT_EQ(scene->enemies.order[0]->life, 4.0);
    EXPECT_EQ(scene->enemies.order[1]->life, 4.0);
    EXPECT_EQ(scene->pool.requestCount, 2);  // a spark per hit
}

TEST_F(BehavioursTest, AnItemFallsFasterUpToItsCapAndEndsBelowTheField) {
    QueueObjectSpawn(&scene->pool, 3, 100.0, -400.0, 5.0, 45.0, 0, 0, 0, 0);
    scene->player.deadFlag = 1;  // keep the player from picking it up
    UpdateTaskPool(&scene->pool);
    PooledObject* item = scene->pool.order[0];
    ASSERT_EQ(item->kind, 3);
    EXPECT_NEAR(item->speed, 0.1, 1e-12);  // it starts at rest
    double lastY = item->y;
    double maxSpeed = 0.0;
    int frames = 1;
    while (item->active != 0 && frames < 500) {
        UpdateTaskPool(&scene->pool);
        ++frames;
        if (item->active != 0) {
            EXPECT_GT(item->y, lastY);
            EXPECT_LT(item->speed, 8.1);
            maxSpeed = item->speed > maxSpeed ? item->speed : maxSpeed;
            EXPECT_NEAR(item->x, 100.0, 1e-3);  // the single-precision degree factor
            lastY = item->y;
        }
    }
    EXPECT_EQ(item->active, 0);
    EXPECT_GT(maxSpeed, 8.0);  // it reached its cap
    EXPECT_LE(lastY, 496.0);
    EXPECT_GT(item->y, 496.0);
}

TEST_F(BehavioursTest, GameOverChangesSceneInItsTwoHundredAndFirstUpdate) {
    for (int playback = 0; playback < 2; ++playback) {
        SCOPED_TRACE(playback);
        ReplayPlayback = playback;
        GameScoreFile = ScoreFile{};
        ResetSceneMachine();
        CurrentPlay.level = 12;
        PooledObject over{};
        over.owner = scene.get();
        over.active = 1;
        GameOverBehaviour(&over, kBehaviourInit);
        for (int update = 1; update <= 200; ++update) {
            GameOverBehaviour(&over, kBehaviourUpdate);
            over.age += 1;
            ASSERT_EQ(FadeState.active, 0) << update;
        }
        GameOverBehaviour(&over, kBehaviourUpdate);
        EXPECT_EQ(FadeState.active, 1);
        EXPECT_EQ(NextSceneId, playback != 0 ? 3 : 6);
        EXPECT_EQ(FadeState.length, 20);
        uint8_t expectedUnlock = playback != 0 ? 0 : 1;
        EXPECT_EQ(GameScoreFile.unlocks[kUnlockLevel10], expectedUnlock);
        EXPECT_EQ(GameScoreFile.unlocks[kUnlockNoBomb], expectedUnlock);
        EXPECT_EQ(GameScoreFile.unlocks[kUnlockLevel15], 0);
    }
    ReplayPlayback = 0;
}

TEST_F(BehavioursTest, TheFirstSpawnerSendsTwelveEnemiesFromAlternatingSides) {
    PooledObject spawner{};
    spawner.owner = scene.get();
    spawner.active = 1;
    WaveSpawnerBehaviour10(&spawner, kBehaviourInit);
    std::vector<std::pair<int, double>> sent;  // update number, x
    for (int update = 1; update <= 400 && spawner.active != 0; ++update) {
        int32_t before = scene->enemies.requestCount;
        WaveSpawnerBehaviour10(&spawner, kBehaviourUpdate);
        for (int32_t i = before; i < scene->enemies.requestCount; ++i) {
            sent.emplace_back(update, scene->enemies.requests[i].x);
            EXPECT_EQ(scene->enemies.requests[i].kind, 10);
            EXPECT_EQ(scene->enemies.requests[i].speed, 3.2);
        }
    }
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(spawner.active, 0);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        int frame = sent[i].first;  // the counter started at 1
        EXPECT_EQ(frame % 16, 0);
        EXPECT_EQ(sent[i].second, (frame / 32) % 2 == 0 ? 400.0 : -16.0) << frame;
        if (i > 0) {
            EXPECT_EQ(sent[i].first - sent[i - 1].first, 16);
        }
    }
}

TEST_F(BehavioursTest, TheBossDeathClearsBulletsAndRestartsTheWaves) {
    Bullet* bullet = scene->bullets.order[0];
    bullet->active = 1;
    bullet->state = kStateNormal;
    scene->bossActive = 1;
    scene->wavePhase = 7;
    Enemy boss = MakeEnemy(19, 192.0, 100.0);
    BossEnemyBehaviour(&boss, kBehaviourInit);
    EXPECT_EQ(boss.life, 200.0);
    BossEnemyBehaviour(&boss, kBehaviourKilled);
    EXPECT_EQ(bullet->state, kStateVanishing);
    EXPECT_EQ(scene->wavePhase, -1);
    EXPECT_EQ(scene->bossActive, 0);
    EXPECT_EQ(GameScoreFile.bossKills, 1u);
    EXPECT_EQ(CurrentPlay.score, 0);
}

TEST_F(BehavioursTest, TheBossClosesInTwoPixelsAFrameForSixtyFrames) {
    Enemy boss = MakeEnemy(19, 440.0, -30.0);
    BossEnemyBehaviour(&boss, kBehaviourInit);
    for (int i = 0; i < 60; ++i) {
        BossEnemyBehaviour(&boss, kBehaviourUpdate);
        boss.guard -= 1;
    }
    EXPECT_EQ(boss.ints[1], 130);
    EXPECT_EQ(boss.ints[0], 60);
    BossEnemyBehaviour(&boss, kBehaviourUpdate);
    EXPECT_EQ(boss.ints[1], 130);
}

}  // namespace
