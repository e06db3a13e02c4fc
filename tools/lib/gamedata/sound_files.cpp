// Sound file writers of the generator: PCM WAV written field by field, and
// Ogg Vorbis through libvorbisenc.
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstring>

#include "tools/lib/gamedata/synth.h"

namespace tessel::gamedata {

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(tag[i]));
    }
}

void AppendBytes(std::vector<uint8_t>& out, const unsigned char* bytes, long count) {
    if (count <= 0) {
        return;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(count));
    std::memcpy(out.data() + at, bytes, static_cast<size_t>(count));
}

void AppendPages(std::vector<uint8_t>& out, const ogg_page& page) {
    AppendBytes(out, page.header, page.header_len);
    AppendBytes(out, page.body, page.body_len);
}

}  // namespace

std::vector<uint8_t> EncodeWav(const std::vector<float>& samples, int rate) {
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    PutLe(out, 36 + dataBytes, 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);  // PCM
    PutLe(out, 1, 2);  // mono
    PutLe(out, static_cast<uint32_t>(rate), 4);
    PutLe(out, static_cast<uint32_t>(rate) * 2, 4);
    PutLe(out, 2, 2);   // block align
    PutLe(out, 16, 2);  // bits
    PutTag(out, "data");
    PutLe(out, dataBytes, 4);
    for (float s : samples) {
        const float clipped = std::clamp(s, -1.0f, 1.0f);
        const auto value = static_cast<int16_t>(std::lround(clipped * 32767.0f));
        PutLe(out, static_cast<uint16_t>(value), 2);
    }
    return out;
}

std::vector<uint8_t> EncodeOggVorbis(const std::vector<float>& left,
                                     const std::vector<float>& right, int rate, float quality) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 2, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "makegamedata");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x56414E54);  // a fixed serial keeps the output reproducible

    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
        AppendPages(out, page);
    }

    const size_t frames = std::min(left.size(), right.size());
    constexpr size_t kChunk = 4096;
    bool ended = false;
    size_t at = 0;
    while (!ended) {
        const size_t count = std::min(kChunk, frames - at);
        if (count == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            std::memcpy(buffer[0], left.data() + at, count * sizeof(float));
            std::memcpy(buffer[1], right.data() + at, count * sizeof(float));
            vorbis_analysis_wrote(&dsp, static_cast<int>(count));
            at += count;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    AppendPages(out, page);
                    if (ogg_page_eos(&page) != 0) {
                        ended = true;
                    }
                }
            }
        }
        if (count == 0) {
            ended = true;
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) {
        AppendPages(out, page);
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

}  // namespace tessel::gamedata
