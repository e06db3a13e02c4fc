// Making and refilling images. Every creation from pixels ends in the same
// two steps: a handle with its store sized for the picture
// (CreateImageForBaseImage), then the transfer of the pixels
// (FillImageFromSource). Loads remember their file so that the pixels can be
// reloaded after a lost device.
//
// Routes: files -> LoadImageToNewHandle; pictures in memory ->
// WithPicturesFromMemory; BASEIMAGEs -> FillImageFromBaseImage (with the
// colour-key pass when keying is on); blank and drawable images ->
// CreateBlankImage; rectangles of images -> CreateSubImageHandle; refills ->
// RefillImageFromBaseImage; a file that is no picture but a movie ->
// LoadMovieImage (an image the movie's frame hook fills).
#include "graphics/images/image_create.h"

#include <algorithm>
#include <vector>

#include "foundation/files/file_ops.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/message_pump.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/image_textures.h"
#include "graphics/textures/texture_formats.h"
#include "images/image_loader.h"
#include "movie/playback/movie_calls.h"

namespace tessel {

namespace {

bool GraphicsStarted() {
    return g_graphics.started != 0;
}

bool IsTransparentColorInUse() {
    return g_drawSettings.transparentColorUseOff == 0;
}

void RecomputeUnusedMasks(BASEIMAGE* base, BASEIMAGE* alphaBase) {
    ComputeUnusedBitMask(&base->format);
    if (alphaBase != nullptr) {
        ComputeUnusedBitMask(&alphaBase->format);
    }
}

void MirrorBoth(BASEIMAGE* base, BASEIMAGE* alphaBase) {
    MirrorImageBuffer(base);
    if (alphaBase != nullptr) {
        MirrorImageBuffer(alphaBase);
    }
}

// An ARGB copy in which the transparent colour has alpha 0 and takes the
// colour of an opaque neighbour, so that filtering at the edge of a shape
// blends towards the shape's own colour rather than towards the key.
int MakeKeyedCopy(BASEIMAGE* base, BASEIMAGE* keyed) {
    if (CreateArgbImageBuffer(base->width, base->height, keyed) != 0) {
        return -1;
    }
    const uint32_t key = g_drawSettings.transparentColor & 0xFFFFFF;
    const bool ownAlpha = base->format.alphaWidth != 0;
    const int width = base->width;
    const int height = base->height;
    std::vector<uint8_t> isKey(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = ReadImagePixelPacked(base, x, y);
            const bool transparent = (argb & 0xFFFFFF) == key;
            isKey[static_cast<size_t>(y) * width + x] = transparent ? 1 : 0;
            const int alpha = transparent ? 0 : (ownAlpha ? static_cast<int>(argb >> 24) : 255);
            WriteImagePixel(keyed, x, y, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF,
                            alpha);
        }
    }
    static const int kSteps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (isKey[static_cast<size_t>(y) * width + x] != 0) {
                continue;
            }
            const uint32_t argb = ReadImagePixelPacked(base, x, y);
            for (const auto& step : kSteps) {
                const int nx = x + step[0];
                const int ny = y + step[1];
                if (nx < 0 || ny < 0 || nx >= width || ny >= height ||
                    isKey[static_cast<size_t>(ny) * width + nx] == 0) {
                    continue;
                }
                WriteImagePixel(keyed, nx, ny, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF,
                                0);
            }
        }
    }
    return 0;
}

// Decodes a picture (and its alpha picture) held in memory, hands them to
// `use` and releases them; use's result, or -1 when decoding fails.
template <typename Use>
int WithPicturesFromMemory(const void* colourData, int colourSize, const void* alphaData,
                           int alphaSize, int mirror, Use use) {
    BASEIMAGE image = {};
    BASEIMAGE alpha = {};
    const int loaded =
        LoadImageBufferWithAlpha(nullptr, colourData, colourSize, 1, alphaData, alphaSize,
                                 alphaData != nullptr ? 1 : 2, &image, &alpha, 0);
    if (loaded < 0) {
        return WriteLog("メモリ上の画像データのロードに失敗しました\n");
    }
    BASEIMAGE* alphaBase = loaded == 0 ? &alpha : nullptr;
    if (mirror == 1) {
        MirrorBoth(&image, alphaBase);
    }
    const int result = use(&image, alphaBase);
    ReleaseImageBuffer(&image);
    ReleaseImageBuffer(&alpha);
    return result;
}

// The options a movie image overrides while its store is made.
struct MovieImageOptions {
    int32_t colorDepth;
    int32_t imageCreation;
    int32_t staging;
    int32_t colorKeyFormat;
    int32_t drawable;

    static MovieImageOptions Save() {
        const DrawSettings& s = g_drawSettings;
        return {s.newImageColorDepth, s.imageCreationFlag, s.textureRequestFlag,
                s.colorKeyTextureFormat, s.drawableImageCreation};
    }
    void Restore() const {
        DrawSettings& s = g_drawSettings;
        s.newImageColorDepth = colorDepth;
        s.imageCreationFlag = imageCreation;
        s.textureRequestFlag = staging;
        s.colorKeyTextureFormat = colorKeyFormat;
        s.drawableImageCreation = drawable;
    }
};

// A drawable image of the movie's size in the screen's depth, one texture
// however wide, that the movie's frame hook fills; -1 when it cannot be made.
int CreateMovieStore(int width, int height, int alpha) {
    const MovieImageOptions saved = MovieImageOptions::Save();
    const int screenBits = QueryScreenColorDepth();
    g_drawSettings.newImageColorDepth = screenBits == 0 ? 16 : screenBits;
    g_drawSettings.imageCreationFlag = 1;
    // Left off for good: from now on no image is cut into several textures.
    SetPowerOfTwoTextures(0);
    g_drawSettings.colorKeyTextureFormat = 0;
    g_drawSettings.textureRequestFlag = 1;
    g_drawSettings.drawableImageCreation = 1;
    const int handle = AllocImageHandle();
    const int result = SetupImageTextures(handle, width, height, alpha, 0, 0, -1);
    saved.Restore();
    return result == 0 ? handle : -1;
}

// The file does not decode as an image: it may still be a movie, which then
// plays into a new image through the movie's frame hook.
int LoadMovieImage(const char* fileName, int movieOption) {
    const FileHandle file = FsOpenRead(fileName, 0);
    if (file == 0) {
        return WriteLogFormat("グラフィックファイル %s がありません", fileName);
    }
    FsClose(file);
    int width = 0;
    int height = 0;
    const int movie = OpenMovie(fileName, &width, &height, movieOption);
    if (movie < 0) {
        return WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s \n", fileName);
    }
    const MovieRecord* record = MovieRecordFromHandle(movie);
    const int handle = CreateMovieStore(width, height, record->alpha);
    if (handle < 0) {
        // Nothing shows the movie, so it closes with the failed image.
        MovieDispose(movie);
        return WriteLogFormat(
            "右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", fileName);
    }
    GetImageRecord(handle)->movieHandle = movie;
    MovieSetFrameHook(movie, CopyMovieFrameToImage, handle);
    return handle;
}

}  // namespace

int PlayMovieImage(int handle, int playType) {
    const ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr || image->movieHandle == -1) {
        return -1;
    }
    return MoviePlay(image->movieHandle, playType);
}

int LoadImageFile(const char* fileName, int flag) {
    return LoadImageToNewHandle(fileName, flag == 0 ? 1 : 0, 0, 0);
}

int LoadImageToNewHandle(const char* fileName, int ignored, int mirror, int movieOption) {
    if (!GraphicsStarted() || fileName == nullptr) {
        return -1;
    }
    WaitWhileInactive();
    BASEIMAGE image = {};
    BASEIMAGE alpha = {};
    const int loaded =
        LoadImageBufferWithAlpha(fileName, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
    if (loaded < 0) {
        return LoadMovieImage(fileName, movieOption);
    }
    BASEIMAGE* alphaBase = loaded == 0 ? &alpha : nullptr;
    if (mirror == 1) {
        MirrorBoth(&image, alphaBase);
    }
    const int handle = FillImageFromBaseImage(&image, alphaBase, ignored, mirror, 0);
    SetImageFileName(handle, fileName, -1);
    ReleaseImageBuffer(&image);
    ReleaseImageBuffer(&alpha);
    return handle;
}

int LoadImageSourceToNewHandle(const void* colourData, int colourSize, const void* alphaData,
                               int alphaSize, int ignored, int mirror) {
    return WithPicturesFromMemory(colourData, colourSize, alphaData, alphaSize, mirror,
                                  [&](BASEIMAGE* image, BASEIMAGE* alpha) {
                                      return FillImageFromBaseImage(image, alpha, ignored, mirror,
                                                                    0);
                                  });
}

int LoadImageSourceToHandle(const void* colourData, int colourSize, int handle,
                            const void* alphaData, int alphaSize, int ignored, int mirror) {
    return WithPicturesFromMemory(colourData, colourSize, alphaData, alphaSize, mirror,
                                  [&](BASEIMAGE* image, BASEIMAGE* alpha) {
                                      return RefillImageFromBaseImage(image, alpha, handle, ignored,
                                                                      mirror, 0);
                                  });
}

int CreateImageFromBaseImage(BASEIMAGE* base) {
    return FillImageFromBaseImage(base, nullptr, 1, 0, 1);
}

int FillImageFromBaseImage(BASEIMAGE* base, BASEIMAGE* alphaBase, int /*ignored*/, int mirrorA,
                           int mirrorB) {
    if (base == nullptr || base->pixels == nullptr) {
        return -1;
    }
    BASEIMAGE keyed = {};
    if (g_drawSettings.transparentColorKeying != 0 && IsTransparentColorInUse() &&
        base->format.compressedKind == kPixelsPlain && MakeKeyedCopy(base, &keyed) == 0) {
        base = &keyed;
    }
    RecomputeUnusedMasks(base, alphaBase);
    const bool mirror = mirrorA == 1 && mirrorB == 1;
    if (mirror) {
        MirrorBoth(base, alphaBase);
    }
    int handle = CreateImageForBaseImage(base, alphaBase);
    if (handle != -1 && FillImageFromSource(nullptr, 0, base, alphaBase, 0, 0, handle, 0) != 0) {
        ReleaseImageHandle(handle);
        handle = -1;
    }
    if (mirror) {
        MirrorBoth(base, alphaBase);
    }
    ReleaseImageBuffer(&keyed);
    return handle;
}

int CreateImageForBaseImage(const BASEIMAGE* base, const BASEIMAGE* alphaBase) {
    if (!GraphicsStarted() || base == nullptr) {
        return -1;
    }
    WaitWhileInactive();
    if (alphaBase != nullptr &&
        (alphaBase->width != base->width || alphaBase->height != base->height)) {
        return WriteLog("アルファチャンネル用画像の大きさが元画像と異なります\n");
    }
    const bool alpha = base->format.alphaWidth != 0 || alphaBase != nullptr;
    const bool palette = base->format.bytes == 1 && !alpha;
    const int handle = AllocImageHandle();
    if (SetupImageTextures(handle, base->width, base->height, alpha ? 1 : 0, palette ? 1 : 0,
                           static_cast<int>(base->format.compressedKind),
                           base->mipCount == 0 ? -1 : base->mipCount) != 0) {
        return -1;
    }
    return handle;
}

int RefillImageFromBaseImage(BASEIMAGE* base, BASEIMAGE* alphaBase, int handle, int /*ignored*/,
                             int mirrorA, int mirrorB) {
    const ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr || base == nullptr) {
        return -1;
    }
    RecomputeUnusedMasks(base, alphaBase);
    if (base->width != image->width || base->height != image->height ||
        (alphaBase != nullptr &&
         (alphaBase->width != image->width || alphaBase->height != image->height))) {
        return WriteLog("画像の大きさがグラフィックと異なります\n");
    }
    const bool mirror = mirrorA == 1 && mirrorB == 1;
    if (mirror) {
        MirrorBoth(base, alphaBase);
    }
    const int result = FillImageFromSource(nullptr, 0, base, alphaBase, 0, 0, handle, 0);
    if (mirror) {
        MirrorBoth(base, alphaBase);
    }
    return result;
}

int ReloadImageFromBaseImage(BASEIMAGE* base, int handle) {
    return RefillImageFromBaseImage(base, nullptr, handle, 0, 0, 0);
}

int CreateBlankImage(int width, int height, int /*ignored*/) {
    if (!GraphicsStarted()) {
        return -1;
    }
    WaitWhileInactive();
    const int handle = AllocImageHandle();
    if (SetupImageTextures(handle, width, height, g_drawSettings.blankImageAlpha, 0, 0, -1) != 0) {
        return -1;
    }
    return handle;
}

int CreateDrawableImage(int width, int height) {
    const int kept = g_drawSettings.drawableImageCreation;
    g_drawSettings.drawableImageCreation = 1;
    const int handle = CreateBlankImage(width, height);
    g_drawSettings.drawableImageCreation = kept;
    return handle;
}

int CreateSubImageHandle(int x, int y, int width, int height, int sourceHandle) {
    const ImageRecord* parent = GetImageRecord(sourceHandle);
    if (parent == nullptr || x < 0 || y < 0 || x >= parent->width || y >= parent->height) {
        return -1;
    }
    if (width < 1 || height < 1) {
        return WriteLogFormat("%dx%d の大きさの部分グラフィックは作成できません\n", width, height);
    }
    width = std::min(width, parent->width - x);
    height = std::min(height, parent->height - y);
    const int handle = AllocImageHandle();
    ImageRecord* image = GetImageRecord(handle);
    image->source = parent->source;
    ++image->source->refCount;
    image->fileName = parent->fileName;
    if (image->fileName != nullptr) {
        ++image->fileName->refCount;
    }
    image->x = parent->x + x;
    image->y = parent->y + y;
    image->reloadX = parent->reloadX + x;
    image->reloadY = parent->reloadY + y;
    image->loaderOption = parent->loaderOption;
    image->width = width;
    image->height = height;
    BuildTextureDrawInfo(handle);
    return handle;
}

int FillImageWithColor(int handle, int red, int green, int blue, int alpha) {
    ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr || image->source == nullptr) {
        return -1;
    }
    const int r = std::clamp(red, 0, 255);
    const int g = std::clamp(green, 0, 255);
    const int b = std::clamp(blue, 0, 255);
    const int a = std::clamp(alpha, 0, 255);
    const ImageSourceRecord* source = image->source;
    if (!IsTextureSource(source)) {
        const MemImgBase* store = image->view.base;
        if (store != nullptr && store->paletted == 0) {
            MemImgFillRect(&image->view, nullptr, EncodePixelColor(store->format, r, g, b, 255));
        }
        return 0;
    }
    if (g_graphics.device == nullptr) {
        return -1;
    }
    if (source->request.drawable == 0) {
        return 0;
    }
    const D3DCOLOR color = static_cast<D3DCOLOR>((a << 24) | (r << 16) | (g << 8) | b);
    for (int i = 0; i < image->tileEntryCount; ++i) {
        const TileDrawEntry& e = image->tileEntries[i];
        const RECT rect{e.tileX, e.tileY, e.tileX + e.width, e.tileY + e.height};
        g_graphics.device->ColorFill(e.tile->surface, &rect, color);
    }
    return 0;
}

int DrawImageRectStretchedF(float left, float top, float right, float bottom, int x, int y,
                            int width, int height, int handle, int transparent) {
    const int part = CreateSubImageHandle(x, y, width, height, handle);
    if (part == -1) {
        return 0;
    }
    DrawImageStretchedF(left, top, right, bottom, part, transparent);
    ReleaseImageHandle(part);
    return 0;
}

uint32_t CombinedDrawColor() {
    const uint32_t alpha = g_drawSettings.blendMode != 0
                               ? static_cast<uint32_t>(g_drawSettings.blendParam) & 0xFF
                               : 255u;
    return (alpha << 24) | (g_drawSettings.brightness & 0xFFFFFF);
}

int CheckBlendMaskSize(const ImageRecord* image) {
    const ImageRecord* mask = GetImageRecord(g_drawSettings.blendMaskImage);
    if (mask == nullptr || image == nullptr || mask->width < image->width ||
        mask->height < image->height) {
        return -1;
    }
    return 0;
}

}  // namespace tessel
