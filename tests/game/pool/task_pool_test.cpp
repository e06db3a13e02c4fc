// The task pool: spawn requests, the frame's passes, the order and the capacities.
#include "game/pool/task_pool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/behaviour/behaviour_tables.h"
#include "game/math/angles.h"

namespace {

constexpr int kRecorder = 40;

// What the recording behaviour does beyond logging, by the object's param.
struct Script {
    TaskPool* pool = nullptr;
    std::vector<std::string> log;
    int killInUpdate = -1;      // sets killed in phase 1
    int endInUpdate = -1;       // sets active 0 in phase 1
    int endInInteraction = -1;  // sets active 0 in phase 4
    int queueFromUpdate = -1;   // queues param + 100 in its first phase 1
    int queueFromInit = -1;     // queues param + 100 in phase 0
};
Script g_script;

std::string Entry(const char* phase, const PooledObject& o) {
    return std::string(phase) + " " + std::to_string(o.param) + " age " + std::to_string(o.age) +
           " x " + std::to_string(static_cast<int>(o.x));
}

void Recorder(PooledObject* o, int32_t phase) {
    switch (phase) {
        case kBehaviourInit:
            g_script.log.push_back(Entry("init", *o));
            o->priority = static_cast<int32_t>(o->p4);
            if (o->param == g_script.queueFromInit) {
                QueueObjectSpawn(g_script.pool, kRecorder, 0, 0, 0, 0, o->param + 100, 0, 0, 0);
            }
            o->visible = o->p5 != 0.0 ? 1 : 0;
            break;
        case kBehaviourUpdate:
            g_script.log.push_back(Entry("update", *o));
            if (o->param == g_script.killInUpdate) {
                o->killed = 1;
            }
            if (o->param == g_script.endInUpdate) {
                o->active = 0;
            }
            if (o->param == g_script.queueFromUpdate && o->age == 0) {
                QueueObjectSpawn(g_script.pool, kRecorder, 50.0, 0, 5.0, 0.0, o->param + 100, 0, 0,
                                 0);
            }
            break;
        case kBehaviourDraw:
            g_script.log.push_back(Entry("draw", *o));
            break;
        case kBehaviourKilled:
            g_script.log.push_back(Entry("killed", *o));
            break;
        case kBehaviourInteraction:
            g_script.log.push_back(Entry("interact", *o));
            if (o->param == g_script.endInInteraction) {
                o->active = 0;
            }
            break;
    }
}

class TaskPoolTest : public testing::Test {
  protected:
    void SetUp() override {
        g_script = Script{};
        g_script.pool = pool.get();
        ObjectBehaviours.slots[kRecorder] = &Recorder;
    }
    void TearDown() override { RegisterObjectBehaviours(); }

    void Queue(int param, double x = 0.0, double priority = 0.0, double visible = 0.0) {
        QueueObjectSpawn(pool.get(), kRecorder, x, 0.0, 0.0, 0.0, param, priority, visible, 0.0);
    }
    std::vector<int> ActiveParamsInOrder() {
        std::vector<int> params;
        for (int i = 0; i < pool->activeEnd; ++i) {
            if (pool->order[i]->active != 0) {
                params.push_back(pool->order[i]->param);
            }
        }
        return params;
    }
    std::vector<std::string> TakeLog() {
        std::vector<std::string> log = std::move(g_script.log);
        g_script.log.clear();
        return log;
    }

    std::unique_ptr<TaskPool> pool = std::make_unique<TaskPool>();
};

std::vector<double> QueuedAngles(const TaskPool& pool) {
    std::vector<double> angles;
    for (int i = 0; i < pool.requestCount; ++i) {
        angles.push_back(pool.requests[i].angle);
    }
    return angles;
}

TEST_F(TaskPoolTest, RingsGoClockwiseFromTheBaseAngleWithOrWithoutAHalfStep) {
    SpawnObjectRing(pool.get(), 2, 100.0, 200.0, 4.2, 90.0, 4, 0.0, 0, 1, 1.0, 2.5, 0.0);
    EXPECT_EQ(QueuedAngles(*pool), (std::vector<double>{90.0, 0.0, -90.0, -180.0}));
    pool->requestCount = 0;
    SpawnObjectRing(pool.get(), 2, 100.0, 200.0, 4.2, 90.0, 4, 10.0, 1, 1, 1.0, 2.5, 0.0);
    EXPECT_EQ(QueuedAngles(*pool), (std::vector<double>{45.0, -45.0, -135.0, -225.0}));
    // Each member starts `radius` out along its own angle and keeps the call's values.
    const SpawnRequest& first = pool->requests[0];
    EXPECT_EQ(first.x, 100.0 + PolarX(10.0, 45.0));
    EXPECT_EQ(first.y, 200.0 + PolarY(10.0, 45.0));
    EXPECT_EQ(first.kind, 2);
    EXPECT_EQ(first.speed, 4.2);
    EXPECT_EQ(first.param, 1);
    EXPECT_EQ(first.p5, 2.5);

    pool->requestCount = 0;
    SpawnObjectRing(pool.get(), 2, 0, 0, 1, 90.0, 0, 0, 0, 0, 0, 0, 0);
    SpawnObjectRing(pool.get(), 2, 0, 0, 1, 90.0, -3, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(pool->requestCount, 0);
}

TEST_F(TaskPoolTest, ASpawnQueuedInAnUpdateIsBuiltNextFrameAndMovesInThatFrameAtAgeZero) {
    g_script.queueFromUpdate = 1;
    Queue(1);
    UpdateTaskPool(pool.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"init 1 age 0 x 0", "update 1 age 0 x 0",
                                                   "interact 1 age 1 x 0"}));
    EXPECT_EQ(pool->requestCount, 1);
    UpdateTaskPool(pool.get());
    // Built at the start of the frame, then moved by its speed 5 before its first update.
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"init 101 age 0 x 50", "update 1 age 1 x 0",
                                                   "update 101 age 0 x 55", "interact 1 age 2 x 0",
                                                   "interact 101 age 1 x 55"}));
}

TEST_F(TaskPoolTest, TheInitPhaseSeesTheRequestAndARequestItQueuesIsBuiltInTheSameStep) {
    g_script.queueFromInit = 7;
    QueueObjectSpawn(pool.get(), kRecorder, 12.0, 34.0, 3.0, 90.0, 7, 0.0, 0.0, 0.5);
    UpdateTaskPool(pool.get());
    std::vector<std::string> log = TakeLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "init 7 age 0 x 12");
    EXPECT_EQ(log[1], "init 107 age 0 x 0");
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{7, 107}));
    const PooledObject& built = *pool->order[0];
    EXPECT_EQ(built.kind, kRecorder);
    EXPECT_EQ(built.y, 34.0 + PolarY(3.0, 90.0));
    EXPECT_EQ(built.vy, PolarY(3.0, 90.0));
    EXPECT_EQ(built.p6, 0.5);
    EXPECT_EQ(built.scale, 1.0);
    EXPECT_EQ(built.alpha, 1.0);
    EXPECT_EQ(built.age, 1);
    EXPECT_EQ(pool->requestCount, 0);
}

TEST_F(TaskPoolTest, KilledObjectsRunTheirKilledPhaseAndObjectsEndedByHandDoNot) {
    g_script.killInUpdate = 1;
    g_script.endInUpdate = 2;
    Queue(1);
    Queue(2);
    Queue(3);
    UpdateTaskPool(pool.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"init 1 age 0 x 0", "init 2 age 0 x 0",
                                                   "init 3 age 0 x 0", "update 1 age 0 x 0",
                                                   "killed 1 age 0 x 0", "update 2 age 0 x 0",
                                                   "update 3 age 0 x 0", "interact 3 age 1 x 0"}));
    EXPECT_EQ(pool->activeCount, 3);
    EXPECT_EQ(pool->activeEnd, 3);
    EXPECT_EQ(pool->visited, kTaskPoolCapacity);
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{3}));
}

TEST_F(TaskPoolTest, ASlotEndedInTheInteractionPassIsReusedNextFrame) {
    g_script.endInInteraction = 2;
    Queue(1);
    Queue(2);
    Queue(3);
    UpdateTaskPool(pool.get());
    // The ended object moved behind the live ones; its record is the first free slot.
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{1, 3}));
    PooledObject* ended = pool->order[2];
    EXPECT_EQ(ended->param, 2);
    EXPECT_EQ(ended->active, 0);
    Queue(4);
    UpdateTaskPool(pool.get());
    EXPECT_EQ(ended->param, 4);
    EXPECT_EQ(ended->active, 1);
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{1, 3, 4}));
}

TEST_F(TaskPoolTest, LiveObjectsComeFirstByPriorityWithTiesInTheirPreviousOrder) {
    const int priorities[] = {0, 5, 0, 9, 5, 0, 9, 1};
    for (int i = 0; i < 8; ++i) {
        Queue(i, 0.0, priorities[i]);
    }
    g_script.endInUpdate = 4;
    UpdateTaskPool(pool.get());
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{3, 6, 1, 7, 0, 2, 5}));
    EXPECT_EQ(pool->order[7]->param, 4);
    // Nothing changes on the next frames: the order is stable.
    UpdateTaskPool(pool.get());
    UpdateTaskPool(pool.get());
    EXPECT_EQ(ActiveParamsInOrder(), (std::vector<int>{3, 6, 1, 7, 0, 2, 5}));
}

TEST_F(TaskPoolTest, AReusedSlotStartsWithPriorityZeroAndCleanScratch) {
    ObjectBehaviours.slots[kRecorder + 1] = [](PooledObject* o, int32_t phase) {
        if (phase == kBehaviourInit) {
            o->priority = 77;
            o->ints[3] = 5;
            o->reals[4] = 2.5;
            o->flags[1] = 1;
            o->visible = 1;
        }
        if (phase == kBehaviourUpdate) {
            o->killed = 1;
        }
    };
    QueueObjectSpawn(pool.get(), kRecorder + 1, 0, 0, 0, 0, 9, 0, 0, 0);
    UpdateTaskPool(pool.get());
    PooledObject* slot = pool->order[0];
    ASSERT_EQ(slot->active, 0);
    QueueObjectSpawn(pool.get(), 99, 0, 0, 0, 0, 10, 0, 0, 0);
    UpdateTaskPool(pool.get());
    ASSERT_EQ(slot->param, 10);
    EXPECT_EQ(slot->priority, 0);
    EXPECT_EQ(slot->ints[3], 0);
    EXPECT_EQ(slot->reals[4], 0.0);
    EXPECT_EQ(slot->flags[1], 0);
    EXPECT_EQ(slot->visible, 0);
    EXPECT_EQ(slot->killed, 0);
}

TEST_F(TaskPoolTest, TheDrawPassRunsVisibleLiveObjectsInOrder) {
    Queue(1, 0.0, 0.0, 1.0);
    Queue(2, 0.0, 3.0, 0.0);
    Queue(3, 0.0, 7.0, 1.0);
    UpdateTaskPool(pool.get());
    TakeLog();
    DrawTaskPool(pool.get());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"draw 3 age 1 x 0", "draw 1 age 1 x 0"}));
}

TEST_F(TaskPoolTest, AnEmptyStepLeavesNothingToSortOrDraw) {
    UpdateTaskPool(pool.get());
    EXPECT_EQ(pool->activeEnd, 0);
    EXPECT_EQ(pool->activeCount, 0);
    EXPECT_EQ(pool->order[0], &pool->records[0]);
    EXPECT_EQ(pool->order[kTaskPoolCapacity - 1], &pool->records[kTaskPoolCapacity - 1]);
}

TEST_F(TaskPoolTest, The641stRequestOfAFrameIsDropped) {
    for (int i = 0; i < kSpawnQueueCapacity + 5; ++i) {
        Queue(i);
    }
    EXPECT_EQ(pool->requestCount, kSpawnQueueCapacity);
    EXPECT_EQ(pool->requests[kSpawnQueueCapacity - 1].param, kSpawnQueueCapacity - 1);
    ObjectBehaviours.slots[kRecorder] = &EmptyBehaviour<PooledObject>;
    UpdateTaskPool(pool.get());
    EXPECT_EQ(pool->activeCount, kSpawnQueueCapacity);
}

TEST_F(TaskPoolTest, RequestsFindingNoFreeSlotAreDroppedWithAllAfterThem) {
    ObjectBehaviours.slots[kRecorder] = &EmptyBehaviour<PooledObject>;
    int param = 0;
    while (param < kTaskPoolCapacity - 4) {
        for (int i = 0; i < kSpawnQueueCapacity && param < kTaskPoolCapacity - 4; ++i) {
            Queue(param++);
        }
        UpdateTaskPool(pool.get());
    }
    ASSERT_EQ(pool->activeCount, kTaskPoolCapacity - 4);
    for (int i = 0; i < 10; ++i) {
        Queue(param++);
    }
    UpdateTaskPool(pool.get());
    EXPECT_EQ(pool->activeCount, kTaskPoolCapacity);
    EXPECT_EQ(pool->requestCount, 0);
    std::vector<int> params = ActiveParamsInOrder();
    EXPECT_EQ(params.back(), kTaskPoolCapacity - 1);
    // The requests past the 4096th object are gone, not kept for later.
    UpdateTaskPool(pool.get());
    EXPECT_EQ(ActiveParamsInOrder(), params);
}

}  // namespace
