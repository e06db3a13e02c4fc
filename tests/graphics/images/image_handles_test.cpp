// The image handle table: check numbers, released and stale handles, the
// used range, sub-images sharing their source, file names and lost flags.
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {
namespace {

using tessel::g_images;

class ImageHandleTest : public ImageTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(false);
    }
};

TEST_F(ImageHandleTest, HandlesCarryKindCheckNumberAndSlot) {
    const uint32_t check = g_images.nextCheck;
    const int a = tessel::CreateBlankImage(4, 4);
    const int b = tessel::CreateBlankImage(4, 4);
    EXPECT_EQ(a, static_cast<int>(((check | 0x800u) << 16) | 0u));
    EXPECT_EQ(b, static_cast<int>((((check + 1) | 0x800u) << 16) | 1u));
    EXPECT_EQ(a & 0x78000000, 0x08000000);
    EXPECT_EQ(g_images.count, 2);
    EXPECT_EQ(g_images.end, 2);
}

TEST_F(ImageHandleTest, HandlesThatFailTheCheckAreRefused) {
    const int a = tessel::CreateBlankImage(4, 4);
    const int cases[] = {-1,
                         a | static_cast<int>(0x80000000u),
                         (a & ~0x78000000) | 0x10000000,
                         (a & ~0xFFFF) | 0x8000,
                         a ^ 0x00010000,
                         a + 5};
    for (int handle : cases) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(tessel::IsImageHandleValid(handle), 0);
        EXPECT_EQ(tessel::QueryImageSize(handle, nullptr, nullptr), -1);
        EXPECT_EQ(tessel::ReleaseImageHandle(handle), -1);
    }
    EXPECT_EQ(tessel::IsImageHandleValid(a), 1);
}

TEST_F(ImageHandleTest, ReleasedHandleIsRefusedAndItsSlotReusedWithANewCheckNumber) {
    const int a = tessel::CreateBlankImage(4, 4);
    ASSERT_EQ(tessel::ReleaseImageHandle(a), 0);
    EXPECT_EQ(tessel::IsImageHandleValid(a), 0);
    EXPECT_EQ(tessel::ReleaseImageHandle(a), -1);
    const int b = tessel::CreateBlankImage(4, 4);
    EXPECT_EQ(b & 0xFFFF, a & 0xFFFF);
    EXPECT_NE(b, a);
    EXPECT_EQ(tessel::IsImageHandleValid(a), 0);
}

TEST_F(ImageHandleTest, CheckCounterWrapsAfter2047SoAStaleHandleMatchesAgain) {
    const int stale = tessel::CreateBlankImage(2, 2);
    ASSERT_EQ(tessel::ReleaseImageHandle(stale), 0);
    // The 2048th record made in the same slot has the stale one's number.
    for (int i = 0; i < 2048; ++i) {
        const int h = tessel::AllocImageHandle();
        ASSERT_EQ(h & 0xFFFF, stale & 0xFFFF);
        if (i < 2047) {
            ASSERT_EQ(tessel::IsImageHandleValid(stale), 0) << i;
            tessel::ReleaseImageHandle(h);
        }
    }
    EXPECT_EQ(tessel::IsImageHandleValid(stale), 1);
}

TEST_F(ImageHandleTest, DeletingTheLastSlotShrinksTheRangePastEmptySlots) {
    int h[5];
    for (int& handle : h) {
        handle = tessel::CreateBlankImage(2, 2);
    }
    tessel::ReleaseImageHandle(h[2]);
    tessel::ReleaseImageHandle(h[3]);
    EXPECT_EQ(g_images.end, 5);
    tessel::ReleaseImageHandle(h[4]);
    EXPECT_EQ(g_images.end, 2);
    EXPECT_EQ(tessel::CreateBlankImage(2, 2) & 0xFFFF, 2);
    tessel::ReleaseImageHandle(h[0]);
    tessel::ReleaseImageHandle(h[1]);
    EXPECT_EQ(g_images.end, 3);
}

TEST_F(ImageHandleTest, ScreensAnswerTheScreenSizeWithoutTheTable) {
    for (int screen : {tessel::kBackScreen, tessel::kFrontScreen}) {
        int w = 0, h = 0;
        EXPECT_EQ(tessel::QueryImageSize(screen, &w, &h), 0);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480);
    }
    EXPECT_EQ(g_images.count, 0);
}

TEST_F(ImageHandleTest, SubImagesShareTheSourceAndAddOffsets) {
    const int parent = tessel::CreateBlankImage(40, 30);
    ASSERT_NE(parent, -1);
    ASSERT_EQ(tessel::SetImageFileName(parent, "pic.png", -1), 0);
    const int child = tessel::CreateSubImageHandle(5, 6, 20, 10, parent);
    const int grandchild = tessel::CreateSubImageHandle(3, 2, 100, 100, child);
    ASSERT_NE(child, -1);
    ASSERT_NE(grandchild, -1);
    const tessel::ImageRecord* p = tessel::GetImageRecord(parent);
    const tessel::ImageRecord* g = tessel::GetImageRecord(grandchild);
    EXPECT_EQ(g->source, p->source);
    EXPECT_EQ(p->source->refCount, 3u);
    EXPECT_EQ(g->fileName, p->fileName);
    EXPECT_EQ(p->fileName->refCount, 3u);
    EXPECT_EQ(g->x, 8);
    EXPECT_EQ(g->y, 8);
    EXPECT_EQ(g->reloadX, 8);
    EXPECT_EQ(g->reloadY, 8);
    // Cut at the child's edge, not at the source's.
    EXPECT_EQ(g->width, 17);
    EXPECT_EQ(g->height, 8);

    ASSERT_EQ(tessel::FillImageWithColor(parent, 10, 200, 30, 255), 0);
    tessel::ReleaseImageHandle(parent);
    tessel::ReleaseImageHandle(child);
    EXPECT_EQ(Pixel(grandchild, 16, 7) & 0xFFFFFF, Pixel(grandchild, 0, 0) & 0xFFFFFF);
    EXPECT_NE(Pixel(grandchild, 0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(tessel::GetImageRecord(grandchild)->source->refCount, 1u);
}

TEST_F(ImageHandleTest, SubImagesOutsideTheSourceOrWithoutAreaAreRefused) {
    const int parent = tessel::CreateBlankImage(10, 10);
    const struct {
        int x, y, w, h;
    } cases[] = {{-1, 0, 4, 4}, {0, -1, 4, 4}, {10, 0, 4, 4}, {0, 10, 4, 4},
                 {0, 0, 0, 4},  {0, 0, 4, 0},  {2, 2, -3, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        EXPECT_EQ(tessel::CreateSubImageHandle(c.x, c.y, c.w, c.h, parent), -1);
    }
    EXPECT_EQ(g_images.count, 1);
    const int edge = tessel::CreateSubImageHandle(9, 9, 5, 5, parent);
    int w = 0, h = 0;
    tessel::QueryImageSize(edge, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

TEST_F(ImageHandleTest, FileNamesAreSharedDroppedAndFreedWithTheirLastImage) {
    const int a = tessel::CreateBlankImage(2, 2);
    const int b = tessel::CreateBlankImage(2, 2);
    ASSERT_EQ(tessel::SetImageFileName(a, "dir/x.bmp", -1), 0);
    const tessel::ImageFileNameRecord* name = tessel::GetImageRecord(a)->fileName;
    ASSERT_NE(name, nullptr);
    EXPECT_NE(std::string(name->path).find("x.bmp"), std::string::npos);
    ASSERT_EQ(tessel::SetImageFileName(b, nullptr, a), 0);
    EXPECT_EQ(tessel::GetImageRecord(b)->fileName, name);
    EXPECT_EQ(name->refCount, 2u);
    EXPECT_EQ(tessel::SetImageFileName(b, nullptr, 12345), -1);
    EXPECT_EQ(tessel::GetImageRecord(b)->fileName, nullptr);
    EXPECT_EQ(name->refCount, 1u);
    ASSERT_EQ(tessel::SetImageFileName(a, nullptr, -1), 0);
    EXPECT_EQ(tessel::GetImageRecord(a)->fileName, nullptr);
}

TEST_F(ImageHandleTest, DeleteAllImagesSetsEveryLostFlagAndEmptiesTheTable) {
    int flags[3] = {7, 7, 7};
    for (int& flag : flags) {
        const int h = tessel::CreateBlankImage(3, 3);
        ASSERT_EQ(tessel::SetImageLostFlag(h, &flag), 0);
        EXPECT_EQ(flag, 0);
        tessel::CreateSubImageHandle(1, 1, 1, 1, h);
    }
    EXPECT_EQ(tessel::DeleteAllImages(), 0);
    for (int flag : flags) {
        EXPECT_EQ(flag, 1);
    }
    EXPECT_EQ(g_images.count, 0);
    EXPECT_EQ(g_images.end, 0);
}

TEST_F(ImageHandleTest, BlankImagesStartBlackEvenInReusedMemory) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const int h = tessel::CreateBlankImage(64, 32);
        for (auto [x, y] : {std::pair{0, 0}, {63, 31}, {20, 9}}) {
            EXPECT_EQ(Pixel(h, x, y) & 0xFFFFFF, 0u) << x << "," << y;
        }
        tessel::FillImageWithColor(h, 255, 255, 255, 255);
        tessel::ReleaseImageHandle(h);
    }
}

TEST_F(ImageHandleTest, CombinedDrawColorTakesTheParameterOnlyWhenBlending) {
    tessel::g_drawSettings.brightness = 0x102030;
    tessel::g_drawSettings.blendParam = 77;
    EXPECT_EQ(tessel::CombinedDrawColor(), 0xFF102030u);
    tessel::g_drawSettings.blendMode = 1;
    EXPECT_EQ(tessel::CombinedDrawColor(), 0x4D102030u);
    tessel::g_drawSettings.blendMode = 0;
    tessel::g_drawSettings.blendParam = 255;
    tessel::g_drawSettings.brightness = 0xFFFFFF;
}

TEST_F(ImageHandleTest, BlendMaskMustBeAValidImageAtLeastAsLarge) {
    const int image = tessel::CreateBlankImage(10, 8);
    const tessel::ImageRecord* record = tessel::GetImageRecord(image);
    EXPECT_EQ(tessel::CheckBlendMaskSize(record), -1);
    tessel::g_drawSettings.blendMaskImage = tessel::CreateBlankImage(10, 8);
    EXPECT_EQ(tessel::CheckBlendMaskSize(record), 0);
    tessel::g_drawSettings.blendMaskImage = tessel::CreateBlankImage(10, 7);
    EXPECT_EQ(tessel::CheckBlendMaskSize(record), -1);
    tessel::g_drawSettings.blendMaskImage = tessel::CreateBlankImage(9, 20);
    EXPECT_EQ(tessel::CheckBlendMaskSize(record), -1);
}

}  // namespace
}  // namespace tessel_test
