// Helpers of the decoder-chain tests: a decoder opened over bytes in memory,
// whole decodes in uneven reads, and WAV files assembled chunk by chunk.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/files/streams.h"
#include "foundation/memory/memory.h"
#include "sound/decoders/pcm_decoder.h"

namespace sound_test {

// A decoder over a memory stream that lives as long as the object.
class MemoryDecoder {
  public:
    explicit MemoryDecoder(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
        memory_ = tessel::OpenMemoryStream(bytes_.data(), static_cast<uint32_t>(bytes_.size()));
        tessel::InitInputStream(&stream_, tessel::GetMemoryStreamOps(),
                                tessel::StreamHandleOf(memory_));
        result_ = tessel::OpenDecoder(&stream_, &decoder_);
    }
    ~MemoryDecoder() {
        if (decoder_.open != 0) {
            tessel::CloseDecoder(&decoder_);
        }
        tessel::CloseMemoryStream(tessel::StreamHandleOf(memory_));
    }
    MemoryDecoder(const MemoryDecoder&) = delete;
    MemoryDecoder& operator=(const MemoryDecoder&) = delete;

    int result() const { return result_; }
    tessel::PcmDecoder* get() { return &decoder_; }

  private:
    std::vector<uint8_t> bytes_;
    tessel::MemoryStream* memory_ = nullptr;
    tessel::InputStream stream_{};
    tessel::PcmDecoder decoder_{};
    int result_ = -1;
};

// Everything left, in reads of `piece` bytes; stops at a short read.
inline std::vector<uint8_t> ReadRest(tessel::PcmDecoder* decoder, uint32_t piece = 1001) {
    std::vector<uint8_t> all;
    std::vector<uint8_t> buffer(piece);
    while (true) {
        int32_t got = tessel::ReadDecoder(decoder, buffer.data(), piece);
        if (got < 0) {
            ADD_FAILURE() << "negative read";
            break;
        }
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        if (static_cast<uint32_t>(got) < piece) {
            break;
        }
    }
    return all;
}

inline std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

inline void PutLe16(std::vector<uint8_t>* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

// A chunk: its id, its size field (the body's length unless stated) and its
// body, padded to an even length when `pad` is set.
inline void PutChunk(std::vector<uint8_t>* out, const char* id, const std::vector<uint8_t>& body,
                     int64_t sizeField = -1, bool pad = true) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(id[i]));
    }
    PutLe32(out,
            sizeField >= 0 ? static_cast<uint32_t>(sizeField) : static_cast<uint32_t>(body.size()));
    out->insert(out->end(), body.begin(), body.end());
    if (pad && (body.size() & 1) != 0) {
        out->push_back(0);
    }
}

// A 16- or 18-byte PCM fmt body.
inline std::vector<uint8_t> PcmFormat(int channels, int rate, int bits, int blockAlign,
                                      bool withSize, int tag = 1) {
    std::vector<uint8_t> body;
    PutLe16(&body, static_cast<uint32_t>(tag));
    PutLe16(&body, static_cast<uint32_t>(channels));
    PutLe32(&body, static_cast<uint32_t>(rate));
    PutLe32(&body, static_cast<uint32_t>(rate * blockAlign));
    PutLe16(&body, static_cast<uint32_t>(blockAlign));
    PutLe16(&body, static_cast<uint32_t>(bits));
    if (withSize) {
        PutLe16(&body, 0);
    }
    return body;
}

// "RIFF", its size, "WAVE" and the chunks.
inline std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks) {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    PutLe32(&out, static_cast<uint32_t>(chunks.size() + 4));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

// PCM bytes that tell their position: byte i is i * 7 + 3 (mod 256).
inline std::vector<uint8_t> CountingBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

}  // namespace sound_test
