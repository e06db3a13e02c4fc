// Image handles and the records behind them. Every picture the library draws
// and every drawable off-screen image is named by a checked handle; the
// record keeps where the image lies inside a pixel source that it shares with
// its sub-images, the file it came from (so that a lost device can reload it)
// and, per drawing path, either its list of texture tile parts or its view of
// a memory image. The image table is the model of every handle table of the
// library: slot choice, used-range end, an 11-bit check number.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "graphics/textures/texture_formats.h"
#include "platform/d3d9.h"

namespace tessel {

constexpr int kImageSlots = 32768;
constexpr int32_t kImageHandleKind = 0x08000000;
constexpr uint32_t kImageCheckLimit = 2048;
// Not handles: the screens a draw target or a size query may name.
constexpr int32_t kBackScreen = -2;
constexpr int32_t kFrontScreen = -4;

// One texture of a source picture cut into tiles.
struct TextureTile {
    IDirect3DTexture9* texture;
    IDirect3DTexture9* staging;  // system-memory copy, or null
    IDirect3DSurface9* surface;  // level 0 of the texture
    IDirect3DTexture9* backup;   // of a drawable image, or null
    int32_t x;                   // the part of the picture the tile holds:
    int32_t y;                   // the texture's extent cut at the picture's
    int32_t width;               // right and bottom edges
    int32_t height;
    int32_t textureWidth;
    int32_t textureHeight;
};

// The part of one tile that an image's rectangle covers, with its quad.
struct TileDrawEntry {
    int32_t destX;  // relative to the image's top-left corner
    int32_t destY;
    int32_t tileX;  // inside the tile
    int32_t tileY;
    int32_t width;
    int32_t height;
    // Top-left, top-right, bottom-left, bottom-right: x, y, u, v.
    float corners[4][4];
    // 1 where the corner lies on or above the image's diagonal from
    // bottom-left to top-right.
    uint8_t upperCorner[4];
    TextureTile* tile;
};

// The pixels an image shares with all its sub-images.
struct ImageSourceRecord {
    uint32_t refCount;
    // Hardware: the texture format index 0 to 13; software: 15 (16-bit),
    // 16 (16-bit with alpha), 17 (32-bit), 18 (32-bit with alpha).
    uint32_t formatCode;
    TextureFormatRequest request;
    uint32_t transparentColor;  // 0xRRGGBB in force when the source was made
    uint32_t width;
    uint32_t height;
    // Hardware path.
    uint32_t mipLevels;
    uint32_t tileCount;
    TextureTile* tiles;
    // Software path.
    MEMIMG memImg;
    MEMIMG* backup;  // of a drawable image, or null
};

// A full path shared by an image and the sub-images made from it.
struct ImageFileNameRecord {
    uint32_t refCount;
    char path[1];  // allocated to the path's length
};

struct ImageRecord {
    uint32_t check;
    int32_t handle;
    int* lostFlag;  // written 1 when the image is deleted
    ImageSourceRecord* source;
    int32_t movieHandle;  // -1: none
    ImageFileNameRecord* fileName;
    int32_t reloadX;  // where the image lies in the picture of its file
    int32_t reloadY;
    uint32_t loaderOption;
    int32_t x;  // inside the source
    int32_t y;
    int32_t width;
    int32_t height;
    // Hardware path: the tile parts the image covers, in tile order.
    int32_t tileEntryCount;
    TileDrawEntry* tileEntries;
    // Software path: the image's rectangle of the source's memory image.
    MEMIMG view;
};

struct ImageTable {
    ImageRecord* slots[kImageSlots];
    int32_t count;
    int32_t end;  // one past the highest slot in use
    uint32_t nextCheck;
};
extern ImageTable g_images;

// Aborts the process when the table is full or no record can be had.
int AllocImageHandle();
// Null (or 0) for anything that fails the handle check.
ImageRecord* GetImageRecord(int handle);
int IsImageHandleValid(int handle);
int SetImageLostFlag(int handle, int* flag);
// Drops the current name; then stores the full path of fileName, or shares
// otherHandle's name, or (null and -1) leaves the image unnamed. 0 or -1.
int SetImageFileName(int handle, const char* fileName, int otherHandle);
// The second argument has no effect. 0, or -1 for a bad handle.
int ReleaseImageHandle(int handle, int unused = 0);
// The screen size for -2 and -4; either output may be null. 0 or -1.
int QueryImageSize(int handle, int* width, int* height);
// What graphics start-up does before any image exists.
void ClearImageTableCounts();
// Every image deleted as ReleaseImageHandle does; 0.
int DeleteAllImages();

// Whether a source keeps its pixels in textures.
inline bool IsTextureSource(const ImageSourceRecord* source) {
    return source != nullptr && source->request.hardware != 0;
}

}  // namespace tessel
