// The built-in Ogg Theora movie decoder: it checks and indexes a movie file,
// decodes it on a thread of its own a few frames ahead of the frame to show,
// and converts the shown frame on demand into a 32-bit RGB image or into a
// Direct3D YUV surface. The window thread and the decode thread share only
// the request and status words and the frame stock, without a lock.
#pragma once

#include <cstdint>

#include "foundation/files/file_ops.h"
#include "images/base_image.h"
#include "platform/d3d9.h"

namespace tessel {

struct TheoraDecoder;

struct TheoraMovieInfo {
    double framesPerSecond;
    int32_t frameCount;
    int32_t width;  // the encoded frame size
    int32_t height;
};

// Fills the conversion tables; start-up calls it once. Always 0.
int TheoraBuildYuvTables();

// A running decoder showing frame 0, or null when the file is no usable
// Theora movie (no log line for a file of another kind) or a resource fails.
// The decoder reads the file through the seek, read and end-of-file
// operations of `fileOps`; the file stays the caller's and must outlive it.
TheoraDecoder* TheoraOpen(const FileOps* fileOps, FileHandle file, int stockSize);
// Ends the thread and frees everything; null does nothing.
void TheoraClose(TheoraDecoder* decoder);

// Makes `frame` (clamped to the movie) the frame to show.
void TheoraSeek(TheoraDecoder* decoder, int64_t frame);
// Moves the frame to show n frames on, wrapping once at the end; n < 1 does
// nothing.
void TheoraAdvance(TheoraDecoder* decoder, int64_t n);
int64_t TheoraCurrentFrame(const TheoraDecoder* decoder);
int TheoraQueryInfo(const TheoraDecoder* decoder, TheoraMovieInfo* info);

// Converts the frame to show into the RGB image (wantRgb) and the YUV
// surface (wantSurface), waiting for the thread to decode it. 1 when the
// frame was there, 0 when there was nothing to do or no frame can come.
int TheoraUpdateImage(TheoraDecoder* decoder, int wantRgb, int wantSurface);
BASEIMAGE* TheoraRgbImage(TheoraDecoder* decoder);
// The device surface the frame is copied into, or null without a device.
IDirect3DSurface9* TheoraYuvSurface(TheoraDecoder* decoder);
// The FourCC of that surface ('YV12', 'YUY2' or 'UYVY'), 0 without one.
D3DFORMAT TheoraYuvSurfaceFormat(const TheoraDecoder* decoder);

}  // namespace tessel
