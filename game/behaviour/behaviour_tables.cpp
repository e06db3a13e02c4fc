// The four tables, constant-initialised to the empty behaviour so that they are
// safe before start-up fills them, and the registries of their filled slots.
#include "game/behaviour/behaviour_tables.h"

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
    {1, "BulletCurveBehaviour", nullptr},
    {2, "BulletBounceBehaviour", nullptr},
    {3, "BulletBurstBehaviour", nullptr},
    {4, "BulletTimeoutBehaviour", nullptr},
};

constexpr BehaviourSlotEntry<Enemy> kEnemyEntries[] = {
    {0, "BasicEnemyBehaviour", nullptr},   {1, "IdleEnemyBehaviour", nullptr},
    {10, "WaveEnemyBehaviour10", nullptr}, {11, "WaveEnemyBehaviour11", nullptr},
    {12, "WaveEnemyBehaviour12", nullptr}, {13, "WaveEnemyBehaviour13", nullptr},
    {14, "WaveEnemyBehaviour14", nullptr}, {15, "WaveEnemyBehaviour15", nullptr},
    {19, "BossEnemyBehaviour", nullptr},
};

// Kinds 16 and 17 are wave sources of the play scene but have no behaviour:
// objects of those kinds do nothing.
constexpr BehaviourSlotEntry<PooledObject> kObjectEntries[] = {
    {0, "ObjectKind0Behaviour", nullptr},    {1, "PlayerShotBehaviour", nullptr},
    {2, "DeathBurstBehaviour", nullptr},     {3, "ItemBehaviour", nullptr},
    {5, "BombShardBehaviour", nullptr},      {6, "BombRingBehaviour", nullptr},
    {7, "BombBehaviour", nullptr},           {8, "ObjectKind8Behaviour", nullptr},
    {9, "ObjectKind9Behaviour", nullptr},    {10, "WaveSpawnerBehaviour10", nullptr},
    {11, "WaveSpawnerBehaviour11", nullptr}, {12, "WaveSpawnerBehaviour12", nullptr},
    {13, "WaveSpawnerBehaviour13", nullptr}, {14, "WaveSpawnerBehaviour14", nullptr},
    {15, "WaveSpawnerBehaviour15", nullptr}, {20, "TimePenaltyTextBehaviour", nullptr},
    {21, "BossParticleBehaviour", nullptr},  {22, "ObjectKind22Behaviour", nullptr},
    {23, "ObjectKind23Behaviour", nullptr},  {24, "GameOverBehaviour", nullptr},
    {25, "LevelUpBehaviour", nullptr},       {26, "WarpObjectBehaviour", nullptr},
};

constexpr BehaviourSlotEntry<StageBlock> kPlayerEntries[] = {
    {1, "PlayerBehaviour1", nullptr},
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
