// The four tables, constant-initialised to the empty behaviour so that they are
// safe before start-up fills them, and the registries of their filled slots.
#include "game/behaviour/behaviour_tables.h"

#include "game/behaviour/behaviours.h"

constinit ObjectBehaviourTable ObjectBehaviours =
    MakeEmptyBehaviourTable<PooledObject, ObjectBehaviourTable::kSlots>();
constinit BulletBehaviourTable BulletBehaviours =
    MakeEmptyBehaviourTable<Bullet, BulletBehaviourTable::kSlots>();
constinit EnemyBehaviourTable EnemyBehaviours =
    MakeEmptyBehaviourTable<Enemy, EnemyBehaviourTable::kSlots>();
constinit PlayerBehaviourTable PlayerBehaviours =
    MakeEmptyBehaviourTable<StageBlock, PlayerBehaviourTable::kSlots>();

namespace {

constexpr BehaviourSlotEntry<Bullet> kBulletEntries[] = {
    {1, "BulletCurveBehaviour", BulletCurveBehaviour},
    {2, "BulletBounceBehaviour", BulletBounceBehaviour},
    {3, "BulletBurstBehaviour", BulletBurstBehaviour},
    {4, "BulletTimeoutBehaviour", BulletTimeoutBehaviour},
};

constexpr BehaviourSlotEntry<Enemy> kEnemyEntries[] = {
    {0, "BasicEnemyBehaviour", BasicEnemyBehaviour},
    {1, "IdleEnemyBehaviour", IdleEnemyBehaviour},
    {10, "WaveEnemyBehaviour10", WaveEnemyBehaviour10},
    {11, "WaveEnemyBehaviour11", WaveEnemyBehaviour11},
    {12, "WaveEnemyBehaviour12", WaveEnemyBehaviour12},
    {13, "WaveEnemyBehaviour13", WaveEnemyBehaviour13},
    {14, "WaveEnemyBehaviour14", WaveEnemyBehaviour14},
    {15, "WaveEnemyBehaviour15", WaveEnemyBehaviour15},
    {19, "BossEnemyBehaviour", BossEnemyBehaviour},
};

// Kinds 16 and 17 are wave sources of the play scene but have no behaviour:
// objects of those kinds do nothing.
constexpr BehaviourSlotEntry<PooledObject> kObjectEntries[] = {
    {0, "ObjectKind0Behaviour", ObjectKind0Behaviour},
    {1, "PlayerShotBehaviour", PlayerShotBehaviour},
    {2, "DeathBurstBehaviour", DeathBurstBehaviour},
    {3, "ItemBehaviour", ItemBehaviour},
    {5, "BombShardBehaviour", BombShardBehaviour},
    {6, "BombRingBehaviour", BombRingBehaviour},
    {7, "BombBehaviour", BombBehaviour},
    {8, "ObjectKind8Behaviour", ObjectKind8Behaviour},
    {9, "ObjectKind9Behaviour", ObjectKind9Behaviour},
    {10, "WaveSpawnerBehaviour10", WaveSpawnerBehaviour10},
    {11, "WaveSpawnerBehaviour11", WaveSpawnerBehaviour11},
    {12, "WaveSpawnerBehaviour12", WaveSpawnerBehaviour12},
    {13, "WaveSpawnerBehaviour13", WaveSpawnerBehaviour13},
    {14, "WaveSpawnerBehaviour14", WaveSpawnerBehaviour14},
    {15, "WaveSpawnerBehaviour15", WaveSpawnerBehaviour15},
    {20, "TimePenaltyTextBehaviour", TimePenaltyTextBehaviour},
    {21, "BossParticleBehaviour", BossParticleBehaviour},
    {22, "ObjectKind22Behaviour", ObjectKind22Behaviour},
    {23, "ObjectKind23Behaviour", ObjectKind23Behaviour},
    {24, "GameOverBehaviour", GameOverBehaviour},
    {25, "LevelUpBehaviour", LevelUpBehaviour},
    {26, "WarpObjectBehaviour", WarpObjectBehaviour},
};

constexpr BehaviourSlotEntry<StageBlock> kPlayerEntries[] = {
    {1, "PlayerBehaviour1", PlayerBehaviour1},
};

template <class Record, int SlotCount>
void FillTable(BehaviourTable<Record, SlotCount>* table,
               std::span<const BehaviourSlotEntry<Record>> entries) {
    *table = MakeEmptyBehaviourTable<Record, SlotCount>();
    for (const auto& entry : entries) {
        if (entry.behaviour != nullptr && entry.index >= 0 && entry.index < SlotCount) {
            table->slots[entry.index] = entry.behaviour;
        }
    }
}

}  // namespace

std::span<const BehaviourSlotEntry<PooledObject>> ObjectBehaviourEntries() {
    return kObjectEntries;
}

std::span<const BehaviourSlotEntry<Bullet>> BulletBehaviourEntries() {
    return kBulletEntries;
}

std::span<const BehaviourSlotEntry<Enemy>> EnemyBehaviourEntries() {
    return kEnemyEntries;
}

std::span<const BehaviourSlotEntry<StageBlock>> PlayerBehaviourEntries() {
    return kPlayerEntries;
}

void RegisterBulletBehaviours() {
    FillTable(&BulletBehaviours, BulletBehaviourEntries());
}

void RegisterEnemyBehaviours() {
    FillTable(&EnemyBehaviours, EnemyBehaviourEntries());
}

void RegisterObjectBehaviours() {
    FillTable(&ObjectBehaviours, ObjectBehaviourEntries());
}

void RegisterPlayerBehaviours() {
    FillTable(&PlayerBehaviours, PlayerBehaviourEntries());
}
