// The bullet manager's queue, spawn and update. The draw passes are in
// bullet_drawing.cpp.
#include "game/bullets/bullet_manager.h"

#include "foundation/runtime/main_window.h"
#include "game/behaviour/behaviour_tables.h"
#include "game/play/pool_steps.h"
#include "game/play/spawn_geometry.h"

namespace {

// Single-precision constants widened to double, as the game was tuned with them.
constexpr double kAppearAlphaSpan = 0.8f;
constexpr double kRingSpacing = 1.2f;
constexpr double kThird = 1.0f / 3.0f;
constexpr double kRingTurnUnit = 0.0001f;
constexpr double kRingShrink = 0.91f;
constexpr double kVanishSpeed = 0.4f;

constexpr double kPhaseStep = 0.08;
constexpr double kFieldWidth = 384.0;
constexpr double kFieldHeight = 480.0;
constexpr double kTrailTurn = 17.0;
constexpr int32_t kVanishFrames = 15;
constexpr double kVanishStep = 0.0625;
constexpr int32_t kRingFadeAfter = 24;
constexpr int32_t kRingRestartAfter = 29;
constexpr double kRingFade = 0.8;

bool IsKind(int32_t kind) {
    return kind >= 0 && kind < kKindRows;
}

const BulletInfoRow& RowOf(const BulletManager& manager, int32_t kind) {
    return BulletKindRow(manager, kind);
}

double RingTurn(BulletManager* manager) {
    return NextDrawRandom(&manager->ringTurns) * kRingTurnUnit;
}

void StartPulseRings(BulletManager* manager, Bullet* bullet, const BulletInfoRow& row) {
    for (int i = 0; i < kPulseRings; ++i) {
        bullet->ringTimer[i] = 10 * i;
        bullet->ringSize[i] = row.height * kRingSpacing * kThird * i;
        bullet->ringAngle[i] = RingTurn(manager);
        bullet->ringAlpha[i] = 1.0;
    }
}

// A bullet whose appear style skips appearing starts in the normal state.
bool SkipsAppearing(const BulletInfoRow& row) {
    return row.int1 == 0 || row.int1 == 6;
}

Bullet BuildBullet(BulletManager* manager, const BulletRequest& request) {
    const BulletInfoRow& row = RowOf(*manager, request.kind);
    Bullet bullet{};
    bullet.kind = request.kind;
    bullet.behaviour = request.behaviour;
    bullet.colour.Set(request.colour);
    bullet.Launch(request.x, request.y, request.speed, request.angle);
    bullet.owner = request.owner;
    bullet.blendAdd = request.blendAdd;
    bullet.fade.appearSpeed = request.appearSpeed;
    bullet.scale = request.scale;
    bullet.state = kStateAppearing;
    bullet.phaseTime = 0.0;
    bullet.active = 1;
    MakeHitCircle(&bullet.hit, row.real3);
    bullet.lifetime = request.lifetime;
    bullet.p4 = request.p4;
    bullet.p5 = request.p5;
    bullet.p6 = request.p6;
    bullet.priority = static_cast<int32_t>(bullet.scale * 1000.0 * row.real3);
    bullet.vanishSpeed = kVanishSpeed;
    bullet.vanishAlpha = 1.0;
    bullet.vanishScale = 1.0;
    bullet.vanishShrink = 1.0;
    StartPulseRings(manager, &bullet, row);
    StartAppearFade(&bullet.fade, request.appearFrames, row.real1 * request.appearScaleFactor,
                    row.real2, kAppearAlphaSpan, row.int1 == 3);
    if (SkipsAppearing(row)) {
        bullet.state = kStateNormal;
    }
    return bullet;
}

// The first vanishing frame takes its look from the kind's vanish style.
void StartVanishing(Bullet* bullet, const BulletInfoRow& row) {
    switch (row.int2) {
        case 0:
            bullet->vanishGrow = 0.0;
            bullet->vanishCount = kVanishFrames;  // gone in this very step
            break;
        case 1:
            bullet->vanishGrow = kVanishStep;
            bullet->vanishFade = kVanishStep;
            bullet->vanishScale = bullet->scale;
            break;
        case 2:
        case 3:
            bullet->vanishGrow = kVanishStep;
            bullet->vanishFade = kVanishStep;
            bullet->vanishScale = 1.0;
            break;
        default:
            break;
    }
}

void StepVanishing(Bullet* bullet, const BulletInfoRow& row) {
    if (bullet->vanishCount == 0) {
        StartVanishing(bullet, row);
    }
    bullet->AdvanceScaled(bullet->vanishSpeed);
    bullet->vanishAlpha -= bullet->vanishFade;
    bullet->vanishScale += bullet->vanishGrow;
    bullet->vanishShrink -= bullet->vanishGrow;
    bullet->vanishCount += 1;
    if (bullet->vanishCount > kVanishFrames - 1) {
        bullet->active = 0;
    }
}

// A trail emitter leaves a still bullet of the kind its image row names.
void QueueTrailBullet(BulletManager* manager, const Bullet& emitter, const BulletInfoRow& row) {
    BulletRequest trail{};
    trail.kind = row.imageRow;
    trail.behaviour = -1;
    trail.colour = MakeColorAlpha(255, 255, 255, 0);
    trail.x = emitter.x;
    trail.y = emitter.y;
    trail.speed = 0.0;
    trail.angle = emitter.phaseTime * kTrailTurn + emitter.angle;
    trail.blendAdd = 1;
    trail.scale = emitter.scale;
    trail.appearFrames = 0;
    trail.appearSpeed = 0.0;
    trail.appearScaleFactor = 1.0;
    trail.lifetime = emitter.lifetime;
    QueueBulletSpawn(manager, trail);
}

// A bullet more than its margin outside the field is dropped, without vanishing.
void DropIfOutsideField(const BulletManager& manager, Bullet* bullet, const BulletInfoRow& row) {
    const BulletInfoRow& marginRow = row.style == kBulletTrail ? RowOf(manager, row.imageRow) : row;
    double margin = marginRow.hitRadius * bullet->scale;
    if (bullet->age <= bullet->minAge) {
        return;
    }
    if (bullet->x < -margin || bullet->x > kFieldWidth + margin || bullet->y < -margin ||
        bullet->y > kFieldHeight + margin) {
        bullet->active = 0;
    }
}

void StepNormal(BulletManager* manager, Bullet* bullet, const BulletInfoRow& row) {
    if (bullet->behaviour >= 0) {
        RunBehaviour(BulletBehaviours, bullet->behaviour, bullet, kBehaviourUpdate);
    }
    bullet->age += 1;
    bullet->phaseTime += kPhaseStep;
    bullet->Advance();
    if (row.style == kBulletTrail) {
        QueueTrailBullet(manager, *bullet, row);
    }
    DropIfOutsideField(*manager, bullet, row);
    if (bullet->state == kStateVanishing) {
        StepVanishing(bullet, row);
    }
}

void AdvancePulseRings(BulletManager* manager, Bullet* bullet, const BulletInfoRow& row) {
    for (int i = 0; i < kPulseRings; ++i) {
        bullet->ringTimer[i] += 1;
        bullet->ringSize[i] *= kRingShrink;
        if (bullet->ringTimer[i] > kRingFadeAfter) {
            bullet->ringAlpha[i] *= kRingFade;
        }
        if (bullet->ringTimer[i] > kRingRestartAfter) {
            bullet->ringTimer[i] = 0;
            bullet->ringSize[i] = row.height * kRingSpacing * bullet->scale;
            bullet->ringAngle[i] = RingTurn(manager);
            bullet->ringAlpha[i] = 1.0;
        }
    }
}

void UpdateBullet(BulletManager* manager, Bullet* bullet) {
    const BulletInfoRow& row = RowOf(*manager, bullet->kind);
    switch (bullet->state) {
        case kStateAppearing:
            if (StepAppearFade(&bullet->fade, bullet, &bullet->colour, true)) {
                bullet->state = kStateNormal;
            }
            break;
        case kStateNormal:
            StepNormal(manager, bullet, row);
            break;
        case kStateVanishing:
            bullet->phaseTime += kPhaseStep;
            StepVanishing(bullet, row);
            break;
        default:
            break;
    }
    if (row.style == kBulletTimed && bullet->age >= bullet->lifetime) {
        bullet->active = 0;
    }
    if (row.style == kBulletPulse) {
        AdvancePulseRings(manager, bullet, row);
    }
}

// One bullet of a fan or a ring: the model's values at its own angle and place.
void QueueMemberOf(BulletManager* manager, const BulletRequest& model, double angle, double x,
                   double y) {
    BulletRequest member = model;
    member.x = x;
    member.y = y;
    member.angle = angle;
    QueueBulletSpawn(manager, member);
}

}  // namespace

BulletManager::BulletManager(const BulletInfoRow (&rows)[kKindRows],
                             const BulletImageTable& imageTable)
    : images(imageTable) {
    for (int i = 0; i < kKindRows; ++i) {
        kindRows[i] = rows[i];
    }
}

const BulletInfoRow& BulletKindRow(const BulletManager& manager, int32_t kind) {
    static const BulletInfoRow kEmptyRow{};
    return IsKind(kind) ? manager.kindRows[kind] : kEmptyRow;
}

void ConstructBulletManager(BulletManager* manager) {
    manager->capacity = kBulletCapacity;
    ResetPoolOrder(manager);
}

void QueueBulletSpawn(BulletManager* manager, const BulletRequest& request) {
    if (!IsKind(request.kind)) {
        return;  // no row to build it from
    }
    BulletRequest queued = request;
    queued.owner = manager->owner;
    AppendSpawnRequest(manager, queued);
}

void FireBulletFan(BulletManager* manager, const BulletRequest& model, int32_t count, double spread,
                   int32_t spreadIsStep, double radius) {
    ForEachFanMember(
        count, model.x, model.y, model.angle, spread, spreadIsStep, radius,
        [&](double angle, double x, double y) { QueueMemberOf(manager, model, angle, x, y); });
}

void FireBulletRing(BulletManager* manager, const BulletRequest& model, int32_t count,
                    int32_t halfStep, double radius) {
    ForEachRingMember(
        count, model.x, model.y, model.angle, radius, halfStep,
        [&](double angle, double x, double y) { QueueMemberOf(manager, model, angle, x, y); });
}

void UpdateBulletManager(BulletManager* manager) {
    ResetPassCounters(manager);
    RunSpawnStep(manager, [manager](const BulletRequest& request, Bullet* slot) {
        *slot = BuildBullet(manager, request);
    });
    RunUpdatePass(manager, [manager](Bullet* bullet) { UpdateBullet(manager, bullet); });
    SortLiveFirst(manager);
    tessel::SetBackgroundRgb(32, 32, 128);
}
