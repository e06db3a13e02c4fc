// The sound table: 32768 record slots, the count in use, the end index (one
// past the highest slot in use) and the check counter that the next new
// handle takes. Every change runs under the sound lock, which the sound
// thread takes for each refill pass.
#include "sound/handles/sound_table.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/sound_system_internal.h"

namespace tessel {
namespace {

constexpr int kCheckCount = 2048;

struct SoundTable {
    SoundRecord* slots[kSoundSlots];
    int inUse;
    int endIndex;
    int nextCheck;
};

SoundTable g_table = {};

int MakeHandle(int check, int slot) {
    return ((check | 0x1000) << 16) | slot;
}

bool LooksLikeSoundHandle(int handle) {
    return handle >= 0 && (handle & 0x78000000) == kSoundHandleKind &&
           (handle & 0xFFFF) < kSoundSlots;
}

int FreeSlotFor(int handle) {
    if (LooksLikeSoundHandle(handle) && g_table.slots[handle & 0xFFFF] == nullptr)
        return handle & 0xFFFF;
    if (g_table.inUse >= kSoundSlots)
        return -1;
    if (g_table.endIndex < kSoundSlots)
        return g_table.endIndex;
    for (int slot = 0; slot < kSoundSlots; ++slot) {
        if (g_table.slots[slot] == nullptr)
            return slot;
    }
    return -1;
}

int AddSoundDataLocked(int handle) {
    const bool reuse = LooksLikeSoundHandle(handle) && g_table.slots[handle & 0xFFFF] == nullptr;
    const int slot = FreeSlotFor(handle);
    if (slot < 0) {
        WriteLog("サウンドの数が許容量を越えました\n");
        return -1;
    }
    auto* record =
        static_cast<SoundRecord*>(AllocTrackedZeroed(sizeof(SoundRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
        return -1;
    }
    if (reuse) {
        record->check = (handle >> 16) & 0x7FF;
    } else {
        record->check = g_table.nextCheck;
        g_table.nextCheck = (g_table.nextCheck + 1) % kCheckCount;
    }
    record->sharedOwner = -1;
    record->currentUser = -1;
    record->writeCursor = -800;
    g_table.slots[slot] = record;
    ++g_table.inUse;
    if (g_table.endIndex < slot + 1)
        g_table.endIndex = slot + 1;
    if (g_table.endIndex < g_table.inUse)
        g_table.endIndex = g_table.inUse;
    return reuse ? handle : MakeHandle(record->check, slot);
}

void StopSound(int handle, SoundRecord* record) {
    if (record->kind == kStreamSound) {
        record->playing = 0;
        // A shared ring is stopped only when this sound is the one it plays.
        SoundRecord* ringOwner =
            record->sharedOwner == -1 ? record : SoundRecordFromHandle(record->sharedOwner);
        if (ringOwner == nullptr || !ringOwner->buffers[0].valid)
            return;
        if (ringOwner->currentUser == handle || ringOwner->currentUser == -1) {
            SoundBufferStop(&ringOwner->buffers[0]);
            ringOwner->currentUser = -1;
        }
        return;
    }
    for (int i = 0; i < record->bufferCount && i < kSoundBufferSlots; ++i) {
        if (record->buffers[i].valid)
            SoundBufferStop(&record->buffers[i]);
    }
}

void ReleaseMemorySound(SoundRecord* record) {
    for (int i = 0; i < record->bufferCount && i < kSoundBufferSlots; ++i) {
        if (record->buffers[i].valid)
            SoundBufferRelease(&record->buffers[i]);
    }
    if (record->pcmShareCount != nullptr && --*record->pcmShareCount == 0) {
        FreeTracked(record->pcm);
        FreeTracked(record->pcmShareCount);
    }
    record->pcm = nullptr;
    record->pcmShareCount = nullptr;
}

void CloseSources(SoundRecord* record) {
    for (int i = 0; i < kStreamSourceSlots; ++i) {
        StreamSoundSource& source = record->sources[i];
        // The decoder reads through the streams, so it goes first.
        if (source.decoder != nullptr && source.closeDecoder != nullptr)
            source.closeDecoder(source.decoder);
        if (source.memoryStream != nullptr && source.closeMemoryStream != nullptr)
            source.closeMemoryStream(source.memoryStream);
        if (source.fileImage != nullptr)
            FreeTracked(source.fileImage);
        if (source.ownedStream != nullptr && source.closeStream != nullptr)
            source.closeStream(source.ownedStream);
        source = StreamSoundSource{};
    }
}

void FreeSlot(int slot) {
    FreeTracked(g_table.slots[slot]);
    g_table.slots[slot] = nullptr;
    --g_table.inUse;
    if (slot + 1 != g_table.endIndex)
        return;
    int end = slot;
    while (end > 0 && g_table.slots[end - 1] == nullptr)
        --end;
    g_table.endIndex = end;
}

int DeleteLocked(int handle);

// Returns 1 when the record must stay (others still play through its ring).
int DeleteStreamParts(int handle, SoundRecord* record) {
    if (record->sharedOwner != -1) {
        SoundRecord* owner = SoundRecordFromHandle(record->sharedOwner);
        if (owner != nullptr) {
            --owner->sharerCount;
            if (owner != record && owner->deletePending)
                DeleteLocked(record->sharedOwner);
        }
    }
    if (record->sharerCount > 0) {
        record->deletePending = 1;
        return 1;
    }
    if (record->streamNode.next != nullptr)
        ListUnlink(&record->streamNode);
    CloseSources(record);
    if (record->sharedOwner == -1 && record->buffers[0].valid)
        SoundBufferRelease(&record->buffers[0]);
    (void)handle;
    return 0;
}

int DeleteLocked(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    StopSound(handle, record);
    if (record->kind == kStreamSound) {
        if (DeleteStreamParts(handle, record))
            return 0;
    } else {
        ReleaseMemorySound(record);
    }
    FreeSlot(handle & 0xFFFF);
    return 0;
}

}  // namespace

int AddSoundData(int handle) {
    LockSound();
    const int result = AddSoundDataLocked(handle);
    UnlockSound();
    return result;
}

SoundRecord* SoundRecordFromHandle(int handle) {
    if (!SoundSystemUp() || !LooksLikeSoundHandle(handle))
        return nullptr;
    SoundRecord* record = g_table.slots[handle & 0xFFFF];
    if (record == nullptr || (record->check << 16) != (handle & 0x07FF0000))
        return nullptr;
    return record;
}

int DeleteSoundHandle(int handle) {
    LockSound();
    const int result = DeleteLocked(handle);
    UnlockSound();
    return result;
}

int DeleteAllSounds() {
    if (!SoundSystemUp())
        return -1;
    for (int slot = 0; slot < kSoundSlots; ++slot) {
        LockSound();
        SoundRecord* record = g_table.slots[slot];
        if (record != nullptr)
            DeleteLocked(MakeHandle(record->check, slot));
        UnlockSound();
    }
    return 0;
}

int SoundsInUse() {
    return g_table.inUse;
}
int SoundTableEndIndex() {
    return g_table.endIndex;
}

void ResetSoundTable() {
    std::memset(&g_table, 0, sizeof(g_table));
}

}  // namespace tessel
