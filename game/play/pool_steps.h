// The steps that the task pool, the enemy-bullet manager and the enemy manager
// share. Each keeps a fixed array of records, a vector of pointers to them in
// the current order, and a fixed queue of spawn requests that is applied at the
// start of its next update. Each is a RecordPool; its records have `active`
// and `priority`. Nothing here allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Spawn requests a frame, for each of the pool, the bullet and the enemy queues.
constexpr int kSpawnQueueCapacity = 640;

// The first thing of every update, before the spawn step.
template <class Pool>
void ResetPassCounters(Pool* pool) {
    pool->activeCount = 0;
    pool->activeEnd = 0;
    pool->visited = 0;
}

// Points `order` at the records in record order and frees every record.
template <class Pool>
void ResetPoolOrder(Pool* pool) {
    for (std::size_t i = 0; i < pool->order.size(); ++i) {
        pool->records[i].active = 0;
        pool->order[i] = &pool->records[i];
    }
    pool->requestCount = 0;
    ResetPassCounters(pool);
}

// The storage and the per-frame counters of a pool of `Capacity` records.
// Records never move; only `order` is permuted.
template <class Record, class Request, int Capacity, class OwnerPointer>
struct RecordPool {
    RecordPool() : records{} { ResetPoolOrder(this); }
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;

    int32_t capacity = Capacity;
    int32_t requestCount = 0;
    int32_t activeCount = 0;       // active records found by the last update pass
    int32_t activeEnd = 0;         // the position, from 1, of the last of them in `order`
    int32_t visited = 0;           // positions passed by the last update pass
    OwnerPointer owner = nullptr;  // the scene, set after it builds the pool
    std::array<Record, Capacity> records;
    // The pool's order: live records first after each update.
    std::array<Record*, Capacity> order;
    std::array<Request, kSpawnQueueCapacity> requests;
    std::array<Record*, Capacity> sortScratch;
};

// Appends a request; a full queue drops it rather than write past its end.
template <class Pool, class Request>
void AppendSpawnRequest(Pool* pool, const Request& request) {
    if (pool->requestCount < 0 ||
        static_cast<std::size_t>(pool->requestCount) >= pool->requests.size()) {
        return;
    }
    pool->requests[pool->requestCount] = request;
    pool->requestCount += 1;
}

// Builds one record per queued request into the first free slots of `order`,
// from the front. The count is read again before each request, so a request
// that a build appends is applied in the same step. When no free slot is left
// the request and every one after it are dropped. The queue is empty after.
// build(request, slot) must leave the slot active.
template <class Pool, class Build>
void RunSpawnStep(Pool* pool, Build&& build) {
    const std::size_t capacity = pool->order.size();
    std::size_t cursor = 0;
    for (int32_t i = 0; i < pool->requestCount; ++i) {
        while (cursor < capacity && pool->order[cursor]->active != 0) {
            ++cursor;
        }
        if (cursor >= capacity) {
            break;
        }
        auto request = pool->requests[i];  // a build may append to the queue
        build(request, pool->order[cursor]);
    }
    pool->requestCount = 0;
}

// Runs update(record) on every active record in order and counts: `visited`
// the positions passed, `activeCount` the records found active, `activeEnd`
// the position (from 1) of the last of them.
template <class Pool, class Update>
void RunUpdatePass(Pool* pool, Update&& update) {
    for (auto* record : pool->order) {
        pool->visited += 1;
        if (record->active == 0) {
            continue;
        }
        update(record);
        pool->activeCount += 1;
        pool->activeEnd = pool->visited;
    }
}

// A stable merge sort of items[0, n) through `scratch` (room for n items):
// `before(a, b)` says a goes strictly before b; equal items keep their order.
template <class T, class Before>
void StableSortWithScratch(T* items, T* scratch, int n, Before&& before) {
    bool sorted = true;
    for (int i = 1; i < n && sorted; ++i) {
        sorted = !before(items[i], items[i - 1]);
    }
    if (sorted) {
        return;
    }
    T* from = items;
    T* to = scratch;
    for (int width = 1; width < n; width *= 2) {
        for (int low = 0; low < n; low += 2 * width) {
            int middle = low + width < n ? low + width : n;
            int high = low + 2 * width < n ? low + 2 * width : n;
            int left = low;
            int right = middle;
            int out = low;
            while (left < middle && right < high) {
                to[out++] = before(from[right], from[left]) ? from[right++] : from[left++];
            }
            while (left < middle) {
                to[out++] = from[left++];
            }
            while (right < high) {
                to[out++] = from[right++];
            }
        }
        T* swap = from;
        from = to;
        to = swap;
    }
    if (from != items) {
        for (int i = 0; i < n; ++i) {
            items[i] = from[i];
        }
    }
}

// Orders the first `activeEnd` positions: live records first, among them (and
// among the ended ones) greater priority first, equal ones in their previous
// order. One stable pass on (live, priority) gives the same order as a stable
// sort by priority followed by a stable sort by liveness.
template <class Pool>
void SortLiveFirst(Pool* pool) {
    StableSortWithScratch(pool->order.data(), pool->sortScratch.data(), pool->activeEnd,
                          [](const auto* a, const auto* b) {
                              bool aLive = a->active != 0;
                              bool bLive = b->active != 0;
                              if (aLive != bLive) {
                                  return aLive;
                              }
                              return a->priority > b->priority;
                          });
}
