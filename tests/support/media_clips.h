// Small media files made by FFmpeg's own encoders and muxers, for checking
// the media graph's splitter and decoder: frames of flat colours (a top and
// a bottom half each) in MPEG-4 Visual, and optionally 16-bit PCM beside
// them. Test-only; nothing here is linked into the library.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace media_clips {

struct Rgb {
    int r, g, b;
};

struct ClipRecipe {
    int width = 64;
    int height = 48;
    int fps = 10;
    int keyInterval = 3;
    // Frame i shows tops[i] over bottoms[i].
    std::vector<Rgb> tops;
    std::vector<Rgb> bottoms;
    // Interleaved 16-bit PCM at `rate`, written when not empty.
    std::vector<int16_t> pcm;
    int rate = 44100;
    int channels = 2;
    std::string container = "avi";
};

// Studio-range BT.601, as the decoders' conversion back expects.
inline void ToYuv(Rgb c, uint8_t* y, uint8_t* u, uint8_t* v) {
    double yy = 16 + (65.481 * c.r + 128.553 * c.g + 24.966 * c.b) / 255.0;
    double uu = 128 + (-37.797 * c.r - 74.203 * c.g + 112.0 * c.b) / 255.0;
    double vv = 128 + (112.0 * c.r - 93.786 * c.g - 18.214 * c.b) / 255.0;
    *y = static_cast<uint8_t>(std::lround(yy));
    *u = static_cast<uint8_t>(std::lround(uu));
    *v = static_cast<uint8_t>(std::lround(vv));
}

inline bool Encode(AVCodecContext* codec, AVFrame* frame, AVFormatContext* out, AVStream* stream) {
    if (avcodec_send_frame(codec, frame) < 0) {
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    while (avcodec_receive_packet(codec, packet) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(out, packet) < 0) {
            av_packet_free(&packet);
            return false;
        }
    }
    av_packet_free(&packet);
    return true;
}

// Writes the clip to `path` (a Linux path); false when FFmpeg refused.
inline bool WriteClip(const std::string& path, const ClipRecipe& recipe) {
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, recipe.container.c_str(), path.c_str()) < 0) {
        return false;
    }
    const AVCodec* videoCodec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVStream* videoStream = avformat_new_stream(out, nullptr);
    AVCodecContext* video = avcodec_alloc_context3(videoCodec);
    video->width = recipe.width;
    video->height = recipe.height;
    video->time_base = {1, recipe.fps};
    video->framerate = {recipe.fps, 1};
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    video->gop_size = recipe.keyInterval;
    video->max_b_frames = 0;
    video->flags |= AV_CODEC_FLAG_QSCALE;
    video->global_quality = FF_QP2LAMBDA * 2;
    if (out->oformat->flags & AVFMT_GLOBALHEADER) {
        video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    bool ok = avcodec_open2(video, videoCodec, nullptr) == 0 &&
              avcodec_parameters_from_context(videoStream->codecpar, video) >= 0;
    videoStream->time_base = video->time_base;

    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    if (ok && !recipe.pcm.empty()) {
        const AVCodec* audioCodec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        audioStream = avformat_new_stream(out, nullptr);
        audio = avcodec_alloc_context3(audioCodec);
        audio->sample_rate = recipe.rate;
        audio->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&audio->ch_layout, recipe.channels);
        audio->time_base = {1, recipe.rate};
        ok = avcodec_open2(audio, audioCodec, nullptr) == 0 &&
             avcodec_parameters_from_context(audioStream->codecpar, audio) >= 0;
        audioStream->time_base = audio->time_base;
    }
    ok = ok && avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, nullptr) >= 0;

    AVFrame* frame = av_frame_alloc();
    size_t pcmFrames = recipe.pcm.size() / static_cast<size_t>(recipe.channels);
    size_t pcmDone = 0;
    for (size_t i = 0; ok && i < recipe.tops.size(); ++i) {
        // The audio that belongs before this frame's end goes first.
        size_t pcmUntil = std::min(pcmFrames, (i + 1) * static_cast<size_t>(recipe.rate) /
                                                  static_cast<size_t>(recipe.fps));
        if (audio != nullptr && pcmUntil > pcmDone) {
            AVFrame* samples = av_frame_alloc();
            samples->nb_samples = static_cast<int>(pcmUntil - pcmDone);
            samples->format = AV_SAMPLE_FMT_S16;
            samples->sample_rate = recipe.rate;
            av_channel_layout_default(&samples->ch_layout, recipe.channels);
            av_frame_get_buffer(samples, 0);
            std::memcpy(samples->data[0], recipe.pcm.data() + pcmDone * recipe.channels,
                        (pcmUntil - pcmDone) * recipe.channels * sizeof(int16_t));
            samples->pts = static_cast<int64_t>(pcmDone);
            ok = Encode(audio, samples, out, audioStream);
            av_frame_free(&samples);
            pcmDone = pcmUntil;
        }
        av_frame_unref(frame);
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = recipe.width;
        frame->height = recipe.height;
        av_frame_get_buffer(frame, 0);
        uint8_t yTop, uTop, vTop, yBottom, uBottom, vBottom;
        ToYuv(recipe.tops[i], &yTop, &uTop, &vTop);
        ToYuv(recipe.bottoms[i], &yBottom, &uBottom, &vBottom);
        for (int y = 0; y < recipe.height; ++y) {
            bool top = y < recipe.height / 2;
            std::memset(frame->data[0] + y * frame->linesize[0], top ? yTop : yBottom,
                        recipe.width);
        }
        for (int y = 0; y < recipe.height / 2; ++y) {
            bool top = y < recipe.height / 4;
            std::memset(frame->data[1] + y * frame->linesize[1], top ? uTop : uBottom,
                        recipe.width / 2);
            std::memset(frame->data[2] + y * frame->linesize[2], top ? vTop : vBottom,
                        recipe.width / 2);
        }
        frame->pts = static_cast<int64_t>(i);
        ok = ok && Encode(video, frame, out, videoStream);
    }
    ok = ok && Encode(video, nullptr, out, videoStream);
    if (ok && audio != nullptr) {
        ok = Encode(audio, nullptr, out, audioStream);
    }
    if (ok) {
        ok = av_write_trailer(out) == 0;
    }
    av_frame_free(&frame);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (out->pb != nullptr) {
        avio_closep(&out->pb);
    }
    avformat_free_context(out);
    return ok;
}

}  // namespace media_clips
