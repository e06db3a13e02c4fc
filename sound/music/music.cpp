// Music handles (kind 0x40000000, 256 slots), the MCI device that MIDI
// music would play through, the soft-sound table, and the WAV capture file.
// The library makes no music, soft sound or capture of its own; these are
// the interfaces start-up, shutdown, the pump and the window procedure call.
#include <cstdint>

#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/system_state.h"
#include "platform/dmusic.h"
#include "platform/kernel.h"
#include "platform/winmm.h"
#include "sound/handles/sound_table.h"
#include "sound/music/music_internal.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"
#include "sound/system/sound_system.h"

namespace tessel {
namespace {

constexpr int kMusicSlots = 256;
constexpr int kSoftSoundSlots = 8192;

struct MusicRecord {
    int32_t check;
    int32_t playing;
    int32_t seenPlaying;
    void* data;
    int32_t dataBytes;
    IDirectMusicSegment8* segment;  // music mode 1
};

struct MusicState {
    MusicRecord* slots[kMusicSlots];
    int inUse;
    int endIndex;
    MCIDEVICEID mciDevice;
    int mciPlaying;
    int mciLoop;
    int midiTempFile;
    char midiTempPath[260];
    int directPlayHandle;
    int nextCheck;  // of the next music record, 0 to 2047
};

struct SoftSoundRecord {
    int32_t check;
    int32_t isPlayer;
    void* data;
};

struct SoftSoundTable {
    SoftSoundRecord* slots[kSoftSoundSlots];
    int endIndex;
};

MusicState g_music = {};
long g_musicPolls = 0;  // window thread only
SoftSoundTable g_soft = {};
HANDLE g_capture = nullptr;
uint32_t g_captureBytes = 0;

MusicRecord* MusicFromHandle(int handle) {
    if (!SoundSystemUp() || handle < 0 || (handle & 0x78000000) != 0x40000000 ||
        (handle & 0xFFFF) >= kMusicSlots) {
        return nullptr;
    }
    MusicRecord* record = g_music.slots[handle & 0xFFFF];
    if (record == nullptr || (record->check << 16) != (handle & 0x07FF0000))
        return nullptr;
    return record;
}

void LowerEnd(int* endIndex, int slot, void* const* slots) {
    if (slot + 1 != *endIndex)
        return;
    int end = slot;
    while (end > 0 && slots[end - 1] == nullptr)
        --end;
    *endIndex = end;
}

int FreeSoftSound(int slot, int isPlayer) {
    LockSound();
    SoftSoundRecord* record = g_soft.slots[slot];
    if (record == nullptr || record->isPlayer != isPlayer) {
        UnlockSound();
        return -1;
    }
    if (record->data != nullptr)
        FreeTracked(record->data);
    FreeTracked(record);
    g_soft.slots[slot] = nullptr;
    LowerEnd(&g_soft.endIndex, slot, reinterpret_cast<void* const*>(g_soft.slots));
    UnlockSound();
    return 0;
}

void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

int RefreshMusicState() {
    ++g_musicPolls;
    if (!SoundSystemUp())
        return -1;
    // Only DirectMusic reports its segments' state; MIDI through MCI is told
    // by the notify message instead.
    if (g_soundSystem.musicMode != 1 || g_soundSystem.performance == nullptr)
        return 0;
    for (int slot = 0; slot < g_music.endIndex; ++slot) {
        MusicRecord* record = g_music.slots[slot];
        if (record == nullptr || !record->playing || record->segment == nullptr)
            continue;
        const bool sounding =
            g_soundSystem.performance->IsPlaying(record->segment, nullptr) == S_OK;
        // A segment reports playing only some time after its start: until it
        // has, its silence does not end the music.
        if (record->seenPlaying)
            record->playing = sounding ? 1 : 0;
        else if (sounding)
            record->seenPlaying = 1;
    }
    return 0;
}

int ReplayMusicMci() {
    if (g_music.mciLoop) {
        MCI_PLAY_PARMS play = {};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(g_system.mainWindow);
        play.dwFrom = 0;
        mciSendCommandA(g_music.mciDevice, MCI_PLAY, MCI_NOTIFY | MCI_FROM,
                        reinterpret_cast<DWORD_PTR>(&play));
        g_music.mciPlaying = 1;
        return 0;
    }
    if (g_music.mciPlaying) {
        mciSendCommandA(g_music.mciDevice, MCI_CLOSE, 0, 0);
        g_music.mciPlaying = 0;
    }
    return 0;
}

int GetMusicState(int handle) {
    MusicRecord* record = MusicFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (g_soundSystem.musicMode == 0)
        return g_music.mciPlaying;
    if (g_soundSystem.musicMode == 1)
        return record->playing;
    return 0;
}

int StopMusicHandle(int handle) {
    MusicRecord* record = MusicFromHandle(handle);
    if (record == nullptr)
        return -1;
    g_music.mciLoop = 0;
    if (g_soundSystem.musicMode == 0) {
        ReplayMusicMci();
        for (int i = 0; i < 5; ++i)
            PumpMessagesInner();
    } else if (g_soundSystem.musicMode == 1 && g_soundSystem.performance != nullptr &&
               record->segment != nullptr) {
        g_soundSystem.performance->Stop(record->segment, nullptr, 0, 0);
    }
    if (g_music.midiTempFile) {
        DeleteFileA(g_music.midiTempPath);
        g_music.midiTempFile = 0;
    }
    record->playing = 0;
    record->seenPlaying = 0;
    return 0;
}

int DeleteMusicHandle(int handle) {
    MusicRecord* record = MusicFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->playing)
        StopMusicHandle(handle);
    if (record->segment != nullptr) {
        if (g_soundSystem.performance != nullptr)
            record->segment->Unload(g_soundSystem.performance);
        if (g_soundSystem.loader != nullptr)
            g_soundSystem.loader->ReleaseObjectByUnknown(record->segment);
        record->segment->Release();
        record->segment = nullptr;
    }
    if (record->data != nullptr) {
        for (int32_t i = 0; i < record->dataBytes; ++i)
            static_cast<uint8_t*>(record->data)[i] = 0;
        FreeTracked(record->data);
    }
    const int slot = handle & 0xFFFF;
    FreeTracked(record);
    g_music.slots[slot] = nullptr;
    --g_music.inUse;
    LowerEnd(&g_music.endIndex, slot, reinterpret_cast<void* const*>(g_music.slots));
    return 0;
}

int DeleteAllMusicHandles() {
    for (int slot = 0; slot < kMusicSlots; ++slot) {
        MusicRecord* record = g_music.slots[slot];
        if (record != nullptr)
            DeleteMusicHandle((((record->check | 0x4000)) << 16) | slot);
    }
    return 0;
}

int ReleaseDirectPlayHandle() {
    const int handle = g_music.directPlayHandle;
    if (handle == 0)
        return 0;
    if ((handle & 0x78000000) == kSoundHandleKind) {
        DeleteSoundHandle(handle);
    } else {
        StopMusicHandle(handle);
        DeleteMusicHandle(handle);
    }
    g_music.directPlayHandle = 0;
    return 0;
}

void DeleteAllSoftSoundData() {
    for (int slot = 0; slot < kSoftSoundSlots; ++slot)
        FreeSoftSound(slot, 0);
}

void DeleteAllSoftSoundPlayers() {
    for (int slot = 0; slot < kSoftSoundSlots; ++slot)
        FreeSoftSound(slot, 1);
}

void DeleteMidiTempFile() {
    if (!g_music.midiTempFile)
        return;
    DeleteFileA(g_music.midiTempPath);
    g_music.midiTempFile = 0;
}

int AddMusicForTest(IDirectMusicSegment8* segment, int playing) {
    for (int slot = 0; slot < kMusicSlots; ++slot) {
        if (g_music.slots[slot] != nullptr)
            continue;
        auto* record =
            static_cast<MusicRecord*>(AllocTrackedZeroed(sizeof(MusicRecord), __FILE__, __LINE__));
        if (record == nullptr)
            return -1;
        record->check = g_music.nextCheck;
        g_music.nextCheck = (g_music.nextCheck + 1) & 0x7FF;
        record->segment = segment;
        record->playing = playing;
        g_music.slots[slot] = record;
        ++g_music.inUse;
        if (g_music.endIndex < slot + 1)
            g_music.endIndex = slot + 1;
        return ((record->check | 0x4000) << 16) | slot;
    }
    return -1;
}

int MusicPlayingForTest(int handle) {
    MusicRecord* record = MusicFromHandle(handle);
    return record == nullptr ? -1 : record->playing;
}

void SetMciMusicForTest(int loop, int playing) {
    g_music.mciLoop = loop;
    g_music.mciPlaying = playing;
}

long MusicPollsForTest() {
    return g_musicPolls;
}

int MciMusicPlayingForTest() {
    return g_music.mciPlaying;
}

int OpenWaveCaptureForTest(const char* path, uint32_t dataBytes) {
    g_capture =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (g_capture == INVALID_HANDLE_VALUE) {
        g_capture = nullptr;
        return -1;
    }
    g_captureBytes = dataBytes;
    return 0;
}

bool WaveCaptureOpen() {
    return g_capture != nullptr;
}

int CloseWaveCapture() {
    if (g_capture == nullptr)
        return -1;
    uint8_t header[46] = {'R', 'I', 'F', 'F'};
    PutU32(header + 4, 38 + g_captureBytes);
    const char* tags = "WAVEfmt ";
    for (int i = 0; i < 8; ++i)
        header[8 + i] = static_cast<uint8_t>(tags[i]);
    PutU32(header + 16, 18);
    PutU16(header + 20, 1);       // PCM
    PutU16(header + 22, 2);       // channels
    PutU32(header + 24, 44100);   // samples per second
    PutU32(header + 28, 176400);  // bytes per second
    PutU16(header + 32, 4);       // block align
    PutU16(header + 34, 16);      // bits per sample
    PutU16(header + 36, 0);       // extra size
    header[38] = 'd';
    header[39] = 'a';
    header[40] = 't';
    header[41] = 'a';
    PutU32(header + 42, g_captureBytes);
    SetFilePointer(g_capture, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(g_capture, header, sizeof(header), &written, nullptr);
    CloseHandle(g_capture);
    g_capture = nullptr;
    g_captureBytes = 0;
    return 0;
}

}  // namespace tessel
