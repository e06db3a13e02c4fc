// The MPEG audio decoder: takes an MPEG-1/2 audio byte stream (layers I to
// III) from the upstream reader and delivers 16-bit PCM with a WAVEFORMATEX,
// decoded by libmpg123 reading through IAsyncReader. Every frame is kept
// (no gapless trimming), as the stream holds it.
#include <mpg123.h>

#include <mutex>
#include <vector>

#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/dshow/filters/pull_decoder.h"
#include "platform/mmreg.h"

namespace platform::dshow {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr size_t kChunkBytes = 1152 * 2 * 2 * 8;  // eight stereo frames of layer III

ssize_t ReadThrough(void* handle, void* buffer, size_t bytes) {
    return static_cast<ReaderCursor*>(handle)->Read(buffer, bytes);
}

off_t SeekThrough(void* handle, off_t offset, int whence) {
    return static_cast<off_t>(static_cast<ReaderCursor*>(handle)->Seek(offset, whence));
}

class MpegAudioDecoder final : public PullDecoderFilter {
  public:
    MpegAudioDecoder() : PullDecoderFilter("MPEG Audio Decoder", kMpegAudioDecoderClass) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { mpg123_init(); });
    }
    ~MpegAudioDecoder() override { CloseStream(); }

    HRESULT CheckInputType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_MPEG1Audio
                   ? S_OK
                   : S_FALSE;
    }

  protected:
    HRESULT OpenStream(IAsyncReader* reader) override;
    void CloseStream() override;
    HRESULT SeekStream(REFERENCE_TIME start) override;
    HRESULT DecodeSome() override;

  private:
    REFERENCE_TIME TimeOf(off_t sample) const { return sample * kUnitsPerSecond / rate_; }

    mpg123_handle* handle_ = nullptr;
    ReaderCursor io_;
    long rate_ = 0;
    int channels_ = 0;
    off_t nextSample_ = 0;  // on the streaming thread
    int idleReads_ = 0;     // on the streaming thread
    std::vector<BYTE> chunk_ = std::vector<BYTE>(kChunkBytes);
};

HRESULT MpegAudioDecoder::OpenStream(IAsyncReader* reader) {
    LONGLONG total = 0;
    LONGLONG available = 0;
    if (FAILED(reader->Length(&total, &available))) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) {
        return E_OUTOFMEMORY;
    }
    io_ = ReaderCursor{reader, 0, total};
    mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    int encoding = 0;
    if (mpg123_replace_reader_handle(handle_, ReadThrough, SeekThrough, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, &io_) != MPG123_OK ||
        mpg123_getformat(handle_, &rate_, &channels_, &encoding) != MPG123_OK || rate_ <= 0 ||
        channels_ < 1 || channels_ > 2) {
        CloseStream();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    CMediaType type = Pcm16Type(rate_, channels_);
    off_t length = mpg123_length(handle_);
    duration_ = length > 0 ? TimeOf(length) : 0;
    AddOutput(u"Audio", type, static_cast<LONG>(kChunkBytes), 4);
    return S_OK;
}

void MpegAudioDecoder::CloseStream() {
    if (handle_ != nullptr) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
        handle_ = nullptr;
    }
}

HRESULT MpegAudioDecoder::SeekStream(REFERENCE_TIME start) {
    if (handle_ == nullptr) {
        return S_FALSE;
    }
    off_t target = static_cast<off_t>(start * rate_ / kUnitsPerSecond);
    off_t reached = mpg123_seek(handle_, target, SEEK_SET);
    if (reached < 0) {
        return S_FALSE;  // past the end, or a stream that cannot seek there
    }
    nextSample_ = reached;
    idleReads_ = 0;
    return S_OK;
}

HRESULT MpegAudioDecoder::DecodeSome() {
    size_t done = 0;
    int result = mpg123_read(handle_, chunk_.data(), chunk_.size(), &done);
    if (result == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_, &rate, &channels, &encoding);
        if (rate != rate_ || channels != channels_) {
            return S_FALSE;  // the type was fixed at connection: the stream ends here
        }
    }
    size_t blockAlign = 2 * static_cast<size_t>(channels_);
    done -= done % blockAlign;
    if (done > 0) {
        off_t samples = static_cast<off_t>(done / blockAlign);
        REFERENCE_TIME start = TimeOf(nextSample_);
        REFERENCE_TIME stop = TimeOf(nextSample_ + samples);
        if (RunStop() >= 0 && stop > RunStop()) {
            // Only the whole samples before the stop position go out.
            off_t keep = std::max<off_t>(0, RunStop() * rate_ / kUnitsPerSecond - nextSample_);
            done = std::min(done, static_cast<size_t>(keep) * blockAlign);
            stop = TimeOf(nextSample_ + static_cast<off_t>(done / blockAlign));
            result = MPG123_DONE;
        }
        if (done > 0 && !DeliverBytes(0, chunk_.data(), done, start, stop, true)) {
            return E_ABORT;
        }
        nextSample_ += samples;
    }
    // A reader that keeps answering without progress would spin forever.
    idleReads_ = done > 0 ? 0 : idleReads_ + 1;
    if ((result == MPG123_OK || result == MPG123_NEW_FORMAT) && idleReads_ < 64) {
        return S_OK;
    }
    return S_FALSE;  // the end, or data libmpg123 cannot go on with
}

}  // namespace

IBaseFilter* CreateMpegAudioDecoder() {
    auto* decoder = new MpegAudioDecoder();
    decoder->NonDelegatingAddRef();
    return decoder;
}

}  // namespace platform::dshow
