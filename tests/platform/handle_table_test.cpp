// The checked table behind kernel handles and windows: ids of slot and
// generation, refused once removed, refused by a table of another kind.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/handle_table_internal.h"

namespace {

using platform::HandleKind;
using platform::HandleTable;

TEST(HandleTable, AStaleIdIsRefusedWhileItsSlotHoldsANewRecord) {
    HandleTable<int> table(HandleKind::Kernel);
    int first = 1;
    int second = 2;
    uintptr_t old = table.Add(&first);
    EXPECT_EQ(table.Find(old), &first);
    EXPECT_EQ(table.Remove(old), &first);
    uintptr_t fresh = table.Add(&second);  // takes the slot just freed
    EXPECT_NE(fresh, old);
    EXPECT_EQ(table.Find(old), nullptr);
    EXPECT_EQ(table.Remove(old), nullptr);
    EXPECT_EQ(table.Find(fresh), &second);
    EXPECT_EQ(table.Remove(fresh), &second);
    EXPECT_EQ(table.Remove(fresh), nullptr);  // removing twice finds nothing
}

TEST(HandleTable, IdsAreNeverNullOrAllOnesAndStayDistinctAcrossReuse) {
    HandleTable<int> table(HandleKind::Window);
    int record = 0;
    std::set<uintptr_t> seen;
    std::vector<uintptr_t> live;
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 7; ++i) {
            live.push_back(table.Add(&record));
        }
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(table.Remove(live.back()), &record);
            live.pop_back();
        }
    }
    for (uintptr_t id : live) {
        EXPECT_EQ(table.Find(id), &record);
    }
    HandleTable<int> again(HandleKind::Window);
    for (int i = 0; i < 1000; ++i) {
        uintptr_t id = again.Add(&record);
        SCOPED_TRACE(i);
        ASSERT_NE(id, 0u);
        ASSERT_NE(id, ~uintptr_t{0});
        ASSERT_TRUE(seen.insert(id).second);  // no id is handed out twice
        again.Remove(id);
    }
}

TEST(HandleTable, AnotherKindsIdOrAMadeUpValueIsRefused) {
    HandleTable<int> kernel(HandleKind::Kernel);
    HandleTable<int> windows(HandleKind::Window);
    int a = 1;
    int b = 2;
    uintptr_t event = kernel.Add(&a);
    uintptr_t window = windows.Add(&b);
    EXPECT_EQ(windows.Find(event), nullptr);
    EXPECT_EQ(kernel.Find(window), nullptr);
    EXPECT_EQ(kernel.Remove(window), nullptr);
    EXPECT_EQ(kernel.Find(event), &a);
    const uintptr_t madeUp[] = {
        0, 1, 0x1234, event + 16, event ^ (uintptr_t{1} << 40), ~uintptr_t{0}};
    for (uintptr_t id : madeUp) {
        SCOPED_TRACE(id);
        EXPECT_EQ(kernel.Find(id), nullptr);
    }
}

}  // namespace
