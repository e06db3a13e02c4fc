// The general splitter and decoder: opens any container that FFmpeg's
// libavformat recognises in the upstream reader's bytes, and decodes its
// best video stream to bottom-up 24-bit RGB with a VIDEOINFOHEADER and its
// best audio stream to 16-bit PCM (mono or stereo) with a WAVEFORMATEX,
// through libavcodec, libswscale and libswresample. Times come from the
// streams; after a seek, frames that end before the new start are dropped
// and audio is cut at the start.
//
// Routes: the reader as FFmpeg's input (ReadThrough, SeekThrough), opening
// (OpenStream, OpenDecoder, the two output types), streaming (SeekStream,
// DecodeSome, Drain), and the frame conversions (DeliverVideo,
// DeliverAudio).
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/dshow/filters/ffmpeg_calls.h"
#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/dshow/filters/pull_decoder.h"
#include "platform/mmreg.h"

namespace platform::dshow {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr AVRational kUnitBase = {1, 10000000};
constexpr int kIoBufferBytes = 32768;
// Bounds that keep a damaged header from asking for huge buffers.
constexpr int kMaxSide = 8192;
constexpr int64_t kMaxPixels = 4096 * 4096;
constexpr int kMaxRate = 384000;

// FFmpeg's input, through the reader; FFmpeg asks for the size with AVSEEK_SIZE.
int ReadThrough(void* opaque, uint8_t* buffer, int bytes) {
    LONG count = static_cast<ReaderCursor*>(opaque)->Read(buffer, static_cast<size_t>(bytes));
    return count > 0 ? static_cast<int>(count) : count == 0 ? AVERROR_EOF : AVERROR(EIO);
}

int64_t SeekThrough(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<ReaderCursor*>(opaque);
    if (whence == AVSEEK_SIZE) {
        return input->length;
    }
    LONGLONG target = input->Seek(offset, whence & ~AVSEEK_FORCE);
    return target >= 0 ? target : AVERROR(EINVAL);
}

LONG RowPitch(int width) {
    return static_cast<LONG>((width * 3 + 3) & ~3);
}

struct Decoder {
    int stream = -1;
    AVCodecContext* context = nullptr;
    size_t output = 0;
    bool pastStop = false;
};

class MediaFileDecoder final : public PullDecoderFilter {
  public:
    explicit MediaFileDecoder(const FfmpegCalls& calls)
        : PullDecoderFilter("Media File Splitter", kMediaFileDecoderClass), ff_(calls) {}
    ~MediaFileDecoder() override { CloseStream(); }

    HRESULT CheckInputType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }

  protected:
    HRESULT OpenStream(IAsyncReader* reader) override;
    void CloseStream() override;
    HRESULT SeekStream(REFERENCE_TIME start) override;
    HRESULT DecodeSome() override;

  private:
    bool OpenDecoder(AVMediaType kind, Decoder* decoder);
    void AddVideoOutput();
    void AddAudioOutput();
    // Media time of a timestamp of the decoder's stream, from the stream's start.
    REFERENCE_TIME TimeOf(const Decoder& decoder, int64_t timestamp) const;
    // Feeds a packet (null: the end) and delivers the frames that come out;
    // false when downstream refused them.
    bool Feed(Decoder& decoder, const AVPacket* packet);
    bool DeliverVideo(const AVFrame* frame);
    bool DeliverAudio(const AVFrame* frame);
    bool AllPastStop() const;

    const FfmpegCalls& ff_;
    ReaderCursor input_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    Decoder video_;
    Decoder audio_;
    int width_ = 0;
    int height_ = 0;
    REFERENCE_TIME frameTime_ = 0;  // average, for frames that carry none
    int outRate_ = 0;
    int outChannels_ = 0;

    // The streaming thread's.
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    AVFrame* picture_ = nullptr;  // the scaler's output, padded
    SwrContext* resampler_ = nullptr;
    int resamplerRate_ = 0;
    int resamplerFormat_ = -1;
    AVChannelLayout resamplerLayout_{};
    std::vector<BYTE> pcm_;
    REFERENCE_TIME target_ = 0;
    REFERENCE_TIME nextVideo_ = 0;
    REFERENCE_TIME nextAudio_ = 0;
    bool started_ = false;
};

// ---- opening ---------------------------------------------------------------

HRESULT MediaFileDecoder::OpenStream(IAsyncReader* reader) {
    LONGLONG total = 0;
    LONGLONG available = 0;
    if (FAILED(reader->Length(&total, &available))) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    input_ = ReaderCursor{reader, 0, total};
    auto* buffer = static_cast<uint8_t*>(ff_.av_malloc(kIoBufferBytes));
    io_ = buffer != nullptr ? ff_.avio_alloc_context(buffer, kIoBufferBytes, 0, &input_,
                                                     ReadThrough, nullptr, SeekThrough)
                            : nullptr;
    format_ = ff_.avformat_alloc_context();
    if (io_ == nullptr || format_ == nullptr) {
        if (io_ == nullptr) {
            ff_.av_free(buffer);
        }
        CloseStream();
        return E_OUTOFMEMORY;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (ff_.avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) {
        format_ = nullptr;  // freed on failure
        CloseStream();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (ff_.avformat_find_stream_info(format_, nullptr) < 0) {
        CloseStream();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (OpenDecoder(AVMEDIA_TYPE_VIDEO, &video_)) {
        AddVideoOutput();
    }
    if (OpenDecoder(AVMEDIA_TYPE_AUDIO, &audio_)) {
        AddAudioOutput();
    }
    if (OutputCount() == 0) {
        CloseStream();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    int64_t duration = format_->duration;
    duration_ = duration != AV_NOPTS_VALUE && duration > 0
                    ? ff_.av_rescale_q(duration, AV_TIME_BASE_Q, kUnitBase)
                    : 0;
    packet_ = ff_.av_packet_alloc();
    frame_ = ff_.av_frame_alloc();
    started_ = false;
    if (packet_ == nullptr || frame_ == nullptr) {
        CloseStream();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool MediaFileDecoder::OpenDecoder(AVMediaType kind, Decoder* decoder) {
    const AVCodec* codec = nullptr;
    int stream = ff_.av_find_best_stream(format_, kind, -1, -1, &codec, 0);
    if (stream < 0 || codec == nullptr) {
        return false;
    }
    const AVCodecParameters* parameters = format_->streams[stream]->codecpar;
    if (kind == AVMEDIA_TYPE_VIDEO &&
        (parameters->width <= 0 || parameters->height <= 0 || parameters->width > kMaxSide ||
         parameters->height > kMaxSide ||
         static_cast<int64_t>(parameters->width) * parameters->height > kMaxPixels)) {
        return false;
    }
    if (kind == AVMEDIA_TYPE_AUDIO &&
        (parameters->sample_rate <= 0 || parameters->sample_rate > kMaxRate ||
         parameters->ch_layout.nb_channels <= 0)) {
        return false;
    }
    AVCodecContext* context = ff_.avcodec_alloc_context3(codec);
    if (context == nullptr) {
        return false;
    }
    context->thread_count = 1;  // the graph's streaming thread decodes
    // A damaged stream can announce huge pictures in later headers too.
    context->max_pixels = kMaxPixels;
    if (ff_.avcodec_parameters_to_context(context, parameters) < 0 ||
        ff_.avcodec_open2(context, codec, nullptr) < 0) {
        ff_.avcodec_free_context(&context);
        return false;
    }
    decoder->stream = stream;
    decoder->context = context;
    decoder->output = OutputCount();
    return true;
}

void MediaFileDecoder::AddVideoOutput() {
    const AVStream* stream = format_->streams[video_.stream];
    width_ = stream->codecpar->width;
    height_ = stream->codecpar->height;
    AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    frameTime_ = rate.num > 0 && rate.den > 0 ? ff_.av_rescale_q(1, av_inv_q(rate), kUnitBase) : 0;
    VIDEOINFOHEADER info{};
    info.rcSource = {0, 0, width_, height_};
    info.rcTarget = {0, 0, width_, height_};
    info.AvgTimePerFrame = frameTime_;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = height_;  // positive: bottom row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(RowPitch(width_) * height_);
    CMediaType type;
    type.InitMediaType();
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB24);
    type.SetFormatType(&FORMAT_VideoInfo);
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = info.bmiHeader.biSizeImage;
    type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
    AddOutput(u"Video", type, static_cast<LONG>(info.bmiHeader.biSizeImage), 3);
}

void MediaFileDecoder::AddAudioOutput() {
    const AVCodecParameters* parameters = format_->streams[audio_.stream]->codecpar;
    outRate_ = parameters->sample_rate;
    outChannels_ = parameters->ch_layout.nb_channels == 1 ? 1 : 2;
    CMediaType type = Pcm16Type(outRate_, outChannels_);
    const LONG blockAlign = 2 * outChannels_;
    // A tenth of a second per buffer.
    LONG bytes = std::max<LONG>(4096, static_cast<LONG>(outRate_) * blockAlign / 10);
    bytes -= bytes % blockAlign;
    AddOutput(u"Audio", type, bytes, 8);
}

void MediaFileDecoder::CloseStream() {
    ff_.avcodec_free_context(&video_.context);
    ff_.avcodec_free_context(&audio_.context);
    video_ = Decoder{};
    audio_ = Decoder{};
    if (format_ != nullptr) {
        ff_.avformat_close_input(&format_);
    }
    if (io_ != nullptr) {
        ff_.av_freep(&io_->buffer);
        ff_.avio_context_free(&io_);
    }
    ff_.av_packet_free(&packet_);
    ff_.av_frame_free(&frame_);
    ff_.sws_freeContext(scaler_);
    scaler_ = nullptr;
    ff_.av_frame_free(&picture_);
    ff_.swr_free(&resampler_);
    ff_.av_channel_layout_uninit(&resamplerLayout_);
    resamplerFormat_ = -1;
}

// ---- streaming -------------------------------------------------------------

REFERENCE_TIME MediaFileDecoder::TimeOf(const Decoder& decoder, int64_t timestamp) const {
    const AVStream* stream = format_->streams[decoder.stream];
    int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    return ff_.av_rescale_q(timestamp - origin, stream->time_base, kUnitBase);
}

HRESULT MediaFileDecoder::SeekStream(REFERENCE_TIME start) {
    if (format_ == nullptr) {
        return S_FALSE;
    }
    if (started_ || start > 0) {
        // Seek on a stream of ours in its own units, rounded down: a key frame
        // after the position would lose the frames before it, and rounding
        // to the nearest unit can step past the position.
        const Decoder& guide = video_.context != nullptr ? video_ : audio_;
        const AVStream* stream = format_->streams[guide.stream];
        int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        int64_t target =
            origin + ff_.av_rescale_q_rnd(start, kUnitBase, stream->time_base, AV_ROUND_DOWN);
        if (ff_.av_seek_frame(format_, guide.stream, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            ff_.av_seek_frame(format_, guide.stream, target,
                              AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
            return E_FAIL;
        }
        for (Decoder* decoder : {&video_, &audio_}) {
            if (decoder->context != nullptr) {
                ff_.avcodec_flush_buffers(decoder->context);
            }
        }
    }
    started_ = true;
    target_ = start;
    nextVideo_ = start;
    nextAudio_ = start;
    // A stream whose pin went unrendered is not decoded at all.
    for (Decoder* decoder : {&video_, &audio_}) {
        decoder->pastStop = decoder->context == nullptr || !Output(decoder->output)->IsConnected();
    }
    return S_OK;
}

HRESULT MediaFileDecoder::DecodeSome() {
    if (AllPastStop()) {
        return S_FALSE;
    }
    int read = ff_.av_read_frame(format_, packet_);
    if (read < 0) {
        // The end (or unreadable data): what the decoders still hold comes out.
        for (Decoder* decoder : {&video_, &audio_}) {
            if (decoder->context != nullptr && !Feed(*decoder, nullptr)) {
                return E_ABORT;
            }
        }
        return S_FALSE;
    }
    bool delivered = true;
    for (Decoder* decoder : {&video_, &audio_}) {
        if (decoder->context != nullptr && packet_->stream_index == decoder->stream) {
            delivered = Feed(*decoder, packet_);
        }
    }
    ff_.av_packet_unref(packet_);
    return delivered ? S_OK : E_ABORT;
}

bool MediaFileDecoder::AllPastStop() const {
    return video_.pastStop && audio_.pastStop;
}

bool MediaFileDecoder::Feed(Decoder& decoder, const AVPacket* packet) {
    if (decoder.pastStop) {
        return true;
    }
    // Damaged packets are skipped: the decoder picks up at the next one.
    if (ff_.avcodec_send_packet(decoder.context, packet) < 0 && packet != nullptr) {
        return true;
    }
    while (!StopRequested() && ff_.avcodec_receive_frame(decoder.context, frame_) == 0) {
        bool delivered = &decoder == &video_ ? DeliverVideo(frame_) : DeliverAudio(frame_);
        ff_.av_frame_unref(frame_);
        if (!delivered) {
            return false;
        }
    }
    return true;
}

bool MediaFileDecoder::DeliverVideo(const AVFrame* frame) {
    int64_t timestamp = frame->best_effort_timestamp;
    REFERENCE_TIME start = timestamp != AV_NOPTS_VALUE ? TimeOf(video_, timestamp) : nextVideo_;
    REFERENCE_TIME length = frameTime_;
    if (frame->pkt_duration > 0) {
        length = ff_.av_rescale_q(frame->pkt_duration, format_->streams[video_.stream]->time_base,
                                  kUnitBase);
    }
    REFERENCE_TIME stop = start + std::max<REFERENCE_TIME>(length, 1);
    nextVideo_ = stop;
    if (stop <= target_) {
        return true;  // before the start position
    }
    if (RunStop() >= 0 && start >= RunStop()) {
        video_.pastStop = true;
        return true;
    }
    if (frame->width <= 0 || frame->height <= 0 || frame->format < 0) {
        return true;
    }
    scaler_ = ff_.sws_getCachedContext(scaler_, frame->width, frame->height,
                                       static_cast<AVPixelFormat>(frame->format), width_, height_,
                                       AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) {
        return true;
    }
    // The scaler writes whole vector widths past a row's end, so it fills
    // a padded picture of its own, which is then copied row by row.
    if (picture_ == nullptr) {
        picture_ = ff_.av_frame_alloc();
        if (picture_ == nullptr) {
            return true;
        }
        picture_->format = AV_PIX_FMT_BGR24;
        picture_->width = width_;
        picture_->height = height_;
        if (ff_.av_frame_get_buffer(picture_, 0) < 0) {
            ff_.av_frame_free(&picture_);
            return true;
        }
    }
    if (ff_.sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, picture_->data,
                      picture_->linesize) != height_) {
        return true;
    }
    IMediaSample* sample = TakeBuffer(video_.output);
    if (sample == nullptr) {
        return false;
    }
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    LONG pitch = RowPitch(width_);
    size_t rowBytes = static_cast<size_t>(width_) * 3;
    // The bottom row first.
    for (int y = 0; y < height_; ++y) {
        BYTE* row = buffer + static_cast<size_t>(height_ - 1 - y) * pitch;
        std::memcpy(row, picture_->data[0] + static_cast<size_t>(y) * picture_->linesize[0],
                    rowBytes);
        std::memset(row + rowBytes, 0, static_cast<size_t>(pitch) - rowBytes);
    }
    sample->SetActualDataLength(pitch * height_);
    REFERENCE_TIME from = start - RunStart();
    REFERENCE_TIME to = stop - RunStart();
    sample->SetTime(&from, &to);
    sample->SetSyncPoint(TRUE);
    return DeliverBuffer(video_.output, sample);
}

bool MediaFileDecoder::DeliverAudio(const AVFrame* frame) {
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) {
        return true;
    }
    if (resampler_ == nullptr || resamplerRate_ != frame->sample_rate ||
        resamplerFormat_ != frame->format ||
        ff_.av_channel_layout_compare(&resamplerLayout_, &frame->ch_layout) != 0) {
        ff_.swr_free(&resampler_);
        AVChannelLayout out{};
        ff_.av_channel_layout_default(&out, outChannels_);
        int made = ff_.swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, outRate_,
                                           const_cast<AVChannelLayout*>(&frame->ch_layout),
                                           static_cast<AVSampleFormat>(frame->format),
                                           frame->sample_rate, 0, nullptr);
        ff_.av_channel_layout_uninit(&out);
        if (made < 0 || ff_.swr_init(resampler_) < 0) {
            ff_.swr_free(&resampler_);
            return true;
        }
        resamplerRate_ = frame->sample_rate;
        resamplerFormat_ = frame->format;
        ff_.av_channel_layout_uninit(&resamplerLayout_);
        ff_.av_channel_layout_copy(&resamplerLayout_, &frame->ch_layout);
    }
    int room = ff_.swr_get_out_samples(resampler_, frame->nb_samples);
    if (room <= 0) {
        return true;
    }
    size_t blockAlign = 2 * static_cast<size_t>(outChannels_);
    pcm_.resize(static_cast<size_t>(room) * blockAlign);
    uint8_t* out[1] = {pcm_.data()};
    int samples =
        ff_.swr_convert(resampler_, out, room, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
    if (samples <= 0) {
        return true;
    }
    int64_t timestamp = frame->best_effort_timestamp;
    REFERENCE_TIME start = timestamp != AV_NOPTS_VALUE ? TimeOf(audio_, timestamp) : nextAudio_;
    REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(samples) * kUnitsPerSecond / outRate_;
    nextAudio_ = stop;
    if (stop <= target_) {
        return true;
    }
    if (RunStop() >= 0 && start >= RunStop()) {
        audio_.pastStop = true;
        return true;
    }
    // Cut what lies before the start position, in whole samples.
    size_t skip = 0;
    if (start < target_) {
        skip = static_cast<size_t>((target_ - start) * outRate_ / kUnitsPerSecond);
        skip = std::min<size_t>(skip, static_cast<size_t>(samples));
        start += static_cast<REFERENCE_TIME>(skip) * kUnitsPerSecond / outRate_;
    }
    size_t bytes = (static_cast<size_t>(samples) - skip) * blockAlign;
    if (bytes == 0) {
        return true;
    }
    return DeliverBytes(audio_.output, pcm_.data() + skip * blockAlign, bytes, start, stop, true);
}

}  // namespace

IBaseFilter* CreateMediaFileDecoder() {
    // Without FFmpeg's libraries the graph goes on to the other decoders.
    const FfmpegCalls* calls = OpenFfmpeg();
    if (calls == nullptr) {
        return nullptr;
    }
    auto* decoder = new MediaFileDecoder(*calls);
    decoder->NonDelegatingAddRef();
    return decoder;
}

}  // namespace platform::dshow
