// An image's pixel store: on the hardware path power-of-two textures cut
// from the picture (tiles) with each image's list of tile parts, on the
// software path a memory image. Also the transfer of pixels into them from a
// BASEIMAGE: format conversion, DXT blocks passed through or decoded, mip
// levels generated or copied, and the edge pixels repeated into the unused
// border of a texture so that filtering at the edge stays inside the picture.
#pragma once

#include <cstdint>

#include "graphics/images/image_records.h"
#include "images/base_image.h"
#include "platform/types.h"

namespace tessel {

struct MovieRecord;

// Pieces along one side, and tiles of one picture.
constexpr int kMaxTexturePieces = 256;
constexpr int kMaxTextureTiles = 256;

// Cuts one side into texture sizes written to `sizes` (room for
// kMaxTexturePieces). single keeps one texture while it fits the device.
// The count, or -1 when the side would need more pieces than there is room.
int RoundTextureSize(int size, int* sizes, int single);

// Builds the image's source and its textures or memory image, then its draw
// information. mipLevels -1 takes the option's default. On failure the handle
// is deleted and -1 returned.
int SetupImageTextures(int handle, int width, int height, int alpha, int palette,
                       int compressedKind, int mipLevels);
// The image's tile parts (hardware) or its view of the source (software).
int BuildTextureDrawInfo(int handle);
// Creates every missing texture of the source, cleared. 0 or -1.
int CreateTileTextures(ImageSourceRecord* source);
void ReleaseTileTextures(ImageSourceRecord* source);
void ReleaseDrawableBackup(ImageSourceRecord* source);
// Around a lost device: every image's textures go, then come back cleared.
int ReleaseAllTileTextures();
int RecreateAllTileTextures();

// Transfers width x height pixels from (srcX, srcY) of the base to (destX,
// destY), in the source picture's coordinates when destInSource is 1, else
// in the image's. 0 (also for an empty rectangle) or -1.
struct ImageUpload {
    int handle;
    const BASEIMAGE* base;
    const BASEIMAGE* alphaBase;  // or null
    RECT sourceRect;
    int destX;
    int destY;
    int blendImage;
    int useTransparent;
    int destInSource;
};
int UploadImageToTexture(const ImageUpload& upload);

// Stores (or clears) the image's file name, its reload point and loader
// option, then transfers the base's rectangle at the reload point into the
// whole image.
int FillImageFromSource(const char* fileName, int gdi, const BASEIMAGE* base,
                        const BASEIMAGE* alphaBase, int reloadX, int reloadY, int handle,
                        uint32_t loaderOption);
// A rectangle (null: the whole base) placed at a point of the image.
int UploadImageRect(const char* fileName, int gdi, const BASEIMAGE* base,
                    const BASEIMAGE* alphaBase, const RECT* sourceRect, int destX, int destY,
                    int handle, uint32_t loaderOption);

// The frame hook of an image that shows a movie: the movie's current frame
// into the image `handle`. 0 (also when no new frame is ready) or -1.
int CopyMovieFrameToImage(MovieRecord* movie, int32_t handle);

}  // namespace tessel
