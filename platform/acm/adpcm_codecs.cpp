// The two 4-bit ADPCM codecs of WAV files, block by block: IMA ADPCM (a
// header of predictor and step index per channel, then groups of eight
// samples per channel, low nibble first) and Microsoft ADPCM (a predictor
// choice, delta and two whole samples per channel, then interleaved nibbles,
// high nibble first).
#include <algorithm>
#include <vector>

#include "platform/acm/codec_internal.h"

namespace platform::acm {
namespace {

int16_t Load16(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

void Store16(uint8_t* p, int32_t value) {
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

int32_t Clamp16(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, -32768, 32767));
}

// Both codecs turn each whole block into its own run of 16-bit samples.
class AdpcmBlockCodec : public BlockCodec {
  public:
    AdpcmBlockCodec(uint32_t channels, uint32_t align, uint32_t samplesPerBlock)
        : BlockCodec(align, channels * 2 * samplesPerBlock),
          channels_(channels),
          align_(align),
          samplesPerBlock_(samplesPerBlock) {}

  protected:
    void DecodeBlocks(const uint8_t* source, uint8_t* destination, uint32_t blocks) override {
        for (uint32_t b = 0; b < blocks; ++b) {
            DecodeBlock(source + b * align_, destination + b * samplesPerBlock_ * channels_ * 2);
        }
    }

    virtual void DecodeBlock(const uint8_t* block, uint8_t* out) = 0;

    uint32_t channels_;
    uint32_t align_;
    uint32_t samplesPerBlock_;
};

// ---------------------------------------------------------------- IMA ADPCM
constexpr int16_t kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kImaIndexChange[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
    int32_t predictor;
    int32_t index;

    int32_t Decode(uint32_t nibble) {
        int32_t step = kImaSteps[index];
        int32_t difference = step >> 3;
        if ((nibble & 1) != 0) {
            difference += step >> 2;
        }
        if ((nibble & 2) != 0) {
            difference += step >> 1;
        }
        if ((nibble & 4) != 0) {
            difference += step;
        }
        predictor = Clamp16((nibble & 8) != 0 ? predictor - difference : predictor + difference);
        index = std::clamp(index + kImaIndexChange[nibble], 0, 88);
        return predictor;
    }
};

class ImaCodec : public AdpcmBlockCodec {
  public:
    ImaCodec(uint32_t channels, uint32_t align)
        : AdpcmBlockCodec(channels, align, SamplesPerBlock(channels, align)) {}

    static uint32_t SamplesPerBlock(uint32_t channels, uint32_t align) {
        return (align - 4 * channels) * 2 / channels + 1;
    }

  private:
    void DecodeBlock(const uint8_t* block, uint8_t* out) override {
        ImaChannel state[8];
        for (uint32_t c = 0; c < channels_; ++c) {
            state[c].predictor = Load16(block + 4 * c);
            state[c].index = std::min<int32_t>(block[4 * c + 2], 88);
            Store16(out + 2 * c, state[c].predictor);
        }
        const uint8_t* data = block + 4 * channels_;
        uint32_t groups = (samplesPerBlock_ - 1) / 8;
        for (uint32_t g = 0; g < groups; ++g) {
            for (uint32_t c = 0; c < channels_; ++c) {
                const uint8_t* bytes = data + (g * channels_ + c) * 4;
                for (uint32_t i = 0; i < 8; ++i) {
                    uint32_t nibble = (bytes[i / 2] >> ((i & 1) * 4)) & 0x0F;
                    uint32_t frame = 1 + g * 8 + i;
                    Store16(out + 2 * (frame * channels_ + c), state[c].Decode(nibble));
                }
            }
        }
    }
};

// ---------------------------------------------------------- Microsoft ADPCM
constexpr int32_t kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                       768, 614, 512, 409, 307, 230, 230, 230};
// Far above any delta real data reaches; keeps damaged blocks from overflowing.
constexpr int32_t kMsMaxDelta = 1 << 24;

class MsAdpcmCodec : public AdpcmBlockCodec {
  public:
    MsAdpcmCodec(uint32_t channels, uint32_t align, std::vector<ADPCMCOEFSET> coefficients)
        : AdpcmBlockCodec(channels, align, SamplesPerBlock(channels, align)),
          coefficients_(std::move(coefficients)) {}

    static uint32_t SamplesPerBlock(uint32_t channels, uint32_t align) {
        return (align - 7 * channels) * 2 / channels + 2;
    }

  private:
    struct Channel {
        int32_t coefficient1;
        int32_t coefficient2;
        int32_t delta;
        int32_t sample1;  // the newer of the two previous samples
        int32_t sample2;
    };

    void DecodeBlock(const uint8_t* block, uint8_t* out) override {
        Channel state[8];
        const uint32_t n = channels_;
        for (uint32_t c = 0; c < n; ++c) {
            // A predictor number past the table is damage; the first pair is taken.
            uint32_t choice = block[c] < coefficients_.size() ? block[c] : 0;
            state[c].coefficient1 = coefficients_[choice].iCoef1;
            state[c].coefficient2 = coefficients_[choice].iCoef2;
            state[c].delta = Load16(block + n + 2 * c);
            state[c].sample1 = Load16(block + 3 * n + 2 * c);
            state[c].sample2 = Load16(block + 5 * n + 2 * c);
            Store16(out + 2 * c, state[c].sample2);
            Store16(out + 2 * (n + c), state[c].sample1);
        }
        const uint8_t* data = block + 7 * n;
        uint32_t nibbles = (samplesPerBlock_ - 2) * n;
        for (uint32_t k = 0; k < nibbles; ++k) {
            uint32_t nibble = (data[k / 2] >> ((k & 1) != 0 ? 0 : 4)) & 0x0F;
            Channel& ch = state[k % n];
            int64_t predicted =
                (int64_t{ch.sample1} * ch.coefficient1 + int64_t{ch.sample2} * ch.coefficient2) >>
                8;
            int32_t signedNibble = nibble >= 8 ? static_cast<int32_t>(nibble) - 16 : nibble;
            int32_t sample = Clamp16(predicted + int64_t{signedNibble} * ch.delta);
            ch.sample2 = ch.sample1;
            ch.sample1 = sample;
            ch.delta = static_cast<int32_t>(std::clamp<int64_t>(
                (kMsAdaptation[nibble] * int64_t{ch.delta}) >> 8, 16, kMsMaxDelta));
            Store16(out + 2 * (2 * n + k), sample);
        }
    }

    std::vector<ADPCMCOEFSET> coefficients_;
};

}  // namespace

std::unique_ptr<Codec> MakeAdpcmCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination) {
    (void)destination;  // always 16-bit PCM of the same shape
    uint32_t channels = source->nChannels;
    uint32_t align = source->nBlockAlign;
    if (source->wFormatTag == WAVE_FORMAT_IMA_ADPCM) {
        return std::make_unique<ImaCodec>(channels, align);
    }
    auto* adpcm = reinterpret_cast<const ADPCMWAVEFORMAT*>(source);
    const auto* pairs = reinterpret_cast<const uint8_t*>(source) + sizeof(WAVEFORMATEX) + 4;
    std::vector<ADPCMCOEFSET> coefficients(adpcm->wNumCoef);
    for (uint32_t i = 0; i < coefficients.size(); ++i) {
        coefficients[i].iCoef1 = Load16(pairs + 4 * i);
        coefficients[i].iCoef2 = Load16(pairs + 4 * i + 2);
    }
    return std::make_unique<MsAdpcmCodec>(channels, align, std::move(coefficients));
}

}  // namespace platform::acm
