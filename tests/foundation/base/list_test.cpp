// The intrusive doubly linked list: sentinels, insertion and unlinking.
#include "foundation/base/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessel {
namespace {

std::vector<int32_t> Forward(const ListNode& head) {
    std::vector<int32_t> values;
    for (const ListNode* node = head.next; node != nullptr && node->next != nullptr;
         node = node->next) {
        values.push_back(node->value);
    }
    return values;
}

std::vector<int32_t> Backward(const ListNode& tail) {
    std::vector<int32_t> values;
    for (const ListNode* node = tail.previous; node != nullptr && node->previous != nullptr;
         node = node->previous) {
        values.push_back(node->value);
    }
    return values;
}

TEST(List, InitMakesTwoLinkedSentinels) {
    ListNode head{5, &head, &head, nullptr};
    ListNode tail{5, &tail, nullptr, &tail};
    EXPECT_EQ(ListInit(&head, &tail), 0);
    EXPECT_EQ(head.value, -1);
    EXPECT_EQ(head.data, nullptr);
    EXPECT_EQ(head.previous, nullptr);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.value, -1);
    EXPECT_EQ(tail.data, nullptr);
    EXPECT_EQ(tail.previous, &head);
    EXPECT_EQ(tail.next, nullptr);
    EXPECT_TRUE(Forward(head).empty());
}

TEST(List, InsertAfterAndUnlinkKeepBothDirectionsConsistent) {
    ListNode head, tail, a, b, c, d;
    ListInit(&head, &tail);
    int payload = 0;
    EXPECT_EQ(ListInsertAfter(&head, &a, 1, &payload), 0);
    EXPECT_EQ(ListInsertAfter(&head, &b, 2, nullptr), 0);  // after the head: in front
    EXPECT_EQ(ListInsertAfter(&a, &c, 3, nullptr), 0);     // after the last node
    EXPECT_EQ(ListInsertAfter(&b, &d, 4, nullptr), 0);     // in the middle
    EXPECT_EQ(Forward(head), (std::vector<int32_t>{2, 4, 1, 3}));
    EXPECT_EQ(Backward(tail), (std::vector<int32_t>{3, 1, 4, 2}));
    EXPECT_EQ(a.data, &payload);

    EXPECT_EQ(ListUnlink(&d), 0);
    EXPECT_EQ(Forward(head), (std::vector<int32_t>{2, 1, 3}));
    EXPECT_EQ(Backward(tail), (std::vector<int32_t>{3, 1, 2}));
    // The unlinked node keeps its own links, so a walk standing on it can go on.
    EXPECT_EQ(d.previous, &b);
    EXPECT_EQ(d.next, &a);

    ListUnlink(&b);
    ListUnlink(&c);
    EXPECT_EQ(Forward(head), (std::vector<int32_t>{1}));
    EXPECT_EQ(Backward(tail), (std::vector<int32_t>{1}));
    ListUnlink(&a);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.previous, &head);
}

}  // namespace
}  // namespace tessel
