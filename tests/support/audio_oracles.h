// Sound files made and decoded by independent libraries, for checking our
// decoders: libsndfile writes and reads WAV files in memory, LAME encodes MP3
// frames and libmpg123 decodes them on its own. Test-only; nothing here is
// linked into the library.
#pragma once

#include <lame/lame.h>
#include <mpg123.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace audio_oracles {

// A test signal that keeps an adaptive codec busy: two tones, a sweep of
// loudness up to full scale, clipped bursts, near silence and noise from a
// fixed generator.
inline std::vector<int16_t> MakeSignal(int frames, int channels, int rate, uint32_t seed = 12345) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    uint32_t noise = seed;
    for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / rate;
        double envelope = 0.1 + 0.9 * (i % (rate / 2)) / (rate / 2.0);
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            double value = envelope * (0.6 * std::sin(2 * M_PI * (440.0 + 110 * c) * t) +
                                       0.3 * std::sin(2 * M_PI * 3001.0 * t)) +
                           0.1 * (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0;
            if ((i / 1000) % 7 == 3) {
                value *= 3.0;  // a clipped burst
            } else if ((i / 1000) % 7 == 5) {
                value *= 0.0005;  // near silence, where adaptive steps bottom out
            }
            double scaled = std::round(value * 32767.0);
            samples[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, scaled)));
        }
    }
    return samples;
}

// libsndfile's virtual input and output over a growing byte vector.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    sf_count_t position = 0;

    static sf_count_t Length(void* self) {
        return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->bytes.size());
    }
    static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
        auto* file = static_cast<MemoryFile*>(self);
        sf_count_t base = whence == SEEK_CUR   ? file->position
                          : whence == SEEK_END ? static_cast<sf_count_t>(file->bytes.size())
                                               : 0;
        file->position = base + offset;
        return file->position;
    }
    static sf_count_t Read(void* buffer, sf_count_t count, void* self) {
        auto* file = static_cast<MemoryFile*>(self);
        sf_count_t left = static_cast<sf_count_t>(file->bytes.size()) - file->position;
        sf_count_t n = count < left ? count : (left > 0 ? left : 0);
        std::memcpy(buffer, file->bytes.data() + file->position, static_cast<size_t>(n));
        file->position += n;
        return n;
    }
    static sf_count_t Write(const void* buffer, sf_count_t count, void* self) {
        auto* file = static_cast<MemoryFile*>(self);
        size_t end = static_cast<size_t>(file->position + count);
        if (file->bytes.size() < end) {
            file->bytes.resize(end);
        }
        std::memcpy(file->bytes.data() + file->position, buffer, static_cast<size_t>(count));
        file->position += count;
        return count;
    }
    static sf_count_t Tell(void* self) { return static_cast<MemoryFile*>(self)->position; }

    static SF_VIRTUAL_IO* Io() {
        static SF_VIRTUAL_IO io = {Length, Seek, Read, Write, Tell};
        return &io;
    }
};

// A WAV file of `samples` in libsndfile's `subformat` (SF_FORMAT_IMA_ADPCM ...).
inline std::vector<uint8_t> WriteWav(const std::vector<int16_t>& samples, int channels, int rate,
                                     int subformat) {
    MemoryFile file;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | subformat;
    SNDFILE* sound = sf_open_virtual(MemoryFile::Io(), SFM_WRITE, &info, &file);
    if (sound == nullptr) {
        return {};
    }
    sf_write_short(sound, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(sound);
    return file.bytes;
}

// libsndfile's decoding of a whole file to 16-bit samples.
inline std::vector<int16_t> ReadWithSndfile(const std::vector<uint8_t>& bytes,
                                            SF_INFO* infoOut = nullptr) {
    MemoryFile file;
    file.bytes = bytes;
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(MemoryFile::Io(), SFM_READ, &info, &file);
    if (sound == nullptr) {
        return {};
    }
    std::vector<int16_t> samples(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t got = sf_read_short(sound, samples.data(), static_cast<sf_count_t>(samples.size()));
    samples.resize(static_cast<size_t>(got));
    sf_close(sound);
    if (infoOut != nullptr) {
        *infoOut = info;
    }
    return samples;
}

// MP3 frames of `samples` from LAME at a constant bit rate, without the info
// frame, so that every frame is audio.
inline std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& samples, int channels, int rate,
                                      int kbps) {
    lame_global_flags* lame = lame_init();
    lame_set_num_channels(lame, channels);
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_brate(lame, kbps);
    lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_quality(lame, 7);
    std::vector<uint8_t> out;
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return out;
    }
    int frames = static_cast<int>(samples.size() / channels);
    std::vector<int16_t> left(frames);
    std::vector<int16_t> right(frames);
    for (int i = 0; i < frames; ++i) {
        left[i] = samples[static_cast<size_t>(i) * channels];
        right[i] = samples[static_cast<size_t>(i) * channels + channels - 1];
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(frames) * 5 / 4 + 7200 + 16384);
    int n = lame_encode_buffer(lame, left.data(), right.data(), frames, buffer.data(),
                               static_cast<int>(buffer.size()));
    if (n > 0) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    n = lame_encode_flush(lame, buffer.data(), static_cast<int>(buffer.size()));
    if (n > 0) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    lame_close(lame);
    return out;
}

// libmpg123's own decoding of MPEG audio frames to 16-bit samples, every frame
// kept (no gapless trimming, no info frame).
inline std::vector<int16_t> DecodeWithMpg123(const std::vector<uint8_t>& frames) {
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_open_feed(handle);
    std::vector<int16_t> samples;
    std::vector<uint8_t> out(1 << 16);
    size_t done = 0;
    int result = mpg123_decode(handle, frames.data(), frames.size(), out.data(), out.size(), &done);
    while (true) {
        samples.insert(samples.end(), reinterpret_cast<int16_t*>(out.data()),
                       reinterpret_cast<int16_t*>(out.data() + done));
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break;
        }
        result = mpg123_decode(handle, nullptr, 0, out.data(), out.size(), &done);
    }
    mpg123_delete(handle);
    return samples;
}

}  // namespace audio_oracles
