// Making images: from image files (with an alpha companion file), from image
// files held in memory, from BASEIMAGEs, blank or drawable, and as rectangles
// of other images; refilling existing images; filling with a colour; and the
// two small questions the drawing calls ask of the draw settings.
#pragma once

#include <cstdint>

#include "graphics/images/image_records.h"
#include "images/base_image.h"

namespace tessel {

// Each returns the new handle or -1.
int LoadImageFile(const char* fileName, int flag);
int LoadImageToNewHandle(const char* fileName, int ignored, int mirror, int movieOption);
int LoadImageSourceToNewHandle(const void* colourData, int colourSize, const void* alphaData,
                               int alphaSize, int ignored, int mirror);
int CreateImageFromBaseImage(BASEIMAGE* base);
// An alpha image, when given, has the base's size. The image is mirrored
// left to right (and back afterwards) only when both mirror flags are 1.
int FillImageFromBaseImage(BASEIMAGE* base, BASEIMAGE* alphaBase, int ignored, int mirrorA,
                           int mirrorB);
// The handle and its store, sized and shaped for the base; no pixels copied.
int CreateImageForBaseImage(const BASEIMAGE* base, const BASEIMAGE* alphaBase);
int CreateBlankImage(int width, int height, int ignored = 0);
int CreateDrawableImage(int width, int height);
// A rectangle of another image sharing its pixels; cut at the source's right
// and bottom edges. -1 for a corner outside the source or a side below 1.
int CreateSubImageHandle(int x, int y, int width, int height, int sourceHandle);
// An image loaded from a movie file shows the movie's first frame until it
// plays: from then on every draw of it shows the frame due (play type 3
// loops). 0, or -1 when the image shows no movie.
int PlayMovieImage(int handle, int playType);

// Replace the pixels of an image of the base's size; the image forgets its
// file. Each 0 or -1.
int LoadImageSourceToHandle(const void* colourData, int colourSize, int handle,
                            const void* alphaData, int alphaSize, int ignored, int mirror);
int RefillImageFromBaseImage(BASEIMAGE* base, BASEIMAGE* alphaBase, int handle, int ignored,
                             int mirrorA, int mirrorB);
int ReloadImageFromBaseImage(BASEIMAGE* base, int handle);

// Each channel clamped to 0..255. Software: the whole image; hardware: only
// drawable images change. 0 or -1.
int FillImageWithColor(int handle, int red, int green, int blue, int alpha);
// Draws the rectangle of an image stretched over a float rectangle through a
// temporary sub-image. Always 0.
int DrawImageRectStretchedF(float left, float top, float right, float bottom, int x, int y,
                            int width, int height, int handle, int transparent);
// 0xAARRGGBB: the brightness, and as alpha the blend parameter unless the
// blend mode is 0 (then 255).
uint32_t CombinedDrawColor();
// -1 when the blend-mask image is not valid or smaller than the image.
int CheckBlendMaskSize(const ImageRecord* image);

}  // namespace tessel
