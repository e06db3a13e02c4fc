// The pool's spawn, update, interaction and draw passes. The steps that the
// bullet and enemy managers share live in game/play/pool_steps.h.
#include "game/pool/task_pool.h"

#include "game/behaviour/behaviour_tables.h"
#include "game/play/spawn_geometry.h"

namespace {

// The object a request describes, with its init phase run. It is built aside
// so that the init phase sees the request's values in every field.
PooledObject BuildObject(const SpawnRequest& request) {
    PooledObject object{};
    object.kind = request.kind;
    object.Launch(request.x, request.y, request.speed, request.angle);
    object.owner = request.owner;
    object.scale = 1.0;
    object.active = 1;
    object.alpha = 1.0;
    object.param = request.param;
    object.p4 = request.p4;
    object.p5 = request.p5;
    object.p6 = request.p6;
    RunBehaviour(ObjectBehaviours, object.kind, &object, kBehaviourInit);
    return object;
}

void UpdateObject(PooledObject* object) {
    object->Advance();
    RunBehaviour(ObjectBehaviours, object->kind, object, kBehaviourUpdate);
    if (object->killed == 1) {
        RunBehaviour(ObjectBehaviours, object->kind, object, kBehaviourKilled);
        object->active = 0;
    }
    object->age += 1;
}

// Collisions: every object of the frame has moved before any of them tests.
void RunInteractionPass(TaskPool* pool) {
    for (int32_t position = 0; position < pool->activeEnd; ++position) {
        PooledObject* object = pool->order[position];
        if (object->active != 0) {
            RunBehaviour(ObjectBehaviours, object->kind, object, kBehaviourInteraction);
        }
    }
}

}  // namespace

void ConstructTaskPool(TaskPool* pool) {
    pool->capacity = kTaskPoolCapacity;
    ResetPoolOrder(pool);
}

void QueueObjectSpawn(TaskPool* pool, int32_t kind, double x, double y, double speed, double angle,
                      int32_t param, double p4, double p5, double p6) {
    AppendSpawnRequest(pool,
                       SpawnRequest{kind, param, x, y, speed, angle, p4, p5, p6, pool->owner});
}

void SpawnObjectRing(TaskPool* pool, int32_t kind, double cx, double cy, double speed,
                     double baseAngle, int32_t count, double radius, int32_t halfStep,
                     int32_t param, double p4, double p5, double p6) {
    ForEachRingMember(count, cx, cy, baseAngle, radius, halfStep,
                      [&](double angle, double x, double y) {
                          QueueObjectSpawn(pool, kind, x, y, speed, angle, param, p4, p5, p6);
                      });
}

void UpdateTaskPool(TaskPool* pool) {
    ResetPassCounters(pool);
    RunSpawnStep(pool, [](const SpawnRequest& request, PooledObject* slot) {
        *slot = BuildObject(request);
    });
    RunUpdatePass(pool, UpdateObject);
    RunInteractionPass(pool);
    SortLiveFirst(pool);
}

void DrawTaskPool(TaskPool* pool) {
    for (int32_t position = 0; position < pool->activeEnd; ++position) {
        PooledObject* object = pool->order[position];
        if (object->active != 0 && object->visible != 0) {
            RunBehaviour(ObjectBehaviours, object->kind, object, kBehaviourDraw);
        }
    }
}
