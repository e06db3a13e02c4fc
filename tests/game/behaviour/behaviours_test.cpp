// The bullet, enemy, object and wave-spawner behaviours acting in a live scene.
#include "game/behaviour/behaviours.h"

#include <gtest/gtest.h>

#include <algorithm>
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

    PooledObject MakeObject(int32_t kind, double x, double y) {
        PooledObject object{};
        object.kind = kind;
        object.owner = scene.get();
        object.active = 1;
        object.Launch(x, y, 0.0, 0.0);
        return object;
    }

    int32_t QueuedObjects(int32_t kind) const {
        int32_t count = 0;
        for (int32_t i = 0; i < scene->pool.requestCount; ++i) {
            count += scene->pool.requests[i].kind == kind ? 1 : 0;
        }
        return count;
    }

    std::unique_ptr<GameScene, SceneDeleter> scene;
};

using EnemyBehaviour = void (*)(Enemy*, int32_t);
const EnemyBehaviour kWaveBehaviours[] = {WaveEnemyBehaviour10, WaveEnemyBehaviour11,
                                          WaveEnemyBehaviour12, WaveEnemyBehaviour13,
                                          WaveEnemyBehaviour14, WaveEnemyBehaviour15};

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

// A wave enemy shot down scores 1000 and leaves a burst of 16 and a ring of
// level div 3 + 3 items; the boss's ring is as large.
TEST_F(BehavioursTest, AWaveEnemyDiesForAThousandWithABurstAndARingOfItems) {
    for (int32_t level : {0, 8, 30}) {
        for (int32_t kind = 10; kind <= 15; ++kind) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " level " << level);
            CurrentPlay.level = level;
            CurrentPlay.score = 5;
            Enemy enemy = MakeEnemy(kind, 150.0, 120.0);
            kWaveBehaviours[kind - 10](&enemy, kBehaviourInit);
            scene->pool.requestCount = 0;
            kWaveBehaviours[kind - 10](&enemy, kBehaviourKilled);
            EXPECT_EQ(CurrentPlay.score, 1005);
            EXPECT_EQ(QueuedObjects(2), 16);
            EXPECT_EQ(QueuedObjects(3), level / 3 + 3);
        }
        SCOPED_TRACE(testing::Message() << "boss, level " << level);
        Enemy boss = MakeEnemy(19, 192.0, 100.0);
        BossEnemyBehaviour(&boss, kBehaviourInit);
        scene->pool.requestCount = 0;
        BossEnemyBehaviour(&boss, kBehaviourKilled);
        EXPECT_EQ(QueuedObjects(3), level / 3 + 3);
    }
}

// The carriers' and the boss's fire: which frames of the counter fire, and
// for how long the guard lets them.
TEST_F(BehavioursTest, CarriersAndTheBossFireAtTheirPeriods) {
    struct Case {
        const char* name;
        int32_t kind;
        EnemyBehaviour behaviour;
        int32_t level;
        int32_t guard;
        double life;
        int32_t period;  // 0: never fires at this guard
        bool objects;    // counts queued turrets, else bullets
        int32_t volley;  // per firing frame
    };
    const Case cases[] = {
        {"turret carrier", 11, WaveEnemyBehaviour11, 7, 60, 32.0, 53, true, 1},
        {"turret carrier, guard spent", 11, WaveEnemyBehaviour11, 7, -300, 32.0, 0, true, 0},
        {"turret carrier, guard nearly spent", 11, WaveEnemyBehaviour11, 7, -299, 32.0, 53, true,
         1},
        {"ring carrier, ring B", 13, WaveEnemyBehaviour13, 7, 60, 32.0, 90, false, 8},
        {"scatter carrier", 15, WaveEnemyBehaviour15, 7, -399, 50.0, 4, false, 2},
        {"scatter carrier, guard spent", 15, WaveEnemyBehaviour15, 7, -400, 50.0, 0, false, 0},
        {"pair", 12, WaveEnemyBehaviour12, 7, 30, 4.0, 66, false, 2},
        {"trail ring", 14, WaveEnemyBehaviour14, 7, 60, 4.0, 57, false, 2},
        {"boss", 19, BossEnemyBehaviour, 9, -101, 200.0, 36, false, 32},
        {"boss, guard not yet down", 19, BossEnemyBehaviour, 9, -100, 200.0, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurrentPlay.level = c.level;
        Enemy enemy = MakeEnemy(c.kind, 192.0, 100.0);
        c.behaviour(&enemy, kBehaviourInit);
        EXPECT_EQ(enemy.life, c.life);
        EXPECT_EQ(enemy.maxLife, c.life);
        enemy.guard = c.guard;
        enemy.param = 1;
        for (int32_t param = 1; param <= 200; ++param) {
            scene->pool.requestCount = 0;
            scene->bullets.requestCount = 0;
            c.behaviour(&enemy, kBehaviourUpdate);
            int32_t fired =
                c.objects ? QueuedObjects(8) + QueuedObjects(9) : scene->bullets.requestCount;
            if (c.kind == 13) {
                // Ring A, every 4th frame, rides along with ring B.
                fired -= param % 4 == 0 ? c.volley : 0;
            }
            const bool fires = c.period != 0 && param % c.period == 0;
            ASSERT_EQ(fired, fires ? c.volley : 0) << "param " << param;
        }
    }
}

// Several random values of one spawn are drawn from its last argument
// towards its first: a replay depends on that order.
TEST_F(BehavioursTest, SpawnsDrawTheirRandomValuesFromTheLastArgument) {
    CurrentPlay.level = 6;
    {
        SCOPED_TRACE("kind-12 pair: angle, then speed");
        Enemy enemy = MakeEnemy(12, 150.0, 120.0);
        WaveEnemyBehaviour12(&enemy, kBehaviourInit);
        enemy.param = 0;
        const DsfmtRandom before = PlayRandom;
        scene->bullets.requestCount = 0;
        WaveEnemyBehaviour12(&enemy, kBehaviourUpdate);
        ASSERT_EQ(scene->bullets.requestCount, 2);
        PlayRandom = before;
        const double angle = RandomReal(20.0) - 10.0;
        const double speed = RandomReal(6 / 15.0 + 1.1) + 1.3;
        EXPECT_EQ(scene->bullets.requests[0].angle, angle);
        EXPECT_EQ(scene->bullets.requests[0].speed, speed);
    }
    {
        SCOPED_TRACE("kind-12 pairs of the spawner: speed, then x, right then left");
        PooledObject spawner = MakeObject(12, 0.0, 0.0);
        WaveSpawnerBehaviour12(&spawner, kBehaviourInit);
        spawner.ints[0] = 16;
        const DsfmtRandom before = PlayRandom;
        scene->enemies.requestCount = 0;
        WaveSpawnerBehaviour12(&spawner, kBehaviourUpdate);
        ASSERT_EQ(scene->enemies.requestCount, 2);
        PlayRandom = before;
        const double rightSpeed = 2.5 + RandomReal(1.0);
        const double rightX = 352.0 - RandomReal(60.0);
        const double leftSpeed = 2.5 + RandomReal(1.0);
        const double leftX = 32.0 + RandomReal(60.0);
        EXPECT_EQ(scene->enemies.requests[0].speed, rightSpeed);
        EXPECT_EQ(scene->enemies.requests[0].x, rightX);
        EXPECT_EQ(scene->enemies.requests[1].speed, leftSpeed);
        EXPECT_EQ(scene->enemies.requests[1].x, leftX);
        scene->enemies.requestCount = 0;
    }
    {
        SCOPED_TRACE("turret carrier: y, then x, then the kind");
        Enemy enemy = MakeEnemy(11, 150.0, 120.0);
        WaveEnemyBehaviour11(&enemy, kBehaviourInit);
        enemy.param = 0;
        const DsfmtRandom before = PlayRandom;
        scene->pool.requestCount = 0;
        WaveEnemyBehaviour11(&enemy, kBehaviourUpdate);
        ASSERT_EQ(scene->pool.requestCount, 1);
        PlayRandom = before;
        const double y = 120.0 - 60.0 + RandomReal(120.0);
        const double x = 150.0 - 60.0 + RandomReal(120.0);
        const int32_t kind = 8 + RandomInt(2);
        EXPECT_EQ(scene->pool.requests[0].y, y);
        EXPECT_EQ(scene->pool.requests[0].x, x);
        EXPECT_EQ(scene->pool.requests[0].kind, kind);
    }
    {
        SCOPED_TRACE("boss particle: p5, then speed");
        Enemy boss = MakeEnemy(19, 192.0, 100.0);
        BossEnemyBehaviour(&boss, kBehaviourInit);
        const DsfmtRandom before = PlayRandom;
        scene->pool.requestCount = 0;
        BossEnemyBehaviour(&boss, kBehaviourUpdate);
        ASSERT_EQ(QueuedObjects(21), 1);
        PlayRandom = before;
        const double p5 = 4.0 + RandomReal(2.0);
        const double speed = 4.0 + RandomReal(3.0);
        EXPECT_EQ(scene->pool.requests[0].p5, p5);
        EXPECT_EQ(scene->pool.requests[0].speed, speed);
    }
    {
        SCOPED_TRACE("bomb shard's sparks: angle, then speed, three times");
        QueueEnemySpawn(&scene->enemies, 10, 100.0, 100.0, 0.0, 0.0, 0, 0, 0, 0, 0);
        UpdateEnemyManager(&scene->enemies);
        ASSERT_EQ(scene->enemies.activeEnd, 1);
        PooledObject shard = MakeObject(5, 100.0, 100.0);
        BombShardBehaviour(&shard, kBehaviourInit);
        const DsfmtRandom before = PlayRandom;
        scene->pool.requestCount = 0;
        BombShardBehaviour(&shard, kBehaviourInteraction);
        ASSERT_EQ(scene->pool.requestCount, 3);
        PlayRandom = before;
        for (int i = 0; i < 3; ++i) {
            const double angle = RandomReal(360.0);
            const double speed = RandomReal(4.0);
            EXPECT_EQ(scene->pool.requests[i].angle, angle) << i;
            EXPECT_EQ(scene->pool.requests[i].speed, speed) << i;
        }
    }
}

// The bomb: one shard at once, then a ring of 18 every 4th frame, the half
// step alternating, eleven rings before it ends.
TEST_F(BehavioursTest, ABombSendsElevenRingsOfEighteenAndEnds) {
    PooledObject bomb = MakeObject(7, 192.0, 300.0);
    scene->pool.requestCount = 0;
    BombBehaviour(&bomb, kBehaviourInit);
    EXPECT_EQ(QueuedObjects(5), 1);
    std::vector<int32_t> ringFrames;
    std::vector<int32_t> turns;
    int32_t updates = 0;
    while (bomb.active != 0 && updates < 100) {
        scene->pool.requestCount = 0;
        BombBehaviour(&bomb, kBehaviourUpdate);
        const int32_t rings = QueuedObjects(6);
        if (rings != 0) {
            ASSERT_EQ(rings, 18) << updates;
            ringFrames.push_back(updates);
            turns.push_back(scene->pool.requests[0].param);
        }
        ++updates;
    }
    EXPECT_EQ(updates, 41);
    ASSERT_EQ(ringFrames.size(), 11u);
    for (size_t i = 0; i < ringFrames.size(); ++i) {
        EXPECT_EQ(ringFrames[i], static_cast<int32_t>(4 * i));
        EXPECT_EQ(turns[i], static_cast<int32_t>(i % 2));
    }
}

// A turret lives level div 2 + 40 (kind 8) or level + 40 (kind 9) updates and
// fires on the frames its rule picks.
TEST_F(BehavioursTest, TurretsLiveAndFireByTheLevel) {
    const struct {
        int32_t kind;
        void (*behaviour)(PooledObject*, int32_t);
        int32_t level;
        int32_t life;
    } cases[] = {{8, ObjectKind8Behaviour, 0, 40},
                 {8, ObjectKind8Behaviour, 25, 52},
                 {9, ObjectKind9Behaviour, 0, 40},
                 {9, ObjectKind9Behaviour, 25, 65}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " level " << c.level);
        CurrentPlay.level = c.level;
        PooledObject turret = MakeObject(c.kind, 192.0, 200.0);
        c.behaviour(&turret, kBehaviourInit);
        const int32_t spin = turret.ints[0];
        const int32_t ring = c.level / 4 + 3;
        int32_t updates = 0;
        while (turret.active != 0 && updates < 200) {
            scene->bullets.requestCount = 0;
            c.behaviour(&turret, kBehaviourUpdate);
            const bool fires = c.kind == 8 ? (spin + updates) % (4 - c.level / 10) == 0
                                           : updates % 4 == c.level / 10;
            ASSERT_EQ(scene->bullets.requestCount, fires ? ring : 0) << updates;
            ++updates;
        }
        EXPECT_EQ(updates, c.life);
    }
}

// The level-up sign fades from 1.2 by 0.025 a frame as it grows, and ends in
// the update that brings its alpha to 0 or below.
TEST_F(BehavioursTest, TheLevelUpSignFadesAsItGrows) {
    PooledObject sign = MakeObject(25, 0.0, 0.0);
    LevelUpBehaviour(&sign, kBehaviourInit);
    EXPECT_EQ(sign.p4, 1.2);
    EXPECT_EQ(sign.scale, 1.0);
    double alpha = 1.2;
    double scale = 1.0;
    int32_t updates = 0;
    while (sign.active != 0 && updates < 100) {
        LevelUpBehaviour(&sign, kBehaviourUpdate);
        alpha -= 0.025;
        scale += 0.025;
        ++updates;
        ASSERT_EQ(sign.p4, alpha) << updates;
        ASSERT_EQ(sign.scale, scale) << updates;
        ASSERT_EQ(sign.active, alpha <= 0.0 ? 0 : 1) << updates;
    }
    EXPECT_GE(updates, 48);
    EXPECT_LE(updates, 49);
}

}  // namespace
