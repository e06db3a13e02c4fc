// MPEG audio layers I to III to 16-bit PCM through libmpg123 in its feeding
// mode: every source byte handed in is taken at once, and what does not fit
// the caller's block stays decoded inside libmpg123 for the next call.
// Neither gapless trimming nor the encoder's info frame is applied, so a
// stream of N frames gives N frames of samples, as a frame count promises.
#include <mpg123.h>

#include <algorithm>
#include <mutex>

#include "platform/acm/codec_internal.h"

namespace platform::acm {
namespace {

class MpegCodec : public Codec {
  public:
    MpegCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination)
        : rate_(source->nSamplesPerSec),
          channels_(destination->nChannels),
          blockAlign_(destination->nBlockAlign),
          sourceBytesPerSec_(source->nAvgBytesPerSec) {
        if (source->wFormatTag == WAVE_FORMAT_MPEGLAYER3 &&
            source->cbSize >= MPEGLAYER3_WFX_EXTRA_BYTES) {
            frameBytes_ = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(source)->nBlockSize;
        }
    }

    ~MpegCodec() override {
        if (handle_ != nullptr) {
            mpg123_delete(handle_);
        }
    }

    bool Open() {
        static std::once_flag initialised;
        std::call_once(initialised, [] { mpg123_init(); });
        handle_ = mpg123_new(nullptr, nullptr);
        if (handle_ == nullptr) {
            return false;
        }
        mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS | MPG123_AUTO_RESAMPLE, 0);
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
        mpg123_format_none(handle_);
        if (mpg123_format(handle_, rate_, channels_ == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_SIGNED_16) != MPG123_OK) {
            return false;
        }
        return mpg123_open_feed(handle_) == MPG123_OK;
    }

    void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination, uint32_t room,
                 bool end, uint32_t* used, uint32_t* produced) override {
        (void)end;  // everything fed is decoded as far as it goes anyway
        *used = 0;
        *produced = 0;
        if (sourceBytes > 0) {
            if (mpg123_feed(handle_, source, sourceBytes) != MPG123_OK) {
                return;
            }
            *used = sourceBytes;
        }
        // Whole sample frames only, so the caller's block stays aligned.
        room -= room % blockAlign_;
        while (*produced < room) {
            size_t done = 0;
            int result = mpg123_read(handle_, destination + *produced, room - *produced, &done);
            *produced += static_cast<uint32_t>(done);
            if (result == MPG123_NEW_FORMAT) {
                continue;
            }
            if (result != MPG123_OK || done == 0) {
                break;
            }
        }
    }

    void Restart() override {
        mpg123_close(handle_);
        mpg123_open_feed(handle_);
    }

    uint32_t OutputFor(uint32_t sourceBytes) const override {
        // One frame more than the bytes hold at the stream's rate, since a
        // frame's bytes vary with its padding.
        uint64_t samples = SamplesPerFrame();
        if (sourceBytesPerSec_ > 0) {
            samples +=
                (uint64_t{sourceBytes} * rate_ + sourceBytesPerSec_ - 1) / sourceBytesPerSec_;
        } else if (frameBytes_ > 0) {
            samples += (uint64_t{sourceBytes} + frameBytes_ - 1) / frameBytes_ * SamplesPerFrame();
        }
        return static_cast<uint32_t>(std::min<uint64_t>(samples * blockAlign_, UINT32_MAX));
    }

    uint32_t InputFor(uint32_t destinationBytes) const override {
        uint64_t samples = destinationBytes / blockAlign_;
        uint64_t bytes = 0;
        if (sourceBytesPerSec_ > 0) {
            bytes = samples * sourceBytesPerSec_ / rate_;
        } else if (frameBytes_ > 0) {
            bytes = samples / SamplesPerFrame() * frameBytes_;
        }
        return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
    }

  private:
    uint32_t SamplesPerFrame() const { return rate_ >= 32000 ? 1152 : 576; }

    mpg123_handle* handle_ = nullptr;
    uint32_t rate_;
    uint32_t channels_;
    uint32_t blockAlign_;
    uint32_t sourceBytesPerSec_;
    uint32_t frameBytes_ = 0;
};

}  // namespace

std::unique_ptr<Codec> MakeMpegCodec(const WAVEFORMATEX* source, const WAVEFORMATEX* destination) {
    auto codec = std::make_unique<MpegCodec>(source, destination);
    if (!codec->Open()) {
        return nullptr;
    }
    return codec;
}

}  // namespace platform::acm
