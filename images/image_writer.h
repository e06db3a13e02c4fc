// BASEIMAGE to BMP, JPEG and PNG files. Paths are code page 932 Windows paths.
#pragma once

#include "images/base_image.h"
#include "platform/types.h"

namespace tessel {

// 8-bit images as 8-bit files with their palette, 16-, 24- and 32-bit images
// as 24-bit files. -1 for other depths and compressed images.
int SaveImageAsBmp(const char* path, BASEIMAGE* image);
int SaveImageAsJpeg(const char* path, BASEIMAGE* image, int quality);
int SaveImageAsPng(const char* path, BASEIMAGE* image, int compressionLevel);

// The wide path, when given, names the file; otherwise the narrow one.
int WriteJpegFile(const WCHAR* widePath, const char* path, BASEIMAGE* image, int quality);
int WritePngFile(const WCHAR* widePath, const char* path, BASEIMAGE* image, int compressionLevel);

}  // namespace tessel
