// Images in system memory (BASEIMAGE): making and freeing them, reading and
// writing single pixels, clearing, mirroring and turning, copying a clipped
// rectangle between two images (through ConvertImagePixels) and stretching
// one, smoothly or not.
// Not here: loading and saving (image_loader.cpp, the writers), DXT blocks
// (dxt.cpp).
#include "images/base_image.h"

#include <cstddef>
#include <cstring>

#include "foundation/memory/memory.h"
#include "images/convert.h"
#include "images/dxt.h"

namespace tessel {

namespace {

uint8_t* PixelAddress(const BASEIMAGE* image, int x, int y) {
    return image->pixels + static_cast<ptrdiff_t>(y) * image->pitch +
           static_cast<ptrdiff_t>(x) * image->format.bytes;
}

// Allocates pitch x height bytes with the pitch rounded up to 4 bytes.
int AllocatePixels(BASEIMAGE* image, int width, int height, int bytesPerPixel) {
    image->pixels = nullptr;
    if (width < 0 || height < 0) {
        return -1;
    }
    uint64_t pitch = (static_cast<uint64_t>(width) * bytesPerPixel + 3) & ~uint64_t{3};
    uint64_t size = pitch * static_cast<uint64_t>(height);
    if (pitch > 0x7FFFFFFF || size > 0xFFFFFFFFu) {
        return -1;
    }
    image->pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (image->pixels == nullptr) {
        return -1;
    }
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int32_t>(pitch);
    image->mipCount = 0;
    return 0;
}

// Plain pixels for the operations that need them; a compressed image is
// expanded first.
bool HasPlainPixels(BASEIMAGE* image) {
    if (image->format.compressedKind != kPixelsPlain && DecodeDxtImage(image) != 0) {
        return false;
    }
    return image->pixels != nullptr;
}

bool Inside(const BASEIMAGE* image, int x, int y) {
    return static_cast<uint32_t>(x) < static_cast<uint32_t>(image->width) &&
           static_cast<uint32_t>(y) < static_cast<uint32_t>(image->height);
}

// A channel moved so that its top bit lands on bit 7 of its byte.
uint32_t TopAlignedByte(uint32_t pixel, uint32_t mask, int shift, int width) {
    if (width == 0) {
        return 0;
    }
    uint32_t v = (pixel & mask) >> shift;
    return (width <= 8 ? v << (8 - width) : v >> (width - 8)) & 255u;
}

void SwapPixels(uint8_t* a, uint8_t* b, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        uint8_t t = a[k];
        a[k] = b[k];
        b[k] = t;
    }
}

// Whole pixels of 1, 2 or 4 bytes swap as one value.
template <typename Unit>
void ReverseUnits(uint8_t* row, int width) {
    for (int i = 0, j = width - 1; i < j; ++i, --j) {
        Unit a;
        Unit b;
        std::memcpy(&a, row + i * sizeof(Unit), sizeof(Unit));
        std::memcpy(&b, row + j * sizeof(Unit), sizeof(Unit));
        std::memcpy(row + i * sizeof(Unit), &b, sizeof(Unit));
        std::memcpy(row + j * sizeof(Unit), &a, sizeof(Unit));
    }
}

void ReverseRow(uint8_t* row, int width, int bytes) {
    switch (bytes) {
        case 1:
            ReverseUnits<uint8_t>(row, width);
            return;
        case 2:
            ReverseUnits<uint16_t>(row, width);
            return;
        case 4:
            ReverseUnits<uint32_t>(row, width);
            return;
        default:
            break;
    }
    for (int i = 0; i < width / 2; ++i) {
        SwapPixels(row + i * bytes, row + (width - 1 - i) * bytes, bytes);
    }
}

bool RectInside(int left, int top, int right, int bottom, const BASEIMAGE* image) {
    return left >= 0 && left < right && right <= image->width && top >= 0 && top < bottom &&
           bottom <= image->height;
}

struct Rgba {
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 0;
};

Rgba ReadRgba(BASEIMAGE* image, int x, int y) {
    Rgba c;
    ReadImagePixel(image, x, y, &c.r, &c.g, &c.b, &c.a);
    return c;
}

// The four neighbours of a 16.16 position, weighted by their distance. The
// right and bottom neighbours of the last column and row repeat that column
// and row, so the edge keeps its own colour.
Rgba SampleSmooth(BASEIMAGE* source, uint64_t x, uint64_t y) {
    int x0 = static_cast<int>(x >> 16);
    int y0 = static_cast<int>(y >> 16);
    int x1 = x0 + 1 < source->width ? x0 + 1 : source->width - 1;
    int y1 = y0 + 1 < source->height ? y0 + 1 : source->height - 1;
    uint32_t fx = static_cast<uint32_t>(x & 0xFFFF);
    uint32_t fy = static_cast<uint32_t>(y & 0xFFFF);
    const uint32_t weights[4] = {((0xFFFF - fx) * (0xFFFF - fy)) >> 16, (fx * (0xFFFF - fy)) >> 16,
                                 ((0xFFFF - fx) * fy) >> 16, (fx * fy) >> 16};
    const Rgba samples[4] = {ReadRgba(source, x0, y0), ReadRgba(source, x1, y0),
                             ReadRgba(source, x0, y1), ReadRgba(source, x1, y1)};
    uint32_t sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        sum[0] += static_cast<uint32_t>(samples[k].r) * weights[k];
        sum[1] += static_cast<uint32_t>(samples[k].g) * weights[k];
        sum[2] += static_cast<uint32_t>(samples[k].b) * weights[k];
        sum[3] += static_cast<uint32_t>(samples[k].a) * weights[k];
    }
    return Rgba{static_cast<int>(sum[0] >> 16), static_cast<int>(sum[1] >> 16),
                static_cast<int>(sum[2] >> 16), static_cast<int>(sum[3] >> 16)};
}

struct Channel {
    uint32_t mask;
    int shift;
};

// Clips one axis of a copy to both images: starts moved off negative
// coordinates, the length cut at the nearer far edge.
void ClipCopyAxis(int* src, int* dst, int* length, int srcLimit, int dstLimit) {
    if (*src < 0) {
        *dst -= *src;
        *length += *src;
        *src = 0;
    }
    if (*dst < 0) {
        *src -= *dst;
        *length += *dst;
        *dst = 0;
    }
    if (*dst + *length > dstLimit) {
        *length = dstLimit - *dst;
    }
    if (*src + *length > srcLimit) {
        *length = srcLimit - *src;
    }
}

}  // namespace

int CreateArgbImageBuffer(int width, int height, BASEIMAGE* image) {
    SetPixelFormatArgb32(&image->format);
    return AllocatePixels(image, width, height, 4);
}

int CreateXrgbImageBuffer(int width, int height, BASEIMAGE* image) {
    SetPixelFormatXrgb32(&image->format);
    return AllocatePixels(image, width, height, 4);
}

int CreateImageBufferLike(int width, int height, const BASEIMAGE* model, BASEIMAGE* image) {
    if (model != image) {
        image->format = model->format;
    }
    return AllocatePixels(image, width, height, image->format.bytes);
}

int ReleaseImageBuffer(BASEIMAGE* image) {
    if (image->pixels != nullptr) {
        FreeTracked(image->pixels);
    }
    std::memset(image, 0, sizeof(*image));
    return 0;
}

int ClearImageBufferRect(BASEIMAGE* image, int x, int y, int w, int h) {
    if (h < 1 || w < 1 || image->pixels == nullptr) {
        return 0;
    }
    for (int row = 0; row < h; ++row) {
        std::memset(PixelAddress(image, x, y + row), 0,
                    static_cast<size_t>(w) * image->format.bytes);
    }
    return 0;
}

int ReadImagePixel(BASEIMAGE* image, int x, int y, int* red, int* green, int* blue, int* alpha) {
    if (!HasPlainPixels(image) || !Inside(image, x, y)) {
        return -1;
    }
    const uint8_t* p = PixelAddress(image, x, y);
    int bytes = image->format.bytes;
    if (bytes == 1) {
        const PaletteEntry& e = image->format.palette[p[0]];
        if (red != nullptr) {
            *red = e.red;
        }
        if (green != nullptr) {
            *green = e.green;
        }
        if (blue != nullptr) {
            *blue = e.blue;
        }
        if (alpha != nullptr) {
            *alpha = e.alpha;
        }
        return 0;
    }
    DecodePixelColor(&image->format, LoadPixelValue(p, bytes), red, green, blue, alpha);
    return 0;
}

uint32_t ReadImagePixelPacked(BASEIMAGE* image, int x, int y) {
    if (!HasPlainPixels(image) || !Inside(image, x, y)) {
        return 0;
    }
    const PixelFormatDesc& f = image->format;
    const uint8_t* p = PixelAddress(image, x, y);
    if (f.bytes == 1) {
        const PaletteEntry& e = f.palette[p[0]];
        return (uint32_t{e.alpha} << 24) | (uint32_t{e.red} << 16) | (uint32_t{e.green} << 8) |
               e.blue;
    }
    uint32_t v = LoadPixelValue(p, f.bytes);
    return (TopAlignedByte(v, f.alphaMask, f.alphaShift, f.alphaWidth) << 24) |
           (TopAlignedByte(v, f.redMask, f.redShift, f.redWidth) << 16) |
           (TopAlignedByte(v, f.greenMask, f.greenShift, f.greenWidth) << 8) |
           TopAlignedByte(v, f.blueMask, f.blueShift, f.blueWidth);
}

int WriteImagePixel(BASEIMAGE* image, int x, int y, int red, int green, int blue, int alpha) {
    if (!HasPlainPixels(image) || !Inside(image, x, y)) {
        return -1;
    }
    uint32_t value = EncodePixelColor(&image->format, red, green, blue, alpha);
    StorePixelValue(PixelAddress(image, x, y), image->format.bytes, value);
    return 0;
}

int MirrorImageBuffer(BASEIMAGE* image) {
    if (image->width <= 0 || image->height <= 0 || image->pixels == nullptr) {
        return -1;
    }
    // Mirroring block data would scramble it; only plain images are mirrored.
    if (image->format.compressedKind != kPixelsPlain) {
        return -1;
    }
    int bytes = image->format.bytes;
    if (bytes < 1 || bytes > 4) {
        return 0;
    }
    for (int y = 0; y < image->height; ++y) {
        ReverseRow(PixelAddress(image, 0, y), image->width, bytes);
    }
    return 0;
}

int RotateImageBuffer180(BASEIMAGE* image) {
    if (image->format.compressedKind != kPixelsPlain) {
        return -1;
    }
    int bytes = image->format.bytes;
    if (bytes < 1 || bytes > 4 || image->pixels == nullptr || image->width <= 0) {
        return 0;
    }
    int width = image->width;
    int height = image->height;
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* top = PixelAddress(image, 0, y);
        uint8_t* bottom = PixelAddress(image, 0, height - 1 - y);
        for (int i = 0; i < width; ++i) {
            SwapPixels(top + i * bytes, bottom + (width - 1 - i) * bytes, bytes);
        }
    }
    if (height % 2 == 1) {
        ReverseRow(PixelAddress(image, 0, height / 2), width, bytes);
    }
    return 0;
}

int BlitImageBuffer(int srcX, int srcY, int width, int height, int dstX, int dstY,
                    BASEIMAGE* source, BASEIMAGE* destination) {
    if (!HasPlainPixels(source) || !HasPlainPixels(destination)) {
        return -1;
    }
    ClipCopyAxis(&srcX, &dstX, &width, source->width, destination->width);
    ClipCopyAxis(&srcY, &dstY, &height, source->height, destination->height);
    if (width < 1 || height < 1) {
        return 0;
    }
    RECT rect{srcX, srcY, srcX + width, srcY + height};
    ConvertImagePixels({.dstPixels = destination->pixels,
                        .dstPitch = destination->pitch,
                        .dstFormat = &destination->format,
                        .dstX = dstX,
                        .dstY = dstY,
                        .srcPixels = source->pixels,
                        .srcPitch = source->pitch,
                        .srcFormat = &source->format,
                        .srcRect = rect,
                        .paletteRemap = true});
    return 0;
}

int StretchBlitImageBuffer(int srcLeft, int srcTop, int srcRight, int srcBottom, BASEIMAGE* source,
                           int dstLeft, int dstTop, int dstRight, int dstBottom,
                           BASEIMAGE* destination, int smooth) {
    if (!RectInside(srcLeft, srcTop, srcRight, srcBottom, source) ||
        !RectInside(dstLeft, dstTop, dstRight, dstBottom, destination)) {
        return -1;
    }
    int srcWidth = srcRight - srcLeft;
    int srcHeight = srcBottom - srcTop;
    int dstWidth = dstRight - dstLeft;
    int dstHeight = dstBottom - dstTop;
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        return BlitImageBuffer(srcLeft, srcTop, srcWidth, srcHeight, dstLeft, dstTop, source,
                               destination);
    }
    if (!HasPlainPixels(source) || !HasPlainPixels(destination)) {
        return -1;
    }
    uint64_t stepX = (static_cast<uint64_t>(srcWidth) << 16) / static_cast<uint64_t>(dstWidth);
    uint64_t stepY = (static_cast<uint64_t>(srcHeight) << 16) / static_cast<uint64_t>(dstHeight);
    for (int j = 0; j < dstHeight; ++j) {
        uint64_t y = (static_cast<uint64_t>(srcTop) << 16) + j * stepY;
        for (int i = 0; i < dstWidth; ++i) {
            uint64_t x = (static_cast<uint64_t>(srcLeft) << 16) + i * stepX;
            Rgba c = smooth == 1
                         ? SampleSmooth(source, x, y)
                         : ReadRgba(source, static_cast<int>(x >> 16), static_cast<int>(y >> 16));
            WriteImagePixel(destination, dstLeft + i, dstTop + j, c.r, c.g, c.b, c.a);
        }
    }
    return 0;
}

int HalveImagePixels(const PixelFormatDesc* format, void* dstPixels, int dstPitch,
                     const void* srcPixels, int srcPitch, int dstX, int unused, int srcX, int row,
                     int width, int height) {
    if (format->bits != 16 && format->bits != 32) {
        return 0;
    }
    if ((width != 1 && width % 2 != 0) || (height != 1 && height % 2 != 0) || width < 0 ||
        height < 0) {
        return -1;
    }
    int bytes = format->bits / 8;
    const uint8_t* src = static_cast<const uint8_t*>(srcPixels) +
                         static_cast<ptrdiff_t>(row) * srcPitch +
                         static_cast<ptrdiff_t>(srcX) * bytes;
    uint8_t* dst = static_cast<uint8_t*>(dstPixels) + static_cast<ptrdiff_t>(row) * dstPitch +
                   static_cast<ptrdiff_t>(dstX) * bytes;
    if (width == 1 && height == 1) {
        StorePixelValue(dst, bytes, LoadPixelValue(src, bytes));
        return 0;
    }
    const Channel channels[4] = {{format->redMask, format->redShift},
                                 {format->greenMask, format->greenShift},
                                 {format->blueMask, format->blueShift},
                                 {format->alphaMask, format->alphaShift}};
    // Along a side of 1 the block has one source pixel, not two.
    int stepX = width == 1 ? 0 : 1;
    int stepY = height == 1 ? 0 : 1;
    int divideShift = (width == 1 || height == 1) ? 1 : 2;
    int outWidth = width == 1 ? 1 : width / 2;
    int outHeight = height == 1 ? 1 : height / 2;
    for (int j = 0; j < outHeight; ++j) {
        const uint8_t* srcRow0 = src + static_cast<ptrdiff_t>(j * (1 + stepY)) * srcPitch;
        const uint8_t* srcRow1 = srcRow0 + static_cast<ptrdiff_t>(stepY) * srcPitch;
        uint8_t* dstRow = dst + static_cast<ptrdiff_t>(j) * dstPitch;
        for (int i = 0; i < outWidth; ++i) {
            int x0 = i * (1 + stepX);
            int x1 = x0 + stepX;
            uint32_t p[4] = {LoadPixelValue(srcRow0 + x0 * bytes, bytes),
                             LoadPixelValue(srcRow0 + x1 * bytes, bytes),
                             LoadPixelValue(srcRow1 + x0 * bytes, bytes),
                             LoadPixelValue(srcRow1 + x1 * bytes, bytes)};
            uint32_t out = 0;
            for (const Channel& c : channels) {
                uint64_t sum;
                if (stepX == 0 || stepY == 0) {
                    // p[0] and the one other distinct pixel of the pair.
                    uint32_t other = stepX == 0 ? p[2] : p[1];
                    sum = uint64_t{(p[0] & c.mask) >> c.shift} + ((other & c.mask) >> c.shift);
                } else {
                    sum = 0;
                    for (uint32_t v : p) {
                        sum += (v & c.mask) >> c.shift;
                    }
                }
                out |= (static_cast<uint32_t>(sum >> divideShift) << c.shift) & c.mask;
            }
            StorePixelValue(dstRow + i * bytes, bytes, out);
        }
    }
    return 0;
}

}  // namespace tessel
