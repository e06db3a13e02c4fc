// Movie files as the movie table opens them: the Theora decoder when it
// takes the file, else the media graph rendering into the movie frame
// renderer (a file neither reads goes through the temporary copy too). The
// movie plays without a clock, each new frame read by the frame hook, for a
// bounded number of advances, and is closed.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "movie/playback/movie_calls.h"
#include "movie/theora_decoder.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/dshow_testing.h"
#include "platform/kernel.h"

namespace {

constexpr int kAdvances = 200;

int ReadFrame(tessel::MovieRecord* record, int32_t) {
    if (record->theora != 0) {
        tessel::TheoraUpdateImage(record->decoder, 1, 0);
    }
    const tessel::BASEIMAGE* image = record->currentImage;
    if (image != nullptr && image->pixels != nullptr && image->height > 0) {
        const uint64_t row = static_cast<uint64_t>(image->width) * image->format.bytes;
        for (int y = 0; y < image->height; y += std::max(1, image->height / 8)) {
            tessel_fuzz::sink =
                tessel_fuzz::sink +
                tessel_fuzz::SumBytes(image->pixels + static_cast<size_t>(y) * image->pitch, row);
        }
    }
    return 0;
}

// Samples rendered as they come rather than at their time.
void RenderWithoutClock(tessel::MovieRecord* record) {
    void* filter = nullptr;
    if (record->graph != nullptr &&
        SUCCEEDED(record->graph->QueryInterface(IID_IMediaFilter, &filter))) {
        static_cast<IMediaFilter*>(filter)->SetSyncSource(nullptr);
        static_cast<IMediaFilter*>(filter)->Release();
    }
}

}  // namespace

TESSEL_FUZZ_TARGET(movie_open) {
    static tessel_fuzz::ScratchFile scratch;
    static bool ready = [] {
        tessel::TheoraBuildYuvTables();
        void* probe = nullptr;  // registers the platform's classes first
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGraphBuilder, &probe))) {
            static_cast<IGraphBuilder*>(probe)->Release();
        }
        // Nothing plays sound here: a clip's sound track is left unrendered.
        platform::UnregisterMediaFilter(CLSID_DSoundRender);
        return true;
    }();
    (void)ready;
    const char* path = scratch.Hold(data, size);
    if (path == nullptr) {
        return 0;
    }
    int width = 0;
    int height = 0;
    const int handle = tessel::OpenMovie(path, &width, &height, 0);
    tessel::MovieRecord* record = tessel::MovieRecordFromHandle(handle);
    if (record == nullptr) {
        return 0;
    }
    RenderWithoutClock(record);
    tessel::MovieSetFrameHook(handle, ReadFrame, 0);
    tessel::MoviePlay(handle, 1);
    for (int i = 0; i < kAdvances && record->playing != 0; ++i) {
        tessel::MovieAdvanceFrame(handle, 0);
        if (record->theora == 0) {
            Sleep(1);
        }
    }
    tessel::MovieDispose(handle);
    return 0;
}
