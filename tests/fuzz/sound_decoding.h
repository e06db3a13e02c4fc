// What the sound fuzz targets share: a decoder opened over the input with a
// given list of openers, then used the way the sound system uses one: read
// in pieces, sought back and forth, its length asked and, when small, decoded
// whole into memory.
#pragma once

#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel_fuzz {

// PCM read per input at most; a few seconds of sound cover every path.
constexpr uint32_t kPcmReadLimit = 4u << 20;

inline void ReadSome(tessel::PcmDecoder* decoder, uint32_t limit) {
    static uint8_t buffer[4096];
    uint32_t total = 0;
    while (total < limit) {
        int32_t got = tessel::ReadDecoder(decoder, buffer, sizeof(buffer));
        if (got < 0) {
            __builtin_trap();  // a read never reports a negative count
        }
        sink = sink + SumBytes(buffer, static_cast<uint32_t>(got));
        total += static_cast<uint32_t>(got);
        if (got < static_cast<int32_t>(sizeof(buffer))) {
            break;
        }
    }
}

inline int RunSoundDecoder(const uint8_t* data, size_t size,
                           int (*const* openers)(tessel::PcmDecoder*), int openerCount) {
    ExactCopy copy(data, size);
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(copy.bytes.get(), static_cast<uint32_t>(size));
    if (memory == nullptr) {
        return 0;
    }
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(), tessel::StreamHandleOf(memory));
    tessel::PcmDecoder decoder;
    if (tessel::OpenDecoderWith(&stream, &decoder, openers, openerCount) == 0) {
        WAVEFORMATEX format;
        tessel::GetDecoderFormat(&decoder, &format);
        int64_t length = tessel::GetDecoderPcmSize(&decoder);
        ReadSome(&decoder, kPcmReadLimit);
        tessel::SeekDecoder(&decoder, 100);
        ReadSome(&decoder, 8192);
        tessel::SeekDecoder(&decoder, 0);
        ReadSome(&decoder, 8192);
        if (length >= 0 && length <= kPcmReadLimit) {
            void* pcm = nullptr;
            uint32_t pcmSize = 0;
            if (tessel::DecodeAllToMemory(&decoder, &format, &pcm, &pcmSize) == 0) {
                sink = sink + SumBytes(static_cast<uint8_t*>(pcm), pcmSize);
                tessel::FreeTracked(pcm);
            }
        }
        tessel::CloseDecoder(&decoder);
    }
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
    return 0;
}

}  // namespace tessel_fuzz
