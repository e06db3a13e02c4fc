#include "foundation/base/list.h"

namespace tessel {

int ListInit(ListNode* head, ListNode* tail) {
    head->value = -1;
    head->data = nullptr;
    head->previous = nullptr;
    head->next = tail;
    tail->value = -1;
    tail->data = nullptr;
    tail->previous = head;
    tail->next = nullptr;
    return 0;
}

int ListInsertAfter(ListNode* after, ListNode* node, int32_t value, void* data) {
    node->value = value;
    node->data = data;
    node->previous = after;
    node->next = after->next;
    // Only the tail sentinel has no next node; inserting after it keeps the
    // links consistent instead of writing through null.
    if (after->next != nullptr) {
        after->next->previous = node;
    }
    after->next = node;
    return 0;
}

int ListUnlink(ListNode* node) {
    if (node->previous != nullptr) {
        node->previous->next = node->next;
    }
    if (node->next != nullptr) {
        node->next->previous = node->previous;
    }
    return 0;
}

}  // namespace tessel
