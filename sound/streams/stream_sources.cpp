// Adding sources to a stream sound: the source's data kept as its kind asks,
// its decoder, the format check against the sources before it, and the ring
// the first source makes or shares.
#include <cstring>

#include "foundation/files/streams.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/decoders/pcm_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/streams/stream_internal.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

void CloseSourceDecoder(void* decoder) {
    CloseDecoder(static_cast<PcmDecoder*>(decoder));
    FreeTracked(decoder);
}

void CloseSourceMemoryStream(void* stream) {
    CloseMemoryStream(reinterpret_cast<StreamHandle>(stream));
}

void CloseSourceFile(void* file) {
    FsClose(reinterpret_cast<FileHandle>(file));
}

// Everything an entry made, released, and the entry cleared.
void ReleaseSource(StreamSoundSource* source) {
    if (source->decoder != nullptr)
        source->closeDecoder(source->decoder);
    if (source->memoryStream != nullptr)
        source->closeMemoryStream(source->memoryStream);
    if (source->fileImage != nullptr)
        FreeTracked(source->fileImage);
    *source = StreamSoundSource{};
}

PcmDecoder* OpenSourceDecoder(const InputStream* stream) {
    auto* decoder =
        static_cast<PcmDecoder*>(AllocTrackedZeroed(sizeof(PcmDecoder), __FILE__, __LINE__));
    if (decoder == nullptr) {
        WriteLog("音声データのオープンに失敗しました");
        return nullptr;
    }
    if (OpenDecoder(stream, decoder) != 0) {
        FreeTracked(decoder);
        WriteLog("音声データのオープンに失敗しました");
        return nullptr;
    }
    return decoder;
}

// The source decodes its file image through a memory stream over it.
int OpenOverImage(StreamSoundSource* source) {
    MemoryStream* memory = OpenMemoryStream(source->fileImage, source->fileImageSize);
    if (memory == nullptr) {
        WriteLog("音声データのオープンに失敗しました");
        return -1;
    }
    source->memoryStream = memory;
    source->closeMemoryStream = CloseSourceMemoryStream;
    InputStream over = {};
    InitInputStream(&over, GetMemoryStreamOps(), StreamHandleOf(memory));
    PcmDecoder* decoder = OpenSourceDecoder(&over);
    if (decoder == nullptr)
        return -1;
    source->decoder = decoder;
    source->closeDecoder = CloseSourceDecoder;
    return 0;
}

// Decodes the whole stream once and keeps the PCM as a WAV image, so that
// playing it later costs no decoding.
int KeepDecodedImage(const InputStream* stream, StreamSoundSource* source) {
    void* file = nullptr;
    uint32_t fileSize = 0;
    if (ReadWholeStream(stream, &file, &fileSize) != 0) {
        WriteLog("音声データの読み込みに失敗しました");
        return -1;
    }
    MemoryStream* memory = OpenMemoryStream(file, fileSize);
    PcmDecoder whole = {};
    InputStream over = {};
    if (memory != nullptr)
        InitInputStream(&over, GetMemoryStreamOps(), StreamHandleOf(memory));
    if (memory == nullptr || OpenDecoder(&over, &whole) != 0) {
        if (memory != nullptr)
            CloseMemoryStream(StreamHandleOf(memory));
        FreeTracked(file);
        WriteLog("音声データのオープンに失敗しました");
        return -1;
    }
    WAVEFORMATEX format = {};
    void* pcm = nullptr;
    uint32_t pcmSize = 0;
    const int decoded = DecodeAllToMemory(&whole, &format, &pcm, &pcmSize);
    CloseDecoder(&whole);
    CloseMemoryStream(StreamHandleOf(memory));
    FreeTracked(file);
    if (decoded != 0) {
        WriteLog("音声データの変換に失敗しました");
        return -1;
    }
    const int built = BuildWaveImage(&source->fileImage, &source->fileImageSize, &format,
                                     sizeof(WAVEFORMATEX), pcm, pcmSize);
    FreeTracked(pcm);
    if (built != 0) {
        WriteLog("音声データの変換に失敗しました");
        return -1;
    }
    return OpenOverImage(source);
}

int KeepFileImage(const InputStream* stream, StreamSoundSource* source) {
    if (ReadWholeStream(stream, &source->fileImage, &source->fileImageSize) != 0) {
        WriteLog("音声データの読み込みに失敗しました");
        return -1;
    }
    return OpenOverImage(source);
}

int OpenSource(const InputStream* stream, int kind, StreamSoundSource* source) {
    source->kind = kind;
    switch (kind) {
        case kSourceDecodedImage:
            return KeepDecodedImage(stream, source);
        case kSourceFileImage:
            return KeepFileImage(stream, source);
        case kSourceOwnStream: {
            PcmDecoder* decoder = OpenSourceDecoder(stream);
            if (decoder == nullptr)
                return -1;
            source->decoder = decoder;
            source->closeDecoder = CloseSourceDecoder;
            return 0;
        }
        default:
            WriteLogFormat("ストリームのソースの種類 %d には対応していません\n", kind);
            return -1;
    }
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return std::memcmp(&a, &b, sizeof(WAVEFORMATEX)) == 0;
}

// Plays through the ring of `shareHandle` when it can, else makes its own.
int SetUpRing(int handle, SoundRecord* record, int shareHandle) {
    SoundRecord* owner = shareHandle == -1 ? nullptr : SoundRecordFromHandle(shareHandle);
    record->sharerCount = 0;
    record->currentUser = -1;
    if (owner != nullptr && owner != record && owner->kind == kStreamSound &&
        owner->sharedOwner == -1 && owner->buffers[0].valid &&
        SameFormat(owner->format, record->format)) {
        record->kind = kStreamSound;
        record->sharedOwner = shareHandle;
        record->ringBytes = owner->ringBytes;
        ++owner->sharerCount;
        ListInsertAfter(&g_soundSystem.streamHead, &record->streamNode, handle, record);
        return 0;
    }
    record->sharedOwner = -1;
    return CreateSoundBuffers(-1, &record->format, 0, 1, 1, handle);
}

int RefuseAdding(SoundRecord* record, int handle) {
    if (record->sourceCount == 0 && (record->kind == kStreamSound || record->bufferCount == 0))
        return 0;
    if (record->kind != kStreamSound) {
        WriteLog("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
        return -1;
    }
    if (IsStreamPlaying(handle) == 1) {
        WriteLog("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
        return -1;
    }
    if (record->sourceCount >= kStreamSourceSlots) {
        WriteLog("ストリーム風サウンドの制御データ領域がいっぱいです\n");
        return -1;
    }
    return 0;
}

int AddLocked(const InputStream* stream, int loopCount, int handle, int kind, int* ownsStream,
              int shareHandle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr || stream == nullptr)
        return -1;
    if (RefuseAdding(record, handle) != 0)
        return -1;
    const int index = record->sourceCount;
    StreamSoundSource* source = &record->sources[index];
    *source = StreamSoundSource{};
    stream->ops.seek(stream->handle, 0, 0);
    if (OpenSource(stream, kind, source) != 0) {
        ReleaseSource(source);
        return -1;
    }
    auto* decoder = static_cast<PcmDecoder*>(source->decoder);
    WAVEFORMATEX format = {};
    GetDecoderFormat(decoder, &format);
    if (index == 0) {
        record->format = format;
        if (SetUpRing(handle, record, shareHandle) != 0) {
            ReleaseSource(source);
            return -1;
        }
    } else if (!SameFormat(format, record->format)) {
        WriteLog("フォーマットの違う音声データは同時に使うことは出来ません");
        ReleaseSource(source);
        return -1;
    }
    source->loopCount = loopCount & 0xFF;
    ++record->sourceCount;
    const int32_t block = format.nBlockAlign == 0 ? 1 : format.nBlockAlign;
    record->totalSamples += GetDecoderPcmSize(decoder) / block;
    if (ownsStream != nullptr)
        *ownsStream = kind == kSourceOwnStream ? 0 : 1;
    return 0;
}

}  // namespace

int ReadWholeStream(const InputStream* stream, void** block, uint32_t* size) {
    const StreamOps& ops = stream->ops;
    ops.seek(stream->handle, 0, 2);
    const int32_t length = ops.tell(stream->handle);
    ops.seek(stream->handle, 0, 0);
    if (length < 0)
        return -1;
    auto* bytes = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>(length > 0 ? length : 1), __FILE__, __LINE__));
    if (bytes == nullptr) {
        WriteLog("ストリームの読み込みに必要なメモリの確保に失敗しました");
        return -1;
    }
    const uint32_t got = ops.read(bytes, 1, static_cast<uint32_t>(length), stream->handle);
    *block = bytes;
    *size = got < static_cast<uint32_t>(length) ? got : static_cast<uint32_t>(length);
    return 0;
}

int AddSreamSound(const InputStream* stream, int loopCount, int handle, int kind, int* ownsStream,
                  int shareHandle) {
    LockSound();
    const int result = AddLocked(stream, loopCount, handle, kind, ownsStream, shareHandle);
    UnlockSound();
    return result;
}

int AddStreamSourceFile(const char* path, int loopCount, int handle, int mode, int shareHandle) {
    const FileHandle file = FsOpenRead(path, 0);
    if (file == 0) {
        WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
        return -1;
    }
    InputStream stream = {};
    InitInputStream(&stream, GetFileStreamOps(), file);
    LockSound();
    int owns = 1;
    int result = AddLocked(&stream, loopCount, handle, mode, &owns, shareHandle);
    if (result == 0 && owns == 0) {
        SoundRecord* record = SoundRecordFromHandle(handle);
        StreamSoundSource& source = record->sources[record->sourceCount - 1];
        source.ownedStream = reinterpret_cast<void*>(file);
        source.closeStream = CloseSourceFile;
    }
    UnlockSound();
    if (result != 0) {
        FsClose(file);
        WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
        return -1;
    }
    if (owns != 0)
        FsClose(file);
    return 0;
}

int AddStreamSourceMemory(const void* image, uint32_t size, int loopCount, int handle, int mode,
                          int shareHandle) {
    MemoryStream* memory = OpenMemoryStream(image, size);
    if (memory == nullptr) {
        WriteLog("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
        return -1;
    }
    // The caller's image may go once this returns, so the source copies it.
    const int kind = mode == kSourceOwnStream ? kSourceFileImage : mode;
    InputStream stream = {};
    InitInputStream(&stream, GetMemoryStreamOps(), StreamHandleOf(memory));
    const int result = AddSreamSound(&stream, loopCount, handle, kind, nullptr, shareHandle);
    CloseMemoryStream(StreamHandleOf(memory));
    if (result != 0) {
        WriteLog("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
        return -1;
    }
    return 0;
}

}  // namespace tessel
