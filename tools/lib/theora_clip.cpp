// Encoding clips with libtheoraenc's th_encode_* calls and libvorbisenc, and
// the painters that give the tests pictures they can recognise.
#include "tools/lib/theora_clip.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessel {

namespace {

constexpr int kVorbisRate = 22050;
constexpr int kGridColumns = 4;
constexpr int kGridRows = 3;

void AppendPage(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

int GranuleShift(int interval) {
    int shift = 0;
    while ((1 << shift) < interval) {
        ++shift;
    }
    return shift;
}

th_pixel_fmt PixelFormat(ClipChroma chroma) {
    switch (chroma) {
        case ClipChroma::k422:
            return TH_PF_422;
        case ClipChroma::k444:
            return TH_PF_444;
        default:
            return TH_PF_420;
    }
}

ClipPicture NewPicture(const TheoraClipOptions& recipe) {
    ClipPicture p;
    p.width = recipe.width;
    p.height = recipe.height;
    p.chromaWidth = recipe.chroma == ClipChroma::k444 ? recipe.width : recipe.width / 2;
    p.chromaHeight = recipe.chroma == ClipChroma::k420 ? recipe.height / 2 : recipe.height;
    p.y.assign(static_cast<size_t>(p.width) * p.height, 16);
    p.u.assign(static_cast<size_t>(p.chromaWidth) * p.chromaHeight, 128);
    p.v.assign(p.u.size(), 128);
    return p;
}

// The Vorbis stream's pages: the identification page, the other headers'
// pages, then the audio pages.
struct VorbisPages {
    std::vector<uint8_t> first;
    std::vector<uint8_t> headers;
    std::vector<std::vector<uint8_t>> audio;
};

VorbisPages EncodeSilence(double seconds, int serial, double toneHz = 0) {
    VorbisPages pages;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, kVorbisRate, 0.1f) != 0) {
        vorbis_info_clear(&info);
        return pages;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    ogg_packet id, tags, books;
    vorbis_analysis_headerout(&dsp, &comment, &id, &tags, &books);
    ogg_page page;
    ogg_stream_packetin(&stream, &id);
    while (ogg_stream_flush(&stream, &page) != 0) {
        AppendPage(pages.first, page);
    }
    ogg_stream_packetin(&stream, &tags);
    ogg_stream_packetin(&stream, &books);
    while (ogg_stream_flush(&stream, &page) != 0) {
        AppendPage(pages.headers, page);
    }
    const int total = static_cast<int>(seconds * kVorbisRate);
    constexpr int kChunk = 2048;
    // The pass that writes nothing tells the encoder the stream ended, so
    // that it gives out the last blocks too.
    for (int at = 0;; at += kChunk) {
        const int count = std::max(0, std::min(kChunk, total - at));
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, count);
            for (int i = 0; i < count; ++i) {
                const double t = static_cast<double>(at + i) / kVorbisRate;
                buffer[0][i] =
                    toneHz > 0 ? static_cast<float>(0.25 * std::sin(6.283185307179586 * toneHz * t))
                               : 0.0f;
            }
        }
        vorbis_analysis_wrote(&dsp, count);
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    pages.audio.emplace_back();
                    AppendPage(pages.audio.back(), page);
                }
            }
        }
        if (count <= 0) {
            break;
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) {
        pages.audio.emplace_back();
        AppendPage(pages.audio.back(), page);
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return pages;
}

th_info ClipInfo(const TheoraClipOptions& recipe) {
    th_info info;
    th_info_init(&info);
    info.frame_width = static_cast<ogg_uint32_t>(recipe.width);
    info.frame_height = static_cast<ogg_uint32_t>(recipe.height);
    info.pic_width = info.frame_width;
    info.pic_height = info.frame_height;
    info.pic_x = 0;
    info.pic_y = 0;
    info.colorspace = TH_CS_UNSPECIFIED;
    info.pixel_fmt = PixelFormat(recipe.chroma);
    info.fps_numerator = recipe.fpsNumerator;
    info.fps_denominator = recipe.fpsDenominator;
    info.aspect_numerator = 1;
    info.aspect_denominator = 1;
    info.target_bitrate = 0;
    info.quality = recipe.quality;
    info.keyframe_granule_shift = GranuleShift(recipe.keyFrameInterval);
    return info;
}

}  // namespace

std::vector<uint8_t> EncodeTheoraClip(const TheoraClipOptions& recipe, const ClipPainter& paint) {
    std::vector<uint8_t> out;
    th_info info = ClipInfo(recipe);
    th_enc_ctx* encoder = th_encode_alloc(&info);
    th_info_clear(&info);
    if (encoder == nullptr) {
        return out;
    }
    ogg_uint32_t interval = static_cast<ogg_uint32_t>(recipe.keyFrameInterval);
    th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof(interval));
    VorbisPages vorbis;
    if (recipe.withVorbis) {
        const double seconds =
            recipe.vorbisSeconds > 0
                ? recipe.vorbisSeconds
                : static_cast<double>(recipe.frames) * recipe.fpsDenominator / recipe.fpsNumerator;
        vorbis = EncodeSilence(seconds, 0x564F5242, recipe.toneHz);
    }

    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x54484F52);  // fixed serials keep the output reproducible
    th_comment comment;
    th_comment_init(&comment);
    ogg_packet packet;
    ogg_page page;
    // The identification header alone on the first page, every stream's
    // first page before any other page.
    bool first = true;
    std::vector<uint8_t> headerPages;
    while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
        ogg_stream_packetin(&stream, &packet);
        if (first) {
            while (ogg_stream_flush(&stream, &page) != 0) {
                AppendPage(out, page);
            }
            first = false;
        }
    }
    th_comment_clear(&comment);
    out.insert(out.end(), vorbis.first.begin(), vorbis.first.end());
    while (ogg_stream_flush(&stream, &page) != 0) {
        AppendPage(out, page);
    }
    out.insert(out.end(), vorbis.headers.begin(), vorbis.headers.end());

    ClipPicture picture = NewPicture(recipe);
    size_t audioPage = 0;
    for (int frame = 0; frame < recipe.frames; ++frame) {
        paint(frame, picture);
        th_ycbcr_buffer buffer;
        buffer[0] = {picture.width, picture.height, picture.width, picture.y.data()};
        buffer[1] = {picture.chromaWidth, picture.chromaHeight, picture.chromaWidth,
                     picture.u.data()};
        buffer[2] = {picture.chromaWidth, picture.chromaHeight, picture.chromaWidth,
                     picture.v.data()};
        if (std::find(recipe.repeated.begin(), recipe.repeated.end(), frame) !=
            recipe.repeated.end()) {
            int repeats = 1;
            th_encode_ctl(encoder, TH_ENCCTL_SET_DUP_COUNT, &repeats, sizeof repeats);
        }
        th_encode_ycbcr_in(encoder, buffer);
        const int last = frame + 1 == recipe.frames ? 1 : 0;
        while (th_encode_packetout(encoder, last, &packet) > 0) {
            ogg_stream_packetin(&stream, &packet);
        }
        if (recipe.pagePerFrame || last != 0) {
            while (ogg_stream_flush(&stream, &page) != 0) {
                AppendPage(out, page);
            }
        } else {
            while (ogg_stream_pageout(&stream, &page) != 0) {
                AppendPage(out, page);
            }
        }
        if (audioPage < vorbis.audio.size() && frame % 4 == 3) {
            out.insert(out.end(), vorbis.audio[audioPage].begin(), vorbis.audio[audioPage].end());
            ++audioPage;
        }
    }
    for (; audioPage < vorbis.audio.size(); ++audioPage) {
        out.insert(out.end(), vorbis.audio[audioPage].begin(), vorbis.audio[audioPage].end());
    }
    ogg_stream_clear(&stream);
    th_encode_free(encoder);
    return out;
}

std::vector<uint8_t> EncodeSilentVorbisOgg(double seconds) {
    VorbisPages pages = EncodeSilence(seconds, 0x564F5242);
    std::vector<uint8_t> out = pages.first;
    out.insert(out.end(), pages.headers.begin(), pages.headers.end());
    for (const std::vector<uint8_t>& audio : pages.audio) {
        out.insert(out.end(), audio.begin(), audio.end());
    }
    return out;
}

ClipPainter SolidPainter(uint8_t y, uint8_t u, uint8_t v) {
    return [=](int, ClipPicture& p) {
        std::fill(p.y.begin(), p.y.end(), y);
        std::fill(p.u.begin(), p.u.end(), u);
        std::fill(p.v.begin(), p.v.end(), v);
    };
}

ClipPainter FrameNumberPainter() {
    return [](int frame, ClipPicture& p) {
        std::fill(p.u.begin(), p.u.end(), 128);
        std::fill(p.v.begin(), p.v.end(), 128);
        for (int row = 0; row < p.height; ++row) {
            const int cellRow = row * kGridRows / p.height;
            for (int x = 0; x < p.width; ++x) {
                const int bit = cellRow * kGridColumns + x * kGridColumns / p.width;
                p.y[static_cast<size_t>(row) * p.width + x] = ((frame >> bit) & 1) != 0 ? 235 : 16;
            }
        }
    };
}

int ReadFrameNumber(const uint8_t* pixels, int pitch, int width, int height) {
    int number = 0;
    for (int bit = 0; bit < kFrameNumberBits; ++bit) {
        const int column = bit % kGridColumns;
        const int row = bit / kGridColumns;
        const int x = (2 * column + 1) * width / (2 * kGridColumns);
        const int y = (2 * row + 1) * height / (2 * kGridRows);
        const uint8_t green =
            pixels[static_cast<size_t>(y) * pitch + 4 * static_cast<size_t>(x) + 1];
        if (green >= 128) {
            number |= 1 << bit;
        }
    }
    return number;
}

}  // namespace tessel
