// Image files, or image files held in memory, decoded into a BASEIMAGE by a
// chain of loaders, and handed on as device-independent bitmaps.
#pragma once

#include "images/base_image.h"
#include "images/convert.h"
#include "images/input_stream.h"
#include "platform/gdi.h"

namespace tessel {

// A loader returns 0 when it took the image and filled the record (pixels
// from the tracked allocator, owned by the record), anything else to let the
// next loader try; it frees whatever it allocated before refusing.
using ImageLoader = int (*)(InputStream* stream, BASEIMAGE* image);

// BMP, JPEG, PNG, BGRA, TGA, DDS, then a null entry.
extern ImageLoader ImageLoaderTable[];

// Loaders a program adds, tried before the table.
constexpr int kMaxUserImageLoaders = 10;
extern ImageLoader UserImageLoaders[kMaxUserImageLoaders];
extern int UserImageLoaderCount;

int ReadBmpImage(InputStream* stream, BASEIMAGE* image);
int ReadJpegImage(InputStream* stream, BASEIMAGE* image);
int ReadPngImage(InputStream* stream, BASEIMAGE* image);
int ReadBgraImage(InputStream* stream, BASEIMAGE* image);
int ReadTgaImage(InputStream* stream, BASEIMAGE* image);
int ReadDdsImage(InputStream* stream, BASEIMAGE* image);

// Offers the stream to every loader in turn, each from position 0 with a
// cleared record. 0 when one took it, else -1.
int DecodeImageStream(InputStream* stream, BASEIMAGE* image);

// Decodes a file (fromMemory 0: opened through the file layer) or a file
// image in memory. reverse 1 mirrors the image left to right. dib 0 fills
// *image; dib 1 returns a 256-entry BITMAPINFO in *info and the DIB's pixels
// in *dibPixels instead (both tracked blocks the caller frees). 0 or -1.
int LoadImageBuffer(const char* path, const void* memoryImage, int memorySize, int fromMemory,
                    int dib, int reverse, BASEIMAGE* image, BITMAPINFO** info, void** dibPixels);
int LoadImageBufferFromFile(const char* path, const void* memoryImage, int memorySize,
                            int fromMemory, BASEIMAGE* image, int reverse);
// alphaMode 0: the companion file named by MakeAlphaFileName; 1: the alpha
// memory image; other: none. -1 when the main image fails, 0 when both
// loaded, 1 when only the main image did (*alphaImage is then cleared).
int LoadImageBufferWithAlpha(const char* path, const void* memoryImage, int memorySize,
                             int fromMemory, const void* alphaMemoryImage, int alphaMemorySize,
                             int alphaMode, BASEIMAGE* image, BASEIMAGE* alphaImage, int reverse);

// "_a" put before the first "." of the path (double-byte characters stepped
// over whole), or at the end. out holds 260 bytes; a longer name is cut.
void MakeAlphaFileName(const char* path, char* out);

// Describes the image as a top-down DIB in *info (room for 256 palette
// entries): 8 bits for 8-bit images unless force24, else 24 bits. 0 when the
// DIB shares the image's pixels (copy 0 and matching pitch), 1 when
// *pixels is a new tracked block, -1 when memory ran out.
int ImageBufferToDib(BASEIMAGE* image, BITMAPINFO* info, void** pixels, int copy, int force24);

// The memory a decoded image may take, every pixel counted at 32 bits: an
// image claiming more is refused before its pixels are allocated (one log
// line). 64 MB (4096 x 4096) unless the program sets another, up to the
// loaders' pixel limit (16384 x 16384); SetImageMemoryBudget returns 0, or
// -1 with a log line for a budget outside 4 bytes to that limit.
constexpr int64_t kDefaultImageMemoryBudget = int64_t{4096} * 4096 * 4;
int SetImageMemoryBudget(int64_t bytes);
int64_t GetImageMemoryBudget();

// A tighter limit for the loads this thread makes while the scope lives: a
// budget in bytes (never above the program's) and a longest side, both 0 for
// none. A picture past either is refused before its pixels are allocated,
// with one log line. Scopes nest; each puts back what it found.
class ImageLimitScope {
  public:
    ImageLimitScope(int64_t bytes, int64_t longestSide);
    ~ImageLimitScope();
    ImageLimitScope(const ImageLimitScope&) = delete;
    ImageLimitScope& operator=(const ImageLimitScope&) = delete;

  private:
    int64_t keptBytes_;
    int64_t keptSide_;
};

// The dither mode the graphics layer converts loaded images with
// (kDitherNone, kDitherOrdered, kDitherCarried).
int SetImageLoadOption(int mode);
int GetImageLoadOption();

}  // namespace tessel
