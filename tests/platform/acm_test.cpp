// The compression manager's codecs against independent decoders: WAV files
// that libsndfile writes in each format are converted through the ACM calls
// and must equal libsndfile's own decoding sample for sample; MP3 frames
// from LAME must equal libmpg123's own decoding. Also the calls' refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/acm.h"
#include "support/audio_oracles.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}

// The "fmt " and "data" chunks of a RIFF/WAVE image.
struct WavParts {
    std::vector<uint8_t> format;  // 18 + cbSize bytes at least
    std::vector<uint8_t> data;
};

WavParts SplitWav(const std::vector<uint8_t>& file) {
    WavParts parts;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        uint32_t size = Le32(&file[at + 4]);
        size_t end = std::min(file.size(), at + 8 + size);
        std::vector<uint8_t> body(file.begin() + at + 8, file.begin() + end);
        if (std::memcmp(&file[at], "fmt ", 4) == 0) {
            parts.format = body;
            parts.format.resize(std::max<size_t>(parts.format.size(), 18));
        } else if (std::memcmp(&file[at], "data", 4) == 0) {
            parts.data = body;
        }
        at += 8 + size + (size & 1);
    }
    return parts;
}

// Converts `source` to PCM through the ACM calls, handing it in pieces of
// `piece` bytes (what a piece leaves unused goes into the next) and taking
// the output in blocks of `room` bytes.
std::vector<int16_t> ConvertThroughAcm(std::vector<uint8_t> formatBytes,
                                       const std::vector<uint8_t>& source, uint32_t piece,
                                       uint32_t room, WAVEFORMATEX* pcmOut = nullptr) {
    auto* format = reinterpret_cast<WAVEFORMATEX*>(formatBytes.data());
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(nullptr, format, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    if (pcmOut != nullptr) {
        *pcmOut = pcm;
    }
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(
        acmStreamOpen(&stream, nullptr, format, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME),
        MMSYSERR_NOERROR);
    std::vector<uint8_t> out(room);
    std::vector<int16_t> samples;
    size_t at = 0;
    bool first = true;
    while (true) {
        uint32_t take = static_cast<uint32_t>(std::min<size_t>(piece, source.size() - at));
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof(header);
        header.pbSrc = const_cast<uint8_t*>(source.data() + at);
        header.cbSrcLength = take;
        header.pbDst = out.data();
        header.cbDstLength = room;
        EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (first ? ACM_STREAMCONVERTF_START : 0);
        EXPECT_EQ(acmStreamConvert(stream, &header, flags), MMSYSERR_NOERROR);
        EXPECT_NE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE, 0u);
        EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        first = false;
        EXPECT_LE(header.cbSrcLengthUsed, take);
        EXPECT_LE(header.cbDstLengthUsed, room);
        at += header.cbSrcLengthUsed;
        const auto* produced = reinterpret_cast<const int16_t*>(out.data());
        samples.insert(samples.end(), produced, produced + header.cbDstLengthUsed / 2);
        if (header.cbDstLengthUsed == 0 && header.cbSrcLengthUsed == 0) {
            break;
        }
    }
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return samples;
}

struct WavCase {
    const char* name;
    int subformat;
    int channels;
    int rate;
    WORD tag;
};

void PrintTo(const WavCase& c, std::ostream* os) {
    *os << c.name;
}

class AcmWavCodec : public testing::TestWithParam<WavCase> {};

TEST_P(AcmWavCodec, EqualsLibsndfileDecoding) {
    const WavCase& c = GetParam();
    // A length that leaves the last ADPCM block part full.
    std::vector<int16_t> signal = audio_oracles::MakeSignal(20011, c.channels, c.rate);
    std::vector<uint8_t> file = audio_oracles::WriteWav(signal, c.channels, c.rate, c.subformat);
    ASSERT_FALSE(file.empty());
    SF_INFO info{};
    std::vector<int16_t> expected = audio_oracles::ReadWithSndfile(file, &info);
    ASSERT_FALSE(expected.empty());
    WavParts parts = SplitWav(file);
    ASSERT_EQ(reinterpret_cast<WAVEFORMATEX*>(parts.format.data())->wFormatTag, c.tag);

    WAVEFORMATEX pcm{};
    // Pieces that are not a whole number of blocks, and blocks of output that
    // hold a few blocks of input each.
    std::vector<int16_t> actual = ConvertThroughAcm(parts.format, parts.data, 2048, 16384, &pcm);
    EXPECT_EQ(pcm.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm.nChannels, c.channels);
    EXPECT_EQ(pcm.nSamplesPerSec, static_cast<DWORD>(c.rate));
    EXPECT_EQ(pcm.wBitsPerSample, c.tag == WAVE_FORMAT_PCM ? 8 : 16);
    EXPECT_EQ(pcm.nBlockAlign, c.channels * pcm.wBitsPerSample / 8);
    EXPECT_EQ(pcm.nAvgBytesPerSec, static_cast<DWORD>(c.rate) * pcm.nBlockAlign);

    if (c.tag == WAVE_FORMAT_PCM) {
        // 8-bit PCM: the 16-bit conversion is asked for explicitly.
        pcm.wBitsPerSample = 16;
        auto* format = reinterpret_cast<WAVEFORMATEX*>(parts.format.data());
        ASSERT_EQ(
            acmFormatSuggest(nullptr, format, &pcm, sizeof(pcm),
                             ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
            MMSYSERR_NOERROR);
        HACMSTREAM stream = nullptr;
        ASSERT_EQ(acmStreamOpen(&stream, nullptr, format, &pcm, nullptr, 0, 0, 0),
                  MMSYSERR_NOERROR);
        std::vector<uint8_t> out(parts.data.size() * 2);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof(header);
        header.pbSrc = parts.data.data();
        header.cbSrcLength = static_cast<DWORD>(parts.data.size());
        header.pbDst = out.data();
        header.cbDstLength = static_cast<DWORD>(out.size());
        ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
        acmStreamUnprepareHeader(stream, &header, 0);
        acmStreamClose(stream, 0);
        actual.assign(reinterpret_cast<int16_t*>(out.data()),
                      reinterpret_cast<int16_t*>(out.data() + header.cbDstLengthUsed));
    }
    // Every sample libsndfile decodes; an ADPCM file's last block may carry
    // padding samples past the file's length, which only we deliver.
    ASSERT_GE(actual.size(), expected.size());
    ASSERT_LT(actual.size() - expected.size(), 2100u * c.channels);
    actual.resize(expected.size());
    EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AcmWavCodec,
    testing::Values(WavCase{"ImaMono", SF_FORMAT_IMA_ADPCM, 1, 22050, WAVE_FORMAT_IMA_ADPCM},
                    WavCase{"ImaStereo", SF_FORMAT_IMA_ADPCM, 2, 44100, WAVE_FORMAT_IMA_ADPCM},
                    WavCase{"MsAdpcmMono", SF_FORMAT_MS_ADPCM, 1, 11025, WAVE_FORMAT_ADPCM},
                    WavCase{"MsAdpcmStereo", SF_FORMAT_MS_ADPCM, 2, 44100, WAVE_FORMAT_ADPCM},
                    WavCase{"MuLaw", SF_FORMAT_ULAW, 2, 8000, WAVE_FORMAT_MULAW},
                    WavCase{"ALaw", SF_FORMAT_ALAW, 1, 8000, WAVE_FORMAT_ALAW},
                    WavCase{"Pcm8", SF_FORMAT_PCM_U8, 2, 22050, WAVE_FORMAT_PCM}),
    [](const testing::TestParamInfo<WavCase>& info) { return std::string(info.param.name); });

std::vector<uint8_t> Mp3Format(int channels, int rate, int kbps, int frameBytes) {
    std::vector<uint8_t> bytes(sizeof(MPEGLAYER3WAVEFORMAT));
    auto* mp3 = reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(bytes.data());
    mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3->wfx.nChannels = static_cast<WORD>(channels);
    mp3->wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    mp3->wfx.nAvgBytesPerSec = static_cast<DWORD>(kbps * 1000 / 8);
    mp3->wfx.nBlockAlign = 1;
    mp3->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3->wID = MPEGLAYER3_ID_MPEG;
    mp3->nBlockSize = static_cast<WORD>(frameBytes);
    mp3->nFramesPerBlock = 1;
    mp3->nCodecDelay = 1393;
    return bytes;
}

struct Mp3Case {
    const char* name;
    int channels;
    int rate;
    int kbps;
};

void PrintTo(const Mp3Case& c, std::ostream* os) {
    *os << c.name;
}

class AcmMp3 : public testing::TestWithParam<Mp3Case> {};

TEST_P(AcmMp3, FramesEqualLibmpg123Decoding) {
    const Mp3Case& c = GetParam();
    std::vector<int16_t> signal = audio_oracles::MakeSignal(c.rate * 2 + 777, c.channels, c.rate);
    std::vector<uint8_t> frames = audio_oracles::EncodeMp3(signal, c.channels, c.rate, c.kbps);
    ASSERT_FALSE(frames.empty());
    std::vector<int16_t> expected = audio_oracles::DecodeWithMpg123(frames);
    ASSERT_GT(expected.size(), signal.size());
    int frameBytes = (c.rate >= 32000 ? 144000 : 72000) * c.kbps / c.rate;
    // Small pieces and an output block smaller than one frame's samples, so
    // that decoded samples wait inside the codec between calls.
    std::vector<int16_t> actual =
        ConvertThroughAcm(Mp3Format(c.channels, c.rate, c.kbps, frameBytes), frames, 700, 1000);
    EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Rates, AcmMp3,
                         testing::Values(Mp3Case{"Stereo44k", 2, 44100, 128},
                                         Mp3Case{"Mono22k", 1, 22050, 32},
                                         Mp3Case{"Stereo16k", 2, 16000, 48}),
                         [](const testing::TestParamInfo<Mp3Case>& info) {
                             return std::string(info.param.name);
                         });

// Large nibbles in a row grow the Microsoft ADPCM step far beyond any sample;
// it must stay large (the samples swing from end to end of the range), never
// overflow and fall back to the smallest step.
TEST(AcmMsAdpcm, StepGrowthSaturatesWithoutOverflow) {
    const int16_t coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                        {240, 0}, {460, -208}, {392, -232}};
    std::vector<uint8_t> format(sizeof(WAVEFORMATEX) + 4 + sizeof(coefficients));
    auto* adpcm = reinterpret_cast<ADPCMWAVEFORMAT*>(format.data());
    adpcm->wfx = {WAVE_FORMAT_ADPCM, 1, 8000, 4000, 39, 4, 32};
    adpcm->wSamplesPerBlock = 66;
    adpcm->wNumCoef = 7;
    std::memcpy(format.data() + sizeof(WAVEFORMATEX) + 4, coefficients, sizeof(coefficients));
    // Predictor 0, step 1000, both earlier samples 0; then nibbles +7, -7, ...
    std::vector<uint8_t> block = {0, 0xE8, 0x03, 0, 0, 0, 0};
    block.resize(39, 0x79);
    std::vector<int16_t> samples = ConvertThroughAcm(format, block, 39, 4096);
    ASSERT_EQ(samples.size(), 66u);
    for (size_t i = 40; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i], i % 2 == 0 ? 32767 : -32768) << i;
    }
}

TEST(AcmStreamSize, BoundsTheOutputOfBlocksAndFrames) {
    IMAADPCMWAVEFORMAT ima{};
    ima.wfx = {WAVE_FORMAT_IMA_ADPCM, 2, 44100, 44359, 2048, 4, 2};
    ima.wSamplesPerBlock = 2041;
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &ima.wfx, &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    DWORD bytes = 0;
    // (2048 - 8) * 2 / 2 + 1 = 2041 samples a block, 4 bytes each; a part
    // block counts whole.
    EXPECT_EQ(acmStreamSize(stream, 4097, &bytes, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(bytes, 3u * 2041 * 4);
    EXPECT_EQ(acmStreamSize(stream, 2 * 2041 * 4 + 5, &bytes, ACM_STREAMSIZEF_DESTINATION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(bytes, 2u * 2048);
    EXPECT_EQ(acmStreamSize(stream, 100, &bytes, ACM_STREAMSIZEF_DESTINATION), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    // A closed stream's id is refused from then on.
    EXPECT_EQ(acmStreamSize(stream, 4096, &bytes, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmCalls, RefuseWhatNoDriverTakes) {
    DWORD largest = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest), MMSYSERR_NOERROR);
    EXPECT_EQ(largest, 50u);
    EXPECT_EQ(acmMetrics(nullptr, 99, &largest), MMSYSERR_NOTSUPPORTED);

    struct Case {
        WAVEFORMATEX source;
        const char* why;
    };
    const Case cases[] = {
        {{WAVE_FORMAT_PCM, 0, 44100, 0, 0, 16, 0}, "no channels"},
        {{WAVE_FORMAT_PCM, 2, 0, 0, 4, 16, 0}, "no rate"},
        {{WAVE_FORMAT_PCM, 2, 44100, 176400, 3, 16, 0}, "block align not the frame"},
        {{WAVE_FORMAT_PCM, 1, 44100, 0, 3, 24, 0}, "24-bit PCM"},
        {{WAVE_FORMAT_IMA_ADPCM, 2, 44100, 0, 6, 4, 2}, "IMA block shorter than its headers"},
        {{WAVE_FORMAT_ADPCM, 1, 44100, 0, 256, 4, 0}, "MS ADPCM without coefficients"},
        {{WAVE_FORMAT_MPEGLAYER3, 2, 44000, 16000, 1, 0, 12}, "not an MPEG rate"},
        {{0x0161, 2, 44100, 16000, 1, 0, 0}, "unknown tag"},
    };
    for (const Case& c : cases) {
        WAVEFORMATEX source[4] = {c.source};  // room for any extra bytes read
        WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(
            acmFormatSuggest(nullptr, source, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG),
            ACMERR_NOTPOSSIBLE)
            << c.why;
        pcm = {WAVE_FORMAT_PCM,
               c.source.nChannels,
               c.source.nSamplesPerSec,
               0,
               static_cast<WORD>(c.source.nChannels * 2),
               16,
               0};
        HACMSTREAM stream = reinterpret_cast<HACMSTREAM>(1);
        EXPECT_EQ(acmStreamOpen(&stream, nullptr, source, &pcm, nullptr, 0, 0, 0),
                  ACMERR_NOTPOSSIBLE)
            << c.why;
        EXPECT_EQ(stream, nullptr) << c.why;
    }

    // A good source, but a destination of another rate or tag.
    WAVEFORMATEX law{WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0};
    WAVEFORMATEX wanted{WAVE_FORMAT_PCM, 1, 11025, 0, 2, 16, 0};
    EXPECT_EQ(acmFormatSuggest(nullptr, &law, &wanted, sizeof(wanted),
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
              ACMERR_NOTPOSSIBLE);
    wanted.wFormatTag = WAVE_FORMAT_ALAW;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, &law, &wanted, sizeof(wanted), ACM_FORMATSUGGESTF_WFORMATTAG),
        ACMERR_NOTPOSSIBLE);
    wanted = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &law, &wanted, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &law, &wanted, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
              MMSYSERR_INVALFLAG);

    // A header must be prepared before it converts.
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &law, &wanted, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    uint8_t in[4] = {0xFF, 0x7F, 0x00, 0x80};
    uint8_t out[8] = {};
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = in;
    header.cbSrcLength = 4;
    header.pbDst = out;
    header.cbDstLength = 8;
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
    // G.711 mu-law: 0xFF and 0x7F are the two zeros, 0x00 and 0x80 the extremes.
    const int16_t expected[4] = {0, 0, -32124, 32124};
    EXPECT_EQ(std::memcmp(out, expected, sizeof(expected)), 0);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
}

}  // namespace
