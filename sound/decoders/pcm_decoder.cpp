// The decoder chain's front: OpenDecoder tries the openers in their fixed
// order, and reading, seeking, length and closing dispatch on the method the
// successful opener chose. Also whole-file decoding into memory.
//
// Routes: OpenDecoder -> openers (wav_reader, ogg_decoder, mp3_reader, the
// conversion graph) -> output block; ReadDecoder -> Refill by method;
// SeekDecoder by method; CloseDecoder releases by method.
#include <algorithm>
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/decoders/ogg_decoder.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {
namespace {

// Seeks that move the position by this many bytes or fewer are not made.
constexpr int64_t kSeekSlack = 15;

void Rewind(PcmDecoder* decoder) {
    decoder->stream.ops.seek(decoder->stream.handle, 0, 0);
}

void ReleaseByMethod(PcmDecoder* decoder) {
    switch (decoder->method) {
        case kDecodeAcm:
            AcmDecoderRelease(decoder);
            break;
        case kDecodeOggVorbis:
            OggDecoderClose(decoder);
            break;
        case kDecodePcmMemory:
            if (decoder->pcmBlock != nullptr) {
                FreeTracked(decoder->pcmBlock);
                decoder->pcmBlock = nullptr;
            }
            break;
        default:
            break;
    }
}

// Fills the empty output block; 0, or -1 when the data has ended.
int Refill(PcmDecoder* decoder) {
    switch (decoder->method) {
        case kDecodeWavPcm: {
            uint32_t left = decoder->pcmPosition < decoder->dataSize
                                ? decoder->dataSize - decoder->pcmPosition
                                : 0;
            uint32_t want = std::min(left, decoder->outputSize);
            if (want == 0) {
                return -1;
            }
            // What the stream really gave is what is played, never the block's old bytes.
            uint32_t got =
                decoder->stream.ops.read(decoder->output, 1, want, decoder->stream.handle);
            if (got == 0) {
                return -1;
            }
            decoder->outputAvailable = std::min(got, want);
            decoder->outputReadPosition = 0;
            return 0;
        }
        case kDecodeAcm:
            return AcmDecoderRefill(decoder);
        case kDecodeOggVorbis:
            return OggDecoderRead(decoder);
        case kDecodePcmMemory: {
            uint32_t left = decoder->pcmSize - std::min(decoder->pcmReadPosition, decoder->pcmSize);
            uint32_t take = std::min(left, decoder->outputSize);
            if (take == 0) {
                return -1;
            }
            std::memcpy(decoder->output, decoder->pcmBlock + decoder->pcmReadPosition, take);
            decoder->pcmReadPosition += take;
            decoder->outputAvailable = take;
            decoder->outputReadPosition = 0;
            return 0;
        }
        default:
            return -1;
    }
}

}  // namespace

namespace {

using Opener = int (*)(PcmDecoder*);

// The graph step answers for itself: it reads the stream from where the last
// opener left it.
int OpenFirstThatTakes(const InputStream* stream, PcmDecoder* decoder, const Opener* openers,
                       int count, bool thenGraph) {
    std::memset(decoder, 0, sizeof(*decoder));
    decoder->vorbisBuild = GetVorbisfileBuildFlag();
    decoder->stream = *stream;
    bool opened = false;
    for (int i = 0; i < count && !opened; ++i) {
        Rewind(decoder);
        opened = openers[i](decoder) == 0;
    }
    if (!opened && !(thenGraph && DecodeMp3ToPcm(decoder) == 0)) {
        return -1;
    }
    decoder->output = static_cast<uint8_t*>(AllocTracked(decoder->outputSize, __FILE__, __LINE__));
    if (decoder->output == nullptr) {
        ReleaseByMethod(decoder);
        return WriteLog("サウンドデコード用のメモリ確保に失敗しました\n");
    }
    decoder->outputAvailable = 0;
    decoder->outputReadPosition = 0;
    decoder->pcmPosition = 0;
    decoder->open = 1;
    return 0;
}

}  // namespace

int OpenDecoder(const InputStream* stream, PcmDecoder* decoder) {
    const Opener openers[] = {OpenWavPcmDecoder, OpenWavAcmDecoder, OggDecoderOpen,
                              OpenMp3AcmDecoder};
    return OpenFirstThatTakes(stream, decoder, openers, 4, true);
}

int OpenDecoderWith(const InputStream* stream, PcmDecoder* decoder,
                    int (*const* openers)(PcmDecoder*), int openerCount) {
    return OpenFirstThatTakes(stream, decoder, openers, openerCount, false);
}

int32_t ReadDecoder(PcmDecoder* decoder, void* buffer, uint32_t bytes) {
    if (decoder->open == 0) {
        return -1;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t delivered = 0;
    while (delivered < bytes) {
        if (decoder->outputReadPosition >= decoder->outputAvailable) {
            if (decoder->endOfData != 0 || Refill(decoder) != 0) {
                decoder->endOfData = 1;
                break;
            }
        }
        uint32_t take =
            std::min(bytes - delivered, decoder->outputAvailable - decoder->outputReadPosition);
        std::memcpy(out + delivered, decoder->output + decoder->outputReadPosition, take);
        decoder->outputReadPosition += take;
        decoder->pcmPosition += take;
        delivered += take;
    }
    return static_cast<int32_t>(delivered);
}

int SeekDecoder(PcmDecoder* decoder, int64_t sample) {
    if (decoder->open == 0) {
        return 0;
    }
    int64_t target = std::max<int64_t>(sample, 0) * decoder->format.nBlockAlign;
    if (std::abs(target - int64_t{decoder->pcmPosition}) <= kSeekSlack) {
        return 0;
    }
    return SeekDecoderExactly(decoder, sample);
}

int SeekDecoderExactly(PcmDecoder* decoder, int64_t sample) {
    if (decoder->open == 0) {
        return 0;
    }
    int64_t target = std::max<int64_t>(sample, 0) * decoder->format.nBlockAlign;
    decoder->endOfData = 0;
    switch (decoder->method) {
        case kDecodeWavPcm: {
            uint32_t clamped = static_cast<uint32_t>(std::min<int64_t>(target, decoder->dataSize));
            decoder->stream.ops.seek(decoder->stream.handle,
                                     static_cast<int32_t>(decoder->dataStart + clamped), 0);
            decoder->outputAvailable = 0;
            decoder->outputReadPosition = 0;
            decoder->pcmPosition = clamped;
            break;
        }
        case kDecodeAcm:
            AcmDecoderSeek(decoder, static_cast<uint32_t>(std::min<int64_t>(target, UINT32_MAX)));
            break;
        case kDecodeOggVorbis:
            OggDecoderSeek(decoder, sample);
            break;
        case kDecodePcmMemory: {
            uint32_t clamped = static_cast<uint32_t>(std::min<int64_t>(target, decoder->pcmSize));
            decoder->outputAvailable = 0;
            decoder->outputReadPosition = 0;
            decoder->pcmReadPosition = clamped;
            decoder->pcmPosition = clamped;
            break;
        }
        default:
            break;
    }
    return 0;
}

int CloseDecoder(PcmDecoder* decoder) {
    if (decoder->open == 0) {
        return -1;
    }
    if (decoder->output != nullptr) {
        FreeTracked(decoder->output);
        decoder->output = nullptr;
    }
    ReleaseByMethod(decoder);
    decoder->open = 0;
    return 0;
}

int GetDecoderFormat(const PcmDecoder* decoder, WAVEFORMATEX* format) {
    std::memcpy(format, &decoder->format, sizeof(WAVEFORMATEX));
    return 0;
}

int64_t GetDecoderPcmSize(PcmDecoder* decoder) {
    switch (decoder->method) {
        case kDecodeWavPcm:
            return decoder->dataSize;
        case kDecodeAcm:
            return AcmDecoderLength(decoder);
        case kDecodeOggVorbis:
            return OggDecoderLength(decoder);
        case kDecodePcmMemory:
            return decoder->pcmSize;
        default:
            return 0;
    }
}

int DecodeAllToMemory(PcmDecoder* decoder, WAVEFORMATEX* format, void** pcm, uint32_t* size) {
    int64_t length = GetDecoderPcmSize(decoder);
    if (decoder->open == 0 || length < 0 || length > INT32_MAX) {
        return -1;
    }
    auto* block = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>(std::max<int64_t>(length, 1)), __FILE__, __LINE__));
    if (block == nullptr) {
        return WriteLog("サウンドデータ展開用のメモリ確保に失敗しました\n");
    }
    SeekDecoder(decoder, 0);
    uint32_t delivered;
    if (decoder->method == kDecodeWavPcm) {
        decoder->stream.ops.seek(decoder->stream.handle, decoder->dataStart, 0);
        delivered = decoder->stream.ops.read(block, 1, static_cast<uint32_t>(length),
                                             decoder->stream.handle);
        delivered = std::min(delivered, static_cast<uint32_t>(length));
    } else {
        int32_t got = ReadDecoder(decoder, block, static_cast<uint32_t>(length));
        delivered = got > 0 ? static_cast<uint32_t>(got) : 0;
    }
    *pcm = block;
    *size = delivered;
    GetDecoderFormat(decoder, format);
    return 0;
}

}  // namespace tessel
