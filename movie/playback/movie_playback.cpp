// Playing movies: the frame a movie should show now (from its sound's
// position, or from the clock for a Theora movie without sound; the graph
// keeps its own time), the hook that copies it, starting, and pausing and
// resuming every movie with the window.
#include <algorithm>
#include <cmath>

#include "foundation/base/numbers.h"
#include "movie/playback/movie_calls.h"
#include "movie/playback/movie_internal.h"
#include "movie/renderer/movie_frame_renderer.h"
#include "sound/play/sound_calls.h"

namespace tessel {

namespace {

bool Loops(const MovieRecord* record) {
    return (record->playType & 2) != 0;
}

// The frame due now: from the sound's position (held on the last frame past
// the end), else from the clock (wrapped for a looping movie, else held on
// the last frame). A sound position that cannot be read counts as 0.
int64_t DueTheoraFrame(const MovieRecord* record, const TheoraMovieInfo& info) {
    const int64_t frames = info.frameCount;
    const double fps = info.framesPerSecond;
    int64_t due = 0;
    if (record->sound != -1) {
        const int64_t t = static_cast<int64_t>(GetSoundPositionMs(record->sound)) * 1000;
        due = TruncDoubleToInt(static_cast<double>(t) * fps / 1000000.0);
        return std::clamp<int64_t>(due, 0, frames - 1);
    }
    const uint64_t now = MovieClockNow();
    const int64_t t = now > record->startTime ? static_cast<int64_t>(now - record->startTime) : 0;
    due = static_cast<int64_t>(std::trunc(static_cast<double>(t) * fps / 1000000.0));
    if (due >= frames) {
        due = Loops(record) ? due % frames : frames - 1;
    }
    return due;
}

void AdvanceTheora(MovieRecord* record) {
    TheoraMovieInfo info = {};
    TheoraQueryInfo(record->decoder, &info);
    if (record->paused == 0 && info.frameCount > 0 && info.framesPerSecond > 0) {
        const int64_t frames = info.frameCount;
        const int64_t due = DueTheoraFrame(record, info);
        const int64_t current = TheoraCurrentFrame(record->decoder);
        if (due != current) {
            TheoraAdvance(record->decoder, due > current ? due - current : frames - current + due);
        } else if (due == frames - 1 && !Loops(record) && record->sound == -1) {
            record->playing = 0;
            record->paused = 1;
        }
    }
    if (record->hook != nullptr) {
        record->hook(record, record->hookValue);
    }
}

void AdvanceGraph(MovieRecord* record) {
    MovieFrameRenderer* renderer = record->renderer;
    if (renderer != nullptr) {
        // The lock keeps the streaming thread from writing or replacing the
        // buffer while the hook copies it.
        renderer->LockFrame();
        if (renderer->TakeNewFrame() != 0 && record->hook != nullptr &&
            renderer->FrameBuffer() != nullptr) {
            BASEIMAGE& image = record->frameImage;
            image = BASEIMAGE{};
            SetPixelFormatRgb24(&image.format);
            image.width = renderer->Width();
            image.height = renderer->Height();
            image.pitch = renderer->Pitch();
            image.pixels = const_cast<uint8_t*>(renderer->FrameBuffer());
            record->currentImage = &image;
            record->hook(record, record->hookValue);
        }
        renderer->UnlockFrame();
    }
    if (record->seeking == nullptr || record->control == nullptr) {
        return;
    }
    LONGLONG position = 0;
    if (FAILED(record->seeking->GetCurrentPosition(&position)) || position < record->stopPosition) {
        return;
    }
    if (Loops(record)) {
        LONGLONG start = 0;
        record->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning);
        record->control->Run();
        return;
    }
    record->playing = 0;
    record->paused = 1;
}

void AdvanceRecord(MovieRecord* record) {
    if (record->theora != 0) {
        AdvanceTheora(record);
    } else {
        AdvanceGraph(record);
    }
}

// Playing from the frame shown: a Theora movie moves its clock so that the
// current frame is due now and plays its sound on from where it stands.
void StartRecord(MovieRecord* record, int playType) {
    const int type = playType == 0 ? 1 : playType;
    if (record->theora != 0) {
        TheoraMovieInfo info = {};
        TheoraQueryInfo(record->decoder, &info);
        const double frame = static_cast<double>(TheoraCurrentFrame(record->decoder));
        // Rounded up, so that the frame shown is the one due now: a time cut
        // short would make the previous frame due, reached only by a trip
        // forward across the end. 64-bit, so that late frames keep their time.
        const int64_t shown =
            info.framesPerSecond > 0
                ? static_cast<int64_t>(std::ceil(1000000.0 * frame / info.framesPerSecond))
                : 0;
        record->startTime = MovieClockNow() - static_cast<uint64_t>(shown);
        if (record->sound != -1) {
            PlaySoundHandle(record->sound, type, 0);
        }
    } else if (record->control != nullptr) {
        record->control->Run();
    }
    record->paused = 0;
    record->playType = type;
    record->playing = 1;
}

}  // namespace

int MovieAdvanceFrame(int handle, int /*unused*/) {
    MovieRecord* record = MovieRecordFromHandle(handle);
    if (record != nullptr) {
        AdvanceRecord(record);
    }
    return 0;
}

int MoviePlay(int handle, int playType) {
    MovieRecord* record = MovieRecordFromHandle(handle);
    if (record == nullptr) {
        return -1;
    }
    if (record->playing == 0 || record->paused != 0) {
        StartRecord(record, playType);
    }
    return 0;
}

int MoviePauseAll() {
    for (MovieRecord* record : g_movies.slots) {
        if (record == nullptr || record->paused == 1) {
            continue;
        }
        if (record->theora != 0) {
            StopSoundHandle(record->sound);
            AdvanceRecord(record);
            record->paused = 1;
        } else if (record->control != nullptr) {
            record->control->Pause();
            record->paused = 1;
        }
    }
    return 0;
}

int MovieResumeAll() {
    for (MovieRecord* record : g_movies.slots) {
        if (record != nullptr && record->paused != 0 && record->playing != 0) {
            StartRecord(record, record->playType);
        }
    }
    return 0;
}

}  // namespace tessel
