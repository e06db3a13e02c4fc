// Pixels into textures and memory images: DXT blocks passed through or
// decoded, generated mip levels, the repeated edge, colour keys and palettes.
#include <cstring>

#include "graphics/settings/draw_settings.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {
namespace {

class UploadTest : public ImageTest {};

// An 8x8 DXT1 picture of four one-colour blocks: red, blue, green, white.
tessel::BASEIMAGE MakeDxt1() {
    tessel::BASEIMAGE image = {};
    tessel::CreateArgbImageBuffer(8, 8, &image);
    image.format.compressedKind = tessel::kPixelsDxt1;
    image.format.bits = 4;
    image.pitch = 0;
    const uint16_t colours[4] = {0xF800, 0x001F, 0x07E0, 0xFFFF};
    for (int b = 0; b < 4; ++b) {
        uint8_t* block = image.pixels + b * 8;
        std::memset(block, 0, 8);
        block[0] = colours[b] & 0xFF;
        block[1] = colours[b] >> 8;  // colour 1 stays 0, so colour 0 > colour 1
    }
    return image;
}

TEST_F(UploadTest, DxtBlocksGoIntoADxtTextureByteForByte) {
    Start(true);
    tessel::BASEIMAGE dxt = MakeDxt1();
    const int h = tessel::CreateImageFromBaseImage(&dxt);
    ASSERT_NE(h, -1);
    const tessel::TextureTile& tile = tessel::GetImageRecord(h)->source->tiles[0];
    EXPECT_EQ(Desc(tile.surface).Format, static_cast<D3DFORMAT>(D3DFMT_DXT1));
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(tile.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.pBits) + row * locked.Pitch,
                              dxt.pixels + row * 16, 16),
                  0)
            << "block row " << row;
    }
    tile.texture->UnlockRect(0);
    tessel::ReleaseImageBuffer(&dxt);
}

TEST_F(UploadTest, DxtPicturesAreDecodedWhereTheDeviceHasNoDxt) {
    platform::SetD3D9Profile(
        ProfileWithout({D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}, {}));
    Start(true);
    tessel::BASEIMAGE dxt = MakeDxt1();
    const int h = tessel::CreateImageFromBaseImage(&dxt);
    ASSERT_NE(h, -1);
    EXPECT_NE(Desc(tessel::GetImageRecord(h)->source->tiles[0].surface).Format,
              static_cast<D3DFORMAT>(D3DFMT_DXT1));
    const struct {
        int x, y;
        uint32_t rgb;
    } cases[] = {{0, 0, 0xFF0000}, {7, 0, 0x0000FF}, {0, 7, 0x00FF00}, {7, 7, 0xFFFFFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(Pixel(h, c.x, c.y) & 0xFFFFFF, c.rgb);
    }
    tessel::ReleaseImageBuffer(&dxt);
}

TEST_F(UploadTest, GeneratedMipLevelOneHoldsTheTwoByTwoAverages) {
    Start(true);
    tessel::SetNewTextureMipLevels(1, -1);
    auto colour = [](int x, int y) {
        return 0xFF000000u | uint32_t(17 * x + 3 * y + 1) << 16 | uint32_t(29 * y + 5) << 8 |
               uint32_t(200 - 11 * x - 7 * y);
    };
    tessel::BASEIMAGE base = MakeArgb(8, 8, colour);
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_NE(h, -1);
    IDirect3DTexture9* texture = tessel::GetImageRecord(h)->source->tiles[0].texture;
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    IDirect3DSurface9* level1 = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level1), D3D_OK);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            uint32_t expected = 0;
            for (int shift : {24, 16, 8, 0}) {
                uint32_t sum = 0;
                for (int k = 0; k < 4; ++k) {
                    sum += (colour(2 * x + k % 2, 2 * y + k / 2) >> shift) & 0xFF;
                }
                expected |= (sum / 4) << shift;
            }
            EXPECT_EQ(platform::ReadD3D9SurfacePixel(level1, x, y), expected) << x << "," << y;
        }
    }
    level1->Release();
    tessel::ReleaseImageBuffer(&base);
}

TEST_P(BothPathsImageTest, AnImageSmallerThanItsTextureRepeatsItsLastColumnAndRow) {
    auto colour = [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | 0x40u;
    };
    tessel::BASEIMAGE base = MakeArgb(30, 30, colour, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_NE(h, -1);
    for (int y : {0, 13, 29}) {
        for (int x : {0, 17, 29}) {
            EXPECT_EQ(Pixel(h, x, y) & 0xFFFFFF, colour(x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
    if (GetParam()) {
        const tessel::TextureTile& tile = tessel::GetImageRecord(h)->source->tiles[0];
        ASSERT_EQ(tile.textureWidth, 32);
        auto texel = [&](int x, int y) {
            return platform::ReadD3D9SurfacePixel(tile.surface, x, y);
        };
        for (int i : {0, 11, 29}) {
            SCOPED_TRACE(i);
            EXPECT_EQ(texel(30, i), texel(29, i));
            EXPECT_EQ(texel(i, 30), texel(i, 29));
        }
        EXPECT_EQ(texel(30, 30), texel(29, 29));
        EXPECT_EQ(texel(31, 5), 0u) << "only one column is repeated";
    }
    tessel::ReleaseImageBuffer(&base);
}

TEST_P(BothPathsImageTest, ColourKeyingTurnsAllKeyPixelsTransparentAndKeepsTheirColour) {
    tessel::g_drawSettings.transparentColorKeying = 1;
    tessel::g_drawSettings.transparentColor = 0x204060;
    tessel::BASEIMAGE base = MakeArgb(
        4, 4, [](int, int) { return 0xFF204060u; }, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_NE(h, -1);
    EXPECT_EQ(Pixel(h, 0, 0), 0x00204060u);
    EXPECT_EQ(Pixel(h, 3, 3), 0x00204060u);
    tessel::ReleaseImageBuffer(&base);
}

TEST_P(BothPathsImageTest, ColourKeyingPaintsKeyPixelsWithTheLastOpaqueNeighbour) {
    tessel::g_drawSettings.transparentColorKeying = 1;
    tessel::g_drawSettings.transparentColor = 0x000000;
    // One row: red, key, blue, key, key. Only pixels that were opaque lend
    // their colour, so the last key pixel keeps its own.
    const uint32_t row[5] = {0xFFFF0000u, 0xFF000000u, 0xFF0000FFu, 0xFF000000u, 0xFF000000u};
    tessel::BASEIMAGE base = MakeArgb(
        5, 1, [&](int x, int) { return row[x]; }, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_NE(h, -1);
    EXPECT_EQ(Pixel(h, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel(h, 1, 0), 0x000000FFu) << "the later neighbour wins";
    EXPECT_EQ(Pixel(h, 3, 0), 0x000000FFu);
    EXPECT_EQ(Pixel(h, 4, 0), 0x00000000u);
    tessel::ReleaseImageBuffer(&base);
}

TEST_P(BothPathsImageTest, RefillingFromABaseImageForgetsTheFile) {
    tessel::BASEIMAGE base = MakeArgb(
        6, 5, [](int x, int) { return 0xFF102030u + x; }, false);
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_EQ(tessel::SetImageFileName(h, "some.bmp", -1), 0);
    tessel::BASEIMAGE other = MakeArgb(
        6, 5, [](int, int) { return 0xFF805020u; }, false);
    EXPECT_EQ(tessel::ReloadImageFromBaseImage(&other, h), 0);
    EXPECT_EQ(tessel::GetImageRecord(h)->fileName, nullptr);
    EXPECT_EQ(Pixel(h, 5, 4) & 0xFFFFFF, 0x805020u);
    tessel::BASEIMAGE wrongSize = MakeArgb(
        5, 5, [](int, int) { return 0xFF805020u; }, false);
    EXPECT_EQ(tessel::ReloadImageFromBaseImage(&wrongSize, h), -1);
    tessel::ReleaseImageBuffer(&base);
    tessel::ReleaseImageBuffer(&other);
    tessel::ReleaseImageBuffer(&wrongSize);
}

TEST_P(BothPathsImageTest, FillWithColourChangesSoftwareAndDrawableImagesOnly) {
    const int drawable = tessel::CreateDrawableImage(20, 10);
    const int blank = tessel::CreateBlankImage(20, 10);
    ASSERT_EQ(tessel::FillImageWithColor(drawable, 300, 128, -4, 255), 0);
    ASSERT_EQ(tessel::FillImageWithColor(blank, 255, 255, 255, 255), 0);
    EXPECT_EQ(Pixel(drawable, 19, 9) & 0xFFFFFF, 0xFF8000u);
    EXPECT_EQ(Pixel(blank, 19, 9) & 0xFFFFFF, GetParam() ? 0u : 0xFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Paths, BothPathsImageTest, ::testing::Bool(), PathName);

TEST_F(UploadTest, APaletteImageWithoutTheTransparentColourGetsNoTransparentIndex) {
    Start(false);
    tessel::g_drawSettings.transparentColor = 0x123456;
    tessel::BASEIMAGE base = {};
    tessel::CreateArgbImageBuffer(4, 4, &base);
    tessel::ReleaseImageBuffer(&base);
    // An 8-bit picture whose palette holds black and white only.
    tessel::SetPixelFormatPal8(&base.format);
    base.width = 4;
    base.height = 4;
    base.pitch = 4;
    base.pixels = static_cast<uint8_t*>(tessel::AllocTrackedZeroed(16, __FILE__, __LINE__));
    base.format.palette[1] = {255, 255, 255, 255};
    const int h = tessel::CreateImageFromBaseImage(&base);
    ASSERT_NE(h, -1);
    EXPECT_GT(tessel::GetImageRecord(h)->source->memImg.base->transparent, 255u);
    tessel::g_drawSettings.transparentColor = 0xFFFFFF;
    const int keyed = tessel::CreateImageFromBaseImage(&base);
    EXPECT_EQ(tessel::GetImageRecord(keyed)->source->memImg.base->transparent, 1u);
    tessel::ReleaseImageBuffer(&base);
}

}  // namespace
}  // namespace tessel_test

namespace tessel_test {
namespace {

TEST_P(BothPathsImageTest, ASubImageIsRefilledFromItsPlaceInTheWholePicture) {
    const int parent = tessel::CreateBlankImage(40, 20);
    const int part = tessel::CreateSubImageHandle(10, 5, 8, 6, parent);
    auto colour = [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 6) << 16 | uint32_t(y * 12) << 8 | 0x21u;
    };
    tessel::BASEIMAGE picture = MakeArgb(40, 20, colour, false);
    ASSERT_EQ(tessel::FillImageFromSource("whole.png", 0, &picture, nullptr, 10, 5, part, 3), 0);
    const tessel::ImageRecord* record = tessel::GetImageRecord(part);
    EXPECT_EQ(record->reloadX, 10);
    EXPECT_EQ(record->reloadY, 5);
    EXPECT_EQ(record->loaderOption, 3u);
    ASSERT_NE(record->fileName, nullptr);
    for (auto [x, y] : {std::pair{0, 0}, {7, 5}, {3, 2}}) {
        EXPECT_EQ(Pixel(part, x, y) & 0xFFFFFF, colour(10 + x, 5 + y) & 0xFFFFFF) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{9, 5}, {18, 5}, {10, 4}, {10, 11}}) {
        EXPECT_EQ(Pixel(parent, x, y) & 0xFFFFFF, 0u) << "outside the part: " << x << "," << y;
    }
    tessel::ReleaseImageBuffer(&picture);
}

TEST_P(BothPathsImageTest, AnAlphaPictureGivesItsRedAsAlphaAndMirroringLeavesTheCallersPicture) {
    auto colour = [](int x, int y) {
        return 0xFF000000u | uint32_t(40 + x * 50) << 16 | uint32_t(y * 90) << 8 | 7u;
    };
    tessel::BASEIMAGE c = MakeArgb(4, 3, colour, false);
    tessel::BASEIMAGE a = MakeArgb(
        4, 3, [](int x, int) { return 0xFF000000u | uint32_t(x * 60) << 16; }, false);
    const int h = tessel::FillImageFromBaseImage(&c, &a, 0, 0, 0);
    ASSERT_NE(h, -1);
    EXPECT_EQ(Pixel(h, 3, 2), (colour(3, 2) & 0xFFFFFF) | 180u << 24);
    EXPECT_EQ(Pixel(h, 0, 1), (colour(0, 1) & 0xFFFFFF));
    const int mirrored = tessel::FillImageFromBaseImage(&c, &a, 0, 1, 1);
    EXPECT_EQ(Pixel(mirrored, 0, 2), (colour(3, 2) & 0xFFFFFF) | 180u << 24);
    EXPECT_EQ(tessel::ReadImagePixelPacked(&c, 0, 0) & 0xFFFFFF, colour(0, 0) & 0xFFFFFF)
        << "the caller's picture is kept";
    tessel::BASEIMAGE small = MakeArgb(3, 3, colour, false);
    EXPECT_EQ(tessel::FillImageFromBaseImage(&c, &small, 0, 0, 0), -1);
    tessel::ReleaseImageBuffer(&c);
    tessel::ReleaseImageBuffer(&a);
    tessel::ReleaseImageBuffer(&small);
}

TEST_F(UploadTest, AFailedTextureCreationDeletesTheNewHandle) {
    Start(true);
    const int before = tessel::g_images.count;
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateTexture, 1);
    EXPECT_EQ(tessel::CreateBlankImage(16, 16), -1);
    EXPECT_EQ(tessel::g_images.count, before);
    EXPECT_NE(Log().find("書き込み専用テクスチャの作成に失敗しました"), std::string::npos);
    platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateTexture, 0);
}

}  // namespace
}  // namespace tessel_test

namespace tessel_test {
namespace {

TEST_F(UploadTest, AFailedCopyIntoADrawableImageFailsInEitherCoordinates) {
    Start(true);
    const int h = tessel::CreateDrawableImage(8, 8);
    ASSERT_NE(h, -1);
    tessel::TextureTile& tile = tessel::GetImageRecord(h)->source->tiles[0];
    // A render target of another format in place of the tile's own makes
    // the device refuse the copy.
    const D3DFORMAT own = Desc(tile.surface).Format;
    const D3DFORMAT other = own == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
    IDirect3DTexture9* stranger = nullptr;
    ASSERT_EQ(tessel::g_graphics.device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, other,
                                                       D3DPOOL_DEFAULT, &stranger, nullptr),
              D3D_OK);
    IDirect3DSurface9* strangerSurface = nullptr;
    stranger->GetSurfaceLevel(0, &strangerSurface);
    IDirect3DSurface9* kept = tile.surface;
    tile.surface = strangerSurface;
    tessel::BASEIMAGE base = MakeArgb(
        8, 8, [](int, int) { return 0xFF445566u; }, false);
    for (int inSource : {0, 1}) {
        SCOPED_TRACE(inSource);
        tessel::ImageUpload upload = {};
        upload.handle = h;
        upload.base = &base;
        upload.sourceRect = RECT{0, 0, 8, 8};
        upload.destInSource = inSource;
        EXPECT_EQ(tessel::UploadImageToTexture(upload), -1);
    }
    tile.surface = kept;
    strangerSurface->Release();
    stranger->Release();
    tessel::ImageUpload upload = {};
    upload.handle = h;
    upload.base = &base;
    upload.sourceRect = RECT{0, 0, 8, 8};
    EXPECT_EQ(tessel::UploadImageToTexture(upload), 0);
    EXPECT_EQ(Pixel(h, 7, 7) & 0xFFFFFF, 0x445566u);
    EXPECT_NE(Log().find("描画可能テクスチャへの画像の転送に失敗しました"), std::string::npos);
    tessel::ReleaseImageBuffer(&base);
}

}  // namespace
}  // namespace tessel_test

namespace tessel_test {
namespace {

TEST_P(BothPathsImageTest, APictureSmallerThanTheImageFillsOnlyWhatItHas) {
    auto colour = [](int x, int y) {
        return 0xFF000000u | uint32_t(0x40 + x) << 16 | uint32_t(0x80 + y) << 8 | 0x11u;
    };
    tessel::BASEIMAGE small = MakeArgb(4, 3, colour, false);
    const struct {
        int reloadX, reloadY;
        int firstX, firstY;  // where the picture's top-left pixel lands
    } cases[] = {{0, 0, 0, 0}, {-2, -1, 2, 1}, {1, 2, -1, -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.reloadX << "," << c.reloadY);
        const int h = tessel::CreateBlankImage(8, 6);
        ASSERT_EQ(
            tessel::FillImageFromSource(nullptr, 0, &small, nullptr, c.reloadX, c.reloadY, h, 0),
            0);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int px = x - c.firstX;
                const int py = y - c.firstY;
                const bool inside = px >= 0 && py >= 0 && px < 4 && py < 3;
                EXPECT_EQ(Pixel(h, x, y) & 0xFFFFFF, inside ? colour(px, py) & 0xFFFFFF : 0u)
                    << x << "," << y;
            }
        }
        tessel::ReleaseImageHandle(h);
    }
    const int h = tessel::CreateBlankImage(8, 6);
    EXPECT_EQ(tessel::FillImageFromSource(nullptr, 0, &small, nullptr, 4, 0, h, 0), -1);
    tessel::ReleaseImageBuffer(&small);
}

}  // namespace
}  // namespace tessel_test
