// The shared pool steps: the allocation-free stable sort against the library's.
#include "game/play/pool_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Item {
    int active;
    int priority;
};

TEST(PoolSteps, TheScratchSortMatchesAStableSortOnLivenessThenPriority) {
    std::mt19937 random(12345);
    for (int n : {0, 1, 2, 3, 7, 64, 257, 1000}) {
        SCOPED_TRACE(n);
        std::vector<Item> items(n);
        for (auto& item : items) {
            item.active = random() % 3 == 0 ? 0 : 1;
            item.priority = static_cast<int>(random() % 5);
        }
        std::vector<Item*> order;
        for (auto& item : items) {
            order.push_back(&item);
        }
        // The two stable passes, by priority and then by liveness.
        std::vector<Item*> expected = order;
        std::stable_sort(expected.begin(), expected.end(),
                         [](Item* a, Item* b) { return a->priority > b->priority; });
        std::stable_sort(expected.begin(), expected.end(),
                         [](Item* a, Item* b) { return a->active > b->active; });

        std::vector<Item*> scratch(n);
        StableSortWithScratch(order.data(), scratch.data(), n, [](const Item* a, const Item* b) {
            if ((a->active != 0) != (b->active != 0)) {
                return a->active != 0;
            }
            return a->priority > b->priority;
        });
        EXPECT_EQ(order, expected);
    }
}

}  // namespace
