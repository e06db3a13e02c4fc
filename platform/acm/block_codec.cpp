// Whole-block conversion shared by the PCM, G.711 and ADPCM codecs, and the
// choice of a codec for a pair of formats.
#include <algorithm>

#include "platform/acm.h"
#include "platform/acm/codec_internal.h"

namespace platform::acm {

void BlockCodec::Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                         uint32_t room, bool end, uint32_t* used, uint32_t* produced) {
    (void)end;  // a block codec holds nothing between calls
    uint32_t blocks = std::min(sourceBytes / sourceBlock_, room / destinationBlock_);
    DecodeBlocks(source, destination, blocks);
    *used = blocks * sourceBlock_;
    *produced = blocks * destinationBlock_;
}

uint32_t BlockCodec::OutputFor(uint32_t sourceBytes) const {
    uint64_t blocks = (uint64_t{sourceBytes} + sourceBlock_ - 1) / sourceBlock_;
    return static_cast<uint32_t>(std::min<uint64_t>(blocks * destinationBlock_, UINT32_MAX));
}

uint32_t BlockCodec::InputFor(uint32_t destinationBytes) const {
    uint64_t blocks = destinationBytes / destinationBlock_;
    return static_cast<uint32_t>(std::min<uint64_t>(blocks * sourceBlock_, UINT32_MAX));
}

std::unique_ptr<Codec> MakeCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination) {
    WAVEFORMATEX expected;
    if (!SuggestPcmFormat(source, destination,
                          ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                              ACM_FORMATSUGGESTF_NSAMPLESPERSEC | ACM_FORMATSUGGESTF_WBITSPERSAMPLE,
                          &expected)) {
        return nullptr;
    }
    if (destination->nBlockAlign != expected.nBlockAlign) {
        return nullptr;
    }
    switch (source->wFormatTag) {
        case WAVE_FORMAT_PCM:
        case WAVE_FORMAT_MULAW:
        case WAVE_FORMAT_ALAW:
            return MakeSampleCodec(source, destination);
        case WAVE_FORMAT_IMA_ADPCM:
        case WAVE_FORMAT_ADPCM:
            return MakeAdpcmCodec(source, destination);
        case WAVE_FORMAT_MPEG:
        case WAVE_FORMAT_MPEGLAYER3:
            return MakeMpegCodec(source, destination);
        default:
            return nullptr;
    }
}

}  // namespace platform::acm
