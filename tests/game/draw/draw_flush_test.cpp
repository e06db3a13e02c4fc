// Flushing a draw queue: the order, the target switches and the drawing call and blend of each
// kind.
#include "game/draw/draw_flush.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/bullets/bullet_fixture.h"
#include "game/draw/game_screens.h"
#include "game/draw/warp_grid.h"
#include "game/math/angles.h"
#include "game/startup/init_game.h"
#include "tests/game/draw/draw_call_recorder.h"

namespace {

using namespace draw_test;

constexpr int kScene = 77;
constexpr int kOther = 88;
constexpr int kSheet = 555;

class DrawFlushTest : public testing::Test {
  protected:
    void SetUp() override {
        SceneDrawTarget = kScene;
        CurrentDrawTarget = kScene;
        saved_ = {EffectScreen, FloorScreen, LetterSheetImage};
        EffectScreen = 66;
        FloorScreen = 44;
        LetterSheetImage = kSheet;
        WarpGridPhase = 0;
    }
    void TearDown() override {
        SceneDrawTarget = kBackScreenTarget;
        CurrentDrawTarget = kBackScreenTarget;
        EffectScreen = saved_[0];
        FloorScreen = saved_[1];
        LetterSheetImage = saved_[2];
        WarpGridPhase = 0;
    }

    // Flushes the queue and gives the calls between the flush's opening and
    // closing ones, which are checked here.
    std::vector<std::string> Flush() {
        g_calls.clear();
        FlushDrawQueue(queue.get());
        EXPECT_EQ(queue->count, 0);
        if (g_calls.size() < 3) {
            ADD_FAILURE() << "the flush made " << g_calls.size() << " calls";
            return {};
        }
        EXPECT_EQ(g_calls.front(), Blend(1, 255));
        EXPECT_EQ(g_calls[g_calls.size() - 2], Target(kScene));
        EXPECT_EQ(g_calls.back(), Blend(1, 255));
        return std::vector<std::string>(g_calls.begin() + 1, g_calls.end() - 2);
    }

    void PushAt(int layer, double x, int target) {
        QueueImageDraw(queue.get(), 9, target, layer, kBlendAlpha, x, 0.0, 1.0, MakeDefaultColor(),
                       0);
    }

    // An image request turned into a kind that has no push of its own.
    DrawRequest& PushKind(int32_t kind, int32_t blendIndex) {
        QueueImageDraw(queue.get(), 36, kScene, 0, blendIndex, 100.0, 50.0, 1.0, MakeColor(1, 2, 3),
                       0);
        DrawRequest& request = queue->requests[queue->count - 1];
        request.kind = kind;
        return request;
    }

    RecordedDrawing recorded_;
    std::unique_ptr<DrawQueue> queue = std::make_unique<DrawQueue>();
    std::array<int32_t, 3> saved_{};
};

TEST_F(DrawFlushTest, HigherLayersDrawFirstThenPushOrderAndTargetsSwitchOnlyOnAChange) {
    PushAt(5, 1.0, kScene);
    PushAt(5, 2.0, kOther);
    PushAt(10, 3.0, kOther);
    PushAt(1000000, 4.0, kScene);
    PushAt(-3, 5.0, kScene);
    PushAt(-3, 6.0, kScene);
    auto drawn = [](float x) {
        return std::vector<std::string>{Bright(255, 255, 255), Blend(1, 255), At(x, 0.0f, 9)};
    };
    std::vector<std::string> expected;
    for (const auto& [x, target] : std::vector<std::pair<float, int>>{
             {4, 0}, {3, kOther}, {1, kScene}, {2, kOther}, {5, kScene}, {6, 0}}) {
        if (target != 0) {
            expected.push_back(Target(target));
        }
        for (const std::string& call : drawn(x)) {
            expected.push_back(call);
        }
    }
    EXPECT_EQ(Flush(), expected);
    // The last request's target is remembered; the scene's is selected again.
    EXPECT_EQ(CurrentDrawTarget, kScene);
}

TEST_F(DrawFlushTest, AnEmptyQueueOnlyResetsTheBlendAndTheTarget) {
    PushAt(0, 1.0, kOther);
    Flush();
    EXPECT_EQ(CurrentDrawTarget, kOther);
    EXPECT_TRUE(Flush().empty());
}

TEST_F(DrawFlushTest, EachKindDrawsWithItsCallAfterItsTintAndBlend) {
    const ColorRecord tint = MakeColor(200, 100, 50);
    auto beam = [&](int32_t kind, int32_t blendIndex, double angle) {
        return [=, this](DrawQueue*) {
            DrawRequest& r = PushKind(kind, blendIndex);
            r.beamLength = 40.0;
            r.beamWidth = 10.0;
            r.angle = angle;
        };
    };
    const struct Case {
        const char* name;
        std::function<void(DrawQueue*)> push;
        std::vector<std::string> expected;
    } cases[] = {
        {"image",
         [&](DrawQueue* q) {
             QueueImageDraw(q, 31, kScene, 0, kBlendAdd, 12.75, -3.5, 0.5, tint, 1);
         },
         {Bright(200, 100, 50), Blend(2, 127), At(12.75f, -3.5f, 31)}},
        {"rotated",
         [&](DrawQueue* q) {
             QueueRotatedImageDraw(q, 32, kScene, 0, kBlendSubtract, 100.3, 200.7, 1.25, 30.5, 1.0,
                                   tint, 1);
         },
         {Bright(200, 100, 50), Blend(3, 255),
          Rotated(100.3f, 200.7f, 1.25, DegToRad(30.5), 32, 1)}},
        {"part, truncated toward zero",
         [&](DrawQueue* q) {
             QueueImagePartDraw(q, 33, kScene, 0, kBlendMultiply, 10.9, -4.9, 16.7, 32.2, 48.9, 8.5,
                                0.25, MakeDefaultColor(), 1);
         },
         {Bright(255, 255, 255), Blend(11, 63), Part(10, -4, 16, 32, 48, 8, 33, 1)}},
        {"pivot-rotated",
         [&](DrawQueue*) {
             DrawRequest& r = PushKind(kDrawPivotRotated, kBlendInvert);
             r.x2 = 5.5;
             r.y2 = 6.25;
             r.scale = 2.0;
             r.angle = -45.0;
             r.mirror = 1;
         },
         {Bright(1, 2, 3), Blend(10, 255),
          Pivot(100, 50, 5.5f, 6.25f, 2.0, DegToRad(-45.0), 36, 1)}},
        {"quad",
         [&](DrawQueue*) {
             DrawRequest& r = PushKind(kDrawQuad, kBlendAlpha);
             r.x2 = 120.5;
             r.y2 = 51.0;
             r.x3 = 121.0;
             r.y3 = 80.25;
             r.x4 = 99.0;
             r.y4 = 79.0;
         },
         {Bright(1, 2, 3), Blend(1, 255), Quad(100, 50, 120.5f, 51, 121, 80.25f, 99, 79, 36)}},
        // Beams 40 long and 10 wide from (100, 50).
        {"beam from its base, pointing up",
         beam(kDrawBeamFromBase, kBlendAdd, 90.0),
         {Bright(1, 2, 3), Blend(2, 255), Quad(95, 10, 105, 10, 105, 50, 95, 50, 36)}},
        {"beam from its base, pointing right",
         beam(kDrawBeamFromBase, kBlendAdd, 0.0),
         {Bright(1, 2, 3), Blend(2, 255), Quad(140, 45, 140, 55, 100, 55, 100, 45, 36)}},
        {"centred beam",
         beam(kDrawBeamCentred, kBlendAlpha, 90.0),
         {Bright(1, 2, 3), Blend(1, 255), Quad(95, 30, 105, 30, 105, 70, 95, 70, 36)}},
        {"text: a style-4 copy under the request's style",
         [&](DrawQueue* q) {
             QueueTextDraw(q, "Hi", 2, kScene, 0, kBlendAlpha, 10.5, 20.0, 1.0, tint, 1);
         },
         {Bright(200, 100, 50), Blend(1, 255), Part(10, 20, 128, 416, 16, 16, kSheet, 0),
          Part(22, 20, 144, 448, 16, 16, kSheet, 0), Part(10, 20, 128, 224, 16, 16, kSheet, 0),
          Part(22, 20, 144, 256, 16, 16, kSheet, 0)}},
        {"a blend index beyond the table keeps the blend",
         [&](DrawQueue* q) {
             QueueImageDraw(q, 31, kScene, 0, 5, 1.0, 2.0, 1.0, tint, 0);
             QueueImageDraw(q, 31, kScene, 0, -1, 3.0, 4.0, 1.0, tint, 0);
         },
         {Bright(200, 100, 50), At(1, 2, 31), Bright(200, 100, 50), At(3, 4, 31)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.push(queue.get());
        EXPECT_EQ(Flush(), c.expected);
    }
}

TEST_F(DrawFlushTest, AWarpAddsWithParameterOneAndDrawsTwentyStripsOfTheFloor) {
    QueueWarpDraw(queue.get(), kScene, 0, 200.7, 240.2, 1.0);
    QueueWarpDraw(queue.get(), kScene, -1, 100.0, 100.0, 0.0);
    std::vector<std::string> expected{Bright(255, 255, 255), Blend(2, 1)};
    for (int i = 0; i < 20; ++i) {
        expected.push_back("polygons 42 5 44 1 0");
    }
    // Strength 0 sets the blend and draws nothing.
    expected.push_back(Bright(255, 255, 255));
    expected.push_back(Blend(2, 1));
    EXPECT_EQ(Flush(), expected);
    ASSERT_EQ(g_polygons.size(), 20u);
    // The centre is truncated to (200, 240): the grid's corner lies 160 up and left.
    EXPECT_EQ(g_polygons[0][0].x, 40.0f);
    EXPECT_EQ(g_polygons[0][0].y, 80.0f);
    EXPECT_EQ(WarpGridPhase, 9);
}

TEST_F(DrawFlushTest, TheCallbackDrawsTheBulletLayerOnTheEffectScreenUntinted) {
    std::unique_ptr<BulletManager> manager = MakeTestBulletManager();
    QueueBulletSpawn(manager.get(), MakeShot(kPlainKind, 100.0, 200.0, 0.0, 30.0));
    UpdateBulletManager(manager.get());
    QueueDrawCallback(queue.get(), manager.get(), -10000);
    QueueDrawCallback(queue.get(), nullptr, -10001);
    std::vector<std::string> calls = Flush();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], Target(66));
    // The layer's own calls follow at once: no tint or blend of a request.
    EXPECT_EQ(calls[1], "only 2");
    EXPECT_EQ(calls[2].rfind("colour ", 0), 0u) << calls[2];
    size_t drawn = 0;
    for (const std::string& call : calls) {
        drawn += call.rfind("alt ", 0) == 0 ? 1 : 0;
        EXPECT_EQ(call.rfind("bright ", 0), std::string::npos) << call;
    }
    EXPECT_GE(drawn, 2u);
}

}  // namespace
