// The loader chain and the loads built on it: files and memory, mirrored
// loads, DIBs, alpha companions and their names.
#include "images/image_loader.h"

#include <gtest/gtest.h>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/files_test_support.h"
#include "foundation/memory/memory.h"
#include "images/image_test_support.h"
#include "images/peak_memory.h"

namespace tessel_test {
namespace {

using tessel::BASEIMAGE;

Bytes SmallPng() {
    PngRecipe recipe;
    recipe.width = 3;
    recipe.height = 2;
    recipe.colorType = PNG_COLOR_TYPE_RGB;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint32_t c = TestColour(x, y);
            recipe.rows.push_back(uint8_t(c >> 16));
            recipe.rows.push_back(uint8_t(c >> 8));
            recipe.rows.push_back(uint8_t(c));
        }
    }
    return MakePng(recipe);
}

// User loaders that see what each attempt starts from, then leave a mess.
int attempts = 0;
bool sawStartAndClearRecord = true;
int ObservingLoader(tessel::InputStream* stream, BASEIMAGE* image) {
    ++attempts;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(image);
    for (size_t i = 0; i < sizeof *image; ++i) {
        sawStartAndClearRecord = sawStartAndClearRecord && bytes[i] == 0;
    }
    sawStartAndClearRecord = sawStartAndClearRecord && stream->ops.tell(stream->handle) == 0;
    uint8_t scratch[5];
    stream->ops.read(scratch, 1, 5, stream->handle);
    std::memset(image, 0x5A, sizeof *image);
    return 1;
}

TEST(ImageLoaderChain, EveryAttemptStartsAtTheStartWithAClearedRecord) {
    tessel::UserImageLoaders[0] = ObservingLoader;
    tessel::UserImageLoaders[1] = ObservingLoader;
    tessel::UserImageLoaderCount = 2;
    attempts = 0;
    sawStartAndClearRecord = true;
    Decoded d;
    Decode(SmallPng(), &d);
    tessel::UserImageLoaderCount = 0;
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(sawStartAndClearRecord);
    EXPECT_EQ(d.Rgb(2, 1), TestColour(2, 1));
    EXPECT_EQ(d.image.mipCount, 0);
}

TEST(ImageLoaderChain, WhatNoLoaderTakesGivesMinusOneAndAClearRecord) {
    Decoded d;
    Decode(Bytes{'h', 'e', 'l', 'l', 'o', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, &d);
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.image.pixels, nullptr);
    EXPECT_EQ(d.image.width, 0);
}

TEST(LoadImageBuffer, FromAFileAndFromMemoryAlike) {
    ScratchDirectory dir;
    Bytes png = SmallPng();
    WriteWholeFile(dir.Linux("pic.png"), png);
    std::string path = dir.Windows() + "\\PIC.PNG";  // found without regard to case
    BASEIMAGE fromFile = {};
    BASEIMAGE fromMemory = {};
    ASSERT_EQ(tessel::LoadImageBufferFromFile(path.c_str(), nullptr, 0, 0, &fromFile, 0), 0);
    ASSERT_EQ(
        tessel::LoadImageBufferFromFile(nullptr, png.data(), int(png.size()), 1, &fromMemory, 0),
        0);
    EXPECT_EQ(fromFile.width, 3);
    EXPECT_EQ(std::memcmp(fromFile.pixels, fromMemory.pixels, 2 * fromFile.pitch), 0);
    tessel::ReleaseImageBuffer(&fromFile);
    tessel::ReleaseImageBuffer(&fromMemory);

    BASEIMAGE missing = {};
    std::string absent = dir.Windows() + "\\absent.png";
    EXPECT_EQ(tessel::LoadImageBufferFromFile(absent.c_str(), nullptr, 0, 0, &missing, 0), -1);
    Bytes junk(40, 0x33);
    EXPECT_EQ(tessel::LoadImageBufferFromFile(nullptr, junk.data(), 40, 1, &missing, 0), -1);
}

TEST(LoadImageBuffer, ReverseMirrorsLeftToRight) {
    Bytes png = SmallPng();
    BASEIMAGE image = {};
    ASSERT_EQ(tessel::LoadImageBufferFromFile(nullptr, png.data(), int(png.size()), 1, &image, 1),
              0);
    Decoded check;
    check.image = image;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(check.Rgb(x, y), TestColour(2 - x, y));
        }
    }
}

// A mirrored load reverses the rows where they lie: no second block of the
// image's size beside the first (which, with the general conversion, made a
// large image take twice its memory and most of a second to mirror).
TEST(LoadImageBuffer, AMirroredLoadTakesNoSecondBlockOfTheImagesSize) {
    BmpRecipe recipe;  // 4096 x 4096 run-length 8-bit: 16 MiB of pixels from 50 bytes
    recipe.width = 4096;
    recipe.height = 4096;
    recipe.bits = 8;
    recipe.compression = 1;
    recipe.table = {0x102030, 0x405060};
    recipe.pixels = {3, 1, 0, 1};
    const Bytes bmp = MakeBmp(recipe);
    const int64_t imageBytes = int64_t{4096} * 4096;
    auto load = [&bmp](int reverse) {
        return PeakGrowthOf([&bmp, reverse] {
            BASEIMAGE image = {};
            if (tessel::LoadImageBufferFromFile(nullptr, bmp.data(), int(bmp.size()), 1, &image,
                                                reverse) == 0) {
                tessel::ReleaseImageBuffer(&image);
            }
        });
    };
    const int64_t plain = load(0);
    const int64_t mirrored = load(1);
    ASSERT_GT(plain, imageBytes / 2);  // the load itself took the image's block
    EXPECT_LT(mirrored - plain, imageBytes / 2);
    Decoded check;
    ASSERT_EQ(
        tessel::LoadImageBufferFromFile(nullptr, bmp.data(), int(bmp.size()), 1, &check.image, 1),
        0);
    EXPECT_EQ(check.Rgb(4095, 4095), 0x405060u);  // the run's three pixels, now at the right
    EXPECT_EQ(check.Rgb(4093, 4095), 0x405060u);
    EXPECT_EQ(check.Rgb(4092, 4095), 0x102030u);
}

// One DXT1 block: the left column red, the rest blue.
Bytes SplitDxt1() {
    DdsRecipe recipe;
    recipe.width = 4;
    recipe.height = 4;
    recipe.pixelFlags = 4;
    recipe.fourCc = FourCcOf("DXT1");
    recipe.data = {0x00, 0xF8, 0x1F, 0x00, 0x54, 0x54, 0x54, 0x54};
    return MakeDds(recipe);
}

TEST(LoadImageBuffer, CompressedImagesAreExpandedToBeMirroredOrMadeDibs) {
    Bytes dds = SplitDxt1();
    BASEIMAGE image = {};
    ASSERT_EQ(tessel::LoadImageBufferFromFile(nullptr, dds.data(), int(dds.size()), 1, &image, 1),
              0);
    Decoded check;
    check.image = image;
    EXPECT_EQ(image.format.compressedKind, 0u);
    EXPECT_EQ(check.Rgb(3, 2), 0xFF0000u);
    EXPECT_EQ(check.Rgb(0, 2), 0x0000FFu);

    BITMAPINFO* info = nullptr;
    void* pixels = nullptr;
    ASSERT_EQ(tessel::LoadImageBuffer(nullptr, dds.data(), int(dds.size()), 1, 1, 0, nullptr, &info,
                                      &pixels),
              0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    const uint8_t* p = static_cast<uint8_t*>(pixels);
    EXPECT_EQ(p[2], 0xFF);  // (0, 0): red, as blue, green, red bytes
    EXPECT_EQ(p[3], 0xFF);  // (1, 0): blue
    tessel::FreeTracked(pixels);
    tessel::FreeTracked(info);
}

TEST(LoadImageBuffer, AMirroredImageWithLevelsKeepsOnlyItsFirst) {
    DdsRecipe dxt = LevelledDxt("DXT1", 8, 4, 32 + 8 + 8 + 8, 0x5C);
    DdsRecipe plain = dxt;
    plain.pixelFlags = 0x41;
    plain.fourCc = 0;
    plain.rgbBits = 32;
    plain.masks[0] = 0xFF0000;
    plain.masks[1] = 0xFF00;
    plain.masks[2] = 0xFF;
    plain.masks[3] = 0xFF000000;
    plain.data.assign((64 + 16 + 4 + 1) * 4, 0x3A);
    for (const DdsRecipe& recipe : {dxt, plain}) {
        SCOPED_TRACE(recipe.fourCc != 0 ? "DXT1" : "32-bit");
        Bytes dds = MakeDds(recipe);
        BASEIMAGE image = {};
        ASSERT_EQ(
            tessel::LoadImageBufferFromFile(nullptr, dds.data(), int(dds.size()), 1, &image, 0), 0);
        EXPECT_EQ(image.mipCount, 4);
        tessel::ReleaseImageBuffer(&image);
        ASSERT_EQ(
            tessel::LoadImageBufferFromFile(nullptr, dds.data(), int(dds.size()), 1, &image, 1), 0);
        EXPECT_EQ(image.mipCount, 0) << "the mirrored block holds the first level only";
        tessel::ReleaseImageBuffer(&image);
    }
}

TEST(LoadImageBuffer, AsADibSharedOrCopied) {
    // An 8-bit BMP of width 4: its rows already have the DIB's length.
    BmpRecipe recipe;
    recipe.width = 4;
    recipe.height = 2;
    recipe.bits = 8;
    recipe.table = {0x102030, 0x405060};
    recipe.pixels = {0, 1, 0, 1, 1, 1, 0, 0};
    Bytes bmp = MakeBmp(recipe);
    BITMAPINFO* info = nullptr;
    void* pixels = nullptr;
    ASSERT_EQ(tessel::LoadImageBuffer(nullptr, bmp.data(), int(bmp.size()), 1, 1, 0, nullptr, &info,
                                      &pixels),
              0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 8);
    EXPECT_EQ(info->bmiHeader.biHeight, -2);
    EXPECT_EQ(info->bmiColors[1].rgbRed, 0x40);
    EXPECT_EQ(static_cast<uint8_t*>(pixels)[0], 1);  // the top row is the file's last
    tessel::FreeTracked(pixels);
    tessel::FreeTracked(info);

    // A PNG with 3 x 3 bytes a row: copied into rows of 12.
    Bytes png = SmallPng();
    ASSERT_EQ(tessel::LoadImageBuffer(nullptr, png.data(), int(png.size()), 1, 1, 0, nullptr, &info,
                                      &pixels),
              0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    const uint8_t* row1 = static_cast<uint8_t*>(pixels) + 12;
    EXPECT_EQ(uint32_t(row1[2]) << 16 | uint32_t(row1[1]) << 8 | row1[0], TestColour(0, 1));
    tessel::FreeTracked(pixels);
    tessel::FreeTracked(info);
}

TEST(ImageBufferToDib, SharesOnlyMatchingRowsAndConvertsOtherFormats) {
    BITMAPINFO* info = static_cast<BITMAPINFO*>(tessel::AllocTrackedZeroed(
        sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), __FILE__, __LINE__));
    BASEIMAGE argb = {};
    ASSERT_EQ(tessel::CreateArgbImageBuffer(3, 2, &argb), 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint32_t c = TestColour(x, y);
            tessel::WriteImagePixel(&argb, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF, 9);
        }
    }
    void* pixels = nullptr;
    EXPECT_EQ(tessel::ImageBufferToDib(&argb, info, &pixels, 0, 0), 1);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    const uint8_t* p = static_cast<uint8_t*>(pixels) + 12 + 3;  // (1, 1)
    EXPECT_EQ(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0], TestColour(1, 1));
    tessel::FreeTracked(pixels);

    BASEIMAGE rgb = {};
    tessel::SetPixelFormatRgb24(&rgb.format);
    ASSERT_EQ(tessel::CreateImageBufferLike(4, 2, &rgb, &rgb), 0);  // pitch 12 = DIB rows
    EXPECT_EQ(tessel::ImageBufferToDib(&rgb, info, &pixels, 0, 0), 0);
    EXPECT_EQ(pixels, rgb.pixels);
    EXPECT_EQ(tessel::ImageBufferToDib(&rgb, info, &pixels, 1, 0), 1);
    EXPECT_NE(pixels, rgb.pixels);
    tessel::FreeTracked(pixels);
    tessel::ReleaseImageBuffer(&rgb);
    tessel::ReleaseImageBuffer(&argb);
    tessel::FreeTracked(info);
}

TEST(LoadImageBufferWithAlpha, TheCompanionFileOrMemoryImageWhenThereIsOne) {
    ScratchDirectory dir;
    Bytes png = SmallPng();
    WriteWholeFile(dir.Linux("a.png"), png);
    std::string path = dir.Windows() + "\\a.png";
    BASEIMAGE image = {};
    BASEIMAGE alpha = {};
    // No companion yet: 1, with the main image loaded.
    EXPECT_EQ(tessel::LoadImageBufferWithAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image,
                                               &alpha, 0),
              1);
    EXPECT_NE(image.pixels, nullptr);
    EXPECT_EQ(alpha.pixels, nullptr);
    tessel::ReleaseImageBuffer(&image);

    WriteWholeFile(dir.Linux("a_a.png"), png);
    EXPECT_EQ(tessel::LoadImageBufferWithAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image,
                                               &alpha, 0),
              0);
    EXPECT_EQ(alpha.width, 3);
    tessel::ReleaseImageBuffer(&image);
    tessel::ReleaseImageBuffer(&alpha);

    EXPECT_EQ(tessel::LoadImageBufferWithAlpha(nullptr, png.data(), int(png.size()), 1, png.data(),
                                               int(png.size()), 1, &image, &alpha, 0),
              0);
    tessel::ReleaseImageBuffer(&image);
    tessel::ReleaseImageBuffer(&alpha);
    EXPECT_EQ(tessel::LoadImageBufferWithAlpha(nullptr, png.data(), int(png.size()), 1, png.data(),
                                               int(png.size()), 2, &image, &alpha, 0),
              1);
    tessel::ReleaseImageBuffer(&image);
    std::string absent = dir.Windows() + "\\none.png";
    EXPECT_EQ(tessel::LoadImageBufferWithAlpha(absent.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image,
                                               &alpha, 0),
              -1);
}

TEST(MakeAlphaFileName, PutsTheMarkBeforeTheFirstDot) {
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"image\\a.png", "image\\a_a.png"},
        {"dir.x\\pic.png", "dir_a.x\\pic.png"},
        {"noext", "noext_a"},
        {"画像.png", "画像_a.png"},
        // A lead byte whose trail byte is '\\' (0x5C) is stepped over whole.
        {"\x95\x5C.bmp", "\x95\x5C_a.bmp"},
        // So is a lead byte before a '.': the pair is taken whole, valid or not.
        {"\x81.png", "\x81.png_a"},
        // A lead byte that ends the path is a byte of its own.
        {"a\x81", "a\x81_a"},
        // 0xA1 is a single-byte character in Shift-JIS.
        {"\xA1.png", "\xA1_a.png"},
    };
    for (const Case& c : cases) {
        char out[260];
        tessel::MakeAlphaFileName(c.path, out);
        EXPECT_STREQ(out, c.expected);
    }
    // The library's character set decides what a lead byte is: in Korean,
    // every byte from 0x80 on.
    const int32_t previous = tessel::LibraryCharSet;
    tessel::LibraryCharSet = tessel::kCharSetKorean;
    char korean[260];
    tessel::MakeAlphaFileName("\xA1.png", korean);
    tessel::LibraryCharSet = previous;
    EXPECT_STREQ(korean, "\xA1.png_a");
    std::string longPath(300, 'x');
    char out[260];
    tessel::MakeAlphaFileName(longPath.c_str(), out);
    EXPECT_EQ(std::strlen(out), 259u);
}

TEST(SetImageLoadOption, KeepsTheDitherMode) {
    tessel::SetImageLoadOption(tessel::kDitherCarried);
    EXPECT_EQ(tessel::GetImageLoadOption(), tessel::kDitherCarried);
    tessel::SetImageLoadOption(tessel::kDitherNone);
    EXPECT_EQ(tessel::GetImageLoadOption(), tessel::kDitherNone);
}

}  // namespace
}  // namespace tessel_test
