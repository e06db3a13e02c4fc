// The WAV openers of the decoder chain: the chunk walk's rules on hand-made
// files, PCM read and seek, compressed WAVs through the compression manager
// against libsndfile's decoding, whole decodes and the WAV image builder.
#include <gtest/gtest.h>

#include "sound/decoder_test_support.h"
#include "support/audio_oracles.h"

namespace {

using sound_test::MemoryDecoder;
using sound_test::PcmFormat;
using sound_test::PutChunk;
using sound_test::Riff;

// What becomes of a file the walk refuses but the chain's last step, the
// conversion graph, can still read: it opens as PCM made in memory.
constexpr int kReadByTheGraph = 1;

struct WalkCase {
    const char* name;
    std::vector<uint8_t> file;
    int result;         // 0, -1 or kReadByTheGraph
    uint32_t pcmBytes;  // what GetDecoderPcmSize and a whole read give
    WORD bits;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> Chunks(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, int64_t sizeField = -1,
                           bool pad = true) {
    std::vector<uint8_t> out;
    PutChunk(&out, id, body, sizeField, pad);
    return out;
}

const std::vector<uint8_t> kData = sound_test::CountingBytes(300);
const std::vector<uint8_t> kFmt = PcmFormat(2, 22050, 16, 4, true);

std::vector<WalkCase> WalkCases() {
    return {
        {"PlainFileOpens", Riff(Chunks({Chunk("fmt ", kFmt), Chunk("data", kData)})), 0, 300, 16},
        {"BextBeforeFmtOpens",
         Riff(Chunks({Chunk("bext", {1, 2, 3, 4, 5}), Chunk("fmt ", kFmt), Chunk("data", kData)})),
         0, 300, 16},
        {"OtherChunkBeforeFmtFailsTheWalk",
         Riff(Chunks({Chunk("LIST", {1, 2, 3, 4}), Chunk("fmt ", kFmt), Chunk("data", kData)})),
         kReadByTheGraph, 300, 16},
        {"SixteenByteFmtTakesBitsFromBlockAlign",
         Riff(Chunks({Chunk("fmt ", PcmFormat(2, 8000, 0, 2, false)), Chunk("data", kData)})), 0,
         300, 8},
        {"OddChunkIsPadded",
         Riff(Chunks({Chunk("fmt ", kFmt), Chunk("junk", {9, 9, 9}), Chunk("data", kData)})), 0,
         300, 16},
        {"DataBeyondTheFileIsCut",
         Riff(Chunks({Chunk("fmt ", kFmt), Chunk("data", kData, 100000)})), 0, 300, 16},
        {"ChunkBeyondTheStreamFails",
         Riff(Chunks(
             {Chunk("fmt ", kFmt), Chunk("LIST", {1, 2}, 0x7FFFFFF0), Chunk("data", kData)})),
         -1, 0, 0},
        {"FmtBeyondTheStreamFails", Riff(Chunks({Chunk("fmt ", kFmt, 0x7FFFFFF0)})), -1, 0, 0},
        {"BextBeyondTheStreamFails",
         Riff(Chunks(
             {Chunk("bext", {1, 2}, 0x7FFFFFF0), Chunk("fmt ", kFmt), Chunk("data", kData)})),
         -1, 0, 0},
        {"NoDataFails", Riff(Chunks({Chunk("fmt ", kFmt)})), -1, 0, 0},
        {"ZeroChannelsFails",
         Riff(Chunks({Chunk("fmt ", PcmFormat(0, 22050, 16, 4, true)), Chunk("data", kData)})), -1,
         0, 0},
        {"ZeroRateFails",
         Riff(Chunks({Chunk("fmt ", PcmFormat(2, 0, 16, 4, true)), Chunk("data", kData)})), -1, 0,
         0},
        {"ZeroBlockAlignFailsTheWalk",
         Riff(Chunks({Chunk("fmt ", PcmFormat(2, 22050, 16, 0, true)), Chunk("data", kData)})),
         kReadByTheGraph, 300, 16},
        {"ZeroBlockAlignSixteenByteFmtFailsTheWalk",
         Riff(Chunks({Chunk("fmt ", PcmFormat(2, 22050, 16, 0, false)), Chunk("data", kData)})),
         kReadByTheGraph, 300, 16},
    };
}

class WavWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(WavWalk, FollowsTheChunkRules) {
    const WalkCase& c = GetParam();
    uint32_t blocksBefore = tessel::TrackedBlockCount();
    {
        MemoryDecoder decoder(c.file);
        if (c.result == kReadByTheGraph) {
            ASSERT_EQ(decoder.result(), 0);
            EXPECT_EQ(decoder.get()->method, tessel::kDecodePcmMemory);
            EXPECT_EQ(tessel::GetDecoderPcmSize(decoder.get()), c.pcmBytes);
            std::vector<uint8_t> pcm = sound_test::ReadRest(decoder.get());
            EXPECT_EQ(pcm, std::vector<uint8_t>(kData.begin(), kData.begin() + c.pcmBytes));
        }
        if (c.result != kReadByTheGraph) {
            ASSERT_EQ(decoder.result(), c.result);
        }
        if (c.result == 0) {
            EXPECT_EQ(decoder.get()->method, tessel::kDecodeWavPcm);
            WAVEFORMATEX format;
            tessel::GetDecoderFormat(decoder.get(), &format);
            EXPECT_EQ(format.wBitsPerSample, c.bits);
            EXPECT_EQ(format.cbSize, 0);
            EXPECT_EQ(tessel::GetDecoderPcmSize(decoder.get()), c.pcmBytes);
            std::vector<uint8_t> pcm = sound_test::ReadRest(decoder.get());
            EXPECT_EQ(pcm, std::vector<uint8_t>(kData.begin(), kData.begin() + c.pcmBytes));
            EXPECT_EQ(decoder.get()->endOfData, 1);
        }
    }
    EXPECT_EQ(tessel::TrackedBlockCount(), blocksBefore);
}

INSTANTIATE_TEST_SUITE_P(Files, WavWalk, testing::ValuesIn(WalkCases()),
                         [](const testing::TestParamInfo<WalkCase>& info) {
                             return std::string(info.param.name);
                         });

// A seek moves only when the target is more than 15 bytes from the position.
TEST(WavPcmSeek, MovesOnlyPastFifteenBytes) {
    const std::vector<uint8_t> data = sound_test::CountingBytes(1000);
    const std::vector<uint8_t> file =
        Riff(Chunks({Chunk("fmt ", PcmFormat(1, 8000, 8, 1, true)), Chunk("data", data)}));
    struct Case {
        int64_t sample;
        size_t nextByte;
    };
    const Case cases[] = {{85, 100}, {115, 100}, {84, 84}, {116, 116}, {0, 0}, {900, 900}};
    for (const Case& c : cases) {
        MemoryDecoder decoder(file);
        ASSERT_EQ(decoder.result(), 0);
        std::vector<uint8_t> first(100);
        ASSERT_EQ(tessel::ReadDecoder(decoder.get(), first.data(), 100), 100);
        EXPECT_EQ(tessel::SeekDecoder(decoder.get(), c.sample), 0);
        uint8_t next[10];
        ASSERT_EQ(tessel::ReadDecoder(decoder.get(), next, 10), 10) << c.sample;
        EXPECT_EQ(std::vector<uint8_t>(next, next + 10),
                  std::vector<uint8_t>(data.begin() + c.nextByte, data.begin() + c.nextByte + 10))
            << "seek to " << c.sample;
    }
}

// A stream that hands over at most 100 bytes a read, as a file layer may.
uint32_t ShortRead(void* buffer, uint32_t size, uint32_t count, tessel::StreamHandle stream) {
    return tessel::MemStreamRead(buffer, 1, std::min<uint32_t>(size * count, 100), stream);
}

TEST(WavPcmRead, DeliversOnlyTheBytesTheStreamGave) {
    const std::vector<uint8_t> data = sound_test::CountingBytes(1000);
    const std::vector<uint8_t> file =
        Riff(Chunks({Chunk("fmt ", PcmFormat(1, 8000, 8, 1, true)), Chunk("data", data)}));
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()));
    tessel::StreamOps ops = *tessel::GetMemoryStreamOps();
    ops.read = ShortRead;
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, &ops, tessel::StreamHandleOf(memory));
    tessel::PcmDecoder decoder;
    ASSERT_EQ(tessel::OpenDecoder(&stream, &decoder), 0);
    EXPECT_EQ(sound_test::ReadRest(&decoder, 700), data);
    tessel::CloseDecoder(&decoder);
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
}

TEST(PcmDecoderCalls, RefuseAClosedDecoder) {
    const std::vector<uint8_t> file = Riff(Chunks({Chunk("fmt ", kFmt), Chunk("data", kData)}));
    tessel::MemoryStream* memory =
        tessel::OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()));
    tessel::InputStream stream;
    tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(), tessel::StreamHandleOf(memory));
    tessel::PcmDecoder decoder;
    uint32_t before = tessel::TrackedBlockCount();
    ASSERT_EQ(tessel::OpenDecoder(&stream, &decoder), 0);
    EXPECT_EQ(tessel::CloseDecoder(&decoder), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
    uint8_t buffer[8];
    EXPECT_EQ(tessel::ReadDecoder(&decoder, buffer, 8), -1);
    EXPECT_EQ(tessel::CloseDecoder(&decoder), -1);
    void* pcm = nullptr;
    uint32_t size = 0;
    WAVEFORMATEX format;
    EXPECT_EQ(tessel::DecodeAllToMemory(&decoder, &format, &pcm, &size), -1);
    tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
}

TEST(WavPcmDecodeAll, HandsOverTheDataAndFormat) {
    MemoryDecoder decoder(Riff(Chunks({Chunk("fmt ", kFmt), Chunk("data", kData)})));
    ASSERT_EQ(decoder.result(), 0);
    std::vector<uint8_t> skipped(40);
    tessel::ReadDecoder(decoder.get(), skipped.data(), 40);
    WAVEFORMATEX format{};
    void* pcm = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(tessel::DecodeAllToMemory(decoder.get(), &format, &pcm, &size), 0);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size),
              kData);
    EXPECT_EQ(std::memcmp(&format, kFmt.data(), 18), 0);
    tessel::FreeTracked(pcm);
}

struct AdpcmCase {
    const char* name;
    int subformat;
    int channels;
    int rate;
};

void PrintTo(const AdpcmCase& c, std::ostream* os) {
    *os << c.name;
}

class AdpcmWavChain : public testing::TestWithParam<AdpcmCase> {};

// Compressed WAVs go through the compression manager and decode as
// libsndfile decodes them; seeks land on the same samples from either side.
TEST_P(AdpcmWavChain, EqualsLibsndfileAndSeeks) {
    const AdpcmCase& c = GetParam();
    std::vector<int16_t> signal = audio_oracles::MakeSignal(30011, c.channels, c.rate);
    std::vector<uint8_t> file = audio_oracles::WriteWav(signal, c.channels, c.rate, c.subformat);
    std::vector<int16_t> expected = audio_oracles::ReadWithSndfile(file);
    ASSERT_FALSE(expected.empty());

    MemoryDecoder decoder(file);
    ASSERT_EQ(decoder.result(), 0);
    EXPECT_EQ(decoder.get()->method, tessel::kDecodeAcm);
    WAVEFORMATEX format;
    tessel::GetDecoderFormat(decoder.get(), &format);
    const uint32_t frameBytes = 2u * c.channels;
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, frameBytes);
    EXPECT_EQ(format.nSamplesPerSec, static_cast<DWORD>(c.rate));

    std::vector<uint8_t> all = sound_test::ReadRest(decoder.get());
    EXPECT_EQ(static_cast<int64_t>(all.size()), tessel::GetDecoderPcmSize(decoder.get()));
    std::vector<int16_t> samples = sound_test::AsSamples(all);
    ASSERT_GE(samples.size(), expected.size());
    samples.resize(expected.size());
    EXPECT_EQ(samples, expected);

    // Backwards from the end restarts the conversion; then forwards across blocks.
    const int64_t targets[] = {1000, 28000, 7, 15000};
    for (int64_t target : targets) {
        ASSERT_EQ(tessel::SeekDecoder(decoder.get(), target), 0);
        std::vector<uint8_t> piece(4000);
        ASSERT_EQ(tessel::ReadDecoder(decoder.get(), piece.data(), 4000), 4000) << target;
        EXPECT_TRUE(std::equal(piece.begin(), piece.end(), all.begin() + target * frameBytes))
            << target;
    }

    WAVEFORMATEX wholeFormat{};
    void* pcm = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(tessel::DecodeAllToMemory(decoder.get(), &wholeFormat, &pcm, &size), 0);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size),
              all);
    tessel::FreeTracked(pcm);
}

INSTANTIATE_TEST_SUITE_P(Formats, AdpcmWavChain,
                         testing::Values(AdpcmCase{"ImaStereo", SF_FORMAT_IMA_ADPCM, 2, 44100},
                                         AdpcmCase{"MsAdpcmMono", SF_FORMAT_MS_ADPCM, 1, 22050},
                                         AdpcmCase{"MuLawMono", SF_FORMAT_ULAW, 1, 8000}),
                         [](const testing::TestParamInfo<AdpcmCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(BuildWaveImage, LaysOutRiffWaveFmtAndData) {
    const uint8_t format[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    const uint8_t pcm[6] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
    void* image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(tessel::BuildWaveImage(&image, &size, format, 18, pcm, 6), 0);
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F',  'F',  44, 0, 0, 0,    'W',  'A',  'V',  'E',  'f',
        'm', 't', ' ',  18,   0,  0, 0, 1,    0,    2,    0,    0x44, 0xAC,
        0,   0,   0x10, 0xB1, 2,  0, 4, 0,    16,   0,    0,    0,    'd',
        'a', 't', 'a',  6,    0,  0, 0, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
    ASSERT_EQ(size, 52u);
    EXPECT_EQ(
        std::vector<uint8_t>(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + size),
        expected);
    // The image opens as the same sound again.
    MemoryDecoder decoder(expected);
    ASSERT_EQ(decoder.result(), 0);
    EXPECT_EQ(sound_test::ReadRest(decoder.get()), std::vector<uint8_t>(pcm, pcm + 6));
    tessel::FreeTracked(image);
}

}  // namespace
