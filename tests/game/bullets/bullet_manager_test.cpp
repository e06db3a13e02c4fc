// The enemy-bullet manager: fans, building, the appear, normal and vanish states, trails and rings.
#include "game/bullets/bullet_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "game/behaviour/behaviour_tables.h"
#include "game/bullets/bullet_fixture.h"
#include "game/math/angles.h"
#include "game/random/dsfmt_random.h"

namespace {

class BulletManagerTest : public testing::Test {
  protected:
    void TearDown() override { RegisterBulletBehaviours(); }

    // Queues one bullet and builds it; returns it.
    Bullet* Spawn(const BulletRequest& shot) {
        QueueBulletSpawn(manager.get(), shot);
        UpdateBulletManager(manager.get());
        return Newest();
    }
    // The record most recently built: the one whose age and state show it is new.
    Bullet* Newest() {
        for (int i = 0; i < manager->activeEnd; ++i) {
            if (manager->order[i]->active != 0) {
                last = manager->order[i];
            }
        }
        return last;
    }
    void Update(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            UpdateBulletManager(manager.get());
        }
    }

    std::unique_ptr<BulletManager> manager = MakeTestBulletManager();
    Bullet* last = nullptr;
};

std::vector<double> QueuedAngles(const BulletManager& manager) {
    std::vector<double> angles;
    for (int i = 0; i < manager.requestCount; ++i) {
        angles.push_back(manager.requests[i].angle);
    }
    return angles;
}

TEST_F(BulletManagerTest, FansPairOffAroundTheBaseAngle) {
    const struct {
        int count;
        double spread;
        int spreadIsStep;
        std::vector<double> angles;
    } cases[] = {
        {3, 10.0, 1, {270.0, 260.0, 280.0}},
        {2, 10.0, 1, {265.0, 275.0}},
        {3, 30.0, 0, {270.0, 260.0, 280.0}},
        {4, 40.0, 0, {265.0, 275.0, 255.0, 285.0}},
        {1, 6.0, 0, {270.0}},
        {0, 6.0, 0, {}},
        {-1, 6.0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        manager->requestCount = 0;
        FireBulletFan(manager.get(), MakeShot(kPlainKind, 100.0, 50.0, 2.0, 270.0), c.count,
                      c.spread, c.spreadIsStep, 0.0);
        EXPECT_EQ(QueuedAngles(*manager), c.angles);
    }
    manager->requestCount = 0;
    FireBulletFan(manager.get(), MakeShot(kPlainKind, 100.0, 50.0, 2.0, 270.0), 2, 10.0, 1, 35.0);
    EXPECT_EQ(manager->requests[1].x, 100.0 + PolarX(35.0, 275.0));
    EXPECT_EQ(manager->requests[1].y, 50.0 + PolarY(35.0, 275.0));
    EXPECT_EQ(manager->requests[1].speed, 2.0);
}

TEST_F(BulletManagerTest, RingsOfBulletsFollowTheRingGeometry) {
    FireBulletRing(manager.get(), MakeShot(kPlainKind, 0, 0, 2.0, 90.0), 4, 1, 40.0);
    EXPECT_EQ(QueuedAngles(*manager), (std::vector<double>{45.0, -45.0, -135.0, -225.0}));
    EXPECT_EQ(manager->requests[2].x, PolarX(40.0, -135.0));
}

TEST_F(BulletManagerTest, ABulletIsBuiltFromItsRequestAndItsKindRow) {
    BulletRequest shot = MakeShot(kSpinningKind, 30.0, 40.0, 2.0, 45.0);
    shot.scale = 1.3;
    shot.appearFrames = 12;
    shot.appearScaleFactor = 1.7;
    shot.blendAdd = 1;
    shot.lifetime = 99;
    shot.p5 = 8.5;
    Bullet& b = *Spawn(shot);

    EXPECT_EQ(b.kind, kSpinningKind);
    EXPECT_EQ(b.blendAdd, 1);
    EXPECT_EQ(b.lifetime, 99);
    EXPECT_EQ(b.p5, 8.5);
    EXPECT_EQ(b.hit.type, kHitShapeCircle);
    EXPECT_EQ(b.hit.radius, 6.0);
    EXPECT_EQ(b.priority, static_cast<int32_t>(1.3 * 1000.0 * 6.0));
    EXPECT_EQ(b.colour.colour.r, 200);
    EXPECT_EQ(b.colour.swapped.r, 50);
    EXPECT_EQ(b.colour.swapped.b, 200);
    EXPECT_EQ(b.fade.fadeScale, 3.0 * 1.7);
    EXPECT_EQ(b.fade.fadeTarget, 0.75);
    // One appearing step has run: 11 frames left, the bulk shrunk once.
    double excess = 3.0 * 1.7 - 0.75;
    double alphaStep = 0.800000011920929 / 12 / 2;  // appear style 3 halves it
    EXPECT_EQ(b.fade.appearFrames, 11);
    EXPECT_EQ(b.fade.fadeAlphaStep, alphaStep);
    EXPECT_EQ(b.fade.fadeA, excess * 0.949999988079071 * 0.8199999928474426);
    EXPECT_EQ(b.fade.fadeB, excess * 0.05000000074505806 - excess * 0.05000000074505806 / 12);
    EXPECT_EQ(b.fade.fadeAlpha, alphaStep + 0.1);
    EXPECT_EQ(b.x, 30.0 + PolarX(2.0, 45.0) * 0.5);
    EXPECT_EQ(b.state, kStateAppearing);
    EXPECT_EQ(b.vanishSpeed, 0.4000000059604645);
    EXPECT_EQ(b.vanishShrink, 1.0);
    EXPECT_EQ(b.age, 0);
}

TEST_F(BulletManagerTest, AFiveFrameAppearanceEndsInTheFifthUpdateWithFullAlpha) {
    BulletRequest shot = MakeShot(kTurnedKind, 100, 100, 1.0, 0.0);
    shot.appearFrames = 5;
    Bullet* b = Spawn(shot);
    std::vector<int> states{b->state};
    std::vector<int> alphas{b->colour.colour.a};
    for (int i = 0; i < 4; ++i) {
        Update();
        states.push_back(b->state);
        alphas.push_back(b->colour.colour.a);
    }
    EXPECT_EQ(states, (std::vector<int>{1, 1, 1, 1, 2}));
    double step = 0.800000011920929 / 5;
    std::vector<int> expected;
    double alpha = step;
    for (int i = 0; i < 4; ++i) {
        alpha += step;
        expected.push_back(UnitToByte(alpha));
    }
    expected.push_back(255);
    EXPECT_EQ(alphas, expected);
    EXPECT_EQ(b->colour.swapped.a, 255);
    EXPECT_EQ(b->age, 0);  // the normal state has not run yet
}

TEST_F(BulletManagerTest, ATwentyFrameAppearanceGainsATenthWhileTenOrMoreFramesRemain) {
    BulletRequest shot = MakeShot(kTurnedKind, 100, 100, 1.0, 0.0);
    shot.appearFrames = 20;
    Bullet* b = Spawn(shot);
    double step = 0.800000011920929 / 20;
    double alpha = step;
    for (int frame = 1; frame <= 20; ++frame) {
        SCOPED_TRACE(frame);
        if (frame > 1) {
            Update();
        }
        int left = 20 - frame;
        alpha += left >= 10 ? 0.1 : step;
        EXPECT_EQ(b->fade.fadeAlpha, alpha);
        EXPECT_EQ(b->colour.colour.a, left >= 1 ? UnitToByte(alpha) : 255);
        EXPECT_EQ(b->state, left >= 1 ? kStateAppearing : kStateNormal);
    }
}

TEST_F(BulletManagerTest, ABulletBeyondItsMarginLeavesInItsFirstNormalUpdate) {
    const struct {
        const char* name;
        double x;
        double y;
        double scale;
        bool stays;
    } cases[] = {
        {"left, past the margin", -10.5, 200.0, 1.0, false},
        {"left, on the margin", -10.0, 200.0, 1.0, true},
        {"right, scaled margin", 384.0 + 20.0 + 0.25, 200.0, 2.0, false},
        {"right, inside the scaled margin", 384.0 + 19.75, 200.0, 2.0, true},
        {"above", 100.0, -10.5, 1.0, false},
        {"below", 100.0, 490.5, 1.0, false},
        {"inside", 100.0, 479.0, 1.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager = MakeTestBulletManager();
        BulletRequest shot = MakeShot(kPlainKind, c.x, c.y, 0.0, 0.0);
        shot.scale = c.scale;
        QueueBulletSpawn(manager.get(), shot);
        UpdateBulletManager(manager.get());
        EXPECT_EQ(manager->records[0].age, 1);
        EXPECT_EQ(manager->records[0].active != 0, c.stays);
    }
}

TEST_F(BulletManagerTest, AnAppearingBulletIsNotTestedAgainstTheField) {
    BulletRequest shot = MakeShot(kTurnedKind, -100.0, 200.0, 0.0, 0.0);
    shot.appearFrames = 3;
    Bullet* b = Spawn(shot);
    Update(2);
    EXPECT_EQ(b->state, kStateNormal);
    EXPECT_EQ(b->active, 1);
    Update();  // the first normal update
    EXPECT_EQ(b->active, 0);
}

TEST_F(BulletManagerTest, VanishingLastsFifteenFramesAndVanishStyleZeroEndsAtOnce) {
    Bullet* b = Spawn(MakeShot(kPlainKind, 100, 100, 2.0, 0.0));
    b->state = kStateVanishing;
    double x = b->x;
    for (int frame = 1; frame <= 14; ++frame) {
        Update();
        ASSERT_EQ(b->active, 1) << frame;
    }
    EXPECT_EQ(b->vanishCount, 14);
    EXPECT_EQ(b->vanishAlpha, 1.0 - 14 * 0.0625);
    EXPECT_EQ(b->vanishScale, 1.0 + 14 * 0.0625);  // vanish style 1 grows from its scale
    EXPECT_EQ(b->vanishShrink, 1.0 - 14 * 0.0625);
    EXPECT_NEAR(b->x, x + 14 * 2.0 * 0.4000000059604645, 1e-9);
    EXPECT_EQ(b->age, 1);  // vanishing bullets do not age
    Update();
    EXPECT_EQ(b->active, 0);

    Bullet* quick = Spawn(MakeShot(kQuickVanishKind, 100, 100, 2.0, 0.0));
    quick->state = kStateVanishing;
    Update();
    EXPECT_EQ(quick->active, 0);
}

TEST_F(BulletManagerTest, ABehaviourThatStartsTheVanishRunsItsFirstStepInTheSameFrame) {
    BulletBehaviours.slots[4] = [](Bullet* b, int32_t phase) {
        if (phase == kBehaviourUpdate && b->age == 2) {
            b->state = kStateVanishing;
        }
    };
    BulletRequest shot = MakeShot(kQuickVanishKind, 100, 100, 1.0, 0.0);
    shot.behaviour = 4;
    Bullet* b = Spawn(shot);
    Update();
    EXPECT_EQ(b->active, 1);
    Update();
    EXPECT_EQ(b->active, 0);
    EXPECT_EQ(b->age, 3);

    BulletRequest other = MakeShot(kPlainKind, 100, 100, 1.0, 0.0);
    other.behaviour = 4;
    Bullet* slow = Spawn(other);
    Update(2);
    EXPECT_EQ(slow->state, kStateVanishing);
    EXPECT_EQ(slow->vanishCount, 1);
}

TEST_F(BulletManagerTest, ATimedBulletEndsWhenItsAgeReachesItsLifetime) {
    BulletRequest shot = MakeShot(kTimedKind, 100, 100, 0.0, 0.0);
    shot.lifetime = 4;
    Bullet* b = Spawn(shot);
    Update(2);
    EXPECT_EQ(b->active, 1);
    EXPECT_EQ(b->age, 3);
    Update();
    EXPECT_EQ(b->active, 0);
}

TEST_F(BulletManagerTest, ATrailEmitterLeavesOneStillBulletOfItsImageRowsKindEachFrame) {
    BulletRequest shot = MakeShot(kTrailKind, 100, 100, 3.0, 10.0);
    shot.scale = 0.75;
    shot.lifetime = 30;
    Bullet* b = Spawn(shot);
    ASSERT_EQ(manager->requestCount, 1);
    const BulletRequest& trail = manager->requests[0];
    EXPECT_EQ(trail.kind, kTrailPieceKind);
    EXPECT_EQ(trail.behaviour, -1);
    EXPECT_EQ(trail.x, b->x);
    EXPECT_EQ(trail.y, b->y);
    EXPECT_EQ(trail.speed, 0.0);
    EXPECT_EQ(trail.angle, 0.08 * 17.0 + 10.0);
    EXPECT_EQ(trail.blendAdd, 1);
    EXPECT_EQ(trail.scale, 0.75);
    EXPECT_EQ(trail.lifetime, 30);
    EXPECT_EQ(trail.appearFrames, 0);
    EXPECT_EQ(trail.appearScaleFactor, 1.0);
    EXPECT_EQ(trail.colour.a, 0);
    EXPECT_EQ(trail.colour.r, 255);
    Update(3);
    EXPECT_EQ(manager->requestCount, 1);
    EXPECT_EQ(manager->activeCount, 4);  // the emitter and three pieces
}

TEST_F(BulletManagerTest, ATrailEmitterLeavesTheFieldByItsPiecesMargin) {
    // The emitter's own margin is 3; its pieces' kind row gives 40.
    const struct {
        double x;
        bool stays;
    } cases[] = {{-30.0, true}, {-41.0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        manager = MakeTestBulletManager();
        QueueBulletSpawn(manager.get(), MakeShot(kTrailKind, c.x, 100.0, 0.0, 0.0));
        UpdateBulletManager(manager.get());
        EXPECT_EQ(manager->records[0].active != 0, c.stays);
    }
}

TEST_F(BulletManagerTest, PulseRingsRestartFromTheirOwnGeneratorNotThePlayOrLibraryOnes) {
    SeedRandom(&PlayRandom, 77);
    DsfmtRandom playBefore = PlayRandom;
    std::srand(5);
    int libraryNext = std::rand();
    std::srand(5);

    Bullet* b = Spawn(MakeShot(kPulseKind, 100, 100, 0.0, 0.0));
    EXPECT_EQ(b->ringTimer[0], 1);
    EXPECT_EQ(b->ringTimer[2], 21);
    EXPECT_EQ(b->ringSize[1],
              20 * 1.2000000476837158 * 0.3333333432674408 * 1 * 0.9100000262260437);
    for (double turn : b->ringAngle) {
        EXPECT_GE(turn, 0.0);
        EXPECT_LE(turn, 32767 * 9.999999747378752e-05);
    }
    Update(9);  // ring 2 passes 29 and restarts
    EXPECT_EQ(b->ringTimer[2], 0);
    EXPECT_EQ(b->ringSize[2], 20 * 1.2000000476837158 * 1.0);
    EXPECT_EQ(b->ringAlpha[2], 1.0);
    EXPECT_EQ(b->ringTimer[1], 20);
    Update(5);  // ring 1 at 25: fading
    EXPECT_EQ(b->ringAlpha[1], 0.8);

    EXPECT_EQ(std::memcmp(&playBefore, &PlayRandom, sizeof(DsfmtRandom)), 0);
    EXPECT_EQ(std::rand(), libraryNext);
}

TEST_F(BulletManagerTest, The641stRequestOfAFrameIsDroppedAndOwnersComeFromTheManager) {
    int scene = 0;
    manager->owner = reinterpret_cast<GameScene*>(&scene);
    for (int i = 0; i < kSpawnQueueCapacity + 1; ++i) {
        QueueBulletSpawn(manager.get(), MakeShot(kPlainKind, i * 0.5, 10, 0, 0));
    }
    EXPECT_EQ(manager->requestCount, kSpawnQueueCapacity);
    EXPECT_EQ(manager->requests[kSpawnQueueCapacity - 1].x, (kSpawnQueueCapacity - 1) * 0.5);
    EXPECT_EQ(manager->requests[0].owner, manager->owner);
    // A kind outside the table has no row to build from.
    QueueBulletSpawn(manager.get(), MakeShot(kKindRows, 0, 0, 0, 0));
    UpdateBulletManager(manager.get());
    EXPECT_EQ(manager->activeCount, kSpawnQueueCapacity);
}

TEST_F(BulletManagerTest, LargerBulletsSortFirstAndEndedOnesGoBehind) {
    Spawn(MakeShot(kPlainKind, 100, 100, 0, 0));  // priority 4000
    Spawn(MakeShot(kPulseKind, 100, 100, 0, 0));  // priority 7000
    BulletRequest small = MakeShot(kQuickVanishKind, 100, 100, 0, 0);
    small.scale = 0.5;  // 2000
    Bullet* gone = Spawn(small);
    gone->state = kStateVanishing;
    QueueBulletSpawn(manager.get(), MakeShot(kTurnedKind, 100, 100, 0, 0));  // 3500
    Update();
    std::vector<int> kinds;
    for (int i = 0; i < manager->activeEnd; ++i) {
        kinds.push_back(manager->order[i]->kind * (manager->order[i]->active ? 1 : -1));
    }
    EXPECT_EQ(kinds, (std::vector<int>{kPulseKind, kPlainKind, kTurnedKind, -kQuickVanishKind}));
}

}  // namespace
