// Which format a new image gets: the request built from its kind and the
// new-image options, the index it picks, and the descriptors behind both.
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {
namespace {

TEST(PickTextureFormatIndex, FollowsTheRequestsKindAlphaKeyAndDepth) {
    const struct {
        uint8_t compressed, drawable, alpha, key, bits;
        int index;
    } cases[] = {
        {1, 1, 1, 1, 32, 6},  {5, 0, 0, 0, 16, 10}, {0, 1, 0, 0, 16, 11}, {0, 1, 0, 0, 24, 12},
        {0, 1, 1, 0, 16, 13}, {0, 1, 0, 1, 16, 13}, {0, 0, 1, 1, 16, 2},  {0, 0, 1, 0, 32, 3},
        {0, 0, 0, 1, 16, 4},  {0, 0, 0, 1, 32, 5},  {0, 0, 0, 0, 16, 0},  {0, 0, 0, 0, 8, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        tessel::TextureFormatRequest r = {};
        r.compressedKind = c.compressed;
        r.drawable = c.drawable;
        r.alpha = c.alpha;
        r.colorKey = c.key;
        r.colorBits = c.bits;
        EXPECT_EQ(tessel::PickTextureFormatIndex(r), c.index);
    }
    EXPECT_EQ(tessel::TextureFormatDescriptor(14), nullptr);
    EXPECT_EQ(tessel::TextureFormatDescriptor(4)->alphaMask, 0x8000u);
    EXPECT_EQ(tessel::TextureFormatDescriptor(6)->bits, 4);
    EXPECT_EQ(tessel::TextureFormatFor(0, 0, 1, 1), tessel::TextureFormatDescriptor(12));
    EXPECT_EQ(tessel::PixelFormatForD3DFormat(D3DFMT_A2B10G10R10)->redMask, 0x3FFu);
    EXPECT_EQ(tessel::PixelFormatForD3DFormat(D3DFMT_DXT1), nullptr);
}

class FormatRequestTest : public ImageTest {
  protected:
    // The screen's 16 bits decide, as for a program that sets no depth; a
    // window takes the desktop's depth.
    void StartAt16(bool hardware) {
        static const platform::DisplayMode desktop16 = {1024, 768, 16, 60};
        platform::SetDisplayModes(kTestModes, std::size(kTestModes), &desktop16);
        ASSERT_EQ(tessel::SetScreenMode(640, 480, 16, 60), 0);
        Start(hardware);
        ASSERT_EQ(tessel::QueryScreenColorDepth(), 16);
        tessel::g_drawSettings.newImageColorDepth = 0;
    }
    static const tessel::ImageSourceRecord& SourceOf(int handle) {
        return *tessel::GetImageRecord(handle)->source;
    }
};

TEST_F(FormatRequestTest, HardwareImagesTakeTheirFormatFromKindAndOptions) {
    StartAt16(true);
    tessel::BASEIMAGE argb = MakeArgb(4, 4, [](int, int) { return 0x80FFFFFFu; });
    tessel::BASEIMAGE xrgb = MakeArgb(
        4, 4, [](int, int) { return 0xFFFFFFFFu; }, false);
    const int alpha = tessel::CreateImageFromBaseImage(&argb);
    EXPECT_EQ(SourceOf(alpha).formatCode, 3u) << "alpha without a set depth takes 32 bits";
    EXPECT_EQ(SourceOf(alpha).request.colorKey, 0);
    EXPECT_EQ(SourceOf(tessel::CreateImageFromBaseImage(&xrgb)).formatCode, 4u);
    tessel::g_drawSettings.colorKeyTextureFormat = 0;
    EXPECT_EQ(SourceOf(tessel::CreateImageFromBaseImage(&xrgb)).formatCode, 0u);
    const tessel::ImageSourceRecord& drawable = SourceOf(tessel::CreateDrawableImage(8, 8));
    EXPECT_EQ(drawable.formatCode, 11u);
    EXPECT_EQ(drawable.request.staging, 1);
    EXPECT_EQ(drawable.request.mipLevels, 0);
    tessel::g_drawSettings.drawableImageAlpha = 1;
    EXPECT_EQ(SourceOf(tessel::CreateDrawableImage(8, 8)).formatCode, 13u);
    tessel::g_drawSettings.drawableImageAlpha = 0;
    tessel::SetNewTextureMipLevels(1, 2);
    const tessel::ImageSourceRecord& mipped = SourceOf(tessel::CreateImageFromBaseImage(&xrgb));
    EXPECT_EQ(mipped.mipLevels, 2u);
    EXPECT_EQ(mipped.tiles[0].texture->GetLevelCount(), 2u);
    tessel::ReleaseImageBuffer(&argb);
    tessel::ReleaseImageBuffer(&xrgb);
}

TEST_F(FormatRequestTest, SoftwareImagesAreMemoryImagesOfTheirDepth) {
    StartAt16(false);
    tessel::BASEIMAGE argb = MakeArgb(4, 4, [](int, int) { return 0x80FFFFFFu; });
    EXPECT_EQ(SourceOf(tessel::CreateBlankImage(4, 4)).formatCode, 15u);
    EXPECT_EQ(SourceOf(tessel::CreateImageFromBaseImage(&argb)).formatCode, 16u);
    tessel::g_drawSettings.newImageColorDepth = 32;
    const tessel::ImageSourceRecord& wide = SourceOf(tessel::CreateImageFromBaseImage(&argb));
    EXPECT_EQ(wide.formatCode, 18u);
    EXPECT_EQ(wide.request.software, 1);
    EXPECT_EQ(wide.request.drawable, 1);
    EXPECT_EQ(wide.memImg.base->colorType, tessel::kMemImgRgb32);
    EXPECT_EQ(SourceOf(tessel::CreateBlankImage(4, 4)).formatCode, 17u);
    tessel::ReleaseImageBuffer(&argb);
}

}  // namespace
}  // namespace tessel_test
