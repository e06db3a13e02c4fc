// The task pool: every short-lived thing of a scene that is neither an enemy
// nor an enemy bullet (the player's shots, the bomb and its pieces, items,
// particles, texts, the invisible wave spawners, the game-over and level-up
// objects). Nothing is created or destroyed while a frame runs: the pool holds
// a fixed number of records, and a new object is asked for with a spawn
// request that the pool applies at the start of its next update. An object's
// conduct is the object behaviour table's slot for its kind, called with a
// phase (init, update, draw, killed, interaction).
//
// Objects never move in memory; only the order vector is permuted, so a
// behaviour may keep a pointer to another object for the life of the scene,
// but not to the object being built during its init phase (it is built aside
// and copied into its slot afterwards).
#pragma once

#include <array>
#include <cstdint>

#include "game/math/hit_shape.h"
#include "game/play/motion.h"
#include "game/play/pool_steps.h"

constexpr int kTaskPoolCapacity = 4096;

struct PooledObject : Motion {
    HitShape hit;     // for the behaviours that collide
    void* owner;      // the scene that owns the pool
    int32_t param;    // from the request
    int32_t ints[7];  // scratch, zero at spawn
    double p4;        // p4 to p6 from the request
    double p5;
    double p6;
    double reals[5];   // scratch, zero at spawn
    int32_t active;    // 1 while the object lives
    int32_t kind;      // its slot in the object behaviour table
    int32_t priority;  // greater is updated and drawn first; 0 for every object
    int32_t age;       // updates gone through
    int32_t killed;    // set to 1 to have the object ended after its update
    int32_t flags[3];  // free for the behaviours, zero at spawn
    int32_t visible;   // the draw phase runs only while set
    double scale;
    double alpha;
};

struct SpawnRequest {
    int32_t kind;
    int32_t param;
    double x;
    double y;
    double speed;
    double angle;
    double p4;
    double p5;
    double p6;
    void* owner;
};

// The owner is the game-play scene or the menu scene.
struct TaskPool : RecordPool<PooledObject, SpawnRequest, kTaskPoolCapacity, void*> {};

// Frees every object, puts `order` back in record order and empties the queue.
void ConstructTaskPool(TaskPool* pool);

// Queues one object for the start of the pool's next update (or of the running
// spawn step, when an init phase queues it). A 641st request in one frame is
// dropped.
void QueueObjectSpawn(TaskPool* pool, int32_t kind, double x, double y, double speed, double angle,
                      int32_t param, double p4, double p5, double p6);
// Queues `count` objects around (cx, cy) at `radius`, clockwise from the base
// angle, each heading outwards at `speed`; `halfStep` turns the ring back by
// half a spacing. Nothing is queued when count < 1.
void SpawnObjectRing(TaskPool* pool, int32_t kind, double cx, double cy, double speed,
                     double baseAngle, int32_t count, double radius, int32_t halfStep,
                     int32_t param, double p4, double p5, double p6);

// The frame's step: spawn, update (move, then phase 1; killed objects run
// phase 3 and end), interaction (phase 4), then the live objects are sorted to
// the front. A replay re-runs exactly only in this order.
void UpdateTaskPool(TaskPool* pool);
// Runs phase 2 of every active, visible object among the live range, in order.
void DrawTaskPool(TaskPool* pool);
