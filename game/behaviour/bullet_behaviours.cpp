// The bullet behaviours: movement added to a bullet in its normal state.
#include "game/behaviour/behaviour_tables.h"
#include "game/behaviour/behaviours.h"
#include "game/bullets/bullet_manager.h"
#include "game/play/frame_requests.h"
#include "game/play/game_scene.h"

namespace {

constexpr int32_t kSoundEnemyShotA = 10;
constexpr int32_t kTrailKind = 6;
constexpr int32_t kTimeoutBehaviour = 4;
constexpr int32_t kTimeoutAge = 50;

}  // namespace

void BulletCurveBehaviour(Bullet* bullet, int32_t phase) {
    if (phase != kBehaviourUpdate) {
        return;
    }
    bullet->AddAngle(1.0);
    if (bullet->y > 400.0) {
        bullet->state = kStateVanishing;
    }
}

void BulletBounceBehaviour(Bullet* bullet, int32_t phase) {
    if (phase != kBehaviourUpdate || bullet->x >= 64.0) {
        return;
    }
    bullet->x = (64.0 - bullet->x) + 64.0;
    bullet->MultiplyVx(-1.0);
}

// Leaves a slow bullet behind every third frame, which times out.
void BulletBurstBehaviour(Bullet* bullet, int32_t phase) {
    if (phase != kBehaviourUpdate || bullet->age % 3 != 0 || bullet->owner == nullptr) {
        return;
    }
    RequestSound(kSoundEnemyShotA);
    BulletRequest model{};
    model.kind = kTrailKind;
    model.behaviour = kTimeoutBehaviour;
    model.colour = HueToColor(110, 1.0, 255);
    model.x = bullet->x;
    model.y = bullet->y;
    model.speed = static_cast<double>(0.1f);
    model.angle = bullet->angle + 180.0;
    model.scale = 0.6;
    model.appearFrames = 20;
    model.appearSpeed = 0.5;
    model.appearScaleFactor = 2.0;
    FireBulletFan(&bullet->owner->bullets, model, 1, 1.0, 0, 0.0);
}

void BulletTimeoutBehaviour(Bullet* bullet, int32_t phase) {
    if (phase == kBehaviourUpdate && bullet->age == kTimeoutAge) {
        bullet->state = kStateVanishing;
    }
}
