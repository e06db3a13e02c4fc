// The library's own drawing calls behind the flush, read back by pixel on both drawing paths.
#include "game/draw/library_draw_calls.h"

#include <gtest/gtest.h>

#include <memory>

#include "game/draw/draw_flush.h"
#include "game/draw/game_screens.h"
#include "game/startup/init_game.h"
#include "graphics/batch/vertex_batch.h"
#include "tests/graphics/images/image_test_support.h"

namespace {

constexpr uint32_t kPicture = 0xC83C5A;
constexpr uint32_t kSheet = 0x1E78DC;

class LibraryDrawCallsTest : public tessel_test::BothPathsImageTest {
  protected:
    void SetUp() override {
        BothPathsImageTest::SetUp();
        target_ = Filled(64, 64, 0x000000);
        picture_ = Filled(8, 8, kPicture);
        LetterSheetImage = Filled(512, 480, kSheet);
        BindLibraryDrawCalls(&LibraryOwnDrawCalls());
        SceneDrawTarget = CurrentDrawTarget = kBackScreenTarget;
    }
    void TearDown() override {
        BindLibraryDrawCalls(nullptr);
        LetterSheetImage = -1;
        SceneDrawTarget = CurrentDrawTarget = kBackScreenTarget;
        BothPathsImageTest::TearDown();
    }

    static int Filled(int width, int height, uint32_t rgb) {
        int handle = tessel::CreateDrawableImage(width, height);
        EXPECT_NE(handle, -1);
        tessel::FillImageWithColor(handle, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
        return handle;
    }
    uint32_t At(int x, int y) {
        tessel::FlushVertexBatch();
        return Pixel(target_, x, y) & 0xFFFFFFu;
    }
    DrawRequest& Push(int32_t kind, double x, double y) {
        QueueImageDraw(queue_.get(), picture_, target_, 0, kBlendAlpha, x, y, 1.0,
                       MakeDefaultColor(), 0);
        DrawRequest& request = queue_->requests[queue_->count - 1];
        request.kind = kind;
        return request;
    }

    int target_ = -1;
    int picture_ = -1;
    std::unique_ptr<DrawQueue> queue_ = std::make_unique<DrawQueue>();
};

TEST_P(LibraryDrawCallsTest, AFlushedQueueDrawsItsImagesPartsQuadsAndTextOnItsTarget) {
    Push(kDrawImage, 4.0, 4.0);
    DrawRequest& pivoted = Push(kDrawPivotRotated, 30.0, 4.0);
    pivoted.scale = 1.0;
    DrawRequest& quad = Push(kDrawQuad, 4.0, 30.0);
    quad.x2 = 20.0;
    quad.y2 = 30.0;
    quad.x3 = 20.0;
    quad.y3 = 46.0;
    quad.x4 = 4.0;
    quad.y4 = 46.0;
    QueueTextDraw(queue_.get(), "A", 0, target_, 0, kBlendAlpha, 40.0, 40.0, 1.0,
                  MakeDefaultColor(), 0);
    FlushDrawQueue(queue_.get());
    const struct {
        int x, y;
        uint32_t rgb;
    } cases[] = {
        {5, 5, kPicture},   {3, 3, 0},          {11, 11, kPicture},
        {12, 12, 0},                                          // the image, 8 x 8
        {31, 5, kPicture},  {29, 5, 0},                       // pivot (0, 0) on (30, 4)
        {10, 38, kPicture}, {19, 45, kPicture}, {21, 38, 0},  // the quad, 16 x 16
        {41, 41, kSheet},   {55, 55, kSheet},   {57, 57, 0},  // a letter cell
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(At(c.x, c.y), c.rgb);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, LibraryDrawCallsTest, testing::Bool(), tessel_test::PathName);

}  // namespace
