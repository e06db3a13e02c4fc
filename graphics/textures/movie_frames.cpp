// The frame hook of an image that shows a movie: the movie's current frame
// copied into the image's memory image or textures. A Theora movie's frame
// is converted by its decoder first (into 32-bit RGB, or into the device's
// YUV surface, which the device stretches onto the image's texture); a
// graph movie's frame is the renderer's 24-bit picture.
#include <algorithm>

#include "graphics/device/device_state.h"
#include "graphics/images/image_records.h"
#include "graphics/memimg/memimg.h"
#include "graphics/textures/image_textures.h"
#include "movie/playback/movie_record.h"

namespace tessel {

namespace {

// The colour half, and the alpha half when the movie carries one beside it.
void SplitFrame(const MovieRecord* movie, const BASEIMAGE* frame, BASEIMAGE* colour,
                BASEIMAGE* alpha) {
    *colour = *frame;
    *alpha = BASEIMAGE{};
    if (movie->alpha == 0) {
        return;
    }
    colour->width = frame->width / 2;
    *alpha = *colour;
    alpha->pixels = frame->pixels + colour->width * frame->format.bytes;
}

// SplitFrame of the movie's current frame; false while it has none.
bool SplitCurrentFrame(const MovieRecord* movie, BASEIMAGE* colour, BASEIMAGE* alpha) {
    const BASEIMAGE* frame = movie->currentImage;
    if (frame == nullptr || frame->pixels == nullptr) {
        return false;
    }
    SplitFrame(movie, frame, colour, alpha);
    return true;
}

int CopyToMemImg(MovieRecord* movie, ImageRecord* image) {
    // The decoder answers 0 also when its picture already holds the frame
    // (it converted frame 0 at open), which a new image has not seen yet: the
    // picture is copied either way.
    if (movie->theora != 0) {
        TheoraUpdateImage(movie->decoder, 1, 0);
    }
    BASEIMAGE colour;
    BASEIMAGE alpha;
    if (!SplitCurrentFrame(movie, &colour, &alpha)) {
        return 0;
    }
    return MemImgTransferFromBaseImage(&colour, movie->alpha != 0 ? &alpha : nullptr, &image->view,
                                       0, 0, std::min(colour.width, image->width),
                                       std::min(colour.height, image->height), 0, 0, 0, 0);
}

// The decoder's YUV surface stretched onto the part of the first tile the
// image covers; false when the decoder has no surface.
bool StretchYuvSurface(MovieRecord* movie, ImageRecord* image, int* result) {
    IDirect3DSurface9* surface = TheoraYuvSurface(movie->decoder);
    if (surface == nullptr || image->tileEntryCount < 1 || g_graphics.device == nullptr) {
        return false;
    }
    *result = 0;
    TheoraUpdateImage(movie->decoder, 0, 1);
    const TileDrawEntry& entry = image->tileEntries[0];
    const RECT dest = {entry.tileX, entry.tileY, entry.tileX + image->width,
                       entry.tileY + image->height};
    if (FAILED(g_graphics.device->StretchRect(surface, nullptr, entry.tile->surface, &dest,
                                              D3DTEXF_NONE))) {
        *result = -1;
    }
    return true;
}

int CopyToTextures(MovieRecord* movie, ImageRecord* image) {
    int result = 0;
    if (movie->theora != 0) {
        if (StretchYuvSurface(movie, image, &result)) {
            return result;
        }
        TheoraUpdateImage(movie->decoder, 1, 0);
    }
    BASEIMAGE colour;
    BASEIMAGE alpha;
    if (!SplitCurrentFrame(movie, &colour, &alpha)) {
        return 0;
    }
    ImageUpload upload = {};
    upload.handle = image->handle;
    upload.base = &colour;
    upload.alphaBase = movie->alpha != 0 ? &alpha : nullptr;
    upload.sourceRect = RECT{0, 0, colour.width, colour.height};
    return UploadImageToTexture(upload);
}

}  // namespace

int CopyMovieFrameToImage(MovieRecord* movie, int32_t handle) {
    ImageRecord* image = GetImageRecord(handle);
    if (movie == nullptr || image == nullptr) {
        return -1;
    }
    return IsTextureSource(image->source) ? CopyToTextures(movie, image)
                                          : CopyToMemImg(movie, image);
}

}  // namespace tessel
