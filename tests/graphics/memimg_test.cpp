// Memory images: creation and pitch, views and release order, fill, copy and
// the transfer from a BASEIMAGE, and creation failures that leave nothing behind.
#include "graphics/memimg/memimg.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/memory/memory.h"

namespace tessel {
namespace {

struct PitchCase {
    int colorType, alpha, palette, width, pitch;
    int wantPitch, wantShift, wantBytes, wantAlpha, wantPalette;
};

TEST(MemImg, PitchShiftAndPixelSizeFollowTheColourType) {
    const PitchCase cases[] = {
        {0, 0, 0, 100, -1, 208, -1, 2, 0, 0},  // row 200 rounds to 208
        {1, 0, 0, 64, -1, 256, 8, 4, 0, 0},
        {1, 0, 0, 2, -1, 16, -1, 4, 0, 0},  // the unrounded row of 8 is the power of two
        {0, 1, 0, 3, -1, 16, 4, 4, 1, 0},   // 16-bit with alpha takes 4 bytes
        {1, 1, 1, 10, -1, 16, 4, 1, 0, 1},  // a palette image drops alpha
        {0, 1, 1, 7, -1, 16, -1, 1, 0, 1},
        {2, 1, 1, 5, -1, 16, -1, 1, 0, 0},  // single channel: neither
        {3, 0, 0, 8, -1, 16, 4, 2, 0, 0},
        {1, 0, 0, 10, 256, 256, 8, 4, 0, 0},
        {1, 0, 0, 10, 300, 300, -1, 4, 0, 0},
    };
    for (const PitchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.colorType << " width " << c.width);
        MEMIMG image{};
        ASSERT_EQ(MemImgCreate(&image, c.width, 3, c.pitch, 5, c.colorType, c.palette, c.alpha, 0,
                               nullptr),
                  0);
        EXPECT_EQ(image.base->pitch, c.wantPitch);
        EXPECT_EQ(image.base->pitchShift, c.wantShift);
        EXPECT_EQ(image.base->format->bytes, c.wantBytes);
        EXPECT_EQ(image.base->alphaFlag, uint32_t(c.wantAlpha));
        EXPECT_EQ(image.base->paletted, uint32_t(c.wantPalette));
        EXPECT_EQ(image.base->palette != nullptr, c.wantPalette == 1);
        EXPECT_EQ(image.base->transparent, 5u);
        EXPECT_EQ(image.base->refCount, 1u);
        EXPECT_EQ(MemImgIsValid(&image), 1);
        MemImgRelease(&image);
        EXPECT_EQ(MemImgIsValid(&image), 0);
    }
}

TEST(MemImg, StandardFormatsCarryTheirMasks) {
    const PixelFormatDesc* f = MemImgStandardFormat(0, 1, 0);
    EXPECT_EQ(f->bits, 32);
    EXPECT_EQ(f->redMask, 0xF800u);
    EXPECT_EQ(f->alphaMask, 0xFF0000u);
    EXPECT_EQ(MemImgStandardFormat(1, 1, 1)->bits, 8);
    EXPECT_EQ(MemImgStandardFormat(1, 1, 1)->alphaMask, 0xFF000000u);
    EXPECT_EQ(MemImgStandardFormat(2, 0, 0)->greenMask, 0xFFu);
    EXPECT_EQ(MemImgStandardFormat(3, 0, 0)->bytes, 2);
    EXPECT_EQ(MemImgStandardFormat(4, 0, 0), nullptr);
    EXPECT_EQ(MemImgStandardFormat(1, 0, 0), MemImgStandardFormat(1, 0, 0));
}

TEST(MemImg, BadSizesAndAValidRecordAreRefused) {
    MEMIMG image{};
    EXPECT_EQ(MemImgCreate(&image, 0, 4, -1, 0, 1, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(MemImgCreate(&image, 4, -2, -1, 0, 1, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(MemImgCreate(&image, 4, 4, 15, 0, 1, 0, 0, 0, nullptr), -1);  // pitch below the row
    EXPECT_EQ(MemImgCreate(&image, 4, 4, -1, 0, 4, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(MemImgCreate(&image, 1 << 20, 1 << 20, -1, 0, 1, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(image.magic, 0u);
    ASSERT_EQ(MemImgCreate(&image, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), 0);
    MemImgBase* base = image.base;
    EXPECT_EQ(MemImgCreate(&image, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(image.base, base);
    MemImgRelease(&image);
}

TEST(MemImg, AFailedCreationFreesWhatItAllocatedAndLeavesTheRecordUsable) {
    // 0: the store record fails; 1: the pixels (or the palette) fail; 2: the
    // pixels of a palette image, or the planes.
    struct Case {
        int successes, palette, planes;
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 0, 1}, {3, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "successes " << c.successes << " palette " << c.palette
                                        << " planes " << c.planes);
        const uint32_t before = TrackedBlockCount();
        MEMIMG image{};
        SetTrackedHeapFailingAfter(c.successes);
        EXPECT_EQ(MemImgCreate(&image, 16, 16, -1, 0, 1, c.palette, 0, c.planes, nullptr), -1);
        SetTrackedHeapFailing(false);
        EXPECT_EQ(TrackedBlockCount(), before);
        EXPECT_EQ(image.magic, 0u);
        EXPECT_EQ(image.base, nullptr);
        ASSERT_EQ(MemImgCreate(&image, 16, 16, -1, 0, 1, c.palette, 0, c.planes, nullptr), 0);
        MemImgRelease(&image);
        EXPECT_EQ(TrackedBlockCount(), before);
    }
}

TEST(MemImg, ViewsShareTheStoreAndOutliveTheirSource) {
    const uint32_t before = TrackedBlockCount();
    MEMIMG source{};
    ASSERT_EQ(MemImgCreate(&source, 10, 8, -1, 0, 1, 0, 0, 0, nullptr), 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const uint32_t v = uint32_t(y * 100 + x);
            std::memcpy(source.pixels + y * source.base->pitch + x * 4, &v, 4);
        }
    }
    MEMIMG view{};
    MemImgMakeView(&view, &source, 3, 2, 7, 6);
    ASSERT_EQ(MemImgIsValid(&view), 1);
    EXPECT_EQ(view.base, source.base);
    EXPECT_EQ(source.base->refCount, 2u);
    uint32_t first = 0;
    std::memcpy(&first, view.pixels, 4);
    EXPECT_EQ(first, 203u);

    // One pixel too wide, or too high, or placed before the source: not made.
    MEMIMG refused{};
    refused.width = 99;
    MemImgMakeView(&refused, &source, 3, 2, 8, 6);
    MemImgMakeView(&refused, &source, 3, 2, 7, 7);
    MemImgMakeView(&refused, &source, -1, 0, 2, 2);
    EXPECT_EQ(refused.magic, 0u);
    EXPECT_EQ(refused.width, 99);
    EXPECT_EQ(source.base->refCount, 2u);

    MemImgRelease(&source);
    EXPECT_EQ(MemImgIsValid(&source), 0);
    std::memcpy(&first, view.pixels + view.base->pitch, 4);
    EXPECT_EQ(first, 303u);
    EXPECT_GT(TrackedBlockCount(), before);
    MemImgRelease(&view);
    EXPECT_EQ(TrackedBlockCount(), before);
    MemImgRelease(&view);  // released twice: nothing happens
}

TEST(MemImg, FillWritesTheLowBytesOfTheValueInsideTheView) {
    MEMIMG image{};
    ASSERT_EQ(MemImgCreate(&image, 6, 4, -1, 0, 0, 0, 0, 0, nullptr), 0);
    std::memset(image.pixels, 0, size_t(image.base->pitch) * 4);
    const RECT rect{4, -3, 9, 2};  // clipped to columns 4-5, rows 0-1
    MemImgFillRect(&image, &rect, 0xABCD1234u);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            uint16_t v = 0;
            std::memcpy(&v, image.pixels + y * image.base->pitch + x * 2, 2);
            EXPECT_EQ(v, (x >= 4 && y < 2) ? 0x1234 : 0) << x << "," << y;
        }
    }
    MemImgFillRect(&image, nullptr, 7);
    uint16_t last = 0;
    std::memcpy(&last, image.pixels + 3 * image.base->pitch + 10, 2);
    EXPECT_EQ(last, 7);
    MemImgRelease(&image);
}

TEST(MemImg, CopyConvertsFormatsAndClipsToBothImages) {
    MEMIMG source{};
    MEMIMG dest{};
    ASSERT_EQ(MemImgCreate(&source, 4, 4, -1, 0, 1, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(MemImgCreate(&dest, 3, 3, -1, 0, 0, 0, 0, 0, nullptr), 0);
    MemImgFillRect(&source, nullptr, 0x00FF0000u);  // red
    const RECT spot{1, 1, 2, 2};
    MemImgFillRect(&source, &spot, 0x0000FF00u);  // one green pixel
    MemImgFillRect(&dest, nullptr, 0);
    MemImgCopyRect(&dest, &source, nullptr, -1, -1);  // source (1,1) lands on (0,0)
    auto at = [&](int x, int y) {
        uint16_t v = 0;
        std::memcpy(&v, dest.pixels + y * dest.base->pitch + x * 2, 2);
        return v;
    };
    EXPECT_EQ(at(0, 0), 0x07E0);
    EXPECT_EQ(at(1, 0), 0xF800);
    EXPECT_EQ(at(2, 2), 0xF800);
    MemImgRelease(&source);
    MemImgRelease(&dest);
}

TEST(MemImg, TransferKeysTheTransparentColourAndTakesPalettes) {
    BASEIMAGE base{};
    ASSERT_EQ(CreateXrgbImageBuffer(3, 2, &base), 0);
    const uint32_t colours[6] = {0x00102030, 0x00FF00FF, 0x00405060, 0x00FF00FF, 0, 0x00FFFFFF};
    for (int i = 0; i < 6; ++i) {
        std::memcpy(base.pixels + (i / 3) * base.pitch + (i % 3) * 4, &colours[i], 4);
    }
    MEMIMG image{};
    ASSERT_EQ(MemImgCreate(&image, 3, 2, -1, 0x00ABCDEF, 1, 0, 0, 0, nullptr), 0);
    image.base->runTableValid = 1;
    ASSERT_EQ(MemImgTransferFromBaseImage(&base, nullptr, &image, 0, 0, 3, 2, 0, 0, 1, 0xFF00FF),
              0);
    auto at = [&](int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, image.pixels + y * image.base->pitch + x * 4, 4);
        return v & 0xFFFFFF;
    };
    EXPECT_EQ(at(0, 0), 0x102030u);
    EXPECT_EQ(at(1, 0), 0xABCDEFu);
    EXPECT_EQ(at(0, 1), 0xABCDEFu);
    EXPECT_EQ(at(2, 1), 0xFFFFFFu);
    EXPECT_EQ(image.base->runTableValid, 0u);
    // Without the flag the colour stays.
    ASSERT_EQ(MemImgTransferFromBaseImage(&base, nullptr, &image, 1, 0, 1, 1, 1, 0, 0, 0xFF00FF),
              0);
    EXPECT_EQ(at(1, 0), 0xFF00FFu);
    // A rectangle outside either image is refused.
    EXPECT_EQ(MemImgTransferFromBaseImage(&base, nullptr, &image, 1, 0, 3, 1, 0, 0, 0, 0), -1);
    EXPECT_EQ(MemImgTransferFromBaseImage(&base, nullptr, &image, 0, 0, 2, 2, 2, 0, 0, 0), -1);
    MemImgRelease(&image);
    ReleaseImageBuffer(&base);

    BASEIMAGE paletted{};
    BASEIMAGE model{};
    SetPixelFormatPal8(&model.format);
    ASSERT_EQ(CreateImageBufferLike(4, 1, &model, &paletted), 0);
    paletted.format.palette[2] = PaletteEntry{0xFF, 0x00, 0xFF, 0};  // blue, green, red
    paletted.format.palette[5] = PaletteEntry{0x00, 0xFF, 0x00, 0};
    const uint8_t indices[4] = {2, 5, 0, 2};
    std::memcpy(paletted.pixels, indices, 4);
    MEMIMG small{};
    ASSERT_EQ(MemImgCreate(&small, 4, 1, -1, 0xFFFF, 0, 1, 0, 0, nullptr), 0);
    ASSERT_EQ(MemImgTransferFromBaseImage(&paletted, nullptr, &small, 0, 0, 4, 1, 0, 0, 1, 0), 0);
    EXPECT_EQ(std::memcmp(small.pixels, indices, 4), 0);
    EXPECT_EQ(small.base->paletteCount, 6u);
    uint16_t entry = 0;
    std::memcpy(&entry, small.base->palette + 2 * 2, 2);
    EXPECT_EQ(entry, 0xF81F);
    std::memcpy(&entry, small.base->palette2 + 2 * 5, 2);
    EXPECT_EQ(entry, 0x07E0);
    MemImgRelease(&small);
    ReleaseImageBuffer(&paletted);
}

TEST(MemImg, TransferTakesAlphaFromTheAlphaImageAndCopiesReadPalettes) {
    BASEIMAGE colour{};
    BASEIMAGE alpha{};
    ASSERT_EQ(CreateXrgbImageBuffer(2, 1, &colour), 0);
    ASSERT_EQ(CreateXrgbImageBuffer(2, 1, &alpha), 0);
    const uint32_t colours[2] = {0x00102030, 0x00FF00FF};
    const uint32_t alphas[2] = {0x00800000, 0x00FF0000};  // alpha from the red channel
    std::memcpy(colour.pixels, colours, 8);
    std::memcpy(alpha.pixels, alphas, 8);
    MEMIMG image{};
    ASSERT_EQ(MemImgCreate(&image, 2, 1, -1, 0, 1, 0, 1, 0, nullptr), 0);
    // The transparent colour plays no part when an alpha image is given.
    ASSERT_EQ(MemImgTransferFromBaseImage(&colour, &alpha, &image, 0, 0, 2, 1, 0, 0, 1, 0xFF00FF),
              0);
    uint32_t got[2];
    std::memcpy(got, image.pixels, 8);
    EXPECT_EQ(got[0], 0x80102030u);
    EXPECT_EQ(got[1], 0xFFFF00FFu);
    MemImgRelease(&image);
    ReleaseImageBuffer(&alpha);
    ReleaseImageBuffer(&colour);

    // A palette image copied into a direct one shows its entries' colours.
    MEMIMG paletted{};
    MEMIMG direct{};
    ASSERT_EQ(MemImgCreate(&paletted, 2, 1, -1, 0, 1, 1, 0, 0, nullptr), 0);
    ASSERT_EQ(MemImgCreate(&direct, 2, 1, -1, 0, 1, 0, 0, 0, nullptr), 0);
    const uint32_t entries[2] = {0x00112233, 0x00445566};
    std::memcpy(paletted.base->palette + 4 * 7, &entries[0], 4);
    std::memcpy(paletted.base->palette + 4 * 9, &entries[1], 4);
    paletted.pixels[0] = 9;
    paletted.pixels[1] = 7;
    MemImgCopyRect(&direct, &paletted, nullptr, 0, 0);
    std::memcpy(got, direct.pixels, 8);
    EXPECT_EQ(got[0] & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(got[1] & 0xFFFFFF, 0x112233u);
    MemImgRelease(&direct);
    MemImgRelease(&paletted);
}

TEST(MemImg, DefaultCreationTakesTheScreenTypeForMinusOne) {
    MEMIMG image;
    std::memset(&image, 0x5C, sizeof(image));  // garbage is cleared first
    MemImgSetScreenColorType(0);
    ASSERT_EQ(MemImgCreateDefault(&image, 5, 5, -1), 0);
    EXPECT_EQ(image.base->colorType, 0u);
    EXPECT_EQ(image.base->transparent, 0u);
    MemImgRelease(&image);
    MemImgSetScreenColorType(1);
    ASSERT_EQ(MemImgCreateDefault(&image, 5, 5, -1), 0);
    EXPECT_EQ(image.base->colorType, 1u);
    MemImgRelease(&image);
}

}  // namespace
}  // namespace tessel
