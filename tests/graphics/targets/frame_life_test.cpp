// A whole life on each path, headless: start, load from an archive, draw
// and present, lose and restore the device, draw again, end with no block
// left.
#include "foundation/files/archive_fs.h"
#include "foundation/memory/memory.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/restore/image_restore.h"
#include "graphics/targets/draw_targets.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/images/image_test_support.h"
#include "tools/lib/archive_pack.h"

namespace tessel_test {
namespace {

// The file's pixel i (row-major, 4 wide) as 0xRRGGBB.
uint32_t FilePixel(int i) {
    return (uint32_t(i * 16) << 16) | 0x8000u | uint32_t(255 - i);
}

class FrameLifeTest : public BothPathsImageTest {
  protected:
    // The picture at (100, 50) and its part at (200, 50) over the
    // background, presented; the window shows both.
    static void DrawAndPresent(int image, int part) {
        tessel::SetBackgroundRgb(0x20, 0x40, 0x60);
        ASSERT_EQ(tessel::EraseDrawTarget(nullptr), 0);
        ASSERT_EQ(tessel::DrawImageAt(100, 50, image, 0), 0);
        ASSERT_EQ(tessel::DrawImageAt(200, 50, part, 0), 0);
        ASSERT_EQ(tessel::PresentScreenPublic(), 0);
        HWND window = tessel::GetMainWindow();
        EXPECT_EQ(platform::ReadWindowPixel(window, 300, 200), 0x204060u);
        EXPECT_EQ(platform::ReadWindowPixel(window, 100, 50), FilePixel(0));
        EXPECT_EQ(platform::ReadWindowPixel(window, 103, 53), FilePixel(15));
        EXPECT_EQ(platform::ReadWindowPixel(window, 104, 53), 0x204060u);
        // The part starts at (1, 2) of the file: its (1, 1) is pixel 14.
        EXPECT_EQ(platform::ReadWindowPixel(window, 201, 51), FilePixel(14));
        EXPECT_EQ(platform::ReadWindowPixel(window, 202, 51), 0x204060u);
    }
    void SetUp() override {
        tessel::SetArchiveSuffixOption("dat");
        ImageTest::SetUp();
        WriteArchive();
        tessel::g_screen.colorBits = 32;
        Start(GetParam());
    }
    void TearDown() override {
        BothPathsImageTest::TearDown();
        tessel::SetArchiveSuffixOption(nullptr);
    }
    void WriteArchive() {
        PngRecipe recipe;
        recipe.width = 4;
        recipe.height = 4;
        for (int i = 0; i < 16; ++i) {
            recipe.rows.insert(recipe.rows.end(), {uint8_t(i * 16), 0x80, uint8_t(255 - i)});
        }
        const Bytes png = MakePng(recipe);
        tessel::ArchiveBuilder builder;
        ASSERT_EQ(builder.AddFile("a.png", png.data(), png.size()), 0);
        std::vector<uint8_t> archive;
        ASSERT_EQ(builder.Build({}, &archive), 0);
        WriteWholeFile(dir().Linux("pics.dat"), archive);
    }
};

TEST_P(FrameLifeTest, ALoadedPictureSurvivesPresentationLossAndTheEnd) {
    const int image = tessel::LoadImageFile("pics\\a.png", 0);
    ASSERT_NE(image, -1) << Log();
    const int part = tessel::CreateSubImageHandle(1, 2, 2, 2, image);
    ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
    DrawAndPresent(image, part);
    if (GetParam()) {
        const uint64_t loads = tessel::RestoreLoadCount();
        platform::LoseD3D9Devices();
        Activate();
        ASSERT_EQ(tessel::IsGraphicsDeviceLost(), 0);
        EXPECT_EQ(tessel::RestoreLoadCount() - loads, 1u);
        DrawAndPresent(image, part);
    }
    EXPECT_EQ(Pixel(part, 1, 1) & 0xFFFFFF, FilePixel(14));
    ASSERT_EQ(tessel::EndLibrary(), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), 0u) << Log();
}

INSTANTIATE_TEST_SUITE_P(Paths, FrameLifeTest, ::testing::Bool(), PathName);

}  // namespace
}  // namespace tessel_test
