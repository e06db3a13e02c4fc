// Cutting pictures into power-of-two textures: the size table, drawable
// images kept whole, square-only devices and pictures needing too many tiles.
#include "graphics/device/device_state.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/image_textures.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {
namespace {

std::vector<int> Round(int size, int maximum, int single = 0, int powerOfTwo = 1) {
    const int32_t keptMax = tessel::g_graphics.maxTextureSize;
    tessel::g_graphics.maxTextureSize = maximum;
    tessel::SetPowerOfTwoTextures(powerOfTwo);
    int sizes[tessel::kMaxTexturePieces] = {};
    const int count = tessel::RoundTextureSize(size, sizes, single);
    tessel::g_graphics.maxTextureSize = keptMax;
    tessel::SetPowerOfTwoTextures(1);
    if (count < 0) {
        return {-1};
    }
    return std::vector<int>(sizes, sizes + count);
}

TEST(RoundTextureSize, FollowsTheTableOfSizes) {
    // The screen is the default 640 wide.
    const struct {
        int size, maximum, single, powerOfTwo;
        std::vector<int> expected;
    } cases[] = {
        {1, 4096, 0, 1, {8}},
        {5, 4096, 0, 1, {8}},
        {8, 4096, 0, 1, {8}},
        {9, 4096, 0, 1, {16}},
        {30, 4096, 0, 1, {32}},
        {1000, 512, 0, 1, {512, 512}},
        {1000, 4096, 0, 1, {1024}},
        {640, 4096, 0, 1, {512, 128}},
        {480, 4096, 0, 1, {512}},
        {640, 4096, 1, 1, {1024}},
        {640, 4096, 0, 0, {1024}},
        {700, 4096, 0, 1, {512, 128, 64}},
        {1500, 512, 0, 1, {512, 512, 512}},
        {1100, 4096, 0, 1, {1024, 64, 16}},
        {2000, 256, 1, 1, {256, 256, 256, 256, 256, 256, 256, 128, 64, 16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " at " << c.maximum << " single " << c.single
                                        << " option " << c.powerOfTwo);
        EXPECT_EQ(Round(c.size, c.maximum, c.single, c.powerOfTwo), c.expected);
    }
}

TEST(RoundTextureSize, RefusesASideNeedingMoreThan256Pieces) {
    EXPECT_EQ(Round(256 * 256, 256), std::vector<int>(256, 256));
    EXPECT_EQ(Round(256 * 256 + 200, 256), std::vector<int>{-1});
}

class TilingTest : public ImageTest {};

TEST_F(TilingTest, AScreenWideImageIsCutAndItsPartsCoverIt) {
    Start(true);
    const int h = tessel::CreateBlankImage(640, 480);
    ASSERT_NE(h, -1);
    const tessel::ImageRecord* image = tessel::GetImageRecord(h);
    const tessel::ImageSourceRecord* source = image->source;
    ASSERT_EQ(source->tileCount, 2u);
    EXPECT_EQ(source->tiles[0].textureWidth, 512);
    EXPECT_EQ(source->tiles[0].textureHeight, 512);
    EXPECT_EQ(source->tiles[1].x, 512);
    EXPECT_EQ(source->tiles[1].textureWidth, 128);
    EXPECT_EQ(source->tiles[1].width, 128);
    EXPECT_EQ(source->tiles[1].height, 480);
    const int part = tessel::CreateSubImageHandle(500, 10, 20, 5, h);
    const tessel::ImageRecord* sub = tessel::GetImageRecord(part);
    ASSERT_EQ(sub->tileEntryCount, 2);
    const tessel::TileDrawEntry& left = sub->tileEntries[0];
    const tessel::TileDrawEntry& right = sub->tileEntries[1];
    EXPECT_EQ(left.destX, 0);
    EXPECT_EQ(left.tileX, 500);
    EXPECT_EQ(left.width, 12);
    EXPECT_EQ(right.destX, 12);
    EXPECT_EQ(right.tileX, 0);
    EXPECT_EQ(right.width, 8);
    EXPECT_FLOAT_EQ(left.corners[1][2], 512.0f / 512.0f);
    EXPECT_FLOAT_EQ(right.corners[3][0], 20.0f);
    EXPECT_FLOAT_EQ(right.corners[3][3], 15.0f / 512.0f);
}

TEST_F(TilingTest, DrawableImagesAreNeverCutAndStartCleared) {
    Start(true);
    const int h = tessel::CreateDrawableImage(640, 480);
    ASSERT_NE(h, -1);
    const tessel::ImageSourceRecord* source = tessel::GetImageRecord(h)->source;
    ASSERT_EQ(source->tileCount, 1u);
    EXPECT_EQ(source->tiles[0].textureWidth, 1024);
    EXPECT_EQ(source->request.drawable, 1);
    EXPECT_EQ(Desc(source->tiles[0].surface).Usage & D3DUSAGE_RENDERTARGET,
              static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    for (auto [x, y] : {std::pair{0, 0}, {639, 479}, {300, 200}}) {
        EXPECT_EQ(Pixel(h, x, y) & 0xFFFFFF, 0u);
    }
    EXPECT_EQ(tessel::g_drawSettings.drawableImageCreation, 0);
}

TEST_F(TilingTest, SquareOnlyDevicesGetSquareTilesAppendedAlongTheLongSide) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.squareTexturesOnly = true;
    platform::SetD3D9Profile(profile);
    Start(true);
    const int h = tessel::CreateBlankImage(60, 12);
    ASSERT_NE(h, -1);
    const tessel::ImageSourceRecord* source = tessel::GetImageRecord(h)->source;
    // 64 x 16 becomes four 16 x 16 tiles.
    ASSERT_EQ(source->tileCount, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(source->tiles[i].textureWidth, 16);
        EXPECT_EQ(source->tiles[i].textureHeight, 16);
        EXPECT_EQ(source->tiles[i].x, static_cast<int>(16 * i));
        EXPECT_EQ(source->tiles[i].height, 12);
    }
    EXPECT_EQ(source->tiles[3].width, 12);
    EXPECT_EQ(tessel::GetImageRecord(h)->tileEntryCount, 4);
}

TEST_F(TilingTest, AnImageNeedingMoreThan256TilesIsRefused) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.squareTexturesOnly = true;
    platform::SetD3D9Profile(profile);
    Start(true);
    const int before = tessel::g_images.count;
    // One 4096 x 8 texture would become 512 square tiles.
    EXPECT_EQ(tessel::CreateBlankImage(4096, 8), -1);
    EXPECT_EQ(tessel::g_images.count, before);
    EXPECT_NE(tessel::CreateBlankImage(2048, 8), -1);
}

TEST_F(TilingTest, BlankImagesOfNoAreaAreRefused) {
    Start(false);
    EXPECT_EQ(tessel::CreateBlankImage(0, 5), -1);
    EXPECT_EQ(tessel::CreateBlankImage(5, -1), -1);
    EXPECT_EQ(tessel::g_images.count, 0);
}

}  // namespace
}  // namespace tessel_test
