// FFmpeg's entry points that the media file decoder uses, reached through a
// table filled when the first media file is decoded. FFmpeg's libraries pull
// in some hundred further libraries (every codec Debian builds them with);
// opening them on first use keeps that cost out of every program that never
// plays a media file.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform::dshow {

// Each call as (library, name).
#define TESSEL_FFMPEG_CALLS(X)                \
    X(avutil, av_malloc)                      \
    X(avutil, av_free)                        \
    X(avutil, av_freep)                       \
    X(avutil, av_log_set_level)               \
    X(avutil, av_rescale_q)                   \
    X(avutil, av_rescale_q_rnd)               \
    X(avutil, av_frame_alloc)                 \
    X(avutil, av_frame_free)                  \
    X(avutil, av_frame_unref)                 \
    X(avutil, av_frame_get_buffer)            \
    X(avutil, av_channel_layout_default)      \
    X(avutil, av_channel_layout_copy)         \
    X(avutil, av_channel_layout_compare)      \
    X(avutil, av_channel_layout_uninit)       \
    X(avcodec, avcodec_alloc_context3)        \
    X(avcodec, avcodec_free_context)          \
    X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_open2)                 \
    X(avcodec, avcodec_send_packet)           \
    X(avcodec, avcodec_receive_frame)         \
    X(avcodec, avcodec_flush_buffers)         \
    X(avcodec, av_packet_alloc)               \
    X(avcodec, av_packet_free)                \
    X(avcodec, av_packet_unref)               \
    X(avformat, avio_alloc_context)           \
    X(avformat, avio_context_free)            \
    X(avformat, avformat_alloc_context)       \
    X(avformat, avformat_open_input)          \
    X(avformat, avformat_find_stream_info)    \
    X(avformat, avformat_close_input)         \
    X(avformat, av_find_best_stream)          \
    X(avformat, av_read_frame)                \
    X(avformat, av_seek_frame)                \
    X(swscale, sws_getCachedContext)          \
    X(swscale, sws_scale)                     \
    X(swscale, sws_freeContext)               \
    X(swresample, swr_alloc_set_opts2)        \
    X(swresample, swr_init)                   \
    X(swresample, swr_free)                   \
    X(swresample, swr_get_out_samples)        \
    X(swresample, swr_convert)

struct FfmpegCalls {
#define TESSEL_FFMPEG_POINTER(library, name) decltype(&::name) name;
    TESSEL_FFMPEG_CALLS(TESSEL_FFMPEG_POINTER)
#undef TESSEL_FFMPEG_POINTER
};

// The table, its libraries opened on the first call (and FFmpeg's own log
// silenced); null, then and ever after, when a library or an entry point is
// missing. Safe from any thread.
const FfmpegCalls* OpenFfmpeg();

}  // namespace platform::dshow
