// Opening a movie: the built-in Theora decoder when the file is an Ogg
// Theora movie (its sound loaded from the same file), else a media graph.
#include "foundation/files/file_ops.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "movie/playback/movie_calls.h"
#include "movie/playback/movie_internal.h"
#include "sound/decoders/ogg_decoder.h"
#include "sound/play/sound_calls.h"

namespace tessel {

namespace {

constexpr int kTheoraStock = 10;

int FreeSlot() {
    for (int slot = 0; slot < kMovieSlots; ++slot) {
        if (g_movies.slots[slot] == nullptr) {
            return slot;
        }
    }
    return -1;
}

// The sound track streamed from the movie file itself, read by the older
// vorbisfile release; -1 when the file has none that the chain can decode.
int LoadMovieSound(const char* path) {
    const int mode = GetSoundLoadMode();
    SetVorbisfileBuildFlag(1);
    SetSoundLoadMode(kLoadFromFile);
    const int sound = LoadSoundFile(path, 1, -1);
    SetVorbisfileBuildFlag(0);
    SetSoundLoadMode(mode);
    return sound;
}

// 1 when the file is a Theora movie and now plays through the decoder.
int OpenTheora(MovieRecord* record, const char* path, int* widthOut, int* heightOut) {
    const FileHandle file = FsOpen(path, 0, 1, 0);
    if (file == 0) {
        return 0;
    }
    TheoraDecoder* decoder = TheoraOpen(&CurrentFileOps, file, kTheoraStock);
    if (decoder == nullptr) {
        FsClose(file);
        return 0;
    }
    record->file = file;
    record->decoder = decoder;
    record->sound = LoadMovieSound(path);
    TheoraMovieInfo info = {};
    TheoraQueryInfo(decoder, &info);
    record->width = info.width;
    record->height = info.height;
    if (widthOut != nullptr) {
        *widthOut = info.width;
    }
    if (heightOut != nullptr) {
        *heightOut = info.height;
    }
    record->theora = 1;
    record->currentImage = TheoraRgbImage(decoder);
    return 1;
}

}  // namespace

int OpenMovie(const char* path, int* widthOut, int* heightOut, int /*mode*/) {
    const int slot = FreeSlot();
    if (slot < 0 || path == nullptr) {
        return -1;
    }
    auto* record = static_cast<MovieRecord*>(AllocTrackedZeroed(sizeof(MovieRecord), nullptr, 0));
    if (record == nullptr) {
        return WriteLog("メモリの確保に失敗しました in OpenMovie");
    }
    record->sound = -1;
    if (OpenTheora(record, path, widthOut, heightOut) == 0) {
        if (MovieOpenWithFilterGraph(record, path, widthOut, heightOut) != 0) {
            FreeTracked(record);
            return WriteLog("ムービーファイルオープン処理時にエラーが発生しました");
        }
        record->currentImage = &record->frameImage;
    }
    record->paused = 1;
    record->playing = 0;
    record->playType = 1;
    record->check = g_movies.nextCheck;
    g_movies.nextCheck = g_movies.nextCheck >= 2047 ? 0 : g_movies.nextCheck + 1;
    g_movies.slots[slot] = record;
    ++g_movies.count;
    return static_cast<int>(((record->check | 0x1800u) << 16) | static_cast<uint32_t>(slot));
}

}  // namespace tessel
