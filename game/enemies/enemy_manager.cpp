// The enemy manager's queue, spawn, update and draw pass.
#include "game/enemies/enemy_manager.h"

#include "game/behaviour/behaviour_tables.h"
#include "game/play/pool_steps.h"

namespace {

constexpr double kAppearFrom = 2.0;
constexpr double kAppearTo = 1.0;
constexpr double kAppearAlphaSpan = 1.0;
// Appearing enemies move at their normal speed.
constexpr double kAppearSpeed = 1.0;
constexpr double kPhaseStep = 0.08;

bool IsKind(int32_t kind) {
    return kind >= 0 && kind < kKindRows;
}

Enemy BuildEnemy(const EnemyManager& manager, const EnemySpawnRequest& request) {
    const EnemyInfoRow& row = EnemyKindRow(manager, request.kind);
    Enemy enemy{};
    enemy.kind = request.kind;
    enemy.Launch(request.x, request.y, request.speed, request.angle);
    enemy.owner = request.owner;
    enemy.scale = 1.0;
    enemy.state = kStateAppearing;
    enemy.active = 1;
    MakeHitCircle(&enemy.bodyHit, row.real1);
    MakeHitCircle(&enemy.shotHit, row.real2);
    enemy.param = request.param;
    enemy.p4 = request.p4;
    enemy.p5 = request.p5;
    enemy.p6 = request.p6;
    enemy.priority = static_cast<int32_t>(enemy.scale * 1000.0 * row.real1);
    enemy.colour.Set(MakeDefaultColor());
    StartAppearFade(&enemy.fade, request.appearFrames, kAppearFrom, kAppearTo, kAppearAlphaSpan,
                    row.int1 == 3);
    enemy.fade.appearSpeed = kAppearSpeed;
    if (request.appearFrames == 0) {
        enemy.state = kStateNormal;
    }
    RunBehaviour(EnemyBehaviours, enemy.kind, &enemy, kBehaviourInit);
    return enemy;
}

// The enemy moves after its update phase (pooled objects move before theirs).
void StepNormal(Enemy* enemy) {
    RunBehaviour(EnemyBehaviours, enemy->kind, enemy, kBehaviourUpdate);
    enemy->age += 1;
    enemy->phaseTime += kPhaseStep;
    enemy->Advance();
    enemy->guard -= 1;
    if (enemy->life <= 0.0) {
        FinishEnemy(enemy);
    }
}

void UpdateEnemy(Enemy* enemy) {
    switch (enemy->state) {
        case kStateAppearing:
            // No update phase while appearing.
            if (StepAppearFade(&enemy->fade, enemy, &enemy->colour, false)) {
                enemy->state = kStateNormal;
            }
            break;
        case kStateNormal:
            StepNormal(enemy);
            break;
        case kStateVanishing:
            enemy->phaseTime += kPhaseStep;
            FinishEnemy(enemy);
            break;
        default:
            break;
    }
}

}  // namespace

EnemyManager::EnemyManager(const EnemyInfoRow (&rows)[kKindRows], const EnemyImageTable& imageTable)
    : images(imageTable) {
    for (int i = 0; i < kKindRows; ++i) {
        kindRows[i] = rows[i];
    }
}

void ConstructEnemyManager(EnemyManager* manager) {
    manager->capacity = kEnemyCapacity;
    ResetPoolOrder(manager);
}

const EnemyInfoRow& EnemyKindRow(const EnemyManager& manager, int32_t kind) {
    static const EnemyInfoRow kEmptyRow{};
    return IsKind(kind) ? manager.kindRows[kind] : kEmptyRow;
}

void QueueEnemySpawn(EnemyManager* manager, int32_t kind, double x, double y, double speed,
                     double angle, int32_t appearFrames, int32_t param, double p4, double p5,
                     double p6) {
    AppendSpawnRequest(manager, EnemySpawnRequest{kind, appearFrames, param, x, y, speed, angle, p4,
                                                  p5, p6, manager->owner});
}

void UpdateEnemyManager(EnemyManager* manager) {
    ResetPassCounters(manager);
    RunSpawnStep(manager, [manager](const EnemySpawnRequest& request, Enemy* slot) {
        *slot = BuildEnemy(*manager, request);
    });
    RunUpdatePass(manager, UpdateEnemy);
    SortLiveFirst(manager);
}

void DrawEnemies(EnemyManager* manager) {
    for (int32_t position = 0; position < manager->activeEnd; ++position) {
        Enemy* enemy = manager->order[position];
        if (enemy->active != 0) {
            RunBehaviour(EnemyBehaviours, enemy->kind, enemy, kBehaviourDraw);
        }
    }
}

void FinishEnemy(Enemy* enemy) {
    if (enemy->keepAlive != 0 || enemy->active == 0) {
        return;
    }
    enemy->active = 0;
    RunBehaviour(EnemyBehaviours, enemy->kind, enemy, kBehaviourKilled);
}
