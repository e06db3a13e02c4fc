// The MP3 opener of the decoder chain: skips an ID3v2 tag at the start and a
// 128-byte "TAG" block at the end, walks the MPEG audio frames to count the
// samples, and hands the frames to the compression manager as an MPEG
// layer-3 wave format built from the first frame.
#include <algorithm>
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "images/stream_reading.h"
#include "sound/decoders/mp3_frames.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {
namespace {

// Kbit/s by version, layer and index; index 0 (free format) has none.
constexpr int16_t kBitRates[2][3][16] = {
    // MPEG-2
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    // MPEG-1
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
constexpr int32_t kSampleRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

// Codec delay written into the wave format, as encoders commonly state it.
constexpr WORD kCodecDelay = 700;
constexpr uint32_t kTrailingTagBytes = 128;

}  // namespace

int ParseMp3FrameHeader(const uint8_t* b, Mp3FrameHeader* header) {
    if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) {
        return -1;
    }
    int32_t mpeg1 = (b[1] >> 3) & 1;
    int32_t layer = 3 - ((b[1] >> 1) & 3);
    int32_t bitIndex = b[2] >> 4;
    int32_t rateIndex = (b[2] >> 2) & 3;
    if (layer == 3 || bitIndex == 15 || bitIndex == 0 || rateIndex == 3) {
        return -1;
    }
    header->mpeg1 = mpeg1;
    header->layer = layer;
    header->bitRate = kBitRates[mpeg1][layer][bitIndex];
    header->sampleRate = kSampleRates[mpeg1][rateIndex];
    header->padding = (b[2] >> 1) & 1;
    header->channels = (b[3] >> 6) == 3 ? 1 : 2;
    if (layer == 0) {
        header->samplesPerFrame = 384;
        header->frameSize = (12000 * header->bitRate / header->sampleRate + header->padding) * 4;
    } else if (mpeg1 == 1 || layer == 1) {
        // Layer II keeps 1152 samples a frame in MPEG-2 too; only layer III halves.
        header->samplesPerFrame = 1152;
        header->frameSize = 144000 * header->bitRate / header->sampleRate + header->padding;
    } else {
        header->samplesPerFrame = 576;
        header->frameSize = 72000 * header->bitRate / header->sampleRate + header->padding;
    }
    return header->frameSize > 0 ? 0 : -1;
}

uint32_t Id3TagSkip(const uint8_t* first10, uint32_t available) {
    if (available < 10 || std::memcmp(first10, "ID3", 3) != 0) {
        return 0;
    }
    uint32_t version = first10[3];
    uint32_t flags = first10[5];
    uint32_t size = (uint32_t{first10[6] & 0x7Fu} << 21) | (uint32_t{first10[7] & 0x7Fu} << 14) |
                    (uint32_t{first10[8] & 0x7Fu} << 7) | (first10[9] & 0x7Fu);
    uint32_t skip = size + 10;
    if (version == 4 && (flags & 0x10) != 0) {
        skip += 10;
    }
    return skip;
}

int ScanMp3Frames(const uint8_t* data, uint32_t start, uint32_t end, Mp3Scan* scan) {
    *scan = {};
    bool found = false;
    uint32_t at = start;
    while (at + 4 <= end) {
        if (data[at] != 0xFF || (data[at + 1] & 0xF0) != 0xF0) {
            ++at;
            continue;
        }
        Mp3FrameHeader header;
        if (ParseMp3FrameHeader(data + at, &header) != 0) {
            return -1;
        }
        // A frame cut off by the end of the data ends the walk there.
        if (uint64_t{at} + header.frameSize > end) {
            break;
        }
        if (!found) {
            found = true;
            scan->firstFrame = at;
            scan->first = header;
        }
        scan->totalSamples += header.samplesPerFrame;
        at += header.frameSize;
        scan->dataEnd = at;
    }
    return found ? 0 : -1;
}

int OpenMp3AcmDecoder(PcmDecoder* decoder) {
    InputStream* stream = &decoder->stream;
    int32_t length = StreamLength(stream);
    if (length <= 4) {
        return -1;
    }
    uint8_t* file =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(length), __FILE__, __LINE__));
    if (file == nullptr) {
        return WriteLog("MP3データ用のメモリ確保に失敗しました\n");
    }
    uint32_t got = stream->ops.read(file, 1, static_cast<uint32_t>(length), stream->handle);
    uint32_t skip = Id3TagSkip(file, got);
    uint32_t end = got;
    if (end > kTrailingTagBytes && std::memcmp(file + end - kTrailingTagBytes, "TAG", 3) == 0) {
        end -= kTrailingTagBytes;
    }
    Mp3Scan scan;
    if (skip >= end || ScanMp3Frames(file, skip, end, &scan) != 0) {
        FreeTracked(file);
        return -1;
    }

    DWORD formatBytes = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &formatBytes) != MMSYSERR_NOERROR ||
        formatBytes == 0) {
        formatBytes = sizeof(MPEGLAYER3WAVEFORMAT);
    }
    formatBytes = std::max<DWORD>(formatBytes, sizeof(MPEGLAYER3WAVEFORMAT));
    auto* mp3 =
        static_cast<MPEGLAYER3WAVEFORMAT*>(AllocTrackedZeroed(formatBytes, __FILE__, __LINE__));
    if (mp3 == nullptr) {
        FreeTracked(file);
        return WriteLog("MP3フォーマット用のメモリ確保に失敗しました\n");
    }
    const Mp3FrameHeader& first = scan.first;
    mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3->wfx.nChannels = static_cast<WORD>(first.channels);
    mp3->wfx.nSamplesPerSec = static_cast<DWORD>(first.sampleRate);
    mp3->wfx.nAvgBytesPerSec = static_cast<DWORD>(first.bitRate * 1000 / 8);
    mp3->wfx.nBlockAlign = 1;
    mp3->wfx.wBitsPerSample = 0;
    mp3->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3->wID = MPEGLAYER3_ID_MPEG;
    mp3->fdwFlags = static_cast<DWORD>(first.padding);
    mp3->nBlockSize = static_cast<WORD>(first.frameSize);
    mp3->nFramesPerBlock = 1;
    mp3->nCodecDelay = kCodecDelay;
    decoder->sourceFormat = &mp3->wfx;
    decoder->dataStart = static_cast<int32_t>(scan.firstFrame);
    decoder->dataSize = scan.dataEnd - scan.firstFrame;
    decoder->totalSamples = scan.totalSamples;

    std::memset(&decoder->format, 0, sizeof(decoder->format));
    decoder->format.wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, decoder->sourceFormat, &decoder->format, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        FreeTracked(file);
        AcmDecoderRelease(decoder);
        return -1;
    }
    // Only the frames are kept: the file image shrinks to them in place.
    std::memmove(file, file + scan.firstFrame, decoder->dataSize);
    decoder->compressed = file;
    decoder->compressedSize = decoder->dataSize;
    decoder->outputSize = static_cast<uint32_t>(uint64_t{decoder->format.nAvgBytesPerSec} * 4 / 3);
    if (AcmDecoderStart(decoder) != 0) {
        AcmDecoderRelease(decoder);
        return -1;
    }
    decoder->method = kDecodeAcm;
    return 0;
}

}  // namespace tessel
