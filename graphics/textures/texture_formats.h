// The colour formats of image textures: the fourteen formats a new image can
// ask for, how a request picks one, the descriptors of the Direct3D formats
// the device may hand out, and the two options that shape new textures (mip
// levels and cutting wide images into several textures).
#pragma once

#include <cstdint>

#include "images/pixel_format.h"
#include "platform/d3d9.h"

namespace tessel {

// What an image asks of its pixel store; kept with the image's source.
struct TextureFormatRequest {
    uint8_t hardware;        // 1: textures; 0: a memory image
    uint8_t alpha;           // an alpha channel
    uint8_t drawable;        // can be a draw target
    uint8_t software;        // 1 on the software path
    uint8_t staging;         // default pool with a system-memory copy
    uint8_t compressedKind;  // 0 none, 1 to 5 DXT1 to DXT5
    int32_t mipLevels;       // given to the device (0 for drawable textures)
    uint8_t colorKey;        // the transparent colour keyed out through alpha
    uint8_t colorBits;       // 16 or 32
    uint8_t blendImage;      // single-channel blend mask (never set here)
    uint8_t palette;         // 8-bit palette indices (memory images only)
};

// Null for 14 or more (or a negative index).
const PixelFormatDesc* TextureFormatDescriptor(int index);
int PickTextureFormatIndex(const TextureFormatRequest& request);
const PixelFormatDesc* PickTextureFormat(const TextureFormatRequest& request);
// For an uncompressed request, as the glyph cache makes them.
const PixelFormatDesc* TextureFormatFor(int alpha, int colorKey, int use32, int drawable);
// The descriptor of a Direct3D colour format; null for any format without one
// (the DXT formats among them).
const PixelFormatDesc* PixelFormatForD3DFormat(D3DFORMAT format);

// 1 to 5 for the DXT1 to DXT5 formats, else 0.
uint32_t DxtKindOfFormat(D3DFORMAT format);

// Options read when an image is created; kept until changed.
struct TextureOptions {
    int32_t mipLevelsOn;
    int32_t mipLevelCount;  // -1: the full chain
    int32_t powerOfTwoOn;   // 1: an image as wide as the screen may be cut
};
extern TextureOptions g_textureOptions;

// flag 1: new textures get `count` levels (-1 the full chain); else one. 0.
int SetNewTextureMipLevels(int flag, int count);
// 0.
int SetPowerOfTwoTextures(int on);

}  // namespace tessel
