// Doubly linked lists between two sentinel nodes. The user owns the
// sentinels and every node; the helpers only link them.
#pragma once

#include <cstdint>

namespace tessel {

struct ListNode {
    int32_t value;  // -1 in the two sentinels
    void* data;
    ListNode* previous;
    ListNode* next;
};

// An empty list: head -> tail. Returns 0.
int ListInit(ListNode* head, ListNode* tail);
// Stores value and data in node and links it right after `after` (after the
// head puts it in front). Returns 0.
int ListInsertAfter(ListNode* after, ListNode* node, int32_t value, void* data);
// Links node's neighbours to each other; node's own links stay as they were.
// Returns 0.
int ListUnlink(ListNode* node);

}  // namespace tessel
