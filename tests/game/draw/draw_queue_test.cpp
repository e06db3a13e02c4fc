// The draw-request queues: what each push stores, the draw order and the capacity.
#include "game/draw/draw_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/draw/game_screens.h"

namespace {

class DrawQueueTest : public testing::Test {
  protected:
    std::unique_ptr<DrawQueue> queue = std::make_unique<DrawQueue>();

    // The x1 of the queued requests in draw order, after a sort.
    std::vector<double> SortedPlaces() {
        SortDrawQueue(queue.get());
        std::vector<double> places;
        for (int i = 0; i < queue->count; ++i) {
            places.push_back(queue->order[i]->x1);
        }
        return places;
    }

    void PushAt(int layer, double place) {
        QueueImageDraw(queue.get(), 7, -2, layer, kBlendAlpha, place, 0.0, 1.0, MakeDefaultColor(),
                       0);
    }
};

TEST_F(DrawQueueTest, AHigherLayerDrawsFirstAndALayerDrawsInPushOrder) {
    PushAt(5, 1.0);
    PushAt(5, 2.0);
    PushAt(10, 3.0);
    PushAt(-20000, 4.0);
    PushAt(5, 5.0);
    PushAt(1000000, 6.0);
    PushAt(10000, 7.0);
    EXPECT_EQ(SortedPlaces(), (std::vector<double>{6.0, 7.0, 3.0, 1.0, 2.0, 5.0, 4.0}));
}

TEST_F(DrawQueueTest, LayersWhoseProductWithTheCapacityWouldOverflowKeepTheirPlace) {
    // 429497 x 5000 passes 2^31 and 1000000000 x 5000 passes 2^32: folded into
    // one 32-bit key they would sort behind layer 10000 or among the negatives.
    PushAt(10000, 1.0);
    PushAt(429497, 2.0);
    PushAt(-429497, 3.0);
    PushAt(1000000000, 4.0);
    PushAt(429497, 5.0);
    PushAt(INT32_MIN, 6.0);
    PushAt(INT32_MAX, 7.0);
    EXPECT_EQ(SortedPlaces(), (std::vector<double>{7.0, 4.0, 2.0, 5.0, 1.0, 3.0, 6.0}));
}

TEST_F(DrawQueueTest, PushesBeyondTheCapacityAreDroppedAndTheFirstOnesKept) {
    for (int i = 0; i < kDrawQueueCapacity + 3; ++i) {
        PushAt(i % 7, i);
    }
    EXPECT_EQ(queue->count, kDrawQueueCapacity);
    EXPECT_EQ(queue->requests[kDrawQueueCapacity - 1].x1, kDrawQueueCapacity - 1);
    std::vector<double> places = SortedPlaces();
    ASSERT_EQ(places.size(), static_cast<size_t>(kDrawQueueCapacity));
    // Layer 6 first: pushes 6, 13, 20, ...
    EXPECT_EQ(places[0], 6.0);
    EXPECT_EQ(places[1], 13.0);

    ClearDrawQueue(queue.get());
    PushAt(1, 42.0);
    EXPECT_EQ(queue->count, 1);
    EXPECT_EQ(SortedPlaces(), (std::vector<double>{42.0}));
}

TEST_F(DrawQueueTest, ImagePushesStoreTheirKindPlaceAndLook) {
    ColorRecord colour = MakeColor(10, 20, 30);
    QueueImageDraw(queue.get(), 11, 5, 1, kBlendAdd, 1.5, 2.5, 0.5, colour, 1);
    QueueRotatedImageDraw(queue.get(), 12, 6, 2, kBlendSubtract, 3.5, 4.5, 1.25, 33.0, 0.25, colour,
                          0);
    QueueImagePartDraw(queue.get(), 13, 7, 3, kBlendMultiply, 5.0, 6.0, 16.0, 32.0, 48.0, 64.0, 1.0,
                       colour, 1);
    ASSERT_EQ(queue->count, 3);

    const DrawRequest& image = queue->requests[0];
    EXPECT_EQ(image.kind, kDrawImage);
    EXPECT_EQ(image.layer, 1);
    EXPECT_EQ(image.pushIndex, 0);
    EXPECT_EQ(image.image, 11);
    EXPECT_EQ(image.target, 5);
    EXPECT_EQ(image.blendIndex, kBlendAdd);
    EXPECT_EQ(image.x1, 1.5);
    EXPECT_EQ(image.y1, 2.5);
    EXPECT_EQ(image.alpha, 127);
    EXPECT_EQ(image.brightness.r, 10);
    EXPECT_EQ(image.brightness.g, 20);
    EXPECT_EQ(image.brightness.b, 30);
    EXPECT_EQ(image.mirror, 1);

    const DrawRequest& rotated = queue->requests[1];
    EXPECT_EQ(rotated.kind, kDrawRotatedImage);
    EXPECT_EQ(rotated.layer, 2);
    EXPECT_EQ(rotated.pushIndex, 1);
    EXPECT_EQ(rotated.scale, 1.25);
    EXPECT_EQ(rotated.angle, 33.0);
    EXPECT_EQ(rotated.alpha, 63);

    const DrawRequest& part = queue->requests[2];
    EXPECT_EQ(part.kind, kDrawImagePart);
    EXPECT_EQ(part.x2, 16.0);
    EXPECT_EQ(part.y2, 32.0);
    EXPECT_EQ(part.x3, 48.0);
    EXPECT_EQ(part.y3, 64.0);
    EXPECT_EQ(part.alpha, 255);
}

TEST_F(DrawQueueTest, AlphaIsRoundedToSinglePrecisionBeforeItBecomesAByte) {
    const struct {
        double alpha;
        int byte;
    } cases[] = {
        {0.99999999999, 255},  // 1.0f; the double alone would give 254
        {0.999, 254},         {-0.5, 0}, {2.0, 255}, {0.05000000074505806, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alpha);
        ClearDrawQueue(queue.get());
        QueueImageDraw(queue.get(), 1, 1, 0, kBlendAlpha, 0, 0, c.alpha, MakeDefaultColor(), 0);
        EXPECT_EQ(queue->requests[0].alpha, c.byte);
    }
}

TEST_F(DrawQueueTest, TextKeepsAtMost255CharactersAndNumbersKeepTheirValue) {
    std::string longText(300, 'k');
    QueueTextDraw(queue.get(), longText.c_str(), 3, 9, -1000, kBlendAlpha, 10.0, 20.0, 1.0,
                  MakeDefaultColor(), 1);
    QueueNumberDraw(queue.get(), -1234567890123LL, 2, 9, -1000, kBlendAlpha, 636.0, 48.0, 1.0,
                    MakeDefaultColor(), 0);
    const DrawRequest& text = queue->requests[0];
    EXPECT_EQ(text.kind, kDrawText);
    EXPECT_EQ(text.textStyle, 3);
    EXPECT_EQ(std::string(text.text), std::string(255, 'k'));
    const DrawRequest& number = queue->requests[1];
    EXPECT_EQ(number.kind, kDrawNumber);
    EXPECT_EQ(number.textStyle, 2);
    EXPECT_EQ(number.number, -1234567890123LL);
    EXPECT_EQ(number.x1, 636.0);
}

TEST_F(DrawQueueTest, TheCallbackDrawsOnThePlayFieldAndTheWarpKeepsItsStrength) {
    int parameter = 0;
    int savedEffectScreen = EffectScreen;
    EffectScreen = 0x08000123;
    QueueDrawCallback(queue.get(), &parameter, -10000);
    EffectScreen = savedEffectScreen;
    QueueWarpDraw(queue.get(), 77, 10000, 100.0, 200.0, 0.75);

    const DrawRequest& callback = queue->requests[0];
    EXPECT_EQ(callback.kind, kDrawCallback);
    EXPECT_EQ(callback.layer, -10000);
    EXPECT_EQ(callback.pushIndex, 0);
    EXPECT_EQ(callback.target, 0x08000123);
    EXPECT_EQ(callback.callbackParameter, &parameter);
    const DrawRequest& warp = queue->requests[1];
    EXPECT_EQ(warp.kind, kDrawWarpGrid);
    EXPECT_EQ(warp.target, 77);
    EXPECT_EQ(warp.x1, 100.0);
    EXPECT_EQ(warp.y1, 200.0);
    EXPECT_EQ(warp.scale, 0.75);
}

TEST(DrawQueues, TheTwoGlobalQueuesStartEmptyWithTheirOrderInStorageOrder) {
    for (DrawQueue* queue : {&FrontDrawQueue, &TopDrawQueue}) {
        EXPECT_EQ(queue->count, 0);
        EXPECT_EQ(queue->order[0], &queue->requests[0]);
        EXPECT_EQ(queue->order[kDrawQueueCapacity - 1], &queue->requests[kDrawQueueCapacity - 1]);
    }
}

}  // namespace
