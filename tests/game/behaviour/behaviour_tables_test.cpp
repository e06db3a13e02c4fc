// The behaviour tables: their registries, their fill and calls into any slot.
#include "game/behaviour/behaviour_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ListedSlot {
    int index;
    std::string name;
    bool operator==(const ListedSlot&) const = default;
};

template <class Record>
std::vector<ListedSlot> Listing(std::span<const BehaviourSlotEntry<Record>> entries) {
    std::vector<ListedSlot> listing;
    for (const auto& entry : entries) {
        listing.push_back({entry.index, entry.name});
    }
    return listing;
}

std::vector<ListedSlot> Range(const std::string& stem, int first, int last) {
    std::vector<ListedSlot> slots;
    for (int i = first; i <= last; ++i) {
        slots.push_back({i, stem + std::to_string(i)});
    }
    return slots;
}

TEST(BehaviourTables, RegistriesListTheFilledSlotsOfEachFamily) {
    EXPECT_EQ(Listing(BulletBehaviourEntries()), (std::vector<ListedSlot>{
                                                     {1, "BulletCurveBehaviour"},
                                                     {2, "BulletBounceBehaviour"},
                                                     {3, "BulletBurstBehaviour"},
                                                     {4, "BulletTimeoutBehaviour"},
                                                 }));

    std::vector<ListedSlot> enemies = {{0, "BasicEnemyBehaviour"}, {1, "IdleEnemyBehaviour"}};
    for (const auto& slot : Range("WaveEnemyBehaviour", 10, 15)) {
        enemies.push_back(slot);
    }
    enemies.push_back({19, "BossEnemyBehaviour"});
    EXPECT_EQ(Listing(EnemyBehaviourEntries()), enemies);

    std::vector<ListedSlot> objects = {
        {0, "ObjectKind0Behaviour"}, {1, "PlayerShotBehaviour"},  {2, "DeathBurstBehaviour"},
        {3, "ItemBehaviour"},        {5, "BombShardBehaviour"},   {6, "BombRingBehaviour"},
        {7, "BombBehaviour"},        {8, "ObjectKind8Behaviour"}, {9, "ObjectKind9Behaviour"},
    };
    for (const auto& slot : Range("WaveSpawnerBehaviour", 10, 15)) {
        objects.push_back(slot);
    }
    const std::vector<ListedSlot> lateObjects = {
        {20, "TimePenaltyTextBehaviour"}, {21, "BossParticleBehaviour"},
        {22, "ObjectKind22Behaviour"},    {23, "ObjectKind23Behaviour"},
        {24, "GameOverBehaviour"},        {25, "LevelUpBehaviour"},
        {26, "WarpObjectBehaviour"},
    };
    objects.insert(objects.end(), lateObjects.begin(), lateObjects.end());
    EXPECT_EQ(Listing(ObjectBehaviourEntries()), objects);

    EXPECT_EQ(Listing(PlayerBehaviourEntries()),
              (std::vector<ListedSlot>{{1, "PlayerBehaviour1"}}));
}

TEST(BehaviourTables, TablesHoldTheirSlotCounts) {
    EXPECT_EQ(ObjectBehaviourTable::kSlots, 100);
    EXPECT_EQ(BulletBehaviourTable::kSlots, 100);
    EXPECT_EQ(EnemyBehaviourTable::kSlots, 100);
    EXPECT_EQ(PlayerBehaviourTable::kSlots, 8);
    EXPECT_EQ(sizeof(PlayerBehaviours.slots) / sizeof(PlayerBehaviours.slots[0]), 8u);
}

// What a slot should hold after the fill: its listed behaviour once written,
// the empty behaviour otherwise.
template <class Record, int SlotCount>
void ExpectFilled(const BehaviourTable<Record, SlotCount>& table,
                  std::span<const BehaviourSlotEntry<Record>> entries) {
    std::vector<BehaviourFunction<Record>> expected(SlotCount, &EmptyBehaviour<Record>);
    for (const auto& entry : entries) {
        ASSERT_GE(entry.index, 0);
        ASSERT_LT(entry.index, SlotCount);
        if (entry.behaviour != nullptr) {
            expected[entry.index] = entry.behaviour;
        }
    }
    for (int i = 0; i < SlotCount; ++i) {
        EXPECT_EQ(table.slots[i], expected[i]) << "slot " << i;
    }
}

// Every empty slot runs in every phase without touching its record.
template <class Record, int SlotCount>
void CallEveryEmptySlot(const BehaviourTable<Record, SlotCount>& table) {
    for (int i = 0; i < SlotCount; ++i) {
        if (table.slots[i] != &EmptyBehaviour<Record>) {
            continue;
        }
        for (int phase = kBehaviourInit; phase <= kBehaviourInteraction; ++phase) {
            RunBehaviour(table, i, static_cast<Record*>(nullptr), phase);
        }
    }
}

TEST(BehaviourTables, EverySlotIsEmptyAndCallableBeforeTheFill) {
    // Each test runs in its own process, so these are the tables as the
    // program starts.
    ExpectFilled(ObjectBehaviours, std::span<const BehaviourSlotEntry<PooledObject>>{});
    ExpectFilled(BulletBehaviours, std::span<const BehaviourSlotEntry<Bullet>>{});
    ExpectFilled(EnemyBehaviours, std::span<const BehaviourSlotEntry<Enemy>>{});
    ExpectFilled(PlayerBehaviours, std::span<const BehaviourSlotEntry<StageBlock>>{});
    CallEveryEmptySlot(ObjectBehaviours);
    CallEveryEmptySlot(BulletBehaviours);
    CallEveryEmptySlot(EnemyBehaviours);
    CallEveryEmptySlot(PlayerBehaviours);
}

TEST(BehaviourTables, FillStoresTheRegistryAndLeavesEveryOtherSlotEmpty) {
    RegisterBulletBehaviours();
    RegisterEnemyBehaviours();
    RegisterObjectBehaviours();
    RegisterPlayerBehaviours();
    ExpectFilled(ObjectBehaviours, ObjectBehaviourEntries());
    ExpectFilled(BulletBehaviours, BulletBehaviourEntries());
    ExpectFilled(EnemyBehaviours, EnemyBehaviourEntries());
    ExpectFilled(PlayerBehaviours, PlayerBehaviourEntries());
    CallEveryEmptySlot(ObjectBehaviours);
    CallEveryEmptySlot(BulletBehaviours);
    CallEveryEmptySlot(EnemyBehaviours);
    CallEveryEmptySlot(PlayerBehaviours);
}

template <class Record>
void MarkerBehaviour(Record*, int32_t) {}

template <class Record, int SlotCount>
void MarkAll(BehaviourTable<Record, SlotCount>* table) {
    for (auto& slot : table->slots) {
        slot = &MarkerBehaviour<Record>;
    }
}

template <class Record, int SlotCount>
bool AllMarked(const BehaviourTable<Record, SlotCount>& table) {
    for (auto slot : table.slots) {
        if (slot != &MarkerBehaviour<Record>) {
            return false;
        }
    }
    return true;
}

TEST(BehaviourTables, EachFillRewritesAllOfItsOwnTableAndNothingElse) {
    const struct {
        const char* name;
        void (*fill)();
    } fills[] = {
        {"bullets", RegisterBulletBehaviours},
        {"enemies", RegisterEnemyBehaviours},
        {"objects", RegisterObjectBehaviours},
        {"player", RegisterPlayerBehaviours},
    };
    for (const auto& fill : fills) {
        SCOPED_TRACE(fill.name);
        MarkAll(&BulletBehaviours);
        MarkAll(&EnemyBehaviours);
        MarkAll(&ObjectBehaviours);
        MarkAll(&PlayerBehaviours);
        fill.fill();
        const std::string name = fill.name;
        EXPECT_EQ(AllMarked(BulletBehaviours), name != "bullets");
        EXPECT_EQ(AllMarked(EnemyBehaviours), name != "enemies");
        EXPECT_EQ(AllMarked(ObjectBehaviours), name != "objects");
        EXPECT_EQ(AllMarked(PlayerBehaviours), name != "player");
        if (name == "bullets")
            ExpectFilled(BulletBehaviours, BulletBehaviourEntries());
        if (name == "enemies")
            ExpectFilled(EnemyBehaviours, EnemyBehaviourEntries());
        if (name == "objects")
            ExpectFilled(ObjectBehaviours, ObjectBehaviourEntries());
        if (name == "player")
            ExpectFilled(PlayerBehaviours, PlayerBehaviourEntries());
    }
}

std::vector<std::pair<const void*, int32_t>> g_calls;

void RecordingBehaviour(Bullet* record, int32_t phase) {
    g_calls.push_back({static_cast<const void*>(record), phase});
}

TEST(BehaviourTables, RunBehaviourCallsTheSlotAndIgnoresIndexesOutsideTheTable) {
    g_calls.clear();
    BulletBehaviourTable table = MakeEmptyBehaviourTable<Bullet, 100>();
    table.slots[0] = &RecordingBehaviour;
    table.slots[99] = &RecordingBehaviour;
    int storage = 0;
    Bullet* record = reinterpret_cast<Bullet*>(&storage);
    RunBehaviour(table, 99, record, kBehaviourUpdate);
    RunBehaviour(table, 0, record, kBehaviourKilled);
    RunBehaviour(table, -1, record, kBehaviourUpdate);  // a bullet without behaviour
    RunBehaviour(table, 100, record, kBehaviourUpdate);
    RunBehaviour(table, -2147483647 - 1, record, kBehaviourUpdate);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].first, static_cast<const void*>(record));
    EXPECT_EQ(g_calls[0].second, kBehaviourUpdate);
    EXPECT_EQ(g_calls[1].second, kBehaviourKilled);
}

}  // namespace
