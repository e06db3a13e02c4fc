// The pooled objects' behaviours: the player's shots and bomb with its pieces,
// items, particles and texts, the turrets, the game-over and level-up objects.
// The wave spawners are in wave_spawners.cpp.
//
// Routes: each behaviour switches on the phase; collisions live in phase 4,
// after every object of the frame has moved. Draws go to the front queue on
// the play field screen, at the field offset unless a behaviour says otherwise.
#include "game/behaviour/behaviour_tables.h"
#include "game/behaviour/behaviours.h"
#include "game/behaviour/shot_request_internal.h"
#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/math/animation_frame.h"
#include "game/play/frame_requests.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"

namespace {

constexpr int32_t kSoundEnemyShotA = 10;
constexpr int32_t kSoundBomb = 4;
constexpr int32_t kSoundHit = 17;
constexpr int32_t kBurstKind = 2;
constexpr int32_t kShardKind = 5;
constexpr int32_t kRingKind = 6;
constexpr int32_t kGameOverAge = 200;

GameScene* Scene(const PooledObject* object) {
    return static_cast<GameScene*>(object->owner);
}

TaskPool* Pool(const PooledObject* object) {
    GameScene* scene = Scene(object);
    return scene != nullptr ? &scene->pool : nullptr;
}

void DrawTurned(const PooledObject& object, int32_t image, int32_t layer, int32_t blend,
                double angle, double alpha) {
    QueueRotatedImageDraw(&FrontDrawQueue, image, EffectScreen, layer, blend, object.x + 64.0,
                          object.y + 16.0, object.scale, angle, alpha, MakeDefaultColor(), 0);
}

int32_t BurstCell(int32_t age, double speed) {
    return PlayImages.burst[AnimationCellIndex(0, 16, age, speed)];
}

// Every active bullet under the object's hit circle starts vanishing.
void ClearBulletsUnder(PooledObject* object) {
    GameScene* scene = Scene(object);
    if (scene == nullptr) {
        return;
    }
    for (Bullet* bullet : scene->bullets.order) {
        if (bullet->active != 0 && HitTest(object->hit, *object, bullet->hit, *bullet)) {
            bullet->state = kStateVanishing;
        }
    }
}

// Enemies the pool may test: the live range of the last enemy update.
template <class Visit>
void ForEachLiveEnemy(GameScene* scene, Visit&& visit) {
    if (scene == nullptr) {
        return;
    }
    EnemyManager& enemies = scene->enemies;
    for (int32_t i = 0; i < enemies.activeEnd && i < kEnemyCapacity; ++i) {
        Enemy* enemy = enemies.order[i];
        if (enemy->active != 0) {
            visit(enemy);
        }
    }
}

void ShotHitsEnemies(PooledObject* shot) {
    ForEachLiveEnemy(Scene(shot), [&](Enemy* enemy) {
        if (!HitTest(shot->hit, *shot, enemy->shotHit, *enemy)) {
            return;
        }
        RequestSound(kSoundHit);
        QueueObjectSpawn(Pool(shot), kBurstKind, shot->x, shot->y, shot->speed * 0.125, shot->angle,
                         3, 1.0, 1.5, 0.0);
        enemy->life -= 1.0;
        CurrentPlay.score += 10;
        shot->active = 0;  // the scan goes on: one shot hits all it overlaps
    });
}

void ShardHitsEnemies(PooledObject* shard) {
    ForEachLiveEnemy(Scene(shard), [&](Enemy* enemy) {
        if (!HitTest(shard->hit, *shard, enemy->shotHit, *enemy)) {
            return;
        }
        RequestSound(kSoundHit);
        for (int i = 0; i < 3; ++i) {
            double angle = RandomReal(360.0);
            double speed = RandomReal(4.0);
            QueueObjectSpawn(Pool(shard), kBurstKind, enemy->x, enemy->y, speed, angle, 0, 1.0, 0.0,
                             0.0);
        }
        enemy->life -= 1.0;
    });
}

// A turret's ring; the bomb-coloured pattern both turrets share.
void FireTurretRing(PooledObject* turret, double speed, double angle) {
    GameScene* scene = Scene(turret);
    if (scene == nullptr) {
        return;
    }
    BulletRequest model = CommonShotRequest(4, 12, turret->x, turret->y, speed, angle);
    FireBulletRing(&scene->bullets, model, CurrentPlay.level / 4 + 3, 0, 35.0);
}

// Turret scratch values.
constexpr int kSpin = 0;
constexpr int kLife = 1;
constexpr int kFrame = 2;

}  // namespace

void ObjectKind0Behaviour(PooledObject* object, int32_t phase) {
    if (phase == kBehaviourUpdate && object->y < 32.0) {
        object->killed = 1;
    } else if (phase == kBehaviourDraw) {
        QueueRotatedImageDraw(&FrontDrawQueue, BurstCell(object->age, 0.16), EffectScreen, 0,
                              kBlendAlpha, object->x, object->y, object->scale, 0.0, 1.0,
                              MakeDefaultColor(), 0);
    }
}

void PlayerShotBehaviour(PooledObject* shot, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            MakeHitCircle(&shot->hit, 20.0);
            shot->visible = 1;
            return;
        case kBehaviourUpdate:
            if (shot->y < -16.0) {
                shot->killed = 1;
            }
            return;
        case kBehaviourDraw:
            DrawTurned(*shot, PlayImages.shot, 1, kBlendAdd, shot->angle - 90.0, 1.0);
            return;
        case kBehaviourInteraction:
            ShotHitsEnemies(shot);
            return;
        default:
            return;
    }
}

void DeathBurstBehaviour(PooledObject* burst, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            burst->visible = 1;
            burst->scale = burst->p5;
            return;
        case kBehaviourUpdate:
            if (burst->age * burst->p4 > 15.0) {
                burst->active = 0;
            }
            return;
        case kBehaviourDraw:
            DrawTurned(*burst, BurstCell(burst->age, burst->p4), 1, kBlendAdd, burst->angle, 1.0);
            return;
        default:
            return;
    }
}

void ItemBehaviour(PooledObject* item, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            item->visible = 1;
            item->SetSpeed(0.0);
            item->SetAngle(270.0);
            MakeHitCircle(&item->hit, 16.0);
            return;
        case kBehaviourUpdate:
            if (item->y > 496.0) {
                item->killed = 1;
            }
            if (item->speed < 8.0) {
                item->AddSpeed(0.1);
            }
            return;
        case kBehaviourDraw:
            DrawTurned(*item, PlayImages.item, 1, kBlendAlpha, item->age * 4.0, 1.0);
            if (CurrentPlay.mode == kModeTwoMinutes && item->param == 1) {
                DrawTurned(*item, PlayImages.itemBonus, 1, kBlendAlpha, 0.0, 1.0);
            }
            return;
        default:
            return;
    }
}

void BombShardBehaviour(PooledObject* shard, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            MakeHitCircle(&shard->hit, 50.0);
            shard->scale = 1.0;
            return;
        case kBehaviourUpdate:
            if (shard->scale < 6.0) {
                shard->scale += 0.15;
            }
            shard->hit.radius = 32.0 * shard->scale;
            if (shard->age > 70) {
                shard->active = 0;
            }
            return;
        case kBehaviourInteraction:
            ClearBulletsUnder(shard);
            ShardHitsEnemies(shard);
            return;
        default:
            return;
    }
}

void BombRingBehaviour(PooledObject* ring, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            ring->visible = 1;
            MakeHitCircle(&ring->hit, 40.0);
            ring->scale = 1.0;
            return;
        case kBehaviourUpdate:
            ring->AddAngle(ring->param != 0 ? 2.0 : -2.0);
            ring->AddSpeed(0.1);
            ring->y -= 2.0;
            if (ring->age > 20) {
                ring->alpha -= 0.1;
            }
            if (ring->age > 30) {
                ring->active = 0;
            }
            return;
        case kBehaviourDraw:
            DrawTurned(*ring, PlayImages.bombRing, 1, kBlendAdd, ring->angle - 90.0, ring->alpha);
            return;
        default:
            return;
    }
}

void BombBehaviour(PooledObject* bomb, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            MakeHitCircle(&bomb->hit, 64.0);
            bomb->scale = 1.0;
            bomb->ints[0] = 0;
            RequestSound(kSoundBomb);
            QueueObjectSpawn(Pool(bomb), kShardKind, bomb->x, bomb->y, 2.0, 90.0, 0, 0.0, 0.0, 0.0);
            return;
        case kBehaviourUpdate: {
            int32_t counter = bomb->ints[0];
            if (counter % 4 == 0) {
                // The rings alternate their half step and, with it, their turn.
                int32_t half = (counter / 4) % 2;
                SpawnObjectRing(Pool(bomb), kRingKind, bomb->x, bomb->y, 5.0, 90.0, 18, 0.0, half,
                                half, 0.0, 0.0, 0.0);
            }
            bomb->y -= 2.0;
            bomb->ints[0] = counter + 1;
            if (bomb->ints[0] > 40) {
                bomb->active = 0;
            }
            return;
        }
        case kBehaviourInteraction:
            ClearBulletsUnder(bomb);
            return;
        default:
            return;
    }
}

void ObjectKind8Behaviour(PooledObject* turret, int32_t phase) {
    int32_t level = CurrentPlay.level;
    if (phase == kBehaviourInit) {
        turret->ints[kSpin] = static_cast<int32_t>(RandomReal(360.0));
        turret->ints[kLife] = level / 2 + 40;
        turret->ints[kFrame] = 0;
        return;
    }
    if (phase != kBehaviourUpdate) {
        return;
    }
    turret->ints[kLife] -= 1;
    turret->ints[kFrame] += 1;
    if (turret->ints[kSpin] % (4 - level / 10) == 0) {
        RequestSound(kSoundEnemyShotA);
        FireTurretRing(turret, turret->ints[kFrame] * 0.05 + 1.2,
                       turret->ints[kSpin] + turret->ints[kFrame] * 0.5);
    }
    turret->ints[kSpin] += 1;
    if (turret->ints[kLife] <= 0) {
        turret->active = 0;
    }
}

void ObjectKind9Behaviour(PooledObject* turret, int32_t phase) {
    int32_t level = CurrentPlay.level;
    if (phase == kBehaviourInit) {
        turret->ints[kFrame] = 0;
        turret->ints[kLife] = level + 40;
        turret->ints[kSpin] = static_cast<int32_t>(RandomReal(360.0));
        return;
    }
    if (phase != kBehaviourUpdate) {
        return;
    }
    turret->ints[kLife] -= 1;
    if (turret->ints[kFrame] % 4 == level / 10) {
        FireTurretRing(turret, turret->ints[kFrame] * 0.12 + 1.8, turret->ints[kSpin]);
    }
    turret->ints[kFrame] += 1;
    if (turret->ints[kLife] <= 0) {
        turret->active = 0;
    }
}

void TimePenaltyTextBehaviour(PooledObject* text, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            text->visible = 1;
            text->p4 = 1.0;
            return;
        case kBehaviourUpdate:
            if (text->age > 30) {
                text->p4 -= 0.033;
            }
            if (text->age >= 60) {
                text->active = 0;
            }
            return;
        case kBehaviourDraw:
            QueueTextDraw(&FrontDrawQueue, "-15Sec!", 0, EffectScreen, -1000, kBlendAlpha,
                          text->x - 49.0 + 64.0, text->y - 8.0 + 16.0, text->p4, MakeDefaultColor(),
                          0);
            return;
        default:
            return;
    }
}

void BossParticleBehaviour(PooledObject* particle, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            particle->visible = 1;
            particle->scale = particle->p5;
            particle->ints[0] = static_cast<int32_t>(RandomReal(360.0));
            return;
        case kBehaviourUpdate:
            if (particle->age * particle->p4 > 15.0) {
                particle->active = 0;
            }
            return;
        case kBehaviourDraw:
            DrawTurned(*particle,
                       PlayImages.particle[AnimationCellIndex(0, 16, particle->age, particle->p4)],
                       11, kBlendAdd, particle->ints[0], 1.0);
            return;
        default:
            return;
    }
}

// Never queued by the game.
void ObjectKind22Behaviour(PooledObject* object, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            object->visible = 1;
            object->scale = object->p5;
            object->p4 = 0.0;
            return;
        case kBehaviourUpdate:
            if (object->age * object->p4 > 15.0) {
                object->active = 0;
            }
            return;
        case kBehaviourDraw:
            QueueRotatedImageDraw(&FrontDrawQueue, BurstCell(object->age, 0.25), EffectScreen, 11,
                                  kBlendAdd, 64.0, 16.0, object->scale, 0.0, object->p4,
                                  MakeDefaultColor(), 0);
            return;
        default:
            return;
    }
}

// Never queued by the game.
void ObjectKind23Behaviour(PooledObject* object, int32_t phase) {
    if (phase == kBehaviourInit) {
        object->visible = 1;
        object->scale = object->p5;
        object->p4 = 0.0;
    } else if (phase == kBehaviourUpdate && object->age % 2 == 0) {
        object->active = 0;
    }
}

void GameOverBehaviour(PooledObject* object, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            object->visible = 1;
            object->scale = 1.0;
            object->alpha = 0.0;
            return;
        case kBehaviourUpdate:
            if (object->alpha < 1.0) {
                object->alpha += 0.02;
            }
            if (object->age != kGameOverAge) {
                return;
            }
            if (ReplayPlayback != 0) {
                RequestSceneChange(3, 20, MakeColor(0, 0, 0));
                return;
            }
            {
                GameScene* scene = Scene(object);
                int32_t bombs = scene != nullptr ? scene->bombsThisGame : 0;
                SetGameOverUnlocks(&GameScoreFile, CurrentPlay.mode, CurrentPlay.lives, bombs,
                                   CurrentPlay.level);
            }
            RequestSceneChange(6, 20, MakeColor(0, 0, 0));
            return;
        case kBehaviourDraw:
            for (int32_t image : PlayImages.gameOver) {
                QueueRotatedImageDraw(&FrontDrawQueue, image, EffectScreen, -10000, kBlendAlpha,
                                      256.0, 256.0, object->scale, 0.0, object->alpha,
                                      MakeDefaultColor(), 0);
            }
            return;
        default:
            return;
    }
}

void LevelUpBehaviour(PooledObject* object, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            object->visible = 1;
            object->scale = 1.0;
            object->p4 = 1.2;
            return;
        case kBehaviourUpdate:
            object->p4 -= 0.025;
            object->scale += 0.025;
            if (object->p4 <= 0.0) {
                object->active = 0;
            }
            return;
        case kBehaviourDraw:
            QueueRotatedImageDraw(&FrontDrawQueue, PlayImages.levelUp, EffectScreen, -10000,
                                  kBlendAlpha, 256.0, 256.0, object->scale, 0.0, object->p4,
                                  MakeDefaultColor(), 0);
            return;
        default:
            return;
    }
}

// Never queued by the game.
void WarpObjectBehaviour(PooledObject* object, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            object->p4 = 0.0;
            object->param = 0;
            return;
        case kBehaviourUpdate:
            if (object->y < 32.0) {
                object->killed = 1;
            }
            return;
        case kBehaviourDraw:
            QueueWarpDraw(&FrontDrawQueue, EffectScreen, 10000, object->x, object->y, 1.0);
            return;
        default:
            return;
    }
}
