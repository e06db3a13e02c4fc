// Codecs of one sample frame at a time: PCM between 8 and 16 bits, and the
// G.711 mu-law and A-law expansions to 16-bit PCM.
#include <cstring>

#include "platform/acm/codec_internal.h"

namespace platform::acm {
namespace {

void Store16(uint8_t* p, int32_t value) {
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

int16_t ExpandMuLaw(uint8_t code) {
    uint32_t u = ~code & 0xFFu;
    int32_t magnitude = static_cast<int32_t>(((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<int16_t>((u & 0x80) != 0 ? 0x84 - magnitude : magnitude - 0x84);
}

int16_t ExpandALaw(uint8_t code) {
    uint32_t a = code ^ 0x55u;
    int32_t magnitude = static_cast<int32_t>((a & 0x0F) << 4);
    uint32_t segment = (a & 0x70) >> 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude = (magnitude + 0x108) << (segment - 1);
    }
    return static_cast<int16_t>((a & 0x80) != 0 ? magnitude : -magnitude);
}

class TableCodec : public BlockCodec {
  public:
    TableCodec(uint32_t channels, int16_t (*expand)(uint8_t))
        : BlockCodec(channels, channels * 2), channels_(channels) {
        for (int code = 0; code < 256; ++code) {
            table_[code] = expand(static_cast<uint8_t>(code));
        }
    }

  protected:
    void DecodeBlocks(const uint8_t* source, uint8_t* destination, uint32_t blocks) override {
        uint32_t samples = blocks * channels_;
        for (uint32_t i = 0; i < samples; ++i) {
            Store16(destination + 2 * i, table_[source[i]]);
        }
    }

  private:
    uint32_t channels_;
    int16_t table_[256];
};

class PcmCodec : public BlockCodec {
  public:
    PcmCodec(uint32_t channels, uint32_t sourceBits, uint32_t destinationBits)
        : BlockCodec(channels * sourceBits / 8, channels * destinationBits / 8),
          channels_(channels),
          sourceBits_(sourceBits),
          destinationBits_(destinationBits) {}

  protected:
    void DecodeBlocks(const uint8_t* source, uint8_t* destination, uint32_t blocks) override {
        uint32_t samples = blocks * channels_;
        if (sourceBits_ == destinationBits_) {
            std::memcpy(destination, source, samples * sourceBits_ / 8);
        } else if (sourceBits_ == 8) {
            // Unsigned 8-bit centred on 128 to signed 16-bit.
            for (uint32_t i = 0; i < samples; ++i) {
                Store16(destination + 2 * i, (static_cast<int32_t>(source[i]) - 128) * 256);
            }
        } else {
            for (uint32_t i = 0; i < samples; ++i) {
                int32_t value = static_cast<int16_t>(source[2 * i] | (source[2 * i + 1] << 8));
                destination[i] = static_cast<uint8_t>((value >> 8) + 128);
            }
        }
    }

  private:
    uint32_t channels_;
    uint32_t sourceBits_;
    uint32_t destinationBits_;
};

}  // namespace

std::unique_ptr<Codec> MakeSampleCodec(const WAVEFORMATEX* source,
                                       const WAVEFORMATEX* destination) {
    switch (source->wFormatTag) {
        case WAVE_FORMAT_PCM:
            return std::make_unique<PcmCodec>(source->nChannels, source->wBitsPerSample,
                                              destination->wBitsPerSample);
        case WAVE_FORMAT_MULAW:
            return std::make_unique<TableCodec>(source->nChannels, ExpandMuLaw);
        case WAVE_FORMAT_ALAW:
            return std::make_unique<TableCodec>(source->nChannels, ExpandALaw);
        default:
            return nullptr;
    }
}

}  // namespace platform::acm
