// The enemy manager: appearing, the normal frame, ending through FinishEnemy and keepAlive.
#include "game/enemies/enemy_manager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/behaviour/behaviour_tables.h"
#include "game/math/angles.h"

namespace {

constexpr int kTestEnemy = 30;
constexpr int kHalfStepEnemy = 31;  // its kind row's int1 is 3

struct EnemyScript {
    std::vector<std::string> log;
    bool leaveInUpdate = false;
    double xInUpdate = 0.0;
};
EnemyScript g_enemyScript;

void EnemyRecorder(Enemy* e, int32_t phase) {
    g_enemyScript.log.push_back(std::to_string(phase) + " param " + std::to_string(e->param) +
                                " age " + std::to_string(e->age));
    if (phase == kBehaviourInit) {
        e->life = 3.0;
        e->maxLife = 3.0;
        e->guard = 60;
    }
    if (phase == kBehaviourUpdate) {
        g_enemyScript.xInUpdate = e->x;
    }
    if (phase == kBehaviourUpdate && g_enemyScript.leaveInUpdate) {
        e->active = 0;
    }
}

class EnemyManagerTest : public testing::Test {
  protected:
    void SetUp() override {
        g_enemyScript = EnemyScript{};
        EnemyBehaviours.slots[kTestEnemy] = &EnemyRecorder;
        EnemyBehaviours.slots[kHalfStepEnemy] = &EnemyRecorder;
    }
    void TearDown() override { RegisterEnemyBehaviours(); }

    Enemy* Spawn(int kind, int appearFrames, int param = 0, double speed = 0.0,
                 double angle = 0.0) {
        QueueEnemySpawn(manager.get(), kind, 100.0, 50.0, speed, angle, appearFrames, param, 1.5,
                        2.5, 3.5);
        UpdateEnemyManager(manager.get());
        return manager->order[0];
    }
    std::vector<std::string> TakeLog() {
        std::vector<std::string> log = std::move(g_enemyScript.log);
        g_enemyScript.log.clear();
        return log;
    }

    static std::unique_ptr<EnemyManager> Make() {
        static EnemyInfoRow rows[kKindRows];
        rows[kTestEnemy].real1 = 12.0;
        rows[kTestEnemy].real2 = 18.5;
        rows[kHalfStepEnemy].int1 = 3;
        rows[kHalfStepEnemy].real1 = 8.25;
        static EnemyImageTable images{};
        return std::make_unique<EnemyManager>(rows, images);
    }

    std::unique_ptr<EnemyManager> manager = Make();
};

TEST_F(EnemyManagerTest, AnEnemyWithoutAnAppearanceRunsItsUpdateInItsFirstFrame) {
    Enemy* e = Spawn(kTestEnemy, 0, 7, 2.0, 0.0);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"0 param 7 age 0", "1 param 7 age 0"}));
    EXPECT_EQ(e->state, kStateNormal);
    EXPECT_EQ(e->age, 1);
    EXPECT_EQ(e->guard, 59);
    EXPECT_EQ(e->phaseTime, 0.08);
    EXPECT_EQ(g_enemyScript.xInUpdate, 100.0);
    EXPECT_EQ(e->x, 102.0);  // moved after its update
    EXPECT_EQ(e->p6, 3.5);
    EXPECT_EQ(e->bodyHit.radius, 12.0);
    EXPECT_EQ(e->shotHit.radius, 18.5);
    EXPECT_EQ(e->priority, 12000);
    EXPECT_EQ(e->keepAlive, 0);
}

TEST_F(EnemyManagerTest, AnAppearingEnemyFadesInWithoutUpdatesAndMovesAtFullSpeed) {
    const struct {
        int kind;
        double step;
    } cases[] = {{kTestEnemy, 1.0 / 30}, {kHalfStepEnemy, 1.0 / 30 / 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        manager = Make();
        TakeLog();
        Enemy* e = Spawn(c.kind, 30, 0, 1.5, 270.0);
        double alpha = c.step;
        for (int frame = 1; frame <= 30; ++frame) {
            if (frame > 1) {
                UpdateEnemyManager(manager.get());
            }
            alpha += c.step;
            EXPECT_EQ(e->fade.fadeAlpha, alpha) << frame;
            EXPECT_EQ(e->colour.colour.a, frame < 30 ? UnitToByte(alpha) : 255) << frame;
        }
        EXPECT_EQ(TakeLog(), (std::vector<std::string>{"0 param 0 age 0"}));
        EXPECT_EQ(e->state, kStateNormal);
        EXPECT_NEAR(e->y, 50.0 + 30 * 1.5, 1e-9);
        EXPECT_EQ(e->fade.fadeScale, 2.0);
        EXPECT_EQ(e->fade.fadeTarget, 1.0);
        UpdateEnemyManager(manager.get());
        EXPECT_EQ(TakeLog(), (std::vector<std::string>{"1 param 0 age 0"}));
    }
}

TEST_F(EnemyManagerTest, AnEnemyAtNoLifeEndsInTheSameFrameAfterItsUpdate) {
    Enemy* e = Spawn(kTestEnemy, 0, 4);
    TakeLog();
    e->life = 0.0;  // as a shot would leave it in the pool's interaction pass
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"1 param 4 age 1", "3 param 4 age 2"}));
    EXPECT_EQ(e->active, 0);
    UpdateEnemyManager(manager.get());
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(EnemyManagerTest, AKeptAliveEnemyIsOfferedTheEndEveryFrame) {
    Enemy* e = Spawn(kTestEnemy, 0, 4);
    e->keepAlive = 1;
    e->life = -1.0;
    TakeLog();
    UpdateEnemyManager(manager.get());
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"1 param 4 age 1", "1 param 4 age 2"}));
    EXPECT_EQ(e->active, 1);
    e->keepAlive = 0;
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"1 param 4 age 3", "3 param 4 age 4"}));
    EXPECT_EQ(e->active, 0);
}

TEST_F(EnemyManagerTest, AVanishingEnemyEndsOnItsNextUpdate) {
    Enemy* e = Spawn(kTestEnemy, 0, 4);
    e->state = kStateVanishing;
    TakeLog();
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"3 param 4 age 1"}));
    EXPECT_EQ(e->phaseTime, 0.16);
}

TEST_F(EnemyManagerTest, AnEnemyThatLeftByItselfIsNotKilledAgainAtNoLife) {
    Enemy* e = Spawn(kTestEnemy, 0, 4);
    e->life = 0.0;
    g_enemyScript.leaveInUpdate = true;
    TakeLog();
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"1 param 4 age 1"}));
    EXPECT_EQ(e->active, 0);
    FinishEnemy(e);
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(EnemyManagerTest, TheDrawPassRunsLiveEnemiesGreaterPriorityFirst) {
    QueueEnemySpawn(manager.get(), kTestEnemy, 0, 0, 0, 0, 0, 1, 0, 0, 0);
    QueueEnemySpawn(manager.get(), kHalfStepEnemy, 0, 0, 0, 0, 0, 2, 0, 0, 0);
    QueueEnemySpawn(manager.get(), kHalfStepEnemy, 0, 0, 0, 0, 0, 3, 0, 0, 0);
    UpdateEnemyManager(manager.get());
    manager->order[1]->active = 0;
    TakeLog();
    DrawEnemies(manager.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"2 param 1 age 1", "2 param 3 age 1"}));
}

TEST_F(EnemyManagerTest, RequestsBeyondTheQueueOrTheEnemiesAreDropped) {
    EnemyBehaviours.slots[kTestEnemy] = &EmptyBehaviour<Enemy>;
    for (int i = 0; i < kSpawnQueueCapacity + 1; ++i) {
        QueueEnemySpawn(manager.get(), kTestEnemy, 0, 0, 0, 0, 5, i, 0, 0, 0);
    }
    EXPECT_EQ(manager->requestCount, kSpawnQueueCapacity);
    UpdateEnemyManager(manager.get());
    EXPECT_EQ(manager->activeCount, kEnemyCapacity);
    EXPECT_EQ(manager->requestCount, 0);
    EXPECT_EQ(manager->order[kEnemyCapacity - 1]->param, kEnemyCapacity - 1);
}

}  // namespace
