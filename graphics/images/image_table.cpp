// The image handle table: handing out slots and check numbers, the handle
// check, deletion with its sharing of sources and file names, lost flags and
// size queries.
#include <cstring>

#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/startup.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "movie/playback/movie_calls.h"
#include "graphics/images/image_records.h"
#include "graphics/textures/image_textures.h"

namespace tessel {

ImageTable g_images;

namespace {

int MakeImageHandle(uint32_t check, int slot) {
    return static_cast<int>(((check | 0x800u) << 16) | static_cast<uint32_t>(slot));
}

void DropFileName(ImageRecord* record) {
    ImageFileNameRecord* name = record->fileName;
    record->fileName = nullptr;
    if (name != nullptr && --name->refCount == 0) {
        FreeTracked(name);
    }
}

void ReleaseSource(ImageSourceRecord* source) {
    if (source == nullptr || --source->refCount != 0) {
        return;
    }
    ReleaseDrawableBackup(source);
    if (IsTextureSource(source)) {
        ReleaseTileTextures(source);
        FreeTracked(source->tiles);
    } else {
        MemImgRelease(&source->memImg);
    }
    FreeTracked(source);
}

// The slot after the highest one still in use; 0 for an empty table.
void ShrinkUsedRange(int releasedSlot) {
    if (releasedSlot != g_images.end - 1) {
        return;
    }
    int end = releasedSlot;
    while (end > 0 && g_images.slots[end - 1] == nullptr) {
        --end;
    }
    g_images.end = g_images.count == 0 ? 0 : end;
}

}  // namespace

int AllocImageHandle() {
    if (g_images.count >= kImageSlots) {
        AbortWithLog("グラフィックの数が許容量を越えました終了します");
    }
    int slot = g_images.end;
    if (slot == kImageSlots) {
        slot = 0;
        while (g_images.slots[slot] != nullptr) {
            ++slot;
        }
    }
    auto* record =
        static_cast<ImageRecord*>(AllocTrackedZeroed(sizeof(ImageRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        AbortWithLog("メモリの確保に失敗しました");
    }
    g_images.slots[slot] = record;
    record->check = g_images.nextCheck;
    g_images.nextCheck = g_images.nextCheck + 1 >= kImageCheckLimit ? 0 : g_images.nextCheck + 1;
    record->handle = MakeImageHandle(record->check, slot);
    record->movieHandle = -1;
    ++g_images.count;
    if (slot == g_images.end) {
        ++g_images.end;
    }
    return record->handle;
}

ImageRecord* GetImageRecord(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kImageHandleKind) {
        return nullptr;
    }
    const int slot = handle & 0xFFFF;
    if (slot >= kImageSlots) {
        return nullptr;
    }
    ImageRecord* record = g_images.slots[slot];
    if (record == nullptr || static_cast<int>(record->check << 16) != (handle & 0x07FF0000)) {
        return nullptr;
    }
    return record;
}

int IsImageHandleValid(int handle) {
    return GetImageRecord(handle) != nullptr ? 1 : 0;
}

int SetImageLostFlag(int handle, int* flag) {
    ImageRecord* record = GetImageRecord(handle);
    if (record == nullptr) {
        return -1;
    }
    record->lostFlag = flag;
    if (flag != nullptr) {
        *flag = 0;
    }
    return 0;
}

int SetImageFileName(int handle, const char* fileName, int otherHandle) {
    ImageRecord* record = GetImageRecord(handle);
    if (record == nullptr) {
        return -1;
    }
    DropFileName(record);
    if (fileName != nullptr) {
        char full[kPathCapacity];
        if (MakeFullPath(fileName, full, nullptr) != 0) {
            return WriteLogFormat("ファイル名 %s のフルパスが長すぎます\n", fileName);
        }
        const size_t length = std::strlen(full);
        auto* name = static_cast<ImageFileNameRecord*>(AllocTracked(
            static_cast<uint32_t>(sizeof(ImageFileNameRecord) + length), __FILE__, __LINE__));
        if (name == nullptr) {
            return WriteLog(
                "転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
        }
        name->refCount = 1;
        std::memcpy(name->path, full, length + 1);
        record->fileName = name;
        return 0;
    }
    if (otherHandle == -1) {
        return 0;
    }
    ImageRecord* other = GetImageRecord(otherHandle);
    if (other == nullptr) {
        return -1;
    }
    record->fileName = other->fileName;
    if (record->fileName != nullptr) {
        ++record->fileName->refCount;
    }
    return 0;
}

int ReleaseImageHandle(int handle, int /*unused*/) {
    ImageRecord* record = GetImageRecord(handle);
    if (record == nullptr) {
        return -1;
    }
    const int slot = handle & 0xFFFF;
    MovieDispose(record->movieHandle);
    if (!IsTextureSource(record->source)) {
        MemImgRelease(&record->view);
    }
    ReleaseSource(record->source);
    record->source = nullptr;
    DropFileName(record);
    FreeTracked(record->tileEntries);
    --g_images.count;
    g_images.slots[slot] = nullptr;
    ShrinkUsedRange(slot);
    if (record->lostFlag != nullptr) {
        *record->lostFlag = 1;
    }
    FreeTracked(record);
    return 0;
}

int QueryImageSize(int handle, int* width, int* height) {
    int w = 0;
    int h = 0;
    if (handle == kBackScreen || handle == kFrontScreen) {
        QueryScreenSize(&w, &h);
    } else {
        const ImageRecord* record = GetImageRecord(handle);
        if (record == nullptr) {
            return -1;
        }
        w = record->width;
        h = record->height;
    }
    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
    return 0;
}

void ClearImageTableCounts() {
    g_images.count = 0;
    g_images.end = 0;
}

int DeleteAllImages() {
    if (g_graphics.started == 0) {
        return 0;
    }
    for (int slot = g_images.end - 1; slot >= 0; --slot) {
        const ImageRecord* record = g_images.slots[slot];
        if (record != nullptr) {
            ReleaseImageHandle(record->handle);
        }
    }
    return 0;
}

}  // namespace tessel
