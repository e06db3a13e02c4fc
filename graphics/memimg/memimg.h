// Memory images: the pictures of the software drawing path. A MEMIMG is a small
// view over a reference-counted pixel store (MemImgBase) that carries the colour
// format; the software kernels read and write them.
#pragma once

#include <cstdint>

#include "images/base_image.h"
#include "images/pixel_format.h"
#include "platform/types.h"

namespace tessel {

constexpr uint32_t kMemImgMagic = 0x12345678u;

// Colour types: 16-bit R5 G6 B5, 32-bit (blue, green, red, top byte), and the
// two single-channel kinds that blend masks use.
enum : uint32_t {
    kMemImgRgb565 = 0,
    kMemImgRgb32 = 1,
    kMemImgGray8 = 2,
    kMemImgGray16 = 3,
};

struct MemImgBase;

// All zero when empty; owned by whoever embeds it.
struct MEMIMG {
    uint32_t magic;  // kMemImgMagic while the view is valid
    int32_t width;
    int32_t height;
    uint8_t* pixels;      // the view's top-left pixel inside the store
    uint8_t* alphaPlane;  // into the store's alpha plane, or null
    MemImgBase* base;
};

struct MemImgBase {
    uint32_t refCount;  // views on this store
    int32_t width;
    int32_t height;
    int32_t pitch;       // bytes per row
    int32_t pitchShift;  // log2 of the pitch, or -1
    const PixelFormatDesc* format;
    uint32_t transparent;  // pixel value, or palette index, that counts as transparent
    uint32_t colorType;
    uint32_t paletted;      // 1: pixels are 8-bit palette indices
    uint32_t paletteCount;  // entries set by the last transfer into the image
    uint32_t alphaFlag;     // exactly 1: every pixel carries an alpha byte
    uint32_t alphaPlaneValid;
    uint32_t runTableValid;
    uint32_t userBuffer;  // 1: the pixels belong to the caller
    uint8_t* palette;     // 1024 bytes (4-byte or 2-byte entries), palette images only
    uint8_t* palette2;    // a second copy, right after the first
    uint8_t* pixels;
    uint8_t* alphaPlane;
    uint8_t* runTable;  // transparency runs, rows closed by 0xC0
};

// The shared descriptor of a colour type; null for a type above 3.
const PixelFormatDesc* MemImgStandardFormat(uint32_t colorType, int alpha, int palette);

// Bytes one pixel takes in the store of an image of these flags (after the
// rules that drop alpha from palette and single-channel images).
int MemImgBytesPerPixel(uint32_t colorType, int alpha, int palette);

// pitch -1 picks bytes per pixel x width rounded up to 16. planes asks for an
// alpha plane and a run-table buffer. With a user buffer the pixels are the
// caller's and are not freed. -1 when the record is still valid, the sizes or
// the pitch are unusable, or an allocation fails; a failure leaves the record
// as it was and frees whatever the call allocated.
int MemImgCreate(MEMIMG* image, int width, int height, int pitch, uint32_t transparent,
                 int colorType, int palette, int alpha, int planes, void* userBuffer);
// Zeroes the record first; colour type -1 is the screen's (see
// MemImgSetScreenColorType).
int MemImgCreateDefault(MEMIMG* image, int width, int height, int colorType);
// The colour type that MemImgCreateDefault takes for -1: 0 while the screen is
// 16-bit, else 1. The graphics layer sets it when it picks the screen depth.
void MemImgSetScreenColorType(uint32_t colorType);

// Nothing happens unless the rectangle lies inside the source view.
void MemImgMakeView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height);
int MemImgIsValid(const MEMIMG* image);
// Frees the store with its last view.
void MemImgRelease(MEMIMG* image);

// Clipped to the view; each pixel gets the low 1, 2 or 4 bytes of value.
void MemImgFillRect(MEMIMG* image, const RECT* rect, uint32_t value);
// Converts formats; no blending, no transparency. The rectangle (null: the
// whole source) is clipped to both images.
void MemImgCopyRect(MEMIMG* destination, const MEMIMG* source, const RECT* sourceRect, int destX,
                    int destY);
// Writes a rectangle of a BASEIMAGE into the image, converting formats. With
// useTransparent and no alpha base, source pixels whose colour is transColor
// (0x00RRGGBB, the draw settings' transparent colour) become the image's
// transparent value. A palette image takes the base's palette. -1 for a
// rectangle outside either image or a compressed base.
int MemImgTransferFromBaseImage(const BASEIMAGE* base, const BASEIMAGE* alphaBase,
                                MEMIMG* destination, int srcX, int srcY, int width, int height,
                                int destX, int destY, int useTransparent, uint32_t transColor);

}  // namespace tessel
