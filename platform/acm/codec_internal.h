// The built-in drivers of the compression manager: one codec object per open
// stream, made from the source and destination formats.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/mmreg.h"

namespace platform::acm {

class Codec {
  public:
    virtual ~Codec() = default;

    // Converts from `source` into `destination`, never writing past
    // `room` bytes; reports the source bytes taken and the bytes written.
    // `end` asks for whatever the codec still holds.
    virtual void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                         uint32_t room, bool end, uint32_t* used, uint32_t* produced) = 0;
    // Forgets the state left by earlier data (a conversion restarting).
    virtual void Restart() {}
    // The largest output of `sourceBytes`, and the source bytes that make
    // `destinationBytes` of output.
    virtual uint32_t OutputFor(uint32_t sourceBytes) const = 0;
    virtual uint32_t InputFor(uint32_t destinationBytes) const = 0;
};

// The PCM format a driver makes of `source`, honouring the fields the
// ACM_FORMATSUGGESTF flags fix in `wanted`; false when no driver can.
bool SuggestPcmFormat(const WAVEFORMATEX* source, const WAVEFORMATEX* wanted, uint32_t flags,
                      WAVEFORMATEX* suggested);

// A codec from `source` to the PCM `destination`; null when no driver converts
// between them. `source` holds 18 + cbSize readable bytes.
std::unique_ptr<Codec> MakeCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination);

// Codecs by family; each returns null for a format it cannot take.
std::unique_ptr<Codec> MakeSampleCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination);
std::unique_ptr<Codec> MakeAdpcmCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination);
std::unique_ptr<Codec> MakeMpegCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination);

// Codecs of whole blocks: a block of source bytes becomes a block of PCM.
class BlockCodec : public Codec {
  public:
    BlockCodec(uint32_t sourceBlock, uint32_t destinationBlock)
        : sourceBlock_(sourceBlock), destinationBlock_(destinationBlock) {}

    void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination, uint32_t room,
                 bool end, uint32_t* used, uint32_t* produced) override;
    uint32_t OutputFor(uint32_t sourceBytes) const override;
    uint32_t InputFor(uint32_t destinationBytes) const override;

  protected:
    virtual void DecodeBlocks(const uint8_t* source, uint8_t* destination, uint32_t blocks) = 0;

  private:
    uint32_t sourceBlock_;
    uint32_t destinationBlock_;
};

}  // namespace platform::acm
