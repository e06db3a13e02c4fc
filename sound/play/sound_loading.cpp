// Loading sounds: the load mode, whole files read into memory, memory sounds
// made from decoded PCM (up to 180 seconds) and stream sounds otherwise, and
// loop points, which turn a memory sound into a stream sound.
#include <cstring>

#include "foundation/files/streams.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/decoders/pcm_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_system_internal.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

constexpr int kMostBuffers = 10;
// Longer sounds are streamed, whatever the load mode.
constexpr uint32_t kLongestMemorySeconds = 180;

int g_loadMode = kLoadWhole;

// The whole PCM of a file image; 0 or -1 with the cause logged.
int DecodeImage(const void* image, int size, WAVEFORMATEX* format, void** pcm, uint32_t* pcmSize) {
    MemoryStream* memory = OpenMemoryStream(image, static_cast<uint32_t>(size));
    if (memory == nullptr) {
        WriteLog("音声ファイルのＰＣＭへの変換に失敗しました");
        return -1;
    }
    InputStream stream = {};
    InitInputStream(&stream, GetMemoryStreamOps(), StreamHandleOf(memory));
    PcmDecoder decoder = {};
    int result = 0;
    if (OpenDecoder(&stream, &decoder) != 0) {
        WriteLog("音声ファイルのＰＣＭへの変換に失敗しました");
        result = -1;
    } else {
        if (DecodeAllToMemory(&decoder, format, pcm, pcmSize) != 0) {
            WriteLog("音声ファイルを格納するメモリ領域の確保に失敗しました");
            result = -1;
        }
        CloseDecoder(&decoder);
    }
    CloseMemoryStream(StreamHandleOf(memory));
    return result;
}

// Copies the PCM into every buffer of the sound; 0 or -1.
int TransferPcm(SoundRecord* record) {
    const int count = record->bufferCount < kMostBuffers ? record->bufferCount : kMostBuffers;
    for (int i = 0; i < count; ++i) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD size1 = 0;
        DWORD size2 = 0;
        if (SoundBufferLock(0, static_cast<DWORD>(record->pcmBytes), &record->buffers[i], &part1,
                            &size1, &part2, &size2) != 0) {
            WriteLog("サウンドデータの転送に失敗しました_1");
            return -1;
        }
        std::memcpy(part1, record->pcm, size1);
        if (part2 != nullptr)
            std::memcpy(part2, static_cast<uint8_t*>(record->pcm) + size1, size2);
        if (SoundBufferUnlock(&record->buffers[i], part1, size1, part2, size2) != 0) {
            WriteLog("サウンドデータの転送に失敗しました_2");
            return -1;
        }
    }
    return 0;
}

// Buffers holding the PCM; the record takes the PCM on success. 1 when made,
// 0 when the buffers could not be made (the caller streams instead), -1 on
// failure.
int MakeMemorySound(int handle, const WAVEFORMATEX& format, void* pcm, uint32_t pcmSize,
                    int bufferCount) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (CreateSoundBuffers(-1, &format, static_cast<int>(pcmSize), 0, bufferCount, handle) != 0) {
        // Nothing was kept; the record must not look like a memory sound.
        record->bufferCount = 0;
        return 0;
    }
    record->frequency = static_cast<int32_t>(format.nSamplesPerSec);
    auto* shared = static_cast<int32_t*>(AllocTracked(sizeof(int32_t), __FILE__, __LINE__));
    if (shared == nullptr) {
        WriteLog("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
        return -1;
    }
    *shared = 1;
    record->pcmShareCount = shared;
    record->format = format;
    record->pcmBytes = static_cast<int32_t>(pcmSize);
    record->pcm = pcm;
    record->lastBuffer = record->bufferCount - 1;  // the first play takes buffer 0
    return TransferPcm(record) == 0 ? 1 : -1;
}

int StreamImage(const void* image, int size, int handle, int mode, int shareHandle) {
    if (AddStreamSourceMemory(image, static_cast<uint32_t>(size), 0, handle, mode, shareHandle) !=
        0)
        return -1;
    PrimeStreamSound(handle);
    return 0;
}

int LoadImageLocked(const void* image, int size, int bufferCount, int shareHandle) {
    if (bufferCount > kMostBuffers) {
        WriteLogFormat("サウンドバッファの数 %d は多すぎます\n", bufferCount);
        return -1;
    }
    if (image == nullptr || size <= 0) {
        WriteLog("音声ファイルのイメージがありません\n");
        return -1;
    }
    const int handle = AddSoundData(-1);
    if (handle == -1)
        return -1;
    const int mode = g_loadMode;
    int result = 0;
    if (mode == kLoadWhole) {
        WAVEFORMATEX format = {};
        void* pcm = nullptr;
        uint32_t pcmSize = 0;
        result = DecodeImage(image, size, &format, &pcm, &pcmSize);
        const uint32_t perSecond = format.nAvgBytesPerSec == 0 ? 1 : format.nAvgBytesPerSec;
        if (result == 0 && pcmSize / perSecond <= kLongestMemorySeconds) {
            const int made = MakeMemorySound(handle, format, pcm, pcmSize, bufferCount);
            if (made == 1)
                return handle;
            result = made;
        }
        if (result == 0) {
            // Too long, or no buffers for it: streamed from the image instead.
            FreeTracked(pcm);
            g_loadMode = kLoadFileImage;
            result = StreamImage(image, size, handle, kLoadFileImage, shareHandle);
            g_loadMode = mode;
        } else if (SoundRecordFromHandle(handle)->pcm != pcm) {
            FreeTracked(pcm);
        }
    } else {
        result = StreamImage(image, size, handle, mode, shareHandle);
    }
    if (result != 0) {
        DeleteSoundHandle(handle);
        return -1;
    }
    return handle;
}

int LoadFileLocked(const char* path, int bufferCount, int shareHandle) {
    if (g_loadMode != kLoadWhole) {
        const int handle = AddSoundData(-1);
        if (handle == -1)
            return -1;
        if (AddStreamSourceFile(path, 0, handle, g_loadMode, shareHandle) != 0) {
            DeleteSoundHandle(handle);
            return -1;
        }
        PrimeStreamSound(handle);
        return handle;
    }
    void* image = nullptr;
    uint32_t size = 0;
    if (ReadWholeFile(path, &image, &size) != 0) {
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
        return -1;
    }
    const int count = bufferCount < kMostBuffers ? bufferCount : kMostBuffers;
    const int handle = LoadImageLocked(image, static_cast<int>(size), count, -1);
    FreeTracked(image);
    if (handle == -1) {
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
        return -1;
    }
    return handle;
}

int LoopPointLocked(int64_t samples, int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr || samples < -1 || GetSoundLengthSamples(handle) <= samples)
        return -1;
    if (samples == -1) {
        record->sources[0].loopStart = 0;
        record->sources[0].loopStartBytes = 0;
        record->sources[0].loopCount = 0;
        return 0;
    }
    if (record->kind != kStreamSound) {
        if (ConvertToStreamSound(handle) != 0)
            return -1;
        record = SoundRecordFromHandle(handle);
    }
    if (record->sourceCount >= 2) {
        WriteLog(
            "二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は"
            "出来ません\n");
        return -1;
    }
    const auto* decoder = static_cast<const PcmDecoder*>(record->sources[0].decoder);
    record->sources[0].loopStart = static_cast<int32_t>(samples);
    record->sources[0].loopStartBytes = samples * decoder->format.nBlockAlign;
    record->sources[0].loopCount = 255;
    return 0;
}

int ConvertLocked(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kStreamSound)
        return 0;
    void* image = nullptr;
    uint32_t imageSize = 0;
    if (record->pcm == nullptr ||
        BuildWaveImage(&image, &imageSize, &record->format, sizeof(WAVEFORMATEX), record->pcm,
                       static_cast<uint32_t>(record->pcmBytes)) != 0) {
        WriteLog("ストリームサウンドハンドルの作成に失敗しました\n");
        return -1;
    }
    // The sound's settings outlive the rebuild.
    const int32_t volume = record->volume;
    const int32_t pan = record->pan;
    const int32_t frequency = record->frequency;
    DeleteSoundHandle(handle);
    int result = -1;
    MemoryStream* memory = OpenMemoryStream(image, imageSize);
    if (memory != nullptr && AddSoundData(handle) == handle) {
        InputStream stream = {};
        InitInputStream(&stream, GetMemoryStreamOps(), StreamHandleOf(memory));
        result = AddSreamSound(&stream, 0, handle, kSourceDecodedImage, nullptr, -1);
        if (result != 0)
            DeleteSoundHandle(handle);
    }
    if (memory != nullptr)
        CloseMemoryStream(StreamHandleOf(memory));
    FreeTracked(image);
    if (result != 0) {
        WriteLog("ストリームサウンドハンドルの作成に失敗しました\n");
        return -1;
    }
    record = SoundRecordFromHandle(handle);
    record->volume = volume;
    record->pan = pan;
    record->frequency = frequency;
    return 0;
}

}  // namespace

int SetSoundLoadMode(int mode) {
    if (static_cast<unsigned>(mode) > 3)
        return -1;
    g_loadMode = mode == 1 ? kLoadWhole : mode;
    return 0;
}

int GetSoundLoadMode() {
    return g_loadMode;
}

int ReadWholeFile(const char* path, void** block, uint32_t* size) {
    const FileHandle file = FsOpenRead(path, 0);
    if (file == 0) {
        WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
        return -1;
    }
    InputStream stream = {};
    InitInputStream(&stream, GetFileStreamOps(), file);
    const int result = ReadWholeStream(&stream, block, size);
    FsClose(file);
    if (result != 0) {
        WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
        return -1;
    }
    return 0;
}

int LoadSoundFile(const char* path, int bufferCount, int shareHandle) {
    return LoadSoundFromFile(path, bufferCount, shareHandle);
}

int LoadSoundFromFile(const char* path, int bufferCount, int shareHandle) {
    if (path == nullptr || !SoundSystemUp())
        return -1;
    LockSound();
    const int handle = LoadFileLocked(path, bufferCount, shareHandle);
    UnlockSound();
    return handle;
}

int LoadSoundFromImage(const void* image, int size, int bufferCount, int shareHandle) {
    if (!SoundSystemUp())
        return -1;
    LockSound();
    const int handle = LoadImageLocked(image, size, bufferCount, shareHandle);
    UnlockSound();
    return handle;
}

int SetLoopPointSamples(int64_t samples, int handle) {
    LockSound();
    const int result = LoopPointLocked(samples, handle);
    UnlockSound();
    return result;
}

int SetLoopPointMs(int64_t ms, int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (ms == -1)
        return SetLoopPointSamples(-1, handle);
    return SetLoopPointSamples(ms * record->format.nSamplesPerSec / 1000, handle);
}

int ConvertToStreamSound(int handle) {
    LockSound();
    const int result = ConvertLocked(handle);
    UnlockSound();
    return result;
}

}  // namespace tessel
