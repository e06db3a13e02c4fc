// Method 1 of the decoder chain: compressed data held whole in memory and
// converted to PCM a chunk at a time by the compression manager. A spare
// stream stands ready for a conversion that restarts from the beginning.
#include <algorithm>

#include "foundation/memory/memory.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {
namespace {

// Compressed bytes converted per refill, unless a block of the source is larger.
constexpr uint32_t kChunkBytes = 2048;
// A format whose one chunk decodes to more than this is taken for damage.
constexpr uint32_t kMaxChunkOutput = 16u << 20;

HACMSTREAM OpenConverter(PcmDecoder* decoder) {
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, decoder->sourceFormat, &decoder->format, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    return stream;
}

void CloseConverter(HACMSTREAM* stream) {
    if (*stream != nullptr) {
        acmStreamClose(*stream, 0);
        *stream = nullptr;
    }
}

// One conversion of the next chunk into the output block.
void ConvertChunk(PcmDecoder* decoder, uint32_t* used, uint32_t* produced) {
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = decoder->compressed + decoder->consumed;
    header.cbSrcLength = std::min(decoder->chunkSize, decoder->compressedSize - decoder->consumed);
    header.pbDst = decoder->output;
    header.cbDstLength = decoder->outputSize;
    *used = 0;
    *produced = 0;
    if (acmStreamPrepareHeader(decoder->acmStream, &header, 0) != MMSYSERR_NOERROR) {
        return;
    }
    if (acmStreamConvert(decoder->acmStream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) ==
        MMSYSERR_NOERROR) {
        *used = std::min(header.cbSrcLengthUsed, header.cbSrcLength);
        *produced = std::min(header.cbDstLengthUsed, header.cbDstLength);
    }
    acmStreamUnprepareHeader(decoder->acmStream, &header, 0);
}

// Back to the start of the compressed data on a fresh converter.
bool RestartConversion(PcmDecoder* decoder) {
    HACMSTREAM fresh =
        decoder->spareStream != nullptr ? decoder->spareStream : OpenConverter(decoder);
    decoder->spareStream = nullptr;
    if (fresh == nullptr) {
        return false;
    }
    CloseConverter(&decoder->acmStream);
    decoder->acmStream = fresh;
    decoder->spareStream = OpenConverter(decoder);
    decoder->consumed = 0;
    decoder->blockStart = 0;
    decoder->outputAvailable = 0;
    decoder->outputReadPosition = 0;
    decoder->pcmPosition = 0;
    return true;
}

}  // namespace

int AcmDecoderStart(PcmDecoder* decoder) {
    decoder->chunkSize = std::max<uint32_t>(kChunkBytes, decoder->sourceFormat->nBlockAlign);
    decoder->acmStream = OpenConverter(decoder);
    decoder->spareStream = OpenConverter(decoder);
    if (decoder->acmStream == nullptr || decoder->spareStream == nullptr) {
        return -1;
    }
    // The output block holds what one chunk makes, so that every chunk of a
    // block codec converts.
    DWORD chunkOutput = 0;
    if (acmStreamSize(decoder->acmStream, decoder->chunkSize, &chunkOutput,
                      ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR &&
        chunkOutput <= kMaxChunkOutput) {
        decoder->outputSize = std::max<uint32_t>(decoder->outputSize, chunkOutput);
    }
    uint32_t align = decoder->format.nBlockAlign;
    decoder->outputSize = std::max(decoder->outputSize - decoder->outputSize % align, align);
    decoder->blockStart = 0;
    return 0;
}

int AcmDecoderRefill(PcmDecoder* decoder) {
    decoder->blockStart = decoder->pcmPosition;
    decoder->outputAvailable = 0;
    decoder->outputReadPosition = 0;
    // A chunk may be taken without output yet (a frame split across chunks);
    // the data ends only when a conversion neither takes nor makes anything.
    while (true) {
        uint32_t used = 0;
        uint32_t produced = 0;
        ConvertChunk(decoder, &used, &produced);
        decoder->consumed += used;
        if (produced > 0) {
            decoder->outputAvailable = produced;
            return 0;
        }
        if (used == 0) {
            decoder->consumed = decoder->compressedSize;
            return -1;
        }
    }
}

void AcmDecoderSeek(PcmDecoder* decoder, uint32_t target) {
    if (target < decoder->blockStart && !RestartConversion(decoder)) {
        decoder->endOfData = 1;
        return;
    }
    while (target >= decoder->blockStart + decoder->outputAvailable) {
        decoder->pcmPosition = decoder->blockStart + decoder->outputAvailable;
        if (AcmDecoderRefill(decoder) != 0) {
            decoder->endOfData = 1;
            return;
        }
    }
    decoder->outputReadPosition = target - decoder->blockStart;
    decoder->pcmPosition = target;
}

int64_t AcmDecoderLength(PcmDecoder* decoder) {
    if (decoder->totalSamples >= 0) {
        return decoder->totalSamples * decoder->format.nBlockAlign;
    }
    // Conversion takes whole blocks only, so a part block at the end makes nothing.
    uint32_t align = std::max<uint32_t>(decoder->sourceFormat->nBlockAlign, 1);
    DWORD bytes = 0;
    if (acmStreamSize(decoder->acmStream, decoder->compressedSize - decoder->compressedSize % align,
                      &bytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
        return 0;
    }
    return bytes;
}

void AcmDecoderRelease(PcmDecoder* decoder) {
    CloseConverter(&decoder->acmStream);
    CloseConverter(&decoder->spareStream);
    if (decoder->sourceFormat != nullptr) {
        FreeTracked(decoder->sourceFormat);
        decoder->sourceFormat = nullptr;
    }
    if (decoder->compressed != nullptr) {
        FreeTracked(decoder->compressed);
        decoder->compressed = nullptr;
    }
    decoder->compressedSize = 0;
    decoder->consumed = 0;
}

}  // namespace tessel
