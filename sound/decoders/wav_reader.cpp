// The two WAV openers of the decoder chain. Both walk the RIFF chunks the
// same way: "RIFF" and "WAVE", an optional "bext" chunk, "fmt ", then any
// chunks up to "data". Every chunk size is checked against the stream, odd
// sizes are padded as RIFF lays them out, and a "data" chunk that claims more
// than the file holds is cut to the bytes there.
#include <algorithm>
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "images/stream_reading.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {
namespace {

// Output blocks of stream decoders hold about a second, within these bounds.
constexpr uint32_t kMinOutputBlock = 4096;
constexpr uint32_t kMaxOutputBlock = 4u << 20;

struct ChunkHeader {
    char id[4];
    uint32_t size;
    int32_t bodyStart;
};

bool ReadChunkHeader(InputStream* stream, ChunkHeader* chunk) {
    uint8_t bytes[8];
    if (!ReadExactly(stream, bytes, 8)) {
        return false;
    }
    std::memcpy(chunk->id, bytes, 4);
    chunk->size = LoadLe32(bytes + 4);
    chunk->bodyStart = StreamPosition(stream);
    return true;
}

bool IsChunk(const ChunkHeader& chunk, const char* id) {
    return std::memcmp(chunk.id, id, 4) == 0;
}

// The chunk's body and its pad byte lie inside the stream.
bool FitsStream(const ChunkHeader& chunk, int32_t length) {
    return int64_t{chunk.bodyStart} + chunk.size <= length;
}

bool SkipChunk(InputStream* stream, const ChunkHeader& chunk) {
    int64_t next = int64_t{chunk.bodyStart} + chunk.size + (chunk.size & 1);
    return stream->ops.seek(stream->handle, static_cast<int32_t>(next), 0) == 0;
}

// What the walk found: the fmt chunk's bytes (at least 18, zero-filled past
// the chunk, a tracked block) and where the data lies.
struct WavLayout {
    uint8_t* fmt;
    int32_t fmtPosition;
    uint32_t fmtSize;
    int32_t dataStart;
    uint32_t dataSize;
};

int WalkWav(InputStream* stream, WavLayout* layout) {
    *layout = {};
    int32_t length = StreamLength(stream);
    uint8_t riff[12];
    if (!ReadExactly(stream, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return -1;
    }
    ChunkHeader chunk;
    if (!ReadChunkHeader(stream, &chunk)) {
        return -1;
    }
    if (IsChunk(chunk, "bext")) {
        if (!FitsStream(chunk, length) || !SkipChunk(stream, chunk) ||
            !ReadChunkHeader(stream, &chunk)) {
            return -1;
        }
    }
    if (!IsChunk(chunk, "fmt ") || chunk.size < 16 || !FitsStream(chunk, length)) {
        return -1;
    }
    layout->fmtPosition = chunk.bodyStart;
    layout->fmtSize = chunk.size;
    layout->fmt = static_cast<uint8_t*>(AllocTrackedZeroed(
        std::max<uint32_t>(chunk.size, sizeof(WAVEFORMATEX)), __FILE__, __LINE__));
    if (layout->fmt == nullptr) {
        return WriteLog("WAVEフォーマット用のメモリ確保に失敗しました\n");
    }
    if (!ReadExactly(stream, layout->fmt, chunk.size) || !SkipChunk(stream, chunk)) {
        FreeTracked(layout->fmt);
        return -1;
    }
    // The fields every later step divides by.
    auto* format = reinterpret_cast<WAVEFORMATEX*>(layout->fmt);
    bool usable = format->nChannels != 0 && format->nSamplesPerSec != 0 && format->nBlockAlign != 0;
    while (usable && ReadChunkHeader(stream, &chunk)) {
        if (IsChunk(chunk, "data")) {
            layout->dataStart = chunk.bodyStart;
            layout->dataSize = static_cast<uint32_t>(
                std::min<int64_t>(chunk.size, int64_t{length} - chunk.bodyStart));
            return 0;
        }
        if (!FitsStream(chunk, length) || !SkipChunk(stream, chunk)) {
            break;
        }
    }
    FreeTracked(layout->fmt);
    layout->fmt = nullptr;
    return -1;
}

// A 16-byte fmt chunk has no size field and leaves the bits to be derived.
void CompleteShortFormat(WAVEFORMATEX* format, uint32_t fmtSize) {
    if (fmtSize == 16) {
        format->wBitsPerSample = static_cast<WORD>(format->nBlockAlign / format->nChannels * 8);
        format->cbSize = 0;
    }
}

uint32_t OutputBlockFor(const WAVEFORMATEX& pcm) {
    uint64_t perSecond = uint64_t{pcm.nBlockAlign} * pcm.nSamplesPerSec;
    uint32_t size =
        static_cast<uint32_t>(std::clamp<uint64_t>(perSecond, kMinOutputBlock, kMaxOutputBlock));
    return std::max<uint32_t>(size - size % pcm.nBlockAlign, pcm.nBlockAlign);
}

}  // namespace

int OpenWavPcmDecoder(PcmDecoder* decoder) {
    WavLayout layout;
    if (WalkWav(&decoder->stream, &layout) != 0) {
        return -1;
    }
    auto* format = reinterpret_cast<WAVEFORMATEX*>(layout.fmt);
    if (format->wFormatTag != WAVE_FORMAT_PCM) {
        FreeTracked(layout.fmt);
        return -1;
    }
    std::memcpy(&decoder->format, layout.fmt, sizeof(WAVEFORMATEX));
    CompleteShortFormat(&decoder->format, layout.fmtSize);
    FreeTracked(layout.fmt);
    decoder->fmtChunkPosition = layout.fmtPosition;
    decoder->fmtChunkSize = layout.fmtSize;
    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize;
    decoder->outputSize = OutputBlockFor(decoder->format);
    decoder->method = kDecodeWavPcm;
    return 0;
}

int OpenWavAcmDecoder(PcmDecoder* decoder) {
    WavLayout layout;
    if (WalkWav(&decoder->stream, &layout) != 0) {
        return -1;
    }
    auto* source = reinterpret_cast<WAVEFORMATEX*>(layout.fmt);
    CompleteShortFormat(source, layout.fmtSize);
    // The extra bytes the record claims must lie inside the chunk.
    if (layout.fmtSize >= sizeof(WAVEFORMATEX)) {
        source->cbSize = static_cast<WORD>(
            std::min<uint32_t>(source->cbSize, layout.fmtSize - sizeof(WAVEFORMATEX)));
    }
    decoder->sourceFormat = source;
    decoder->fmtChunkPosition = layout.fmtPosition;
    decoder->fmtChunkSize = layout.fmtSize;
    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize;
    decoder->totalSamples = -1;

    std::memset(&decoder->format, 0, sizeof(decoder->format));
    decoder->format.wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, source, &decoder->format, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        AcmDecoderRelease(decoder);
        return -1;
    }
    decoder->compressed = static_cast<uint8_t*>(
        AllocTracked(std::max<uint32_t>(layout.dataSize, 1), __FILE__, __LINE__));
    if (decoder->compressed == nullptr) {
        AcmDecoderRelease(decoder);
        return WriteLog("圧縮データ用のメモリ確保に失敗しました\n");
    }
    InputStream* stream = &decoder->stream;
    stream->ops.seek(stream->handle, layout.dataStart, 0);
    decoder->compressedSize =
        stream->ops.read(decoder->compressed, 1, layout.dataSize, stream->handle);
    stream->ops.seek(stream->handle, layout.dataStart, 0);
    decoder->outputSize = OutputBlockFor(decoder->format);
    if (AcmDecoderStart(decoder) != 0) {
        AcmDecoderRelease(decoder);
        return -1;
    }
    decoder->method = kDecodeAcm;
    return 0;
}

}  // namespace tessel
