// Model textures: image handles made from the colour and alpha files a model
// names, with the files' bytes kept for the texture's whole life so that a
// device reset can rebuild it; the limits its pictures are decoded under; the
// built-in white and ramp images; and each model's filter mode per texture.
#pragma once

#include <cstdint>

#include "images/base_image.h"
#include "platform/types.h"

namespace tessel {

// Companion files read by the program instead of the file layer.
struct ModelFileCallbacks {
    // 0 with the file's bytes, or -1.
    int (*load)(const char* name, void** image, int* size, void* context);
    // May be null.
    void (*release)(void* image, void* context);
    void* context;
};

// An 8x8 opaque white TGA (run-length, 32 bits), which also stands in for a
// texture file that cannot be read; and a 256x8 TGA of four grey steps.
constexpr int kWhiteTextureTgaSize = 84;
constexpr int kRampTextureTgaSize = 172;
const uint8_t* WhiteTextureTga();
const uint8_t* RampTextureTga();

// The grey ramp of toon slot -2: 256 x 8 at 32 bits, pixel (x, y) grey level
// x, made with the transparent colour off. Create gives a new image handle,
// Fill refills an existing one after a device reset; -1 when the image
// cannot be made.
int CreateGreyRampImage();
int FillGreyRampImage(int handle);

// The limits of each picture a model texture decodes: at most 2048 x 2048
// pixels' worth of memory (at 32 bits a pixel, and never more than the
// program's image budget) and at most 4096 pixels a side.
constexpr int64_t kModelTextureBudget = int64_t{2048} * 2048 * 4;
constexpr int64_t kModelTextureLongestSide = 4096;

// The colour and alpha images of a texture from its files' bytes, as
// MergeColorAndAlphaImages builds them, every picture decoded under the
// limits above; a picture past them fails the build (0 or -1).
int BuildModelTextureImages(BASEIMAGE* colourOut, BASEIMAGE* alphaOut, const void* colourFile,
                            int colourSize, const void* alphaFile, int alphaSize, int toNormalMap,
                            float bumpScale, int rotate);

// Reads the files (a missing one is logged and replaced by the white image),
// builds the images and makes the handle. The file bytes and, when their
// outputs are given, the file texts (relative to the directory) go to the
// caller. 0, or -1 with every output cleared.
int LoadModelTexture(void** colourImage, int* colourSize, void** alphaImage, int* alphaSize,
                     int* imageHandle, int* semiTransparent, char** colourText, char** alphaText,
                     const WCHAR* colourName, const WCHAR* alphaName, const WCHAR* directory,
                     int conversionFlags, float conversionValue, int flagByte,
                     const ModelFileCallbacks* callbacks);
// Refills the default textures and every base's and model's texture from the
// kept files once the device objects exist again.
void RestoreModelTextures();
// The filter mode the model samples a texture with. 0 or -1.
int SetModelTextureFilter(int modelHandle, int textureIndex, int filterMode);

}  // namespace tessel
