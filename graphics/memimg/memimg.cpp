// Memory images: creation with the automatic pitch, views, release, fill,
// format-converting copies and the transfer from a BASEIMAGE.
//
// Routes: MemImgCreate / MemImgCreateDefault build a store and its first view;
// MemImgMakeView adds views; MemImgRelease drops them; MemImgFillRect,
// MemImgCopyRect and MemImgTransferFromBaseImage write pixels. Blending lives
// in the software kernels, not here.
#include "graphics/memimg/memimg.h"

#include <algorithm>
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "images/convert.h"

namespace tessel {

namespace {

// Stores of up to 1 GiB: a bigger request is a caller's mistake, not a picture.
constexpr int64_t kMaxStoreBytes = int64_t{1} << 30;
constexpr uint32_t kPaletteBytes = 1024;

uint32_t g_screenColorType = kMemImgRgb32;

PixelFormatDesc MakeFormat(int bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
    PixelFormatDesc f;
    std::memset(&f, 0, sizeof(f));
    SetPixelFormatFromMasks(&f, bits, red, green, blue, alpha);
    return f;
}

struct StandardFormats {
    PixelFormatDesc direct[2][2][2];  // [type 0/1][alpha][palette]
    PixelFormatDesc gray8;
    PixelFormatDesc gray16;
};

const StandardFormats& Formats() {
    static const StandardFormats formats = [] {
        StandardFormats f;
        for (int alpha = 0; alpha < 2; ++alpha) {
            for (int palette = 0; palette < 2; ++palette) {
                f.direct[0][alpha][palette] = MakeFormat(palette ? 8 : (alpha ? 32 : 16), 0xF800,
                                                         0x07E0, 0x001F, alpha ? 0xFF0000u : 0);
                f.direct[1][alpha][palette] =
                    MakeFormat(palette ? 8 : 32, 0xFF0000, 0xFF00, 0xFF, alpha ? 0xFF000000u : 0);
            }
        }
        f.gray8 = MakeFormat(8, 0xFF, 0xFF, 0xFF, 0xFF);
        f.gray16 = MakeFormat(16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
        return f;
    }();
    return formats;
}

// The smallest power of two not below n (n >= 1).
int64_t PowerOfTwoAtLeast(int64_t n) {
    int64_t p = 1;
    while (p < n) {
        p <<= 1;
    }
    return p;
}

int Log2(int64_t p) {
    int shift = 0;
    while ((int64_t{1} << shift) < p) {
        ++shift;
    }
    return shift;
}

void FreeStore(MemImgBase* base) {
    if (base->userBuffer == 0) {
        FreeTracked(base->pixels);
    }
    FreeTracked(base->alphaPlane);
    FreeTracked(base->runTable);
    FreeTracked(base->palette);
    FreeTracked(base);
}

int BytesPerPixelOf(const MEMIMG* image) {
    return image->base->format->bytes;
}

// A descriptor for the converter: the image's format with its own palette,
// whose entries are 4-byte (type 1) or RGB565 (type 0).
void DescribeForConversion(const MemImgBase* base, PixelFormatDesc* out) {
    *out = *base->format;
    if (base->paletted != 1 || base->palette == nullptr) {
        return;
    }
    for (int i = 0; i < 256; ++i) {
        PaletteEntry& e = out->palette[i];
        if (base->colorType == kMemImgRgb32) {
            std::memcpy(&e, base->palette + 4 * i, 4);
            continue;
        }
        const uint32_t v = base->palette[2 * i] | (uint32_t{base->palette[2 * i + 1]} << 8);
        e.red = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
        e.green = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
        e.blue = static_cast<uint8_t>((v & 31) * 255 / 31);
        e.alpha = 255;
    }
}

bool RectInside(int x, int y, int w, int h, int width, int height) {
    return x >= 0 && y >= 0 && w >= 1 && h >= 1 && int64_t{x} + w <= width &&
           int64_t{y} + h <= height;
}

}  // namespace

const PixelFormatDesc* MemImgStandardFormat(uint32_t colorType, int alpha, int palette) {
    const StandardFormats& f = Formats();
    switch (colorType) {
        case kMemImgRgb565:
        case kMemImgRgb32:
            return &f.direct[colorType][alpha ? 1 : 0][palette ? 1 : 0];
        case kMemImgGray8:
            return &f.gray8;
        case kMemImgGray16:
            return &f.gray16;
        default:
            return nullptr;
    }
}

int MemImgBytesPerPixel(uint32_t colorType, int alpha, int palette) {
    if (colorType >= kMemImgGray8) {
        return colorType == kMemImgGray8 ? 1 : 2;
    }
    if (palette) {
        return 1;
    }
    return (colorType == kMemImgRgb565 && !alpha) ? 2 : 4;
}

void MemImgSetScreenColorType(uint32_t colorType) {
    g_screenColorType = colorType == kMemImgRgb565 ? kMemImgRgb565 : kMemImgRgb32;
}

int MemImgCreate(MEMIMG* image, int width, int height, int pitch, uint32_t transparent,
                 int colorType, int palette, int alpha, int planes, void* userBuffer) {
    if (image->magic == kMemImgMagic) {
        return WriteLog("MEMIMG は既に作成されています\n");
    }
    if (colorType < 0 || colorType > 3 || width < 1 || height < 1 || pitch < -1) {
        return WriteLogFormat("MEMIMG の作成に失敗しました: 不正な値 (%dx%d type %d pitch %d)",
                              width, height, colorType, pitch);
    }
    // A palette image keeps no alpha; the single-channel kinds have neither.
    if (palette) {
        alpha = 0;
    }
    if (colorType >= 2) {
        palette = 0;
        alpha = 0;
    }
    palette = palette ? 1 : 0;
    alpha = alpha ? 1 : 0;
    const int bytes = MemImgBytesPerPixel(colorType, alpha, palette);
    const int64_t row = int64_t{bytes} * width;
    const int64_t realPitch = pitch == -1 ? (row + 15) / 16 * 16 : pitch;
    if (realPitch < row || realPitch * height > kMaxStoreBytes) {
        return WriteLogFormat("MEMIMG の作成に失敗しました: ピッチ %d が %dx%d に合いません", pitch,
                              width, height);
    }
    const int64_t power = PowerOfTwoAtLeast(pitch == -1 ? row : realPitch);
    const uint32_t storeBytes = static_cast<uint32_t>(realPitch * height);

    // Everything is allocated before the record changes, so a failure frees
    // what it took and leaves the record as it was.
    auto* base =
        static_cast<MemImgBase*>(AllocTrackedZeroed(sizeof(MemImgBase), __FILE__, __LINE__));
    if (base == nullptr) {
        return WriteLog("MEMIMG の管理データの確保に失敗しました\n");
    }
    bool failed = false;
    if (palette) {
        base->palette =
            static_cast<uint8_t*>(AllocTrackedZeroed(2 * kPaletteBytes, __FILE__, __LINE__));
        base->palette2 = base->palette == nullptr ? nullptr : base->palette + kPaletteBytes;
        failed = base->palette == nullptr;
    }
    if (!failed && userBuffer == nullptr) {
        base->pixels = static_cast<uint8_t*>(AllocTracked(storeBytes, __FILE__, __LINE__));
        failed = base->pixels == nullptr;
    } else if (!failed) {
        base->pixels = static_cast<uint8_t*>(userBuffer);
        base->userBuffer = 1;
    }
    if (!failed && planes) {
        base->alphaPlane = static_cast<uint8_t*>(AllocTracked(storeBytes, __FILE__, __LINE__));
        failed = base->alphaPlane == nullptr;
        if (!failed && colorType != kMemImgGray8) {
            const int64_t runBytes = (int64_t{width} + 5) * height;
            base->runTable = static_cast<uint8_t*>(
                AllocTracked(static_cast<uint32_t>(runBytes), __FILE__, __LINE__));
            failed = base->runTable == nullptr;
        }
    }
    if (failed) {
        FreeStore(base);
        return WriteLog("MEMIMG のピクセルデータの確保に失敗しました\n");
    }

    base->refCount = 1;
    base->width = width;
    base->height = height;
    base->pitch = static_cast<int32_t>(realPitch);
    base->pitchShift = power == realPitch ? Log2(power) : -1;
    base->format = MemImgStandardFormat(static_cast<uint32_t>(colorType), alpha, palette);
    base->transparent = transparent;
    base->colorType = static_cast<uint32_t>(colorType);
    base->paletted = static_cast<uint32_t>(palette);
    base->alphaFlag = static_cast<uint32_t>(alpha);

    image->magic = kMemImgMagic;
    image->width = width;
    image->height = height;
    image->pixels = base->pixels;
    image->alphaPlane = base->alphaPlane;
    image->base = base;
    return 0;
}

int MemImgCreateDefault(MEMIMG* image, int width, int height, int colorType) {
    std::memset(image, 0, sizeof(*image));
    if (colorType == -1) {
        colorType = static_cast<int>(g_screenColorType);
    }
    return MemImgCreate(image, width, height, -1, 0, colorType, 0, 0, 0, nullptr);
}

void MemImgMakeView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height) {
    if (!MemImgIsValid(source) || view == source) {
        return;
    }
    if (!RectInside(x, y, width, height, source->width, source->height)) {
        return;
    }
    if (view->magic == kMemImgMagic) {
        // Overwriting a live view would lose its count on its store for good.
        WriteLog("MEMIMG のビューは既に作成されています\n");
        return;
    }
    MemImgBase* base = source->base;
    const int64_t offset = int64_t{y} * base->pitch + int64_t{x} * base->format->bytes;
    view->magic = kMemImgMagic;
    view->width = width;
    view->height = height;
    view->pixels = source->pixels + offset;
    view->alphaPlane = base->alphaPlane != nullptr ? source->alphaPlane + offset : nullptr;
    view->base = base;
    ++base->refCount;
}

int MemImgIsValid(const MEMIMG* image) {
    return image != nullptr && image->magic == kMemImgMagic && image->base != nullptr ? 1 : 0;
}

void MemImgRelease(MEMIMG* image) {
    if (image == nullptr || image->magic != kMemImgMagic) {
        return;
    }
    MemImgBase* base = image->base;
    if (base != nullptr && --base->refCount == 0) {
        FreeStore(base);
    }
    std::memset(image, 0, sizeof(*image));
}

namespace {

// Stores value at each of count pixels of `bytes` bytes from p; 2- and 4-byte pixels with the
// width known to the compiler, which turns the loop into wide stores.
template <int kBytes>
void FillPixelsOf(uint8_t* p, int count, uint32_t value) {
    for (int x = 0; x < count; ++x, p += kBytes) {
        StorePixelValue(p, kBytes, value);
    }
}

void FillPixelRow(uint8_t* p, int count, int bytes, uint32_t value) {
    switch (bytes) {
        case 2:
            return FillPixelsOf<2>(p, count, value);
        case 4:
            return FillPixelsOf<4>(p, count, value);
        default:
            for (int x = 0; x < count; ++x, p += bytes) {
                StorePixelValue(p, bytes, value);
            }
    }
}

}  // namespace

void MemImgFillRect(MEMIMG* image, const RECT* rect, uint32_t value) {
    if (!MemImgIsValid(image)) {
        return;
    }
    const RECT whole{0, 0, image->width, image->height};
    RECT r = rect != nullptr ? *rect : whole;
    ClipRectInPlace(&r, &whole);
    const int bytes = BytesPerPixelOf(image);
    if (r.right <= r.left || r.bottom <= r.top) {
        return;
    }
    auto rowAt = [&](int y) {
        return image->pixels + int64_t{y} * image->base->pitch + int64_t{r.left} * bytes;
    };
    if (bytes > 4) {
        // Only the low four bytes of each pixel are written; the others stay.
        for (int y = r.top; y < r.bottom; ++y) {
            FillPixelRow(rowAt(y), r.right - r.left, bytes, value);
        }
        return;
    }
    // Whole pixels: the first row pixel by pixel, the others copies of it.
    uint8_t* first = rowAt(r.top);
    FillPixelRow(first, r.right - r.left, bytes, value);
    const size_t rowBytes = static_cast<size_t>(r.right - r.left) * static_cast<size_t>(bytes);
    for (int y = r.top + 1; y < r.bottom; ++y) {
        std::memcpy(rowAt(y), first, rowBytes);
    }
}

void MemImgCopyRect(MEMIMG* destination, const MEMIMG* source, const RECT* sourceRect, int destX,
                    int destY) {
    if (!MemImgIsValid(destination) || !MemImgIsValid(source)) {
        return;
    }
    const RECT whole{0, 0, source->width, source->height};
    RECT r = sourceRect != nullptr ? *sourceRect : whole;
    ClipRectInPlace(&r, &whole);
    // Cut what would land outside the destination, keeping the two aligned.
    const int shiftLeft = destX < 0 ? -destX : 0;
    const int shiftTop = destY < 0 ? -destY : 0;
    r.left += shiftLeft;
    r.top += shiftTop;
    destX += shiftLeft;
    destY += shiftTop;
    r.right =
        static_cast<LONG>(std::min<int64_t>(r.right, r.left + int64_t{destination->width} - destX));
    r.bottom = static_cast<LONG>(
        std::min<int64_t>(r.bottom, r.top + int64_t{destination->height} - destY));
    if (r.right <= r.left || r.bottom <= r.top) {
        return;
    }
    PixelFormatDesc dstFormat;
    PixelFormatDesc srcFormat;
    DescribeForConversion(destination->base, &dstFormat);
    DescribeForConversion(source->base, &srcFormat);
    ConvertImagePixels({.dstPixels = destination->pixels,
                        .dstPitch = destination->base->pitch,
                        .dstFormat = &dstFormat,
                        .dstX = destX,
                        .dstY = destY,
                        .srcPixels = source->pixels,
                        .srcPitch = source->base->pitch,
                        .srcFormat = &srcFormat,
                        .srcRect = r});
}

namespace {

// The base's palette written into the image's two palettes in its own entry form.
void TakeBasePalette(const BASEIMAGE* base, MemImgBase* store) {
    if (store->colorType == kMemImgRgb32) {
        std::memcpy(store->palette, base->format.palette, kPaletteBytes);
    } else {
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = base->format.palette[i];
            const uint32_t v = ((e.red >> 3) << 11) | ((e.green >> 2) << 5) | (e.blue >> 3);
            store->palette[2 * i] = static_cast<uint8_t>(v);
            store->palette[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
    }
    std::memcpy(store->palette2, store->palette, kPaletteBytes);
}

// Source pixels of the transparent colour become the image's transparent value.
// Is the channel a whole byte: eight bits at its shift?
bool IsByteChannel(uint32_t mask, uint8_t shift, uint8_t width) {
    return width == 8 && shift <= 24 && mask == 0xFFu << shift;
}

// The stored bits a pixel of three byte channels holds exactly when its colour is rgb
// (0xRRGGBB), and the mask that keeps those channels: a decoded colour then matches without
// decoding. False for other formats.
bool StoredColour(const PixelFormatDesc& f, uint32_t rgb, uint32_t* bits, uint32_t* mask) {
    if (!IsByteChannel(f.redMask, f.redShift, f.redWidth) ||
        !IsByteChannel(f.greenMask, f.greenShift, f.greenWidth) ||
        !IsByteChannel(f.blueMask, f.blueShift, f.blueWidth) || (f.redMask & f.greenMask) != 0 ||
        (f.redMask & f.blueMask) != 0 || (f.greenMask & f.blueMask) != 0) {
        return false;
    }
    *bits = (((rgb >> 16) & 0xFFu) << f.redShift) | (((rgb >> 8) & 0xFFu) << f.greenShift) |
            ((rgb & 0xFFu) << f.blueShift);
    *mask = f.redMask | f.greenMask | f.blueMask;
    return true;
}

void KeyTransparentPixels(const BASEIMAGE* base, MEMIMG* destination, int srcX, int srcY, int width,
                          int height, int destX, int destY, uint32_t transColor) {
    const int srcBytes = base->format.bytes;
    const int dstBytes = BytesPerPixelOf(destination);
    const uint32_t key = transColor & 0xFFFFFFu;
    uint32_t keyBits = 0;
    uint32_t keyMask = 0;
    const bool byteChannels = StoredColour(base->format, key, &keyBits, &keyMask);
    auto matches = [&](uint32_t pixel) {
        if (byteChannels) {
            return (pixel & keyMask) == keyBits;
        }
        int red = 0;
        int green = 0;
        int blue = 0;
        DecodePixelColor(&base->format, pixel, &red, &green, &blue, nullptr);
        return ((uint32_t(red) << 16) | (uint32_t(green) << 8) | uint32_t(blue)) == key;
    };
    for (int y = 0; y < height; ++y) {
        const uint8_t* s =
            base->pixels + int64_t{srcY + y} * base->pitch + int64_t{srcX} * srcBytes;
        uint8_t* d = destination->pixels + int64_t{destY + y} * destination->base->pitch +
                     int64_t{destX} * dstBytes;
        for (int x = 0; x < width; ++x, s += srcBytes, d += dstBytes) {
            if (matches(LoadPixelValue(s, srcBytes))) {
                StorePixelValue(d, dstBytes, destination->base->transparent);
            }
        }
    }
}

}  // namespace

int MemImgTransferFromBaseImage(const BASEIMAGE* base, const BASEIMAGE* alphaBase,
                                MEMIMG* destination, int srcX, int srcY, int width, int height,
                                int destX, int destY, int useTransparent, uint32_t transColor) {
    if (!MemImgIsValid(destination) || base == nullptr || base->pixels == nullptr ||
        base->format.compressedKind != kPixelsPlain) {
        return WriteLog("MEMIMG への転送元が不正です\n");
    }
    if (!RectInside(srcX, srcY, width, height, base->width, base->height) ||
        !RectInside(destX, destY, width, height, destination->width, destination->height) ||
        (alphaBase != nullptr &&
         !RectInside(srcX, srcY, width, height, alphaBase->width, alphaBase->height))) {
        return WriteLog("MEMIMG への転送範囲が画像の外にあります\n");
    }
    MemImgBase* store = destination->base;
    const RECT srcRect{srcX, srcY, srcX + width, srcY + height};
    // The pixel pointers address the view's origin, so the destination point
    // is relative to the view.
    PixelFormatDesc dstFormat = *store->format;
    if (store->colorType >= kMemImgGray8) {
        // One channel: the source's red (its grey for a grey image) lands in it.
        SetPixelFormatFromMasks(&dstFormat, dstFormat.bits,
                                store->colorType == kMemImgGray8 ? 0xFF : 0xFFFF, 0, 0, 0);
        ConvertImagePixels({.dstPixels = destination->pixels,
                            .dstPitch = store->pitch,
                            .dstFormat = &dstFormat,
                            .dstX = destX,
                            .dstY = destY,
                            .srcPixels = base->pixels,
                            .srcPitch = base->pitch,
                            .srcFormat = &base->format,
                            .srcRect = srcRect});
        store->alphaPlaneValid = 0;
        store->runTableValid = 0;
        return 0;
    }
    if (store->paletted == 1) {
        TakeBasePalette(base, store);
        std::memcpy(dstFormat.palette, base->format.palette, sizeof(dstFormat.palette));
    }
    const int result =
        ConvertImagePixels({.dstPixels = destination->pixels,
                            .dstPitch = store->pitch,
                            .dstFormat = &dstFormat,
                            .dstX = destX,
                            .dstY = destY,
                            .srcPixels = base->pixels,
                            .srcPitch = base->pitch,
                            .srcFormat = &base->format,
                            .srcRect = srcRect,
                            .alphaPixels = alphaBase != nullptr ? alphaBase->pixels : nullptr,
                            .alphaPitch = alphaBase != nullptr ? alphaBase->pitch : 0,
                            .alphaFormat = alphaBase != nullptr ? &alphaBase->format : nullptr});
    if (store->paletted == 1) {
        store->paletteCount = static_cast<uint32_t>(result + 1);
    } else if (useTransparent && alphaBase == nullptr) {
        KeyTransparentPixels(base, destination, srcX, srcY, width, height, destX, destY,
                             transColor);
    }
    store->alphaPlaneValid = 0;
    store->runTableValid = 0;
    return 0;
}

}  // namespace tessel
