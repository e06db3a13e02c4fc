// The MP3 opener: the frame header table, ID3v2 and trailing tag skipping,
// the frame walk, and MP3 files decoded through the chain against
// libmpg123's own decoding of the same frames.
#include <gtest/gtest.h>

#include "sound/decoder_test_support.h"
#include "sound/decoders/mp3_frames.h"
#include "support/audio_oracles.h"

namespace {

struct HeaderCase {
    uint8_t bytes[4];
    int result;
    tessel::Mp3FrameHeader expected;  // mpeg1, layer, kbit/s, Hz, padding, channels, samples, bytes
};

TEST(Mp3FrameHeader, FollowsTheMpegTables) {
    const HeaderCase cases[] = {
        // MPEG-1 layer III, 128 kbit/s, 44100 Hz, joint stereo; then padded, mono.
        {{0xFF, 0xFB, 0x90, 0x64}, 0, {1, 2, 128, 44100, 0, 2, 1152, 417}},
        {{0xFF, 0xFB, 0x92, 0xC4}, 0, {1, 2, 128, 44100, 1, 1, 1152, 418}},
        // MPEG-1 layer II 192 kbit/s 44100 Hz; layer I 384 kbit/s padded.
        {{0xFF, 0xFD, 0xA0, 0x00}, 0, {1, 1, 192, 44100, 0, 2, 1152, 626}},
        {{0xFF, 0xFF, 0xC2, 0x00}, 0, {1, 0, 384, 44100, 1, 2, 384, 420}},
        // MPEG-2 layer III 64 kbit/s 22050 Hz; 8 kbit/s 16000 Hz.
        {{0xFF, 0xF3, 0x80, 0xC0}, 0, {0, 2, 64, 22050, 0, 1, 576, 208}},
        {{0xFF, 0xF3, 0x18, 0x00}, 0, {0, 2, 8, 16000, 0, 2, 576, 36}},
        // MPEG-2 layer II keeps 1152 samples: 144000 x 64 / 24000 + 1.
        {{0xFF, 0xF5, 0x86, 0x00}, 0, {0, 1, 64, 24000, 1, 2, 1152, 385}},
        // MPEG-2 layer I 144 kbit/s 16000 Hz.
        {{0xFF, 0xF7, 0x98, 0x00}, 0, {0, 0, 144, 16000, 0, 2, 384, 432}},
        // Refused: layer bits 00, bit-rate index 15 and 0, sample-rate index 3,
        // and no sync.
        {{0xFF, 0xF9, 0x90, 0x00}, -1, {}},
        {{0xFF, 0xFB, 0xF0, 0x00}, -1, {}},
        {{0xFF, 0xFB, 0x00, 0x00}, -1, {}},
        {{0xFF, 0xFB, 0x9C, 0x00}, -1, {}},
        {{0xFE, 0xFB, 0x90, 0x00}, -1, {}},
        {{0xFF, 0xE3, 0x90, 0x00}, -1, {}},
    };
    for (const HeaderCase& c : cases) {
        tessel::Mp3FrameHeader header{};
        int result = tessel::ParseMp3FrameHeader(c.bytes, &header);
        std::string row = testing::PrintToString(std::vector<int>(c.bytes, c.bytes + 4));
        ASSERT_EQ(result, c.result) << row;
        if (result != 0) {
            continue;
        }
        const tessel::Mp3FrameHeader& e = c.expected;
        EXPECT_EQ(header.mpeg1, e.mpeg1) << row;
        EXPECT_EQ(header.layer, e.layer) << row;
        EXPECT_EQ(header.bitRate, e.bitRate) << row;
        EXPECT_EQ(header.sampleRate, e.sampleRate) << row;
        EXPECT_EQ(header.padding, e.padding) << row;
        EXPECT_EQ(header.channels, e.channels) << row;
        EXPECT_EQ(header.samplesPerFrame, e.samplesPerFrame) << row;
        EXPECT_EQ(header.frameSize, e.frameSize) << row;
    }
}

TEST(Id3TagSkip, CountsHeaderAndFooter) {
    struct Case {
        std::vector<uint8_t> head;
        uint32_t skip;
    };
    const Case cases[] = {
        {{'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 1}, 257 + 20},  // version 4 with footer
        {{'I', 'D', '3', 4, 0, 0x00, 0, 0, 2, 1}, 257 + 10},  // version 4, no footer
        {{'I', 'D', '3', 3, 0, 0x10, 0, 0, 2, 1},
         257 + 10},  // the flag means no footer in version 3
        {{'I', 'D', '3', 4, 0, 0x00, 0xFF, 0x7F, 0x80, 0x81}, 0x0FFFC001 + 10},  // 7 bits a byte
        {{'I', 'D', '2', 4, 0, 0x10, 0, 0, 2, 1}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tessel::Id3TagSkip(c.head.data(), 10), c.skip) << testing::PrintToString(c.head);
    }
    EXPECT_EQ(tessel::Id3TagSkip(cases[0].head.data(), 9), 0u);
}

// Frames of MPEG-2 layer II walk at their real size: a walk at half the size
// would land inside each frame and count it short.
TEST(Mp3FrameWalk, CountsMpeg2LayerTwoFramesWhole) {
    const uint8_t header[4] = {0xFF, 0xF5, 0x86, 0x00};  // 385 bytes, 1152 samples
    std::vector<uint8_t> data(7);                        // leading bytes without sync
    for (int i = 0; i < 5; ++i) {
        data.insert(data.end(), header, header + 4);
        data.resize(data.size() + 381, 0x11);
    }
    std::vector<uint8_t> cut(header, header + 4);  // a last frame cut off by the end
    data.insert(data.end(), cut.begin(), cut.end());
    data.resize(data.size() + 20, 0x11);
    tessel::Mp3Scan scan;
    ASSERT_EQ(tessel::ScanMp3Frames(data.data(), 0, static_cast<uint32_t>(data.size()), &scan), 0);
    EXPECT_EQ(scan.firstFrame, 7u);
    EXPECT_EQ(scan.totalSamples, 5 * 1152);
    EXPECT_EQ(scan.dataEnd, 7u + 5 * 385);
}

struct Mp3Case {
    const char* name;
    int channels;
    int rate;
    int kbps;
    int samplesPerFrame;
};

void PrintTo(const Mp3Case& c, std::ostream* os) {
    *os << c.name;
}

// An ID3v2.4 tag with a footer, whose last bytes would stop the walk if the
// tag were skipped short, then the frames, then a "TAG" block with bytes that
// would stop it too if it were decoded.
std::vector<uint8_t> WrapInTags(const std::vector<uint8_t>& frames) {
    std::vector<uint8_t> file = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0x20};  // 160 bytes of tag
    std::vector<uint8_t> body(160, 'x');
    body[155] = 0xFF;
    body[156] = 0xFF;
    file.insert(file.end(), body.begin(), body.end());
    const uint8_t footer[10] = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 1, 0x20};
    file.insert(file.end(), footer, footer + 10);
    file.insert(file.end(), frames.begin(), frames.end());
    std::vector<uint8_t> tag(128, ' ');
    std::memcpy(tag.data(), "TAG", 3);
    tag[40] = 0xFF;
    tag[41] = 0xFF;
    file.insert(file.end(), tag.begin(), tag.end());
    return file;
}

class Mp3Chain : public testing::TestWithParam<Mp3Case> {};

TEST_P(Mp3Chain, EqualsLibmpg123AndCountsEveryFrame) {
    const Mp3Case& c = GetParam();
    std::vector<int16_t> signal = audio_oracles::MakeSignal(c.rate * 3 / 2, c.channels, c.rate);
    std::vector<uint8_t> frames = audio_oracles::EncodeMp3(signal, c.channels, c.rate, c.kbps);
    std::vector<int16_t> expected = audio_oracles::DecodeWithMpg123(frames);
    ASSERT_FALSE(expected.empty());

    sound_test::MemoryDecoder decoder(WrapInTags(frames));
    ASSERT_EQ(decoder.result(), 0);
    EXPECT_EQ(decoder.get()->method, tessel::kDecodeAcm);
    WAVEFORMATEX format;
    tessel::GetDecoderFormat(decoder.get(), &format);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, c.channels);
    EXPECT_EQ(format.nSamplesPerSec, static_cast<DWORD>(c.rate));
    EXPECT_EQ(format.wBitsPerSample, 16);

    std::vector<uint8_t> all = sound_test::ReadRest(decoder.get());
    EXPECT_EQ(sound_test::AsSamples(all), expected);
    // Every frame counted, none of the tags.
    int64_t framesCounted =
        tessel::GetDecoderPcmSize(decoder.get()) / format.nBlockAlign / c.samplesPerFrame;
    EXPECT_EQ(tessel::GetDecoderPcmSize(decoder.get()), static_cast<int64_t>(all.size()));
    EXPECT_EQ(framesCounted * c.samplesPerFrame * c.channels,
              static_cast<int64_t>(expected.size()));

    // A seek back restarts the conversion and lands on the same samples.
    ASSERT_EQ(tessel::SeekDecoder(decoder.get(), 1234), 0);
    std::vector<uint8_t> piece(3000);
    ASSERT_EQ(tessel::ReadDecoder(decoder.get(), piece.data(), 3000), 3000);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), all.begin() + 1234 * format.nBlockAlign));
}

INSTANTIATE_TEST_SUITE_P(Files, Mp3Chain,
                         testing::Values(Mp3Case{"Mpeg1Stereo", 2, 44100, 128, 1152},
                                         Mp3Case{"Mpeg2Mono", 1, 22050, 40, 576}),
                         [](const testing::TestParamInfo<Mp3Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
