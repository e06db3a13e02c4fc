// The graph half of a movie: a filter graph that renders the file into a
// MovieFrameRenderer, from the path itself or, when the graph cannot read
// it (a file inside a data archive), from a temporary copy made through the
// file layer; and the release of it all.
#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/base/charset.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "movie/playback/movie_internal.h"
#include "movie/renderer/movie_frame_renderer.h"
#include "platform/com.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr uint32_t kCopyChunk = 0x100000;

template <typename T>
void ReleaseOnce(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// Release in the order the graph was built, graph first.
int FailGraph(MovieRecord* record, const std::string& message) {
    ReleaseOnce(record->graph);
    ReleaseOnce(record->control);
    ReleaseOnce(record->seeking);
    ReleaseOnce(record->audio);
    if (record->renderer != nullptr) {
        record->renderer->Release();
        record->renderer = nullptr;
    }
    return WriteLog(message.c_str());
}

int BuildGraph(MovieRecord* record, std::string* message) {
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                &object))) {
        *message = "CLSID_FilterGraph の作成に失敗しました";
        return -1;
    }
    record->graph = static_cast<IGraphBuilder*>(object);
    MovieFrameRenderer* renderer = CreateMovieFrameRenderer(nullptr, nullptr);
    if (renderer != nullptr) {
        renderer->AddRef();
        record->renderer = renderer;
    }
    if (renderer == nullptr || FAILED(record->graph->AddFilter(renderer, u"MovieRenderer"))) {
        *message = "Could not add renderer filter to graph!";
        return -1;
    }
    if (FAILED(record->graph->QueryInterface(IID_IBasicAudio, &object))) {
        *message = "BasicAudio インターフェースの取得に失敗しました";
        return -1;
    }
    record->audio = static_cast<IBasicAudio*>(object);
    if (FAILED(record->graph->QueryInterface(IID_IMediaControl, &object))) {
        *message = "IID_IMediaControlインターフェイスの取得に失敗しました";
        return -1;
    }
    record->control = static_cast<IMediaControl*>(object);
    if (FAILED(record->graph->QueryInterface(IID_IMediaSeeking, &object))) {
        *message = "IID_IMediaSeekingインターフェイスの取得に失敗しました";
        return -1;
    }
    record->seeking = static_cast<IMediaSeeking*>(object);
    return 0;
}

// Copies `file` (at its start) into the temporary file in chunks; false on
// a short read or write.
bool CopyChunks(FileHandle file, int64_t size, HANDLE temp, uint8_t* buffer) {
    for (int64_t done = 0; done < size;) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(size - done, kCopyChunk));
        // A read that comes back short would leave the copy shorter than the
        // movie, which the graph might still half play.
        if (FsRead(buffer, chunk, 1, file) != 1) {
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(temp, buffer, chunk, &written, nullptr) || written != chunk) {
            return false;
        }
        done += chunk;
    }
    return true;
}

// The movie copied through the file layer into a new temporary file, whose
// path the record keeps; 0 or -1 (no copy left behind).
int MakeTemporaryCopy(MovieRecord* record, const char* path) {
    const FileHandle file = FsOpen(path, 0, 1, 0);
    if (file == 0) {
        return -1;
    }
    FsSeek(file, 0, SEEK_END);
    const int64_t size = FsTell(file);
    FsSeek(file, 0, SEEK_SET);
    auto* buffer = static_cast<uint8_t*>(AllocTracked(kCopyChunk, nullptr, 0));
    if (buffer == nullptr || size < 0) {
        FreeTracked(buffer);
        FsClose(file);
        return -1;
    }
    char tempPath[MAX_PATH] = {};
    const HANDLE temp = CreateTempFile(tempPath);
    if (temp == nullptr ||
        MultiByteToWideChar(932, 0, tempPath, -1, record->path, kMoviePathChars) <= 0) {
        if (temp != nullptr) {
            CloseHandle(temp);
            DeleteFileA(tempPath);
        }
        FreeTracked(buffer);
        FsClose(file);
        return -1;
    }
    record->tempCopy = 1;
    const bool copied = CopyChunks(file, size, temp, buffer);
    FsClose(file);
    CloseHandle(temp);
    FreeTracked(buffer);
    if (!copied) {
        DeleteFileW(record->path);
        record->tempCopy = 0;
        return -1;
    }
    return 0;
}

}  // namespace

int MovieOpenWithFilterGraph(MovieRecord* record, const char* path, int* widthOut, int* heightOut) {
    std::string message;
    if (BuildGraph(record, &message) != 0) {
        return FailGraph(record, message);
    }
    if (MultiByteToWideChar(LibraryCodePage(), 0, path, -1, record->path, kMoviePathChars) <= 0 ||
        FAILED(record->graph->RenderFile(record->path, nullptr))) {
        message = std::string("ファイル:") + path + " が開けませんでした";
        if (MakeTemporaryCopy(record, path) != 0) {
            return FailGraph(record, message);
        }
        if (FAILED(record->graph->RenderFile(record->path, nullptr))) {
            DeleteFileW(record->path);
            record->tempCopy = 0;
            return FailGraph(record, message);
        }
    }
    record->seeking->GetStopPosition(&record->stopPosition);
    if (widthOut != nullptr) {
        *widthOut = record->renderer->Width();
    }
    if (heightOut != nullptr) {
        *heightOut = record->renderer->Height();
    }
    return 0;
}

void ReleaseMovieGraph(MovieRecord* record) {
    // Stopping first ends the streaming thread before the graph lets go of
    // the renderer whose buffer the record borrows.
    if (record->control != nullptr) {
        record->control->Stop();
    }
    ReleaseOnce(record->audio);
    ReleaseOnce(record->seeking);
    ReleaseOnce(record->control);
    ReleaseOnce(record->graph);
    if (record->renderer != nullptr) {
        record->renderer->Release();
        record->renderer = nullptr;
    }
    record->frameImage = BASEIMAGE{};
}

}  // namespace tessel
