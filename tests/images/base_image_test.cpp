// In-memory images: creation, single pixels, clearing, copies and stretches.
#include "images/base_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/memory/memory.h"
#include "images/soft_image.h"

namespace tessel {
namespace {

// An image of the given format, filled with a distinct value per pixel.
BASEIMAGE MakeImage(int width, int height, void (*preset)(PixelFormatDesc*)) {
    BASEIMAGE model;
    std::memset(&model, 0, sizeof(model));
    preset(&model.format);
    BASEIMAGE image;
    std::memset(&image, 0, sizeof(image));
    EXPECT_EQ(CreateImageBufferLike(width, height, &model, &image), 0);
    return image;
}

BASEIMAGE MakeMaskImage(int width, int height, int bits, uint32_t r, uint32_t g, uint32_t b,
                        uint32_t a) {
    BASEIMAGE model;
    std::memset(&model, 0, sizeof(model));
    SetPixelFormatFromMasks(&model.format, bits, r, g, b, a);
    BASEIMAGE image;
    std::memset(&image, 0, sizeof(image));
    EXPECT_EQ(CreateImageBufferLike(width, height, &model, &image), 0);
    return image;
}

uint32_t RawAt(const BASEIMAGE& image, int x, int y) {
    const uint8_t* p = image.pixels + y * image.pitch + x * image.format.bytes;
    uint32_t v = 0;
    for (int k = 0; k < image.format.bytes; ++k) {
        v |= uint32_t{p[k]} << (8 * k);
    }
    return v;
}

void SetRaw(BASEIMAGE& image, int x, int y, uint32_t v) {
    uint8_t* p = image.pixels + y * image.pitch + x * image.format.bytes;
    for (int k = 0; k < image.format.bytes; ++k) {
        p[k] = static_cast<uint8_t>(v >> (8 * k));
    }
}

void FillNumbered(BASEIMAGE& image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            SetRaw(image, x, y, static_cast<uint32_t>(y * 100 + x + 1));
        }
    }
}

TEST(BaseImage, CreatorsRoundThePitchAndReleaseClears) {
    BASEIMAGE image;
    std::memset(&image, 0xCD, sizeof(image));
    image.pixels = nullptr;
    ASSERT_EQ(CreateArgbImageBuffer(3, 2, &image), 0);
    EXPECT_EQ(image.pitch, 12);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.mipCount, 0);
    EXPECT_EQ(ReleaseImageBuffer(&image), 0);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);

    ASSERT_EQ(CreateXrgbImageBuffer(1, 1, &image), 0);
    EXPECT_EQ(image.format.alphaWidth, 0);
    ReleaseImageBuffer(&image);

    for (int width : {1, 2, 3, 4, 5}) {
        BASEIMAGE rgb = MakeImage(width, 2, SetPixelFormatRgb24);
        EXPECT_EQ(rgb.pitch, (width * 3 + 3) / 4 * 4);
        ReleaseImageBuffer(&rgb);
        BASEIMAGE pal = MakeImage(width, 2, SetPixelFormatGray8);
        EXPECT_EQ(pal.pitch, (width + 3) / 4 * 4);
        EXPECT_EQ(pal.format.palette[200].red, 200);  // the model's palette came along
        ReleaseImageBuffer(&pal);
    }
    EXPECT_EQ(CreateArgbImageBuffer(-1, 4, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(CreateArgbImageBuffer(70000, 70000, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
    SetTrackedHeapFailing(true);
    EXPECT_EQ(CreateXrgbImageBuffer(8, 8, &image), -1);
    SetTrackedHeapFailing(false);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(BaseImage, ReadAndWriteSinglePixels) {
    BASEIMAGE pal = MakeImage(2, 2, SetPixelFormatPal8);
    pal.format.palette[3] = PaletteEntry{1, 2, 3, 44};
    pal.format.palette[0] = PaletteEntry{0, 0, 0, 0};
    SetRaw(pal, 1, 1, 3);
    int r = -1, g = -1, b = -1, a = -1;
    ASSERT_EQ(ReadImagePixel(&pal, 1, 1, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(g, 2);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(a, 44);  // the entry's own alpha
    ReleaseImageBuffer(&pal);

    BASEIMAGE rgb = MakeImage(3, 2, SetPixelFormatRgb24);
    ASSERT_EQ(WriteImagePixel(&rgb, 2, 1, 0x12, 0x34, 0x56, 0x78), 0);
    EXPECT_EQ(RawAt(rgb, 2, 1), 0x123456u);
    ASSERT_EQ(ReadImagePixel(&rgb, 2, 1, &r, nullptr, &b, &a), 0);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(b, 0x56);
    EXPECT_EQ(a, 0);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}}) {
        EXPECT_EQ(ReadImagePixel(&rgb, x, y, &r, &g, &b, &a), -1);
        EXPECT_EQ(WriteImagePixel(&rgb, x, y, 1, 2, 3, 4), -1);
    }
    ReleaseImageBuffer(&rgb);

    BASEIMAGE hi = MakeMaskImage(1, 1, 16, 0xF800, 0x7E0, 0x1F, 0);
    SetRaw(hi, 0, 0, (17u << 11) | (33u << 5) | 31u);
    EXPECT_EQ(ReadImagePixelPacked(&hi, 0, 0), (17u << 19) | (33u << 10) | (31u << 3));
    ReleaseImageBuffer(&hi);
    BASEIMAGE argb4 = MakeMaskImage(1, 1, 16, 0xF00, 0xF0, 0xF, 0xF000);
    SetRaw(argb4, 0, 0, 0x9ABC);
    EXPECT_EQ(ReadImagePixelPacked(&argb4, 0, 0), 0x90A0B0C0u);
    EXPECT_EQ(ReadImagePixelPacked(&argb4, 1, 0), 0u);
    ReleaseImageBuffer(&argb4);
    BASEIMAGE empty;
    std::memset(&empty, 0, sizeof(empty));
    EXPECT_EQ(ReadImagePixelPacked(&empty, 0, 0), 0u);
}

TEST(BaseImage, ClearZeroesOnlyTheRectangle) {
    BASEIMAGE image = MakeImage(4, 3, SetPixelFormatRgb24);
    FillNumbered(image);
    ClearImageBufferRect(&image, 1, 1, 2, 2);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            bool inside = x >= 1 && x <= 2 && y >= 1;
            EXPECT_EQ(RawAt(image, x, y), inside ? 0u : uint32_t(y * 100 + x + 1));
        }
    }
    ClearImageBufferRect(&image, 0, 0, 4, 0);
    EXPECT_EQ(RawAt(image, 0, 0), 1u);
    ReleaseImageBuffer(&image);
}

TEST(BaseImage, MirrorAndRotateMovePixelsWhereTheyBelong) {
    void (*const rgb565)(PixelFormatDesc*) = [](PixelFormatDesc* format) {
        SetPixelFormatFromMasks(format, 16, 0xF800, 0x7E0, 0x1F, 0);
    };
    for (auto preset : {SetPixelFormatGray8, rgb565, SetPixelFormatRgb24, SetPixelFormatArgb32}) {
        for (auto [w, h] : {std::pair{5, 3}, {3, 3}, {4, 2}, {1, 1}, {2, 5}}) {
            BASEIMAGE image = MakeImage(w, h, preset);
            const int bytes = image.format.bytes;
            SCOPED_TRACE(testing::Message() << bytes << " bytes " << w << "x" << h);
            const uint32_t mask = bytes == 4 ? 0xFFFFFFFF : (1u << (8 * bytes)) - 1;
            FillNumbered(image);
            ASSERT_EQ(MirrorImageBuffer(&image), 0);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    EXPECT_EQ(RawAt(image, x, y), uint32_t(y * 100 + (w - 1 - x) + 1) & mask);
                }
            }
            FillNumbered(image);
            ASSERT_EQ(RotateImageBuffer180(&image), 0);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    EXPECT_EQ(RawAt(image, x, y),
                              uint32_t((h - 1 - y) * 100 + (w - 1 - x) + 1) & mask);
                }
            }
            ReleaseImageBuffer(&image);
        }
    }
    BASEIMAGE image = MakeImage(0, 2, SetPixelFormatArgb32);
    EXPECT_EQ(MirrorImageBuffer(&image), -1);
    ReleaseImageBuffer(&image);
    image = MakeImage(4, 4, SetPixelFormatArgb32);
    image.format.compressedKind = kPixelsDxt1;
    EXPECT_EQ(RotateImageBuffer180(&image), -1);
    EXPECT_EQ(MirrorImageBuffer(&image), -1);
    ReleaseImageBuffer(&image);
}

TEST(BaseImage, BlitClipsOnEverySide) {
    struct Case {
        int sx, sy, w, h, dx, dy;
    };
    const Case cases[] = {
        {0, 0, 4, 4, 0, 0},  {-2, 0, 4, 4, 0, 0},  {0, -1, 4, 4, 1, 1}, {0, 0, 4, 4, -3, 0},
        {1, 1, 9, 9, 2, -2}, {3, 0, 4, 4, 3, 3},   {0, 0, 0, 3, 0, 0},  {0, 0, 4, 4, 6, 0},
        {4, 3, 2, 2, 0, 0},  {-5, -5, 4, 4, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sx << "," << c.sy << " " << c.w << "x" << c.h << " -> "
                                        << c.dx << "," << c.dy);
        BASEIMAGE src = MakeImage(5, 4, SetPixelFormatXrgb32);
        BASEIMAGE dst = MakeImage(6, 5, SetPixelFormatXrgb32);
        FillNumbered(src);
        std::memset(dst.pixels, 0, dst.pitch * dst.height);
        ASSERT_EQ(BlitImageBuffer(c.sx, c.sy, c.w, c.h, c.dx, c.dy, &src, &dst), 0);
        for (int y = 0; y < dst.height; ++y) {
            for (int x = 0; x < dst.width; ++x) {
                // Unclipped, destination (x, y) takes source (x - dx + sx, y - dy + sy).
                int sx = x - c.dx + c.sx;
                int sy = y - c.dy + c.sy;
                bool inRect = x >= c.dx && x < c.dx + c.w && y >= c.dy && y < c.dy + c.h;
                bool inSource = sx >= 0 && sx < 5 && sy >= 0 && sy < 4;
                uint32_t expected = inRect && inSource ? uint32_t(sy * 100 + sx + 1) : 0u;
                ASSERT_EQ(RawAt(dst, x, y), expected) << x << "," << y;
            }
        }
        ReleaseImageBuffer(&src);
        ReleaseImageBuffer(&dst);
    }
}

TEST(BaseImage, BlitMatchesPalettesColourByColour) {
    BASEIMAGE src = MakeImage(2, 1, SetPixelFormatGray8);
    BASEIMAGE dst = MakeImage(2, 1, SetPixelFormatPal8);
    for (int i = 0; i < 256; ++i) {
        dst.format.palette[i] = PaletteEntry{0, 0, 0, 0};
    }
    dst.format.palette[7] = PaletteEntry{250, 250, 250, 0};
    SetRaw(src, 0, 0, 0);
    SetRaw(src, 1, 0, 240);
    ASSERT_EQ(BlitImageBuffer(0, 0, 2, 1, 0, 0, &src, &dst), 0);
    EXPECT_EQ(RawAt(dst, 0, 0), 0u);
    EXPECT_EQ(RawAt(dst, 1, 0), 7u);
    ReleaseImageBuffer(&src);
    ReleaseImageBuffer(&dst);
}

TEST(BaseImage, StretchChecksItsRectangles) {
    BASEIMAGE src = MakeImage(4, 4, SetPixelFormatArgb32);
    BASEIMAGE dst = MakeImage(8, 8, SetPixelFormatArgb32);
    FillNumbered(src);
    EXPECT_EQ(StretchBlitImageBuffer(0, 0, 4, 4, &src, 0, 0, 8, 8, &dst, 0), 0);
    EXPECT_EQ(StretchBlitImageBuffer(4, 0, 5, 4, &src, 0, 0, 8, 8, &dst, 0), -1);
    EXPECT_EQ(StretchBlitImageBuffer(2, 0, 2, 4, &src, 0, 0, 8, 8, &dst, 0), -1);
    EXPECT_EQ(StretchBlitImageBuffer(0, 0, 4, 5, &src, 0, 0, 8, 8, &dst, 0), -1);
    EXPECT_EQ(StretchBlitImageBuffer(-1, 0, 4, 4, &src, 0, 0, 8, 8, &dst, 0), -1);
    EXPECT_EQ(StretchBlitImageBuffer(0, 0, 4, 4, &src, 0, 0, 9, 8, &dst, 0), -1);
    // Equal sizes are a plain blit.
    ASSERT_EQ(StretchBlitImageBuffer(1, 1, 3, 3, &src, 5, 6, 7, 8, &dst, 1), 0);
    EXPECT_EQ(RawAt(dst, 5, 6), RawAt(src, 1, 1));
    EXPECT_EQ(RawAt(dst, 6, 7), RawAt(src, 2, 2));
    ReleaseImageBuffer(&src);
    ReleaseImageBuffer(&dst);
}

// The filtered value of one destination pixel from the fixed-point formulas,
// with neighbours past the last column and row taken from that column and row.
uint32_t SmoothReference(const BASEIMAGE& src, int left, int top, uint32_t stepX, uint32_t stepY,
                         int i, int j) {
    uint32_t x = (uint32_t(left) << 16) + i * stepX;
    uint32_t y = (uint32_t(top) << 16) + j * stepY;
    uint32_t fx = x & 0xFFFF, fy = y & 0xFFFF;
    int x0 = x >> 16, y0 = y >> 16;
    int x1 = std::min(x0 + 1, src.width - 1), y1 = std::min(y0 + 1, src.height - 1);
    uint32_t w[4] = {((0xFFFF - fx) * (0xFFFF - fy)) >> 16, (fx * (0xFFFF - fy)) >> 16,
                     ((0xFFFF - fx) * fy) >> 16, (fx * fy) >> 16};
    uint32_t p[4] = {RawAt(src, x0, y0), RawAt(src, x1, y0), RawAt(src, x0, y1),
                     RawAt(src, x1, y1)};
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 0;
        for (int k = 0; k < 4; ++k) {
            sum += ((p[k] >> shift) & 255) * w[k];
        }
        out |= (sum >> 16) << shift;
    }
    return out;
}

TEST(BaseImage, StretchNearestAndSmoothFollowTheFixedPointSteps) {
    std::mt19937 random(7);
    BASEIMAGE src = MakeImage(5, 3, SetPixelFormatArgb32);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            SetRaw(src, x, y, random());
        }
    }
    struct Case {
        int l, t, r, b, dw, dh;
    };
    for (const Case& c : {Case{0, 0, 5, 3, 11, 7}, Case{1, 1, 4, 3, 2, 5}, Case{0, 0, 5, 3, 3, 2},
                          Case{4, 2, 5, 3, 3, 3}}) {
        SCOPED_TRACE(testing::Message() << c.l << "," << c.t << " " << c.dw << "x" << c.dh);
        BASEIMAGE dst = MakeImage(12, 8, SetPixelFormatArgb32);
        uint32_t stepX = (uint32_t(c.r - c.l) << 16) / c.dw;
        uint32_t stepY = (uint32_t(c.b - c.t) << 16) / c.dh;
        ASSERT_EQ(
            StretchBlitImageBuffer(c.l, c.t, c.r, c.b, &src, 1, 1, 1 + c.dw, 1 + c.dh, &dst, 0), 0);
        for (int j = 0; j < c.dh; ++j) {
            for (int i = 0; i < c.dw; ++i) {
                int sx = ((uint32_t(c.l) << 16) + i * stepX) >> 16;
                int sy = ((uint32_t(c.t) << 16) + j * stepY) >> 16;
                ASSERT_EQ(RawAt(dst, 1 + i, 1 + j), RawAt(src, sx, sy));
            }
        }
        ASSERT_EQ(
            StretchBlitImageBuffer(c.l, c.t, c.r, c.b, &src, 1, 1, 1 + c.dw, 1 + c.dh, &dst, 1), 0);
        for (int j = 0; j < c.dh; ++j) {
            for (int i = 0; i < c.dw; ++i) {
                ASSERT_EQ(RawAt(dst, 1 + i, 1 + j),
                          SmoothReference(src, c.l, c.t, stepX, stepY, i, j))
                    << i << "," << j;
            }
        }
        ReleaseImageBuffer(&dst);
    }
    ReleaseImageBuffer(&src);

    // A flat image stays flat to its edges (full intensity comes out as 254).
    BASEIMAGE white = MakeImage(2, 2, SetPixelFormatXrgb32);
    BASEIMAGE big = MakeImage(5, 5, SetPixelFormatXrgb32);
    std::memset(white.pixels, 0xFF, white.pitch * 2);
    ASSERT_EQ(StretchBlitImageBuffer(0, 0, 2, 2, &white, 0, 0, 5, 5, &big, 1), 0);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(RawAt(big, x, y), 0xFEFEFEu) << x << "," << y;
        }
    }
    ReleaseImageBuffer(&white);
    ReleaseImageBuffer(&big);
}

TEST(BaseImage, HalveAveragesBlocksChannelByChannel) {
    PixelFormatDesc argb;
    SetPixelFormatArgb32(&argb);
    uint32_t src[4][4] = {{0x10203040, 0x30405060, 1, 2},
                          {0x50607080, 0x70809003, 3, 4},
                          {0xFFFFFFFF, 0xFFFFFFFF, 5, 6},
                          {0xFFFFFFFF, 0xFFFFFFFD, 7, 8}};
    uint32_t dst[4][4] = {};
    ASSERT_EQ(HalveImagePixels(&argb, dst, 16, src, 16, 0, 99, 0, 0, 2, 4), 0);
    EXPECT_EQ(dst[0][0], 0x40506048u);
    EXPECT_EQ(dst[1][0], 0xFFFFFFFEu);
    EXPECT_EQ(dst[0][1], 0u);
    EXPECT_EQ(HalveImagePixels(&argb, dst, 16, src, 16, 0, 0, 0, 0, 3, 2), -1);
    EXPECT_EQ(HalveImagePixels(&argb, dst, 16, src, 16, 0, 0, 0, 0, 2, 3), -1);

    // Width 1: vertical pairs, halved.
    uint32_t column[4][1] = {{0x00000010}, {0x00000020}, {0x01000000}, {0x03000001}};
    uint32_t half[2][1] = {};
    ASSERT_EQ(HalveImagePixels(&argb, half, 4, column, 4, 0, 0, 0, 0, 1, 4), 0);
    EXPECT_EQ(half[0][0], 0x18u);
    EXPECT_EQ(half[1][0], 0x02000000u);
    // 1 x 1 copies the pixel, unused bits and all.
    PixelFormatDesc x555;
    SetPixelFormatFromMasks(&x555, 16, 0x7C00, 0x3E0, 0x1F, 0);
    uint16_t one = 0xFFFF, out = 0;
    ASSERT_EQ(HalveImagePixels(&x555, &out, 2, &one, 2, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(out, 0xFFFF);
    // Otherwise the unused bits come out 0; the block starts at (x, row).
    uint16_t row16[2][4] = {{0, 0, 0, 0}, {0, 0xFFFF, 0xFFFF, 0}};
    uint16_t out16[2][4] = {};
    ASSERT_EQ(HalveImagePixels(&x555, out16, 8, row16, 8, 3, 0, 1, 1, 2, 1), 0);
    EXPECT_EQ(out16[1][3], 0x7FFF);
    // Other depths are not written.
    PixelFormatDesc rgb;
    SetPixelFormatRgb24(&rgb);
    EXPECT_EQ(HalveImagePixels(&rgb, dst, 16, src, 16, 0, 0, 0, 0, 2, 2), 0);
}

TEST(BaseImage, DeletingAllSoftImagesEmptiesTheTable) {
    for (int slot : {0, 5, 17}) {
        auto* record = static_cast<SoftImageRecord*>(
            AllocTrackedZeroed(sizeof(SoftImageRecord), __FILE__, __LINE__));
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(CreateArgbImageBuffer(4, 4, &record->image), 0);
        record->check = static_cast<uint32_t>(slot * 3 + 1);
        g_softImages.slots[slot] = record;
        ++g_softImages.liveCount;
        g_softImages.endIndex = slot + 1;
    }
    EXPECT_EQ(EndSoftImageSystem(), 0);
    EXPECT_EQ(g_softImages.liveCount, 0);
    EXPECT_EQ(g_softImages.endIndex, 0);
    for (int slot : {0, 5, 17}) {
        EXPECT_EQ(g_softImages.slots[slot], nullptr);
    }
    EXPECT_EQ(DeleteAllSoftImages(), 0);
}

}  // namespace
}  // namespace tessel
