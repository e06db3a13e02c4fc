// The wave spawners: invisible pooled objects that queue the enemies of one
// wave and end. Each counts frames in its first scratch value (1 at spawn)
// and the enemies it queued in its second. Also the stage's floor scroll.
#include <cmath>

#include "game/behaviour/behaviour_tables.h"
#include "game/behaviour/behaviours.h"
#include "game/math/angles.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"

namespace {

constexpr int kFrame = 0;
constexpr int kQueued = 1;
constexpr int32_t kBurstFrame = 40;

EnemyManager* Enemies(PooledObject* spawner) {
    auto* scene = static_cast<GameScene*>(spawner->owner);
    return scene != nullptr ? &scene->enemies : nullptr;
}

void QueueEnemy(PooledObject* spawner, int32_t kind, double x, double y, double speed,
                double heading) {
    EnemyManager* enemies = Enemies(spawner);
    if (enemies != nullptr) {
        QueueEnemySpawn(enemies, kind, x, y, speed, heading, 0, 0, 0.0, 0.0, 0.0);
    }
    spawner->ints[kQueued] += 1;
}

struct SideStream {
    int32_t kind;
    int32_t total;
    double rightHeading;  // the heading's base from the right edge ...
    double leftHeading;   // ... and from the left
    double headingSpread;
    double rightSpeed;
    double leftSpeed;
};

// Every 16th frame one enemy from an edge, the sides changing every 32 frames.
void RunSideStream(PooledObject* spawner, const SideStream& stream) {
    int32_t frame = spawner->ints[kFrame];
    if (frame % 16 == 0) {
        bool right = (frame / 32) % 2 == 0;
        double heading =
            (right ? stream.rightHeading : stream.leftHeading) + RandomReal(stream.headingSpread);
        double y = 32.0 + RandomReal(2 * CurrentPlay.level + 150);
        QueueEnemy(spawner, stream.kind, right ? 400.0 : -16.0, y,
                   right ? stream.rightSpeed : stream.leftSpeed, heading);
    }
    spawner->ints[kFrame] = frame + 1;
    if (spawner->ints[kQueued] >= stream.total) {
        spawner->active = 0;
    }
}

// At frame 40, carriers dropping in from the top edge; then the spawner ends.
void QueueCarrier(PooledObject* spawner, int32_t kind, double x, double baseSpeed) {
    double heading = 268.0 + RandomReal(4.0);
    double speed = baseSpeed + RandomReal(2.0);
    QueueEnemy(spawner, kind, x, -32.0, speed, heading);
}

template <class Burst>
void RunBurstAtForty(PooledObject* spawner, Burst&& burst) {
    if (spawner->ints[kFrame] == kBurstFrame) {
        burst();
        spawner->active = 0;
    }
    spawner->ints[kFrame] += 1;
}

// Pairs from the top, one near each side, every 16th frame until twelve.
void RunPairs(PooledObject* spawner) {
    int32_t frame = spawner->ints[kFrame];
    if (frame % 16 == 0) {
        double rightSpeed = 2.5 + RandomReal(1.0);
        double rightX = 352.0 - RandomReal(60.0);
        QueueEnemy(spawner, 12, rightX, -32.0, rightSpeed, 270.0);
        double leftSpeed = 2.5 + RandomReal(1.0);
        double leftX = 32.0 + RandomReal(60.0);
        QueueEnemy(spawner, 12, leftX, -32.0, leftSpeed, 270.0);
    }
    spawner->ints[kFrame] = frame + 1;
    if (spawner->ints[kQueued] >= 12) {
        spawner->active = 0;
    }
}

template <class Update>
void RunSpawner(PooledObject* spawner, int32_t phase, Update&& update) {
    if (phase == kBehaviourInit) {
        spawner->ints[kFrame] = 1;
        spawner->ints[kQueued] = 0;
    } else if (phase == kBehaviourUpdate) {
        update(spawner);
    }
}

constexpr SideStream kStream10{10, 12, 178.0, -2.0, 4.0, 3.2, 3.2};
constexpr SideStream kStream14{14, 10, 179.0, -1.0, 2.0, 2.7, 2.8};

}  // namespace

void WaveSpawnerBehaviour10(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, [](PooledObject* s) { RunSideStream(s, kStream10); });
}

void WaveSpawnerBehaviour11(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, [](PooledObject* s) {
        RunBurstAtForty(s, [s] {
            QueueCarrier(s, 11, 72.0, 20.0);
            QueueCarrier(s, 11, 152.0, 30.0);
            QueueCarrier(s, 11, 232.0, 30.0);
            QueueCarrier(s, 11, 312.0, 20.0);
        });
    });
}

void WaveSpawnerBehaviour12(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, RunPairs);
}

void WaveSpawnerBehaviour13(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, [](PooledObject* s) {
        RunBurstAtForty(s, [s] {
            QueueCarrier(s, 13, 102.0, 60.0);
            QueueCarrier(s, 13, 282.0, 60.0);
        });
    });
}

void WaveSpawnerBehaviour14(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, [](PooledObject* s) { RunSideStream(s, kStream14); });
}

void WaveSpawnerBehaviour15(PooledObject* spawner, int32_t phase) {
    RunSpawner(spawner, phase, [](PooledObject* s) {
        RunBurstAtForty(s, [s] {
            QueueCarrier(s, 15, 102.0, 60.0);
            QueueCarrier(s, 15, 282.0, 60.0);
        });
    });
}

// Scrolls every floor model in use by 4 units a frame, wrapping at its tile.
void PlayerBehaviour1(StageBlock* stage, int32_t phase) {
    if (phase != kBehaviourUpdate) {
        return;
    }
    for (int i = 0; i < kStageModelSlots; ++i) {
        if (stage->models[i].model == -1) {
            continue;
        }
        stage->scroll[i] = std::fmod(stage->scroll[i] + 4.0, stage->models[i].tileLength);
        stage->viewCentre[2] = PolarX(0.1, stage->scrollDistance);
        stage->viewCentre[0] = 0.6;
        stage->scrollDistance += 1;
    }
}
