// Ogg Vorbis through libvorbisfile, reading through the decoder's
// InputStream by callbacks. The stream belongs to whoever opened it, so the
// close callback leaves it alone. Both values of the build flag are served by
// the one libvorbisfile the library links.
#include <vorbis/vorbisfile.h>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/decoders/ogg_decoder.h"

namespace tessel {
namespace {

constexpr uint32_t kOggOutputBlock = 4096;
// Holes and damaged links are skipped; this many in a row end the data.
constexpr int kMaxReadFailures = 64;

int sampleWidth = 2;
int vorbisfileBuildFlag = 0;

size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
    auto* stream = static_cast<InputStream*>(source);
    if (stream == nullptr) {
        return static_cast<size_t>(-1);
    }
    return stream->ops.read(buffer, static_cast<uint32_t>(size), static_cast<uint32_t>(count),
                            stream->handle);
}

int SeekCallback(void* source, ogg_int64_t offset, int origin) {
    auto* stream = static_cast<InputStream*>(source);
    if (stream == nullptr) {
        return -1;
    }
    return stream->ops.seek(stream->handle, static_cast<int32_t>(offset), origin);
}

int CloseCallback(void* source) {
    return source == nullptr ? -1 : 0;
}

long TellCallback(void* source) {
    auto* stream = static_cast<InputStream*>(source);
    if (stream == nullptr) {
        return -1;
    }
    return stream->ops.tell(stream->handle);
}

const ov_callbacks kCallbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};

}  // namespace

void SetOggSampleWidth(int width) {
    sampleWidth = width == 1 ? 1 : 2;
}

int GetOggSampleWidth() {
    return sampleWidth;
}

void SetVorbisfileBuildFlag(int flag) {
    vorbisfileBuildFlag = flag != 0 ? 1 : 0;
}

int GetVorbisfileBuildFlag() {
    return vorbisfileBuildFlag;
}

int OggDecoderOpen(PcmDecoder* decoder) {
    auto* vorbis = static_cast<OggVorbis_File*>(
        AllocTrackedZeroed(sizeof(OggVorbis_File), __FILE__, __LINE__));
    if (vorbis == nullptr) {
        return WriteLog("Ogg Vorbis デコーダ用のメモリ確保に失敗しました\n");
    }
    // A failed open has already cleared the state.
    if (ov_open_callbacks(&decoder->stream, vorbis, nullptr, 0, kCallbacks) != 0) {
        FreeTracked(vorbis);
        return -1;
    }
    vorbis_info* info = ov_info(vorbis, -1);
    if (info == nullptr || info->channels <= 0 || info->channels > 255 || info->rate <= 0) {
        ov_clear(vorbis);
        FreeTracked(vorbis);
        return -1;
    }
    decoder->vorbis = vorbis;
    decoder->vorbisOpened = 1;
    decoder->sampleWidth = sampleWidth;
    WAVEFORMATEX& format = decoder->format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(info->channels);
    format.nSamplesPerSec = static_cast<DWORD>(info->rate);
    format.nBlockAlign = static_cast<WORD>(info->channels * decoder->sampleWidth);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.wBitsPerSample = static_cast<WORD>(decoder->sampleWidth * 8);
    format.cbSize = 0;
    decoder->outputSize = kOggOutputBlock;
    decoder->pcmSize = static_cast<uint32_t>(OggDecoderLength(decoder));
    decoder->method = kDecodeOggVorbis;
    return 0;
}

int OggDecoderRead(PcmDecoder* decoder) {
    int width = decoder->sampleWidth;
    for (int failures = 0; failures < kMaxReadFailures; ++failures) {
        int section = 0;
        long got =
            ov_read(decoder->vorbis, reinterpret_cast<char*>(decoder->output),
                    static_cast<int>(decoder->outputSize), 0, width, width == 1 ? 0 : 1, &section);
        if (got == 0) {
            return -1;
        }
        if (got > 0) {
            decoder->outputAvailable = static_cast<uint32_t>(got);
            decoder->outputReadPosition = 0;
            return 0;
        }
    }
    return -1;
}

int OggDecoderSeek(PcmDecoder* decoder, int64_t sample) {
    ov_pcm_seek(decoder->vorbis, sample);
    decoder->outputAvailable = 0;
    decoder->outputReadPosition = 0;
    decoder->pcmPosition = static_cast<uint32_t>(decoder->format.nBlockAlign * sample);
    return 0;
}

int64_t OggDecoderLength(PcmDecoder* decoder) {
    ogg_int64_t total = ov_pcm_total(decoder->vorbis, -1);
    if (total < 0) {
        return 0;
    }
    return int64_t{decoder->format.nChannels} * decoder->sampleWidth * total;
}

int OggDecoderClose(PcmDecoder* decoder) {
    if (decoder->vorbisOpened != 0) {
        ov_clear(decoder->vorbis);
        decoder->vorbisOpened = 0;
    }
    if (decoder->vorbis != nullptr) {
        FreeTracked(decoder->vorbis);
        decoder->vorbis = nullptr;
    }
    return 0;
}

}  // namespace tessel
