// The enemy manager: the enemies of the play scene, up to 128 at once. It
// follows the task pool's design (fixed records, a pointer vector kept in
// order, a request queue applied at the start of its update, the same counters
// and sorts), with an appearing fade and a life value. An enemy's conduct is
// the enemy behaviour table's slot for its kind, called with the phases init,
// update, draw and killed. Collisions with enemies are made by the pooled
// objects' interaction phase; the manager has none of its own.
#pragma once

#include <array>
#include <cstdint>

#include "game/math/hit_shape.h"
#include "game/play/appear_fade.h"
#include "game/play/kind_rows.h"
#include "game/play/motion.h"
#include "game/play/pool_steps.h"
#include "game/pool/task_pool.h"

struct GameScene;

constexpr int kEnemyCapacity = 128;

struct Enemy : Motion {
    HitShape bodyHit;  // the player touches this
    int32_t param;     // from the request; the wave enemies count frames in it
    int32_t ints[7];   // scratch for the behaviours, zero at spawn
    double p4;
    double p5;
    double p6;
    double reals[5];
    double life;  // hit points left; set by the init phase
    double maxLife;
    int32_t active;
    int32_t kind;      // its behaviour and its kind row
    int32_t priority;  // greater first
    int32_t age;       // normal frames gone through
    int32_t state;     // a LifeState
    int32_t guard;     // counts down each normal frame; wave enemies leave only below 1
    HitShape shotHit;  // player shots and bomb pieces test this
    GameScene* owner;
    ColourPair colour;
    AppearFade fade;
    double scale;
    double phaseTime;   // + 0.08 a normal or vanishing frame
    int32_t keepAlive;  // while set, the enemy is not ended
};

struct EnemySpawnRequest {
    int32_t kind;
    int32_t appearFrames;
    int32_t param;
    double x;
    double y;
    double speed;
    double angle;
    double p4;
    double p5;
    double p6;
    GameScene* owner;
};

struct EnemyManager : RecordPool<Enemy, EnemySpawnRequest, kEnemyCapacity, GameScene*> {
    // Copies the kind rows and the image table; every enemy starts free.
    EnemyManager(const EnemyInfoRow (&kindRows)[kKindRows], const EnemyImageTable& images);

    EnemyInfoRow kindRows[kKindRows];
    EnemyImageTable images;
};

// Frees every enemy and empties the queue; the copied tables stay.
void ConstructEnemyManager(EnemyManager* manager);

// The row of an enemy kind; a kind outside the table reads as an empty row.
const EnemyInfoRow& EnemyKindRow(const EnemyManager& manager, int32_t kind);

// Queues one enemy (its owner is the manager's) that fades in over
// `appearFrames` frames. A 641st request in one frame is dropped.
void QueueEnemySpawn(EnemyManager* manager, int32_t kind, double x, double y, double speed,
                     double angle, int32_t appearFrames, int32_t param, double p4, double p5,
                     double p6);

// The frame's step: spawn, update every enemy (an enemy at no life ends in the
// frame), sort the live ones to the front.
void UpdateEnemyManager(EnemyManager* manager);
// Runs phase 2 of every active enemy among the live range, in order.
void DrawEnemies(EnemyManager* manager);
// Ends a live enemy unless it is kept alive: it becomes inactive, then its
// killed phase runs (score, sound, items). An enemy already ended is left alone.
void FinishEnemy(Enemy* enemy);
