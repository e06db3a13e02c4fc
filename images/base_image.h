// Images in system memory: every image the library decodes, converts, uploads
// or saves passes through a BASEIMAGE.
#pragma once

#include <cstdint>

#include "images/pixel_format.h"

namespace tessel {

// Rows run top to bottom. A compressed image (kind 1 to 5) holds its DXT blocks
// as read from the file with pitch 0 until DecodeDxtImage expands it.
struct BASEIMAGE {
    PixelFormatDesc format;
    int32_t width;
    int32_t height;
    int32_t pitch;
    uint8_t* pixels;   // tracked allocation owned by the record; null when empty
    int32_t mipCount;  // levels stored one after another (DDS loads only)
};

// Creators round the pitch up to a multiple of 4 bytes; the pixels are not
// cleared. -1 when the allocation fails (pixels stay null).
int CreateArgbImageBuffer(int width, int height, BASEIMAGE* image);
int CreateXrgbImageBuffer(int width, int height, BASEIMAGE* image);
// Takes the model's whole format, palette and kind included.
int CreateImageBufferLike(int width, int height, const BASEIMAGE* model, BASEIMAGE* image);
// Frees the pixels and clears the record; always 0.
int ReleaseImageBuffer(BASEIMAGE* image);
// Zeroes w pixels in each of h rows from (x, y); the caller keeps it inside.
int ClearImageBufferRect(BASEIMAGE* image, int x, int y, int w, int h);

// Channels as 0..255 values; null outputs are skipped. -1 outside the image.
int ReadImagePixel(BASEIMAGE* image, int x, int y, int* red, int* green, int* blue, int* alpha);
// The pixel as 0xAARRGGBB with each channel's top bit on its byte's top bit.
uint32_t ReadImagePixelPacked(BASEIMAGE* image, int x, int y);
int WriteImagePixel(BASEIMAGE* image, int x, int y, int red, int green, int blue, int alpha);

int MirrorImageBuffer(BASEIMAGE* image);
int RotateImageBuffer180(BASEIMAGE* image);

// Clipped copy of a rectangle, converting formats (8-bit palettes are matched
// colour by colour).
int BlitImageBuffer(int srcX, int srcY, int width, int height, int dstX, int dstY,
                    BASEIMAGE* source, BASEIMAGE* destination);
// Scaled copy of one rectangle (right and bottom exclusive) onto another;
// smooth 1 filters between the four nearest source pixels.
int StretchBlitImageBuffer(int srcLeft, int srcTop, int srcRight, int srcBottom, BASEIMAGE* source,
                           int dstLeft, int dstTop, int dstRight, int dstBottom,
                           BASEIMAGE* destination, int smooth);
// Box-filters a width x height block of 16- or 32-bit pixels to half size for
// mip levels. Both blocks start on the same row of their own pitches.
int HalveImagePixels(const PixelFormatDesc* format, void* dstPixels, int dstPitch,
                     const void* srcPixels, int srcPitch, int dstX, int unused, int srcX, int row,
                     int width, int height);

}  // namespace tessel
