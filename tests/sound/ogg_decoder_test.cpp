// The Ogg Vorbis adapter against libvorbisfile driven directly: format,
// length, whole decode and seek on a file that libvorbisenc makes; damaged
// pages; streams that are not Ogg.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>

#include "sound/decoder_test_support.h"
#include "sound/decoders/ogg_decoder.h"
#include "tools/lib/gamedata/synth.h"

namespace {

std::vector<uint8_t> MakeOgg(double seconds, int rate) {
    size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / rate;
        left[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * t));
        right[i] =
            static_cast<float>(0.4 * std::sin(2 * M_PI * 660 * t) * std::sin(2 * M_PI * 0.7 * t));
    }
    return tessel::gamedata::EncodeOggVorbis(left, right, rate, 0.3f);
}

const std::vector<uint8_t>& Ogg() {
    static const std::vector<uint8_t> file = MakeOgg(3.0, 44100);
    return file;
}

// The reference decode through libvorbisfile over a plain memory reader.
struct Reference {
    std::vector<uint8_t> pcm;
    ogg_int64_t total = 0;
};

struct MemoryReader {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

size_t ReaderRead(void* out, size_t size, size_t count, void* source) {
    auto* r = static_cast<MemoryReader*>(source);
    size_t n = std::min(size * count, r->bytes->size() - r->at);
    std::memcpy(out, r->bytes->data() + r->at, n);
    r->at += n;
    return size == 0 ? 0 : n / size;
}

int ReaderSeek(void* source, ogg_int64_t offset, int whence) {
    auto* r = static_cast<MemoryReader*>(source);
    ogg_int64_t base = whence == SEEK_CUR   ? static_cast<ogg_int64_t>(r->at)
                       : whence == SEEK_END ? static_cast<ogg_int64_t>(r->bytes->size())
                                            : 0;
    r->at = static_cast<size_t>(std::clamp<ogg_int64_t>(base + offset, 0, r->bytes->size()));
    return 0;
}

long ReaderTell(void* source) {
    return static_cast<long>(static_cast<MemoryReader*>(source)->at);
}

Reference DecodeDirectly(int width) {
    Reference r;
    MemoryReader reader{&Ogg(), 0};
    OggVorbis_File vorbis;
    ov_callbacks callbacks = {ReaderRead, ReaderSeek, nullptr, ReaderTell};
    if (ov_open_callbacks(&reader, &vorbis, nullptr, 0, callbacks) != 0) {
        return r;
    }
    r.total = ov_pcm_total(&vorbis, -1);
    char buffer[4096];
    int section = 0;
    long got;
    while ((got = ov_read(&vorbis, buffer, sizeof(buffer), 0, width, width == 1 ? 0 : 1,
                          &section)) > 0) {
        r.pcm.insert(r.pcm.end(), buffer, buffer + got);
    }
    ov_clear(&vorbis);
    return r;
}

const Reference& ReferenceDecode() {
    static const Reference reference = DecodeDirectly(2);
    return reference;
}

TEST(OggDecoder, GivesSixteenBitStereoAndTheWholeLength) {
    const Reference& reference = ReferenceDecode();
    ASSERT_GT(reference.total, 100000);
    sound_test::MemoryDecoder decoder(Ogg());
    ASSERT_EQ(decoder.result(), 0);
    EXPECT_EQ(decoder.get()->method, tessel::kDecodeOggVorbis);
    WAVEFORMATEX format;
    tessel::GetDecoderFormat(decoder.get(), &format);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
    EXPECT_EQ(format.nBlockAlign, 4);
    EXPECT_EQ(format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.cbSize, 0);
    EXPECT_EQ(tessel::GetDecoderPcmSize(decoder.get()), reference.total * 4);
    EXPECT_EQ(sound_test::ReadRest(decoder.get(), 3333), reference.pcm);
}

TEST(OggDecoder, SeekThenReadEqualsTheDecodeFromTheStart) {
    const Reference& reference = ReferenceDecode();
    sound_test::MemoryDecoder decoder(Ogg());
    ASSERT_EQ(decoder.result(), 0);
    const int64_t targets[] = {50001, 3, 120000, 20000};
    for (int64_t target : targets) {
        ASSERT_EQ(tessel::SeekDecoder(decoder.get(), target), 0);
        EXPECT_EQ(decoder.get()->pcmPosition, static_cast<uint32_t>(target * 4));
        std::vector<uint8_t> piece(10000);
        ASSERT_EQ(tessel::ReadDecoder(decoder.get(), piece.data(), 10000), 10000) << target;
        EXPECT_TRUE(std::equal(piece.begin(), piece.end(), reference.pcm.begin() + target * 4))
            << target;
    }
}

TEST(OggDecoder, EightBitWidthGivesUnsignedBytes) {
    tessel::SetOggSampleWidth(1);
    sound_test::MemoryDecoder decoder(Ogg());
    tessel::SetOggSampleWidth(2);
    ASSERT_EQ(decoder.result(), 0);
    WAVEFORMATEX format;
    tessel::GetDecoderFormat(decoder.get(), &format);
    EXPECT_EQ(format.nBlockAlign, 2);
    EXPECT_EQ(format.wBitsPerSample, 8);
    EXPECT_EQ(format.nAvgBytesPerSec, 88200u);
    // Unsigned bytes, as libvorbisfile makes them when asked directly.
    EXPECT_EQ(sound_test::ReadRest(decoder.get()), DecodeDirectly(1).pcm);
}

TEST(OggDecoder, DamagedPagesNeverGiveANegativeCount) {
    for (size_t at : {Ogg().size() / 3, Ogg().size() / 2, Ogg().size() - 300}) {
        std::vector<uint8_t> damaged = Ogg();
        for (size_t i = 0; i < 200; ++i) {
            damaged[at + i] = static_cast<uint8_t>(i * 37);
        }
        sound_test::MemoryDecoder decoder(damaged);
        ASSERT_EQ(decoder.result(), 0);
        std::vector<uint8_t> pcm =
            sound_test::ReadRest(decoder.get(), 4096);  // fails on a negative read
        EXPECT_GT(pcm.size(), 0u);
        int32_t after = tessel::ReadDecoder(decoder.get(), pcm.data(), 16);
        EXPECT_EQ(after, 0);
    }
}

TEST(OggDecoder, OtherDataFailsWithoutALeak) {
    std::vector<uint8_t> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    }
    std::vector<uint8_t> headerOnly(Ogg().begin(),
                                    Ogg().begin() + 200);  // an Ogg page, then nothing
    for (const std::vector<uint8_t>* bytes : {&noise, &headerOnly}) {
        uint32_t before = tessel::TrackedBlockCount();
        tessel::MemoryStream* memory =
            tessel::OpenMemoryStream(bytes->data(), static_cast<uint32_t>(bytes->size()));
        tessel::PcmDecoder decoder{};
        tessel::InitInputStream(&decoder.stream, tessel::GetMemoryStreamOps(),
                                tessel::StreamHandleOf(memory));
        EXPECT_EQ(tessel::OggDecoderOpen(&decoder), -1);
        EXPECT_EQ(decoder.vorbis, nullptr);
        EXPECT_EQ(decoder.vorbisOpened, 0);
        // The whole chain refuses it too and keeps nothing.
        tessel::InputStream stream = decoder.stream;
        EXPECT_EQ(tessel::OpenDecoder(&stream, &decoder), -1);
        tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
        EXPECT_EQ(tessel::TrackedBlockCount(), before);
    }
}

}  // namespace
