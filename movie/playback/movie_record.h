// The record behind a movie handle: how the movie is decoded (the built-in
// Theora decoder, or a media graph rendering into a MovieFrameRenderer),
// its play state, and the picture a frame hook copies into an image.
#pragma once

#include <cstdint>

#include "foundation/files/file_ops.h"
#include "images/base_image.h"
#include "movie/theora_decoder.h"
#include "platform/dshow.h"

namespace tessel {

class MovieFrameRenderer;
struct MovieRecord;

// Called with the record and the value given with it whenever the movie is
// advanced; its result is not used.
using MovieFrameHook = int (*)(MovieRecord* record, int32_t value);

constexpr int kMoviePathChars = 260;

struct MovieRecord {
    uint32_t check;    // bits 16 to 26 of the handle
    int32_t playType;  // bit value 2 set: the movie loops
    int32_t theora;    // 1: decoded by `decoder`, 0: played by the graph
    TheoraDecoder* decoder;
    uint64_t startTime;  // microseconds at which frame 0 is due (no sound)
    FileHandle file;
    int32_t sound;  // -1: none
    IGraphBuilder* graph;
    IMediaControl* control;
    IMediaSeeking* seeking;
    IBasicAudio* audio;
    MovieFrameRenderer* renderer;  // one reference held
    int64_t stopPosition;          // 100 ns units
    int32_t width;                 // Theora movies only
    int32_t height;
    int32_t alpha;  // the frame's right half holds alpha; 0 in every record
    int32_t mode;   // 0 in every record
    int32_t playing;
    int32_t paused;
    // Drawing straight into the window; nothing sets it.
    int32_t overlay;
    int32_t overlayX;
    int32_t overlayY;
    int32_t overlayScale;
    int32_t overlayShow;
    RECT overlaySource;
    RECT overlayDest;
    int32_t tempCopy;  // 1: `path` is a temporary copy to delete
    WCHAR path[kMoviePathChars];
    BASEIMAGE frameImage;  // the renderer's latest frame (graph movies)
    BASEIMAGE* currentImage;
    MovieFrameHook hook;
    int32_t hookValue;
};

}  // namespace tessel
