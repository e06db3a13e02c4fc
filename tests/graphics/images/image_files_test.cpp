// Images loaded from files: a keyed picture read out of an archive on both
// paths, names kept for a reload, files that are missing or not pictures,
// and the tile textures across a lost device; a keyed picture with its own
// alpha keeps that alpha.
#include "foundation/files/archive_fs.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/images/image_test_support.h"
#include "tools/lib/archive_pack.h"

namespace tessel_test {
namespace {

constexpr uint32_t kKey = 0xFF00FF;

// 5 x 3: a magenta frame around three coloured pixels.
uint32_t PictureColour(int x, int y) {
    if (y != 1 || x == 0 || x == 4) {
        return kKey;
    }
    const uint32_t middle[3] = {0x102030, 0xC08040, 0x00FF7F};
    return middle[x - 1];
}

Bytes PicturePng() {
    PngRecipe recipe;
    recipe.width = 5;
    recipe.height = 3;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint32_t c = PictureColour(x, y);
            recipe.rows.push_back(static_cast<uint8_t>(c >> 16));
            recipe.rows.push_back(static_cast<uint8_t>(c >> 8));
            recipe.rows.push_back(static_cast<uint8_t>(c));
        }
    }
    return MakePng(recipe);
}

class ImageFileTest : public BothPathsImageTest {
  protected:
    void SetUp() override {
        tessel::SetArchiveSuffixOption("dat");
        BothPathsImageTest::SetUp();
        tessel::g_drawSettings.transparentColor = kKey;
    }
    void TearDown() override {
        BothPathsImageTest::TearDown();
        tessel::SetArchiveSuffixOption(nullptr);
    }
    void WriteArchive() {
        const Bytes png = PicturePng();
        tessel::ArchiveBuilder builder;
        ASSERT_EQ(builder.AddFile("a.png", png.data(), png.size()), 0);
        std::vector<uint8_t> archive;
        ASSERT_EQ(builder.Build({}, &archive), 0);
        WriteWholeFile(dir().Linux("pics.dat"), archive);
    }
};

TEST_P(ImageFileTest, AKeyedPictureFromAnArchiveReadsBackWithItsPixels) {
    WriteArchive();
    const int h = tessel::LoadImageFile("pics\\a.png", 0);
    ASSERT_NE(h, -1) << Log();
    int w = 0, hh = 0;
    tessel::QueryImageSize(h, &w, &hh);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(hh, 3);
    const tessel::ImageRecord* image = tessel::GetImageRecord(h);
    ASSERT_NE(image->fileName, nullptr);
    EXPECT_NE(std::string(image->fileName->path).find("a.png"), std::string::npos);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const uint32_t want = PictureColour(x, y);
            const uint32_t got = Pixel(h, x, y);
            EXPECT_EQ(got & 0xFFFFFF, want);
            if (GetParam()) {
                EXPECT_EQ(got >> 24, want == kKey ? 0u : 255u);
            } else {
                const tessel::MEMIMG& view = image->view;
                const uint32_t raw = tessel::LoadPixelValue(
                    view.pixels + y * view.base->pitch + x * view.base->format->bytes,
                    view.base->format->bytes);
                EXPECT_EQ(raw == view.base->transparent, want == kKey);
            }
        }
    }
}

// A picture with its own alpha loaded with colour keying on: the key pixels
// (whatever their alpha) turn clear and take the colour of the last opaque
// neighbour visited, row by row; every other pixel keeps its colour and its
// own alpha rather than becoming opaque.
TEST_P(ImageFileTest, AKeyedPictureWithAlphaKeepsItsOwnAlpha) {
    const uint8_t alphas[3] = {0x37, 0x9C, 0xE1};
    auto source = [&](int x, int y) -> uint32_t {
        const uint32_t colour = PictureColour(x, y);
        const uint32_t alpha = colour == kKey ? 0x80u : alphas[x - 1];
        return alpha << 24 | colour;
    };
    PngRecipe recipe;
    recipe.width = 5;
    recipe.height = 3;
    recipe.colorType = PNG_COLOR_TYPE_RGBA;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint32_t c = source(x, y);
            for (int shift : {16, 8, 0, 24}) {
                recipe.rows.push_back(static_cast<uint8_t>(c >> shift));
            }
        }
    }
    WriteWholeFile(dir().Linux("alpha.png"), MakePng(recipe));

    // The keyed copy worked out by hand: first every pixel, then each opaque
    // pixel paints its key neighbours (left, above, right, below).
    uint32_t want[3][5];
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            want[y][x] = PictureColour(x, y) == kKey ? kKey : source(x, y);
        }
    }
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            if (PictureColour(x, y) == kKey) {
                continue;
            }
            const int steps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
            for (const auto& s : steps) {
                const int nx = x + s[0], ny = y + s[1];
                if (nx >= 0 && ny >= 0 && nx < 5 && ny < 3 && PictureColour(nx, ny) == kKey) {
                    want[ny][nx] = PictureColour(x, y);
                }
            }
        }
    }

    tessel::g_drawSettings.transparentColorKeying = 1;
    const int h = tessel::LoadImageFile("alpha.png", 0);
    ASSERT_NE(h, -1) << Log();
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            EXPECT_EQ(Pixel(h, x, y), want[y][x]);
        }
    }
}

TEST_P(ImageFileTest, MissingFilesAndFilesThatAreNoPicturesFailWithTheirLine) {
    // The fonts of start-up hold their cache images.
    const int before = tessel::g_images.count;
    EXPECT_EQ(tessel::LoadImageFile("nothing.png", 0), -1);
    WriteWholeFile(dir().Linux("movie.ogv"), std::string("not a picture at all"));
    EXPECT_EQ(tessel::LoadImageFile("movie.ogv", 0), -1);
    const std::string log = Log();
    EXPECT_NE(log.find("グラフィックファイル nothing.png がありません"), std::string::npos);
    EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：movie.ogv \r\n"),
              std::string::npos);
    EXPECT_EQ(tessel::g_images.count, before);
}

TEST_P(ImageFileTest, SubImagesOfALoadedFileKeepItsNameAndTheirPlaceInIt) {
    WriteWholeFile(dir().Linux("b.png"), PicturePng());
    const int h = tessel::LoadImageFile("b.png", 0);
    ASSERT_NE(h, -1);
    const int part = tessel::CreateSubImageHandle(1, 1, 3, 1, h);
    const tessel::ImageRecord* record = tessel::GetImageRecord(part);
    EXPECT_EQ(record->fileName, tessel::GetImageRecord(h)->fileName);
    EXPECT_EQ(record->reloadX, 1);
    EXPECT_EQ(record->reloadY, 1);
    EXPECT_EQ(Pixel(part, 1, 0) & 0xFFFFFF, 0xC08040u);
}

INSTANTIATE_TEST_SUITE_P(Paths, ImageFileTest, ::testing::Bool(), PathName);

class DeviceLossTest : public ImageTest {};

TEST_F(DeviceLossTest, TileTexturesComeBackClearedAndHandlesStay) {
    Start(true);
    tessel::BASEIMAGE base = MakeArgb(
        40, 20, [](int, int) { return 0xFF336699u; }, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    const int part = tessel::CreateSubImageHandle(10, 5, 10, 10, h);
    const int drawable = tessel::CreateDrawableImage(16, 16);
    ASSERT_NE(drawable, -1);
    EXPECT_EQ(Pixel(part, 0, 0) & 0xFFFFFF, 0x336699u);
    IDirect3DTexture9* before = tessel::GetImageRecord(h)->source->tiles[0].texture;

    platform::LoseD3D9Devices();
    Activate();
    ASSERT_EQ(tessel::IsGraphicsDeviceLost(), 0);
    for (int handle : {h, part, drawable}) {
        SCOPED_TRACE(handle);
        ASSERT_EQ(tessel::IsImageHandleValid(handle), 1);
        const tessel::TextureTile& tile = tessel::GetImageRecord(handle)->source->tiles[0];
        EXPECT_NE(tile.texture, nullptr);
        EXPECT_NE(tile.surface, nullptr);
    }
    EXPECT_NE(tessel::GetImageRecord(h)->source->tiles[0].texture, before);
    EXPECT_EQ(Pixel(part, 0, 0), 0u) << "nothing refills an image made from memory";
    EXPECT_EQ(tessel::ReloadImageFromBaseImage(&base, h), 0);
    EXPECT_EQ(Pixel(part, 9, 9) & 0xFFFFFF, 0x336699u);
    tessel::ReleaseImageBuffer(&base);
}

TEST_F(DeviceLossTest, StagedTexturesReceiveTheirPixelsThroughTheirCopy) {
    Start(true);
    tessel::g_drawSettings.textureRequestFlag = 1;
    tessel::BASEIMAGE base = MakeArgb(
        12, 9, [](int x, int y) { return 0xFF000000u | (x << 16) | (y << 8) | 0x99u; }, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    tessel::g_drawSettings.textureRequestFlag = 0;
    ASSERT_NE(h, -1) << Log();
    const tessel::TextureTile& tile = tessel::GetImageRecord(h)->source->tiles[0];
    EXPECT_NE(tile.staging, nullptr);
    EXPECT_EQ(Desc(tile.surface).Pool, static_cast<D3DPOOL>(D3DPOOL_DEFAULT));
    EXPECT_EQ(Pixel(h, 11, 8) & 0xFFFFFF, 0x0B0899u);
    tessel::ReleaseImageBuffer(&base);
}

}  // namespace
}  // namespace tessel_test
