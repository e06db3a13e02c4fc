// Clips for the movie tests: files in memory read through a FileOps table of
// their own, the decoder opened over them, and an independent decode of the
// same clip through libtheora's th_decode_* calls as the oracle of pictures.
#pragma once

#include <ogg/ogg.h>
#include <theora/theoradec.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/files/file_ops.h"
#include "movie/theora_decoder.h"
#include "tools/lib/theora_clip.h"

namespace tessel_test {

// A file in memory: its bytes and a read position.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

inline MemoryFile* AsMemoryFile(tessel::FileHandle file) {
    return reinterpret_cast<MemoryFile*>(file);
}

inline const tessel::FileOps& MemoryFileOps() {
    static const tessel::FileOps ops = [] {
        tessel::FileOps o{};
        o.tell = [](tessel::FileHandle f) {
            return static_cast<int32_t>(AsMemoryFile(f)->position);
        };
        o.seek = [](tessel::FileHandle f, int32_t offset, int origin) {
            MemoryFile* m = AsMemoryFile(f);
            const int64_t base = origin == 0   ? 0
                                 : origin == 1 ? static_cast<int64_t>(m->position)
                                               : static_cast<int64_t>(m->bytes.size());
            const int64_t to = base + offset;
            if (to < 0 || to > static_cast<int64_t>(m->bytes.size())) {
                return -1;
            }
            m->position = static_cast<size_t>(to);
            return 0;
        };
        o.read = [](void* buffer, uint32_t size, uint32_t count, tessel::FileHandle f) {
            MemoryFile* m = AsMemoryFile(f);
            if (size == 0) {
                return 0u;
            }
            const size_t left = m->bytes.size() - m->position;
            const size_t items = std::min<size_t>(count, left / size);
            if (items > 0) {
                std::memcpy(buffer, m->bytes.data() + m->position, items * size);
            }
            m->position += items * size;
            return static_cast<uint32_t>(items);
        };
        o.eof = [](tessel::FileHandle f) {
            MemoryFile* m = AsMemoryFile(f);
            return m->position >= m->bytes.size() ? 1 : 0;
        };
        return o;
    }();
    return ops;
}

inline tessel::TheoraDecoder* OpenMemoryClip(MemoryFile& file, int stock = 10) {
    file.position = 0;
    return tessel::TheoraOpen(&MemoryFileOps(), reinterpret_cast<tessel::FileHandle>(&file), stock);
}

// Every frame of a clip decoded on its own: the planes of each frame, rows
// packed at their widths.
struct OracleFrame {
    int yWidth, yHeight, uvWidth, uvHeight;
    std::vector<uint8_t> y, u, v;
    bool key;
};

inline std::vector<OracleFrame> DecodeAllFrames(const std::vector<uint8_t>& clip) {
    std::vector<OracleFrame> frames;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(clip.size()));
    std::memcpy(buffer, clip.data(), clip.size());
    ogg_sync_wrote(&sync, static_cast<long>(clip.size()));
    th_info info;
    th_comment comment;
    th_setup_info* setup = nullptr;
    th_info_init(&info);
    th_comment_init(&comment);
    ogg_stream_state stream;
    bool haveStream = false;
    th_dec_ctx* decoder = nullptr;
    ogg_page page;
    ogg_packet packet;
    int headers = 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (!haveStream) {
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            haveStream = true;
        }
        if (ogg_stream_pagein(&stream, &page) != 0) {
            continue;
        }
        while (ogg_stream_packetout(&stream, &packet) == 1) {
            if (headers < 3) {
                if (th_decode_headerin(&info, &comment, &setup, &packet) > 0) {
                    ++headers;
                }
                if (headers == 3) {
                    decoder = th_decode_alloc(&info, setup);
                }
                continue;
            }
            const bool key = th_packet_iskeyframe(&packet) == 1;
            th_decode_packetin(decoder, &packet, nullptr);
            th_ycbcr_buffer out;
            th_decode_ycbcr_out(decoder, out);
            OracleFrame f{out[0].width, out[0].height, out[1].width, out[1].height, {}, {}, {},
                          key};
            auto take = [](const th_img_plane& p, std::vector<uint8_t>& to) {
                for (int row = 0; row < p.height; ++row) {
                    to.insert(to.end(), p.data + static_cast<intptr_t>(row) * p.stride,
                              p.data + static_cast<intptr_t>(row) * p.stride + p.width);
                }
            };
            take(out[0], f.y);
            take(out[1], f.u);
            take(out[2], f.v);
            frames.push_back(std::move(f));
        }
    }
    if (decoder != nullptr) {
        th_decode_free(decoder);
    }
    th_setup_free(setup);
    if (haveStream) {
        ogg_stream_clear(&stream);
    }
    th_comment_clear(&comment);
    th_info_clear(&info);
    ogg_sync_clear(&sync);
    return frames;
}

}  // namespace tessel_test
