// The behaviour tables: every moving thing of the play field finds its conduct
// in a fixed array of plain function pointers indexed by its kind (or
// behaviour) number, called with the record and a phase. One table per family:
// pooled objects, bullets, enemies and the play scene's stage block. The tables
// are filled once at start-up and read-only afterwards; every slot without a
// behaviour of its own holds the empty behaviour, before the fill as well, so
// any index inside a table may be called safely.
//
// Each family's registry lists the slots it fills, by index and name, with the
// behaviour to store. A listed behaviour that is not written yet is null there,
// and its slot keeps the empty behaviour until it is.
#pragma once

#include <cstdint>
#include <span>

struct PooledObject;
struct Bullet;
struct Enemy;
struct StageBlock;

enum BehaviourPhase : int32_t {
    kBehaviourInit = 0,         // once, when the record is built from its spawn request
    kBehaviourUpdate = 1,       // once a frame
    kBehaviourDraw = 2,         // once a frame, from the draw pass
    kBehaviourKilled = 3,       // once, when the record's killed flag ends it
    kBehaviourInteraction = 4,  // pooled objects, after the pool's update pass: collisions
};

template <class Record>
using BehaviourFunction = void (*)(Record* record, int32_t phase);

// Does nothing in every phase.
template <class Record>
void EmptyBehaviour(Record*, int32_t) {}

template <class Record, int SlotCount>
struct BehaviourTable {
    static constexpr int kSlots = SlotCount;
    BehaviourFunction<Record> slots[SlotCount];
};

template <class Record, int SlotCount>
constexpr BehaviourTable<Record, SlotCount> MakeEmptyBehaviourTable() {
    BehaviourTable<Record, SlotCount> table{};
    for (auto& slot : table.slots) {
        slot = &EmptyBehaviour<Record>;
    }
    return table;
}

using ObjectBehaviourTable = BehaviourTable<PooledObject, 100>;  // by a pooled object's kind
using BulletBehaviourTable = BehaviourTable<Bullet, 100>;        // by a bullet's behaviour index
using EnemyBehaviourTable = BehaviourTable<Enemy, 100>;          // by an enemy's kind
using PlayerBehaviourTable = BehaviourTable<StageBlock, 8>;      // by the stage block's index

extern ObjectBehaviourTable ObjectBehaviours;
extern BulletBehaviourTable BulletBehaviours;
extern EnemyBehaviourTable EnemyBehaviours;
extern PlayerBehaviourTable PlayerBehaviours;

// One filled slot of a family's registry.
template <class Record>
struct BehaviourSlotEntry {
    int32_t index;
    const char* name;
    BehaviourFunction<Record> behaviour;  // null while not written
};

std::span<const BehaviourSlotEntry<PooledObject>> ObjectBehaviourEntries();
std::span<const BehaviourSlotEntry<Bullet>> BulletBehaviourEntries();
std::span<const BehaviourSlotEntry<Enemy>> EnemyBehaviourEntries();
std::span<const BehaviourSlotEntry<StageBlock>> PlayerBehaviourEntries();

// Each sets every slot of its own table to the empty behaviour, then stores the
// registry's behaviours. Start-up calls them once, in this order.
void RegisterBulletBehaviours();
void RegisterEnemyBehaviours();
void RegisterObjectBehaviours();
void RegisterPlayerBehaviours();

// Runs slot `index` of `table` on `record`. An index outside the table (a
// bullet's -1 means "no behaviour") runs nothing.
template <class Record, int SlotCount>
void RunBehaviour(const BehaviourTable<Record, SlotCount>& table, int32_t index, Record* record,
                  int32_t phase) {
    if (index < 0 || index >= SlotCount) {
        return;
    }
    table.slots[index](record, phase);
}
