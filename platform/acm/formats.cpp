// Which source formats the built-in drivers take, and the PCM format each
// makes of them: the same channels and rate, 16 bits (PCM may also change
// between 8 and 16 bits).
#include "platform/acm.h"
#include "platform/acm/codec_internal.h"

namespace platform::acm {
namespace {

constexpr uint32_t kMaxChannels = 8;

bool IsMpegRate(uint32_t rate) {
    switch (rate) {
        case 44100:
        case 48000:
        case 32000:
        case 22050:
        case 24000:
        case 16000:
        case 11025:
        case 12000:
        case 8000:
            return true;
        default:
            return false;
    }
}

// Sound source formats: the fields the codec reads are in range, so that no
// codec divides by zero or walks a block shorter than its header.
bool IsTakeableSource(const WAVEFORMATEX* source) {
    uint32_t channels = source->nChannels;
    if (channels == 0 || channels > kMaxChannels || source->nSamplesPerSec == 0) {
        return false;
    }
    uint32_t align = source->nBlockAlign;
    switch (source->wFormatTag) {
        case WAVE_FORMAT_PCM:
            return (source->wBitsPerSample == 8 || source->wBitsPerSample == 16) &&
                   align == channels * source->wBitsPerSample / 8;
        case WAVE_FORMAT_MULAW:
        case WAVE_FORMAT_ALAW:
            return source->wBitsPerSample == 8 && align == channels;
        case WAVE_FORMAT_IMA_ADPCM:
            // A header per channel, then at least one group of 8 samples.
            return source->wBitsPerSample == 4 && align >= 8 * channels &&
                   align % (4 * channels) == 0;
        case WAVE_FORMAT_ADPCM: {
            if (source->wBitsPerSample != 4 || align < 7 * channels + channels ||
                source->cbSize < 4 + 7 * 4) {
                return false;
            }
            auto* adpcm = reinterpret_cast<const ADPCMWAVEFORMAT*>(source);
            return adpcm->wNumCoef >= 7 && source->cbSize >= 4 + 4u * adpcm->wNumCoef;
        }
        case WAVE_FORMAT_MPEG:
        case WAVE_FORMAT_MPEGLAYER3:
            return channels <= 2 && IsMpegRate(source->nSamplesPerSec);
        default:
            return false;
    }
}

}  // namespace

bool SuggestPcmFormat(const WAVEFORMATEX* source, const WAVEFORMATEX* wanted, uint32_t flags,
                      WAVEFORMATEX* suggested) {
    if (!IsTakeableSource(source)) {
        return false;
    }
    if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) != 0 && wanted->wFormatTag != WAVE_FORMAT_PCM) {
        return false;
    }
    if ((flags & ACM_FORMATSUGGESTF_NCHANNELS) != 0 && wanted->nChannels != source->nChannels) {
        return false;
    }
    if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) != 0 &&
        wanted->nSamplesPerSec != source->nSamplesPerSec) {
        return false;
    }
    WORD bits = source->wFormatTag == WAVE_FORMAT_PCM ? source->wBitsPerSample : 16;
    if ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != 0) {
        bool pcmWidth = wanted->wBitsPerSample == 8 || wanted->wBitsPerSample == 16;
        if (wanted->wBitsPerSample != bits &&
            !(source->wFormatTag == WAVE_FORMAT_PCM && pcmWidth)) {
            return false;
        }
        bits = wanted->wBitsPerSample;
    }
    suggested->wFormatTag = WAVE_FORMAT_PCM;
    suggested->nChannels = source->nChannels;
    suggested->nSamplesPerSec = source->nSamplesPerSec;
    suggested->wBitsPerSample = bits;
    suggested->nBlockAlign = static_cast<WORD>(source->nChannels * bits / 8);
    suggested->nAvgBytesPerSec = suggested->nBlockAlign * source->nSamplesPerSec;
    suggested->cbSize = 0;
    return true;
}

}  // namespace platform::acm
