// The refill of images after a lost device: one load per run of images of a
// file, each image its own rectangle, and a registered function in its place.
#include "graphics/restore/image_restore.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/images/image_test_support.h"

namespace tessel_test {
namespace {

// 40 x 2: each pixel's colour names its place.
uint32_t Colour(int x, int y) {
    return 0x100000u * (y + 1) + 0x000100u * (x * 6) + 0x11u;
}

Bytes StripPng(uint32_t tint) {
    PngRecipe recipe;
    recipe.width = 40;
    recipe.height = 2;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 40; ++x) {
            const uint32_t c = Colour(x, y) ^ tint;
            recipe.rows.push_back(static_cast<uint8_t>(c >> 16));
            recipe.rows.push_back(static_cast<uint8_t>(c >> 8));
            recipe.rows.push_back(static_cast<uint8_t>(c));
        }
    }
    return MakePng(recipe);
}

class ImageRestoreTest : public ImageTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(true);
        WriteWholeFile(dir().Linux("a.png"), StripPng(0));
        WriteWholeFile(dir().Linux("b.png"), StripPng(0x0F0F0F));
    }
    void TearDown() override {
        tessel::SetRestoreCallback(nullptr);
        ImageTest::TearDown();
    }
    // Loses the device and lets activation bring it back; the number of
    // files the refill loaded.
    uint64_t LoseAndRestore() {
        const uint64_t before = tessel::RestoreLoadCount();
        platform::LoseD3D9Devices();
        Activate();
        EXPECT_EQ(tessel::IsGraphicsDeviceLost(), 0);
        return tessel::RestoreLoadCount() - before;
    }
};

TEST_F(ImageRestoreTest, FortySubImagesOfOneFileComeBackFromOneLoad) {
    const int whole = tessel::LoadImageFile("a.png", 0);
    ASSERT_NE(whole, -1) << Log();
    std::vector<int> parts;
    for (int i = 0; i < 40; ++i) {
        parts.push_back(tessel::CreateSubImageHandle(i, i % 2, 1, 1, whole));
        ASSERT_NE(parts.back(), -1);
    }
    EXPECT_EQ(LoseAndRestore(), 1u);
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Pixel(parts[i], 0, 0) & 0xFFFFFF, Colour(i, i % 2));
    }
    EXPECT_EQ(Pixel(whole, 39, 1) & 0xFFFFFF, Colour(39, 1));
    EXPECT_NE(Log().find("グラフィックを復帰します"), std::string::npos);
}

TEST_F(ImageRestoreTest, FilesThatAlternateAreLoadedAgainEachTime) {
    const int a1 = tessel::LoadImageFile("a.png", 0);
    const int b = tessel::LoadImageFile("b.png", 0);
    const int a2 = tessel::LoadImageFile("a.png", 0);
    ASSERT_NE(a2, -1);
    EXPECT_EQ(LoseAndRestore(), 3u);
    EXPECT_EQ(Pixel(a1, 3, 0) & 0xFFFFFF, Colour(3, 0));
    EXPECT_EQ(Pixel(b, 3, 0) & 0xFFFFFF, Colour(3, 0) ^ 0x0F0F0F);
    EXPECT_EQ(Pixel(a2, 3, 0) & 0xFFFFFF, Colour(3, 0));
}

TEST_F(ImageRestoreTest, AFileGoneMeanwhileIsLoggedAndTheOthersStillComeBack) {
    const int a = tessel::LoadImageFile("a.png", 0);
    const int b = tessel::LoadImageFile("b.png", 0);
    ASSERT_NE(b, -1);
    std::remove(dir().Linux("a.png").c_str());
    EXPECT_EQ(LoseAndRestore(), 2u);
    EXPECT_EQ(tessel::IsImageHandleValid(a), 1);
    EXPECT_EQ(Pixel(b, 0, 1) & 0xFFFFFF, Colour(0, 1) ^ 0x0F0F0F);
    EXPECT_NE(Log().find("がロードできませんでした"), std::string::npos);
}

TEST_F(ImageRestoreTest, ARegisteredFunctionReplacesTheReload) {
    const int a = tessel::LoadImageFile("a.png", 0);
    ASSERT_NE(a, -1);
    static int calls = 0;
    static void* seen = nullptr;
    calls = 0;
    int token = 7;
    tessel::SetRestoreCallback(
        [](void* data) {
            ++calls;
            seen = data;
        },
        &token);
    EXPECT_EQ(LoseAndRestore(), 0u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, &token);
    EXPECT_EQ(Pixel(a, 3, 0), 0u) << "nothing reloaded the file";
    tessel::SetRestoreCallback(nullptr);
    EXPECT_EQ(LoseAndRestore(), 1u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Pixel(a, 3, 0) & 0xFFFFFF, Colour(3, 0));
}

}  // namespace
}  // namespace tessel_test
