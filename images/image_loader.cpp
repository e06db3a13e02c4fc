// The loader chain and what is built on it: loading from files or memory,
// mirrored loads, alpha companions and DIBs.
#include "images/image_loader.h"

#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "foundation/memory/memory.h"
#include "images/convert.h"
#include "images/dxt.h"

namespace tessel {

ImageLoader ImageLoaderTable[] = {ReadBmpImage, ReadJpegImage, ReadPngImage, ReadBgraImage,
                                  ReadTgaImage, ReadDdsImage,  nullptr};
ImageLoader UserImageLoaders[kMaxUserImageLoaders] = {};
int UserImageLoaderCount = 0;

namespace {

constexpr int kAlphaNameSize = 260;
constexpr uint32_t kDibInfoSize = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);

int imageLoadDitherMode = kDitherNone;

bool TryLoader(ImageLoader loader, InputStream* stream, BASEIMAGE* image) {
    stream->ops.seek(stream->handle, 0, 0);
    std::memset(image, 0, sizeof *image);
    return loader(stream, image) == 0;
}

// The image's first level mirrored left to right in place: no second block
// of the image's size, and a plain reversal of each row rather than the
// general conversion, so a large image mirrors as fast as it is read.
int MirrorLoadedImage(BASEIMAGE* image) {
    if (DecodeDxtImage(image) != 0 || MirrorImageBuffer(image) != 0) {
        return -1;
    }
    image->mipCount = 0;  // only the first level was mirrored
    return 0;
}

// The decoded image handed over as a DIB; the record's pixels are gone
// afterwards (copied and freed, or now the DIB's).
int HandOverAsDib(BASEIMAGE* decoded, BITMAPINFO** info, void** dibPixels) {
    if (DecodeDxtImage(decoded) != 0) {
        return -1;
    }
    auto* block = static_cast<BITMAPINFO*>(AllocTrackedZeroed(kDibInfoSize, __FILE__, __LINE__));
    if (block == nullptr) {
        return -1;
    }
    void* pixels = nullptr;
    int shared = ImageBufferToDib(decoded, block, &pixels, 0, 0);
    if (shared == -1) {
        FreeTracked(block);
        return -1;
    }
    if (shared == 1) {
        FreeTracked(decoded->pixels);
    }
    decoded->pixels = nullptr;
    if (info != nullptr) {
        *info = block;
    } else {
        FreeTracked(block);
    }
    if (dibPixels != nullptr) {
        *dibPixels = pixels;
    } else {
        FreeTracked(pixels);
    }
    return 0;
}

int FinishLoad(BASEIMAGE* decoded, int dib, int reverse, BASEIMAGE* image, BITMAPINFO** info,
               void** dibPixels) {
    if (reverse == 1 && MirrorLoadedImage(decoded) != 0) {
        ReleaseImageBuffer(decoded);
        return -1;
    }
    if (dib == 0) {
        if (image == nullptr) {
            ReleaseImageBuffer(decoded);
            return -1;
        }
        *image = *decoded;
        return 0;
    }
    if (HandOverAsDib(decoded, info, dibPixels) != 0) {
        ReleaseImageBuffer(decoded);
        return -1;
    }
    return 0;
}

bool CopyByte(char* out, int* used, char c) {
    if (*used >= kAlphaNameSize - 1) {
        return false;
    }
    out[(*used)++] = c;
    return true;
}

}  // namespace

int DecodeImageStream(InputStream* stream, BASEIMAGE* image) {
    std::memset(image, 0, sizeof *image);
    for (int i = 0; i < UserImageLoaderCount && i < kMaxUserImageLoaders; ++i) {
        if (UserImageLoaders[i] != nullptr && TryLoader(UserImageLoaders[i], stream, image)) {
            return 0;
        }
    }
    for (ImageLoader* loader = ImageLoaderTable; *loader != nullptr; ++loader) {
        if (TryLoader(*loader, stream, image)) {
            return 0;
        }
    }
    std::memset(image, 0, sizeof *image);
    return -1;
}

int LoadImageBuffer(const char* path, const void* memoryImage, int memorySize, int fromMemory,
                    int dib, int reverse, BASEIMAGE* image, BITMAPINFO** info, void** dibPixels) {
    InputStream stream;
    FileHandle file = 0;
    MemoryStream* memory = nullptr;
    if (fromMemory == 0) {
        file = path != nullptr ? FsOpen(path, 0, 1, 0) : 0;
        if (file == 0) {
            return -1;
        }
        InitInputStream(&stream, GetFileStreamOps(), file);
    } else {
        if (memoryImage == nullptr || memorySize < 0) {
            return -1;
        }
        memory = OpenMemoryStream(memoryImage, static_cast<uint32_t>(memorySize));
        if (memory == nullptr) {
            return -1;
        }
        InitInputStream(&stream, GetMemoryStreamOps(), StreamHandleOf(memory));
    }
    BASEIMAGE decoded;
    int result = DecodeImageStream(&stream, &decoded);
    if (memory != nullptr) {
        stream.ops.close(stream.handle);
    }
    if (result == 0) {
        result = FinishLoad(&decoded, dib, reverse, image, info, dibPixels);
    }
    if (file != 0) {
        FsClose(file);
    }
    return result;
}

int LoadImageBufferFromFile(const char* path, const void* memoryImage, int memorySize,
                            int fromMemory, BASEIMAGE* image, int reverse) {
    return LoadImageBuffer(path, memoryImage, memorySize, fromMemory, 0, reverse, image, nullptr,
                           nullptr);
}

int LoadImageBufferWithAlpha(const char* path, const void* memoryImage, int memorySize,
                             int fromMemory, const void* alphaMemoryImage, int alphaMemorySize,
                             int alphaMode, BASEIMAGE* image, BASEIMAGE* alphaImage, int reverse) {
    if (LoadImageBuffer(path, memoryImage, memorySize, fromMemory, 0, reverse, image, nullptr,
                        nullptr) != 0) {
        return -1;
    }
    int loaded = -1;
    if (alphaImage == nullptr) {
        return 1;
    }
    if (alphaMode == 0 && path != nullptr) {
        char alphaPath[kAlphaNameSize];
        MakeAlphaFileName(path, alphaPath);
        loaded =
            LoadImageBuffer(alphaPath, nullptr, 0, 0, 0, reverse, alphaImage, nullptr, nullptr);
    } else if (alphaMode == 1) {
        loaded = LoadImageBuffer(nullptr, alphaMemoryImage, alphaMemorySize, 1, 0, reverse,
                                 alphaImage, nullptr, nullptr);
    }
    if (loaded != 0) {
        std::memset(alphaImage, 0, sizeof *alphaImage);
        return 1;
    }
    return 0;
}

void MakeAlphaFileName(const char* path, char* out) {
    int used = 0;
    const char* p = path;
    while (*p != '\0' && *p != '.') {
        int step = IsLeadByte(p, LibraryCharSet) && p[1] != '\0' ? 2 : 1;
        for (int i = 0; i < step; ++i) {
            CopyByte(out, &used, p[i]);
        }
        p += step;
    }
    CopyByte(out, &used, '_');
    CopyByte(out, &used, 'a');
    for (; *p != '\0'; ++p) {
        CopyByte(out, &used, *p);
    }
    out[used] = '\0';
}

int ImageBufferToDib(BASEIMAGE* image, BITMAPINFO* info, void** pixels, int copy, int force24) {
    std::memset(&info->bmiHeader, 0, sizeof info->bmiHeader);
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = image->width;
    header.biHeight = -image->height;
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    const PixelFormatDesc& format = image->format;
    bool paletted = format.bits == 8 && format.compressedKind == kPixelsPlain && force24 == 0;
    header.biBitCount = paletted ? 8 : 24;
    int64_t rowBytes = paletted ? (int64_t{image->width} + 3) & ~int64_t{3}
                                : ((int64_t{image->width} + 1) * 3) & ~int64_t{3};
    if (paletted) {
        auto* table = reinterpret_cast<uint8_t*>(info) + sizeof(BITMAPINFOHEADER);
        std::memcpy(table, format.palette, 256 * sizeof(PaletteEntry));
    }
    bool plainRgb24 = !paletted && format.bits == 24 && format.redMask == 0xFF0000 &&
                      format.greenMask == 0xFF00 && format.blueMask == 0xFF &&
                      format.compressedKind == kPixelsPlain;
    if ((paletted || plainRgb24) && copy != 1 && image->pitch == rowBytes) {
        *pixels = image->pixels;
        return copy;
    }
    uint64_t size = uint64_t(rowBytes) * image->height;
    auto* out = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>(size > 0 ? size : 1), __FILE__, __LINE__));
    if (out == nullptr || size > 0x7FFFFFFF) {
        if (out != nullptr) {
            FreeTracked(out);
        }
        return -1;
    }
    if (paletted || plainRgb24) {
        size_t used = static_cast<size_t>(image->width) * (paletted ? 1 : 3);
        for (int y = 0; y < image->height; ++y) {
            std::memcpy(out + rowBytes * y, image->pixels + int64_t{image->pitch} * y, used);
        }
    } else {
        PixelFormatDesc rgb24 = {};
        SetPixelFormatRgb24(&rgb24);
        RECT whole = {0, 0, image->width, image->height};
        ConvertImagePixels({.dstPixels = out,
                            .dstPitch = static_cast<int>(rowBytes),
                            .dstFormat = &rgb24,
                            .srcPixels = image->pixels,
                            .srcPitch = image->pitch,
                            .srcFormat = &image->format,
                            .srcRect = whole});
    }
    *pixels = out;
    return 1;
}

int SetImageLoadOption(int mode) {
    imageLoadDitherMode = mode;
    return 0;
}

int GetImageLoadOption() {
    return imageLoadDitherMode;
}

}  // namespace tessel
