// The enemy behaviours: the wave enemies (kinds 10 to 15) share one frame,
// a counter in `param`, a fire rule, a leave rule and one death, and differ
// in life, guard, pattern and braking; the boss orbits and fires double rings.
//
// Routes: each WaveEnemyBehaviourNN hands its phase to RunWaveEnemy with its
// fire and brake steps; BossEnemyBehaviour is on its own. Enemies never
// draw from the generator outside phases 0, 1 and 3.
#include <cmath>

#include "game/behaviour/behaviour_tables.h"
#include "game/behaviour/behaviours.h"
#include "game/behaviour/shot_request_internal.h"
#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/math/angles.h"
#include "game/math/animation_frame.h"
#include "game/play/frame_requests.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"

namespace {

constexpr int32_t kSoundEnemyDown = 9;
constexpr int32_t kSoundShotA = 10;
constexpr int32_t kSoundShotB = 11;
constexpr int32_t kSoundBoss = 21;
constexpr int32_t kBurstKind = 2;
constexpr int32_t kItemKind = 3;
constexpr int32_t kFirstWaveKind = 10;
constexpr int32_t kBossParticleKind = 21;

int32_t Level() {
    return CurrentPlay.level;
}

BulletRequest ShotModel(const Enemy& enemy, int32_t kind, int32_t hue, double speed, double angle) {
    return CommonShotRequest(kind, hue, enemy.x, enemy.y, speed, angle);
}

double AngleToPlayer(const Enemy& enemy) {
    if (PlayerPointer == nullptr) {
        return 270.0;
    }
    return RadToDeg(std::atan2(PlayerPointer->y - enemy.y, PlayerPointer->x - enemy.x));
}

BulletManager* Bullets(Enemy* enemy) {
    return enemy->owner != nullptr ? &enemy->owner->bullets : nullptr;
}

TaskPool* Pool(Enemy* enemy) {
    return enemy->owner != nullptr ? &enemy->owner->pool : nullptr;
}

bool Every(int32_t counter, int32_t period) {
    return period > 0 && counter % period == 0;
}

void DeathBurst(TaskPool* pool, const Enemy& enemy) {
    SpawnObjectRing(pool, kBurstKind, enemy.x, enemy.y, 4.2, 90.0, 16, 0.0, 0, 1, 1.0, 2.5, 0.0);
}

void ItemRing(TaskPool* pool, const Enemy& enemy, int32_t param) {
    double baseAngle = RandomReal(360.0);
    SpawnObjectRing(pool, kItemKind, enemy.x, enemy.y, 0.0, baseAngle, Level() / 3 + 3, 50.0, 0,
                    param, 0.0, 0.0, 0.0);
}

// Front cells 0 to 3 of the kind's image row, side cells 4 to 7.
void DrawEnemyBody(const Enemy& enemy, double animationSpeed, int32_t layer, bool twice) {
    if (enemy.owner == nullptr) {
        return;
    }
    const EnemyManager& manager = enemy.owner->enemies;
    int32_t row = EnemyKindRow(manager, enemy.kind).imageRow;
    row = row >= 0 && row < kCellRows ? row : 0;
    bool side = enemy.speed >= 0.1 && std::fabs(enemy.vx) >= std::fabs(enemy.vy);
    int32_t cell = AnimationCellIndex(side ? 4 : 0, 4, enemy.age, animationSpeed);
    int32_t mirror = side && enemy.vx >= 0.0 ? 1 : 0;
    QueueRotatedImageDraw(&FrontDrawQueue, manager.images.rows[row][cell], EffectScreen, layer,
                          kBlendAlpha, enemy.x + 64.0, enemy.y + 16.0, 1.0, 0.0, 1.0,
                          MakeDefaultColor(), mirror);
    if (twice) {
        QueueRotatedImageDraw(&FrontDrawQueue, manager.images.rows[row][cell], EffectScreen, layer,
                              kBlendAlpha, enemy.x + 64.0, enemy.y + 16.0, 1.0, 0.0, 1.0,
                              MakeDefaultColor(), 1 - mirror);
    }
}

struct WaveEnemyKind {
    double life;
    int32_t guard;
    int32_t counterRange;  // param starts at RandomInt(range); 0 starts it at 0
    void (*fire)(Enemy* enemy);
    void (*brake)(Enemy* enemy);
};

void FireAimedStream(Enemy* enemy) {
    int32_t level = Level();
    if (!Every(enemy->param, 40 - level)) {
        return;
    }
    double aim = AngleToPlayer(*enemy);
    for (int32_t i = 0; i <= level / 2; ++i) {
        RequestSound(kSoundShotB);
        double speed = i * (0.3 - level * 0.002) + 2.4;
        BulletRequest model = ShotModel(*enemy, 0, 120, speed, aim);
        FireBulletFan(Bullets(enemy), model, 1, 6.0, 0, 0.0);
    }
}

void QueueTurret(Enemy* enemy) {
    int32_t level = Level();
    if (enemy->guard <= -300 || !Every(enemy->param, 60 - level)) {
        return;
    }
    double y = enemy->y - 60.0 + RandomReal(120.0);
    double x = enemy->x - 60.0 + RandomReal(120.0);
    int32_t kind = 8 + RandomInt(2);
    QueueObjectSpawn(Pool(enemy), kind, x, y, 0.0, 0.0, 0, 0.0, 0.0, 0.0);
}

void FirePair(Enemy* enemy) {
    int32_t level = Level();
    if (!Every(enemy->param, 80 - 2 * level)) {
        return;
    }
    RequestSound(kSoundShotB);
    double angle = RandomReal(20.0) - 10.0;
    double speed = RandomReal(level / 15.0 + 1.1) + 1.3;
    FireBulletRing(Bullets(enemy), ShotModel(*enemy, 0, 70, speed, angle), 2, 0, 0.0);
}

void FireDoubleRings(Enemy* enemy) {
    if (enemy->guard <= -300) {
        return;
    }
    int32_t level = Level();
    int32_t count = level / 3 + 6;
    if (Every(enemy->param, 4)) {
        RequestSound(kSoundShotA);
        BulletRequest a = ShotModel(*enemy, 6, 220, level / 8.0 + 9.5, AngleToPlayer(*enemy));
        FireBulletRing(Bullets(enemy), a, count, 1, 60.0);
    }
    if (Every(enemy->param, static_cast<int32_t>(99.0 - 1.2 * level))) {
        RequestSound(kSoundShotB);
        BulletRequest b = ShotModel(*enemy, 9, 49, level / 12.0 + 2.2, AngleToPlayer(*enemy));
        FireBulletRing(Bullets(enemy), b, count, 0, 0.0);
    }
}

void FireTrailRing(Enemy* enemy) {
    int32_t level = Level();
    if (!Every(enemy->param, 60 - level / 2)) {
        return;
    }
    RequestSound(kSoundShotB);
    BulletRequest model = ShotModel(*enemy, 0, 120, 6.0, RandomReal(360.0));
    model.behaviour = 3;
    FireBulletRing(Bullets(enemy), model, level / 5 + 1, 0, 0.0);
}

void FireScatterRing(Enemy* enemy) {
    if (enemy->guard <= -400 || !Every(enemy->param, 4)) {
        return;
    }
    int32_t level = Level();
    RequestSound(kSoundShotA);
    double scale = RandomReal(1.0) + 0.4;
    double angle = RandomReal(360.0);
    double speed = (RandomReal(2.6) + 1.2) * (level * 0.03 + 1.0);
    BulletRequest model = ShotModel(*enemy, 19, 140, speed, angle);
    model.scale = scale;
    FireBulletRing(Bullets(enemy), model, level / 5 + 1, 0, 40.0);
}

void NoBrake(Enemy*) {}

void BrakeTurretCarrier(Enemy* enemy) {
    if (enemy->guard > -300) {
        enemy->MultiplySpeed(0.8);
    } else {
        enemy->AddSpeed(0.05);
    }
}

void BrakeRingCarrier(Enemy* enemy) {
    if (enemy->guard > -300) {
        enemy->MultiplySpeed(0.75);
    } else {
        enemy->AddSpeed(0.05);
    }
}

void BrakeScatterCarrier(Enemy* enemy) {
    if (enemy->guard > -400) {
        enemy->MultiplySpeed(0.7);
    } else {
        enemy->SubtractSpeed(0.02);
    }
}

constexpr WaveEnemyKind kWaveKinds[6] = {
    {4.0, 60, 100, FireAimedStream, NoBrake}, {32.0, 60, 360, QueueTurret, BrakeTurretCarrier},
    {4.0, 30, 100, FirePair, NoBrake},        {32.0, 60, 360, FireDoubleRings, BrakeRingCarrier},
    {4.0, 60, 100, FireTrailRing, NoBrake},   {50.0, 60, 0, FireScatterRing, BrakeScatterCarrier},
};

bool OutsideField(const Enemy& enemy) {
    return enemy.x < -32.0 || enemy.x > 416.0 || enemy.y < -32.0 || enemy.y > 512.0;
}

void RunWaveEnemy(Enemy* enemy, int32_t phase, const WaveEnemyKind& kind) {
    switch (phase) {
        case kBehaviourInit:
            enemy->life = kind.life;
            enemy->maxLife = kind.life;
            enemy->param = kind.counterRange > 0 ? RandomInt(kind.counterRange) : 0;
            enemy->guard = kind.guard;
            return;
        case kBehaviourUpdate:
            kind.fire(enemy);
            enemy->param += 1;
            kind.brake(enemy);
            if (OutsideField(*enemy) && enemy->guard < 1) {
                CountWaveKill(enemy->kind - kFirstWaveKind);
                enemy->active = 0;
            }
            return;
        case kBehaviourDraw:
            DrawEnemyBody(*enemy, 0.25, 10, false);
            return;
        case kBehaviourKilled:
            RequestSound(kSoundEnemyDown);
            DeathBurst(Pool(enemy), *enemy);
            ItemRing(Pool(enemy), *enemy, 0);
            CountWaveKill(enemy->kind - kFirstWaveKind);
            CurrentPlay.score += 1000;
            return;
        default:
            return;
    }
}

// The boss's three counters in its scratch values.
constexpr int kOrbitAngle = 0;
constexpr int kOrbitRadius = 1;

void BossVolley(Enemy* boss) {
    int32_t level = Level();
    RequestSound(kSoundShotB);
    boss->p5 = RandomReal(2.0);
    boss->p6 = RandomReal(360.0);
    double speed = (1.0 + boss->p5) * (level * 0.05 + 1.0);
    int32_t count = (level / 3) * 2 + 10;
    BulletRequest first = ShotModel(*boss, 4, 85, speed, boss->p6);
    first.scale = 0.8;
    FireBulletRing(Bullets(boss), first, count, 0, 40.0);
    BulletRequest second = ShotModel(*boss, 4, 0, -speed, boss->p6);
    second.scale = 1.2;
    FireBulletRing(Bullets(boss), second, count, 0, 40.0);
}

void BossUpdate(Enemy* boss) {
    if (boss->guard > 0) {
        boss->ints[kOrbitRadius] = static_cast<int32_t>(boss->ints[kOrbitRadius] - 1.1);
    }
    if (boss->guard < -100 && Every(boss->param, 40 - Level() / 2)) {
        BossVolley(boss);
    }
    boss->param += 1;
    boss->ints[kOrbitAngle] = static_cast<int32_t>(boss->ints[kOrbitAngle] + 1.3);
    double radius = boss->ints[kOrbitRadius];
    double angle = boss->ints[kOrbitAngle];
    boss->x = PolarX(radius, angle) + 192.0;
    boss->y = PolarY(radius, angle) + 180.0;
    double p5 = 4.0 + RandomReal(2.0);
    double speed = 4.0 + RandomReal(3.0);
    QueueObjectSpawn(Pool(boss), kBossParticleKind, boss->x, boss->y + 12.0, speed, 90.0, 3, 1.0,
                     p5, 0.0);
}

void BossKilled(Enemy* boss) {
    RequestSound(kSoundEnemyDown);
    DeathBurst(Pool(boss), *boss);
    // The boss's items are the ones that give time back in 2minutes.
    ItemRing(Pool(boss), *boss, 1);
    if (boss->owner == nullptr) {
        return;
    }
    for (Bullet* bullet : boss->owner->bullets.order) {
        if (bullet->active != 0) {
            bullet->state = kStateVanishing;
        }
    }
    EndBossWave(boss->owner);
}

}  // namespace

// Never queued by the game; kept as the plain enemy a table row can name.
void BasicEnemyBehaviour(Enemy* enemy, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            enemy->life = 10.0;
            enemy->maxLife = 10.0;
            return;
        case kBehaviourUpdate:
            if (RandomInt(60) == 0) {
                RequestSound(kSoundShotB);
                BulletRequest model = ShotModel(*enemy, 8, 120, 3.0, AngleToPlayer(*enemy));
                FireBulletFan(Bullets(enemy), model, 1, 0.0, 0, 0.0);
            }
            return;
        case kBehaviourDraw:
            DrawEnemyBody(*enemy, 0.25, 10, false);
            return;
        case kBehaviourKilled:
            RequestSound(kSoundEnemyDown);
            DeathBurst(Pool(enemy), *enemy);
            return;
        default:
            return;
    }
}

void IdleEnemyBehaviour(Enemy*, int32_t) {}

void WaveEnemyBehaviour10(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[0]);
}
void WaveEnemyBehaviour11(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[1]);
}
void WaveEnemyBehaviour12(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[2]);
}
void WaveEnemyBehaviour13(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[3]);
}
void WaveEnemyBehaviour14(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[4]);
}
void WaveEnemyBehaviour15(Enemy* enemy, int32_t phase) {
    RunWaveEnemy(enemy, phase, kWaveKinds[5]);
}

void BossEnemyBehaviour(Enemy* boss, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            boss->life = 200.0;
            boss->maxLife = 200.0;
            boss->param = 0;
            boss->ints[kOrbitAngle] = 0;
            boss->ints[kOrbitRadius] = 250;
            boss->ints[2] = 0;
            boss->guard = 60;
            RequestSound(kSoundBoss);
            return;
        case kBehaviourUpdate:
            BossUpdate(boss);
            return;
        case kBehaviourDraw: {
            if (boss->owner == nullptr) {
                return;
            }
            QueueImageDraw(&FrontDrawQueue, PlayImages.bossShadow, EffectScreen, -100, kBlendAlpha,
                           boss->x + 64.0 - 16.0, 492.0, 1.0, MakeDefaultColor(), 0);
            DrawEnemyBody(*boss, 0.12, 10, true);
            return;
        }
        case kBehaviourKilled:
            BossKilled(boss);
            return;
        default:
            return;
    }
}
