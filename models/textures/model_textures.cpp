// Loading a model texture (its files read whole and kept, a missing file
// replaced by the white image, the images built and turned into an image
// handle with a full mip chain), refilling every model texture after a
// device reset, and each model's filter mode per texture.
#include "models/textures/model_textures.h"

#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/texture_formats.h"
#include "models/core/model_system.h"
#include "models/read/read_model.h"
#include "models/util/mesh_utilities.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr int kNameBytes = 1024;

// A tracked copy of bytes; null when memory is short.
void* CopyBlock(const void* bytes, int size) {
    void* copy = AllocTracked(static_cast<uint32_t>(size > 0 ? size : 1), "", 0);
    if (copy != nullptr && size > 0) {
        std::memcpy(copy, bytes, static_cast<size_t>(size));
    }
    return copy;
}

// The name relative to the directory, in the library's code page, as a new
// tracked text; null when memory is short.
char* KeptText(const WCHAR* name, const WCHAR* directory) {
    WCHAR relative[kNameBytes] = {};
    if (MakeRelativePathW(name, directory, relative) != 0) {
        CopyTextNW(relative, name, kNameBytes - 1);
    }
    char narrow[kNameBytes] = "";
    WideCharToMultiByte(LibraryCodePage(), 0, relative, -1, narrow, kNameBytes, nullptr, nullptr);
    size_t bytes = std::strlen(narrow) + 1;
    auto* text = static_cast<char*>(AllocTracked(static_cast<uint32_t>(bytes), "", 0));
    if (text != nullptr) {
        std::memcpy(text, narrow, bytes);
    }
    return text;
}

// The program's callbacks read the file; the bytes are copied into a block
// of ours. false when the file could not be had.
bool ReadThroughCallbacks(const WCHAR* name, const ModelFileCallbacks* callbacks, void** image,
                          int* size) {
    char narrow[kNameBytes] = "";
    WideCharToMultiByte(932, 0, name, -1, narrow, kNameBytes, nullptr, nullptr);
    void* theirs = nullptr;
    int theirSize = 0;
    if (callbacks->load(narrow, &theirs, &theirSize, callbacks->context) != 0) {
        return false;
    }
    *image = theirSize >= 0 ? CopyBlock(theirs, theirSize) : nullptr;
    *size = theirSize;
    if (*image == nullptr) {
        WriteLogFormat(
            "Load Texture Error : カラーチャンネル画像ファイル %s "
            "を保存するメモリの確保に失敗しました",
            narrow);
    }
    if (callbacks->release != nullptr) {
        callbacks->release(theirs, callbacks->context);
    }
    return *image != nullptr;
}

bool ReadTextureFile(const WCHAR* name, const ModelFileCallbacks* callbacks, void** image,
                     int* size) {
    if (callbacks != nullptr) {
        return ReadThroughCallbacks(name, callbacks, image, size);
    }
    return ReadModelFileWhole(name, image, size) == 0;
}

// The file's bytes, or after a logged failure the white image's. false when
// not even the white image could be had.
bool ReadOrWhite(const WCHAR* name, const ModelFileCallbacks* callbacks, const WCHAR* failure,
                 void** image, int* size) {
    if (ReadTextureFile(name, callbacks, image, size)) {
        return true;
    }
    WriteLogFormatW(failure, name);
    *image = CopyBlock(WhiteTextureTga(), kWhiteTextureTgaSize);
    *size = kWhiteTextureTgaSize;
    if (*image == nullptr) {
        WriteLog("Load Texture Error : エラー回避用テクスチャを格納する領域の確保に失敗しました\n");
        return false;
    }
    return true;
}

bool HasTranslucentPixel(BASEIMAGE* image) {
    if (image->format.alphaWidth == 0) {
        return false;
    }
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            int alpha = 255;
            ReadImagePixel(image, x, y, nullptr, nullptr, nullptr, &alpha);
            if (alpha != 255) {
                return true;
            }
        }
    }
    return false;
}

bool TransparentColorInUse() {
    return g_drawSettings.transparentColorUseOff == 0;
}

// The handle of the images with a full mip chain and no colour key.
int CreateTextureHandle(BASEIMAGE* colour, BASEIMAGE* alpha) {
    SetNewTextureMipLevels(1, -1);
    bool keyed = TransparentColorInUse();
    SetTransparentColorUse(0);
    int handle =
        FillImageFromBaseImage(colour, alpha->pixels != nullptr ? alpha : nullptr, 1, 0, 1);
    SetTransparentColorUse(keyed ? 1 : 0);
    SetNewTextureMipLevels(0, -1);
    return handle;
}

// Everything a loaded texture holds, made during one load.
struct TextureLoad {
    void* colourImage = nullptr;
    int colourSize = 0;
    void* alphaImage = nullptr;
    int alphaSize = 0;
    char* colourText = nullptr;
    char* alphaText = nullptr;
    BASEIMAGE colour = {};
    BASEIMAGE alpha = {};
    int handle = -1;

    void Discard() {
        ReleaseImageBuffer(&colour);
        ReleaseImageBuffer(&alpha);
        FreeTracked(colourText);
        FreeTracked(alphaText);
        if (handle != -1) {
            ReleaseImageHandle(handle);
        }
        FreeTracked(colourImage);
        FreeTracked(alphaImage);
        *this = TextureLoad();
    }
};

// The kept files decoded again into an existing handle; false leaves the
// handle as it is.
bool RefillFromFiles(void* colourImage, int colourSize, void* alphaImage, int alphaSize,
                     int conversionFlags, float conversionValue, int flagByte, int handle) {
    if (handle == -1 || (colourImage == nullptr && alphaImage == nullptr)) {
        return false;
    }
    BASEIMAGE colour = {};
    BASEIMAGE alpha = {};
    if (BuildModelTextureImages(&colour, &alpha, colourImage, colourSize, alphaImage, alphaSize,
                                conversionFlags, conversionValue, flagByte) != 0) {
        return false;
    }
    int result = RefillImageFromBaseImage(&colour, alphaImage != nullptr ? &alpha : nullptr, handle,
                                          1, 0, 1);
    ReleaseImageBuffer(&colour);
    ReleaseImageBuffer(&alpha);
    return result == 0;
}

// The grey ramp's pixels in a new work image; false when it cannot be had.
bool BuildGreyRamp(BASEIMAGE* image) {
    if (CreateXrgbImageBuffer(256, 8, image) != 0) {
        return false;
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 256; ++x) {
            WriteImagePixel(image, x, y, x, x, x, 255);
        }
    }
    return true;
}

// Makes the grey ramp into a new handle (-1) or refills `handle`.
int MakeGreyRamp(int handle) {
    BASEIMAGE image = {};
    if (!BuildGreyRamp(&image)) {
        return -1;
    }
    const bool keyed = TransparentColorInUse();
    SetTransparentColorUse(0);
    int result = -1;
    if (handle == -1) {
        result = CreateImageFromBaseImage(&image);
    } else if (ReloadImageFromBaseImage(&image, handle) == 0) {
        result = 0;
    }
    SetTransparentColorUse(keyed ? 1 : 0);
    ReleaseImageBuffer(&image);
    return result;
}

void RefillDefaultTextures() {
    bool keyed = TransparentColorInUse();
    SetTransparentColorUse(0);
    if (g_models.whiteTexture != -1) {
        LoadImageSourceToHandle(WhiteTextureTga(), kWhiteTextureTgaSize, g_models.whiteTexture,
                                nullptr, 0, 1, 0);
    }
    if (g_models.rampTexture != -1) {
        LoadImageSourceToHandle(RampTextureTga(), kRampTextureTgaSize, g_models.rampTexture,
                                nullptr, 0, 1, 0);
    }
    if (g_models.greyRampTexture != -1) {
        FillGreyRampImage(g_models.greyRampTexture);
    }
    SetTransparentColorUse(keyed ? 1 : 0);
}

}  // namespace

int LoadModelTexture(void** colourImage, int* colourSize, void** alphaImage, int* alphaSize,
                     int* imageHandle, int* semiTransparent, char** colourText, char** alphaText,
                     const WCHAR* colourName, const WCHAR* alphaName, const WCHAR* directory,
                     int conversionFlags, float conversionValue, int flagByte,
                     const ModelFileCallbacks* callbacks) {
    *colourImage = nullptr;
    *colourSize = 0;
    *alphaImage = nullptr;
    *alphaSize = 0;
    *imageHandle = -1;
    *semiTransparent = 0;
    if (colourText != nullptr) {
        *colourText = nullptr;
    }
    if (alphaText != nullptr) {
        *alphaText = nullptr;
    }
    TextureLoad load;
    bool ok = true;
    if (colourName != nullptr && colourText != nullptr && directory != nullptr) {
        load.colourText = KeptText(colourName, directory);
        if (load.colourText == nullptr) {
            WriteLog(
                "Load Texture Error : テクスチャ用のカラー画像ファイルパスを保存するメモリ"
                "領域の確保に失敗しました\n");
            ok = false;
        }
    }
    if (ok && alphaName != nullptr && alphaText != nullptr && directory != nullptr) {
        load.alphaText = KeptText(alphaName, directory);
        ok = load.alphaText != nullptr;
    }
    if (ok && colourName != nullptr) {
        ok = ReadOrWhite(colourName, callbacks,
                         u"Load Texture Error : カラーチャンネル画像ファイル %s "
                         u"の読み込みに失敗しました\n",
                         &load.colourImage, &load.colourSize);
    }
    if (ok && alphaName != nullptr) {
        ok = ReadOrWhite(alphaName, callbacks,
                         u"Load Texture Error : アルファチャンネル用テクスチャファイル %s "
                         u"の読み込みに失敗しました\n",
                         &load.alphaImage, &load.alphaSize);
    }
    if (ok && BuildModelTextureImages(&load.colour, &load.alpha, load.colourImage, load.colourSize,
                                      load.alphaImage, load.alphaSize, conversionFlags,
                                      conversionValue, flagByte) != 0) {
        WriteLog("Load Texture Error : テクスチャ用の BASEIMAGE の作成に失敗しました\n");
        ok = false;
    }
    if (ok) {
        load.handle = CreateTextureHandle(&load.colour, &load.alpha);
        ok = load.handle != -1;
    }
    if (!ok) {
        load.Discard();
        return -1;
    }
    *semiTransparent = (load.alpha.pixels != nullptr || HasTranslucentPixel(&load.colour)) ? 1 : 0;
    ReleaseImageBuffer(&load.colour);
    ReleaseImageBuffer(&load.alpha);
    *colourImage = load.colourImage;
    *colourSize = load.colourSize;
    *alphaImage = load.alphaImage;
    *alphaSize = load.alphaSize;
    *imageHandle = load.handle;
    if (colourText != nullptr) {
        *colourText = load.colourText;
    }
    if (alphaText != nullptr) {
        *alphaText = load.alphaText;
    }
    return 0;
}

void RestoreModelTextures() {
    if (g_models.initialised == 0) {
        return;
    }
    RefillDefaultTextures();
    for (int32_t slot = 0; slot < g_models.bases.capacity; ++slot) {
        uintptr_t word = g_models.bases.slots[slot];
        if (word <= kModelSlotReserved) {
            continue;
        }
        auto* base = reinterpret_cast<ModelBase*>(word);
        for (int32_t i = 0; i < base->textureCount; ++i) {
            const ModelTexture& t = base->textures[i];
            RefillFromFiles(t.colourImage, t.colourImageSize, t.alphaImage, t.alphaImageSize,
                            t.conversionFlags, t.conversionValue, t.flagByte, t.imageHandle);
        }
    }
    for (int32_t slot = 0; slot < g_models.models.capacity; ++slot) {
        uintptr_t word = g_models.models.slots[slot];
        if (word <= kModelSlotReserved) {
            continue;
        }
        auto* model = reinterpret_cast<ModelInstance*>(word);
        for (int32_t i = 0; i < model->base->textureCount; ++i) {
            const ModelInstanceTexture& t = model->textures[i];
            if (t.modelOwn == 0) {
                continue;
            }
            RefillFromFiles(t.ownColourImage, t.ownColourImageSize, t.ownAlphaImage,
                            t.ownAlphaImageSize, t.conversionFlags, t.conversionValue,
                            t.base != nullptr ? t.base->flagByte : 0, t.imageHandle);
        }
    }
}

int SetModelTextureFilter(int modelHandle, int textureIndex, int filterMode) {
    if (g_models.initialised == 0) {
        return -1;
    }
    ModelInstance* model = GetModelInstance(modelHandle);
    if (model == nullptr || textureIndex < 0 || textureIndex >= model->base->textureCount) {
        return -1;
    }
    model->textures[textureIndex].filterMode = filterMode;
    return 0;
}

int CreateGreyRampImage() {
    return MakeGreyRamp(-1);
}

int FillGreyRampImage(int handle) {
    return handle == -1 ? -1 : MakeGreyRamp(handle);
}

}  // namespace tessel
