// The conversion graph at the end of the decoder chain: MP3 files converted
// through the media graph equal libmpg123's decoding, the PCM block grows in
// 1 MiB steps, failures say which step failed and leave nothing behind, and
// a sound that only the graph can read loads and plays through the public
// calls.
#include "sound/decoders/mp3_conversion_graph.h"

#include <gtest/gtest.h>

#include "foundation/memory/memory.h"
#include "foundation/runtime/system_state.h"
#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/dshow_testing.h"
#include "sound/decoder_test_support.h"
#include "sound/play/sound_calls.h"
#include "support/audio_oracles.h"
#include "support/media_clips.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace tessel;

int (*const kGraphOnly[])(PcmDecoder*) = {DecodeMp3ToPcm};

// A decoder over bytes in memory that only the conversion graph may open.
class GraphDecoder {
  public:
    // `before` runs just before the conversion.
    explicit GraphDecoder(std::vector<uint8_t> bytes, void (*before)() = nullptr)
        : bytes_(std::move(bytes)) {
        memory_ = OpenMemoryStream(bytes_.data(), static_cast<uint32_t>(bytes_.size()));
        InitInputStream(&stream_, GetMemoryStreamOps(), StreamHandleOf(memory_));
        if (before != nullptr) {
            before();
        }
        result_ = OpenDecoderWith(&stream_, &decoder_, kGraphOnly, 1);
    }
    ~GraphDecoder() {
        if (decoder_.open != 0) {
            CloseDecoder(&decoder_);
        }
        CloseMemoryStream(StreamHandleOf(memory_));
    }
    GraphDecoder(const GraphDecoder&) = delete;
    GraphDecoder& operator=(const GraphDecoder&) = delete;
    int result() const { return result_; }
    PcmDecoder* get() { return &decoder_; }

  private:
    std::vector<uint8_t> bytes_;
    MemoryStream* memory_ = nullptr;
    InputStream stream_{};
    PcmDecoder decoder_{};
    int result_ = -1;
};

struct Clip {
    std::vector<uint8_t> frames;
    std::vector<int16_t> expected;
};

Clip MakeClip(int channels, int rate, int kbps, int frames) {
    std::vector<int16_t> signal = audio_oracles::MakeSignal(frames, channels, rate);
    Clip clip;
    clip.frames = audio_oracles::EncodeMp3(signal, channels, rate, kbps);
    clip.expected = audio_oracles::DecodeWithMpg123(clip.frames);
    return clip;
}

class Mp3ConversionTest : public testing::Test {
  protected:
    void SetUp() override {
        blocks_ = TrackedBlockCount();
        live_ = platform::LiveMediaObjects();
    }
    void TearDown() override {
        g_system.quit = 0;
        SetTrackedHeapFailing(false);
        platform::dshow::RegisterMediaDecoders();
        EXPECT_EQ(TrackedBlockCount(), blocks_);
        EXPECT_EQ(platform::LiveMediaObjects(), live_);
    }
    uint32_t blocks_ = 0;
    long live_ = 0;
};

TEST_F(Mp3ConversionTest, EqualsLibmpg123AndGrowsInMegabyteSteps) {
    struct Case {
        int channels;
        int rate;
        int kbps;
    };
    // PCM is about 11 and 14 times the size of these files: the block made
    // at 10 times has to grow.
    for (const Case& c : {Case{2, 44100, 128}, Case{1, 22050, 24}}) {
        SCOPED_TRACE(c.rate);
        Clip clip = MakeClip(c.channels, c.rate, c.kbps, c.rate * 2);
        ASSERT_FALSE(clip.expected.empty());
        GraphDecoder decoder(clip.frames);
        ASSERT_EQ(decoder.result(), 0);
        PcmDecoder* d = decoder.get();
        EXPECT_EQ(d->method, kDecodePcmMemory);
        EXPECT_EQ(d->format.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(d->format.nChannels, c.channels);
        EXPECT_EQ(d->format.nSamplesPerSec, static_cast<DWORD>(c.rate));
        EXPECT_EQ(d->format.nBlockAlign, 2 * c.channels);
        EXPECT_EQ(d->format.nAvgBytesPerSec, static_cast<DWORD>(2 * c.channels * c.rate));
        EXPECT_EQ(d->format.wBitsPerSample, 16);
        EXPECT_EQ(d->format.cbSize, 0);
        EXPECT_EQ(d->outputSize, d->format.nAvgBytesPerSec);
        // The block holds exactly what was delivered, in the fewest steps.
        const uint32_t first = static_cast<uint32_t>(clip.frames.size()) * 10;
        EXPECT_EQ(d->pcmSize, clip.expected.size() * 2);
        ASSERT_GT(d->pcmSize, first);
        EXPECT_EQ((d->pcmCapacity - first) % 0x100000, 0u);
        EXPECT_GE(d->pcmCapacity, d->pcmSize);
        EXPECT_LT(d->pcmCapacity - 0x100000, d->pcmSize);
        EXPECT_EQ(GetDecoderPcmSize(d), static_cast<int64_t>(clip.expected.size() * 2));
        EXPECT_EQ(sound_test::AsSamples(sound_test::ReadRest(d)), clip.expected);
    }
}

TEST_F(Mp3ConversionTest, GrowthTakesAsManyStepsAsOneSampleNeeds) {
    HRESULT made = S_OK;
    auto* allocator = new CMemAllocator("big samples", nullptr, &made);
    allocator->AddRef();
    ALLOCATOR_PROPERTIES wanted{1, 0x300000, 1, 0};  // 3 MiB
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(allocator->SetProperties(&wanted, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    for (LONG i = 0; i < 0x300000; ++i) {
        data[i] = static_cast<BYTE>(i * 7 + 1);
    }
    PcmDecoder decoder{};
    decoder.pcmBlock = static_cast<uint8_t*>(AllocTracked(1000, __FILE__, __LINE__));
    decoder.pcmCapacity = 1000;
    decoder.pcmSize = 990;
    std::memset(decoder.pcmBlock, 0xAB, 990);
    struct Step {
        LONG length;
        uint32_t capacity;
    };
    const Step steps[] = {
        {10, 1000},                       // fits exactly
        {1, 1000 + 0x100000},             // one byte over: one step
        {0x300000, 1000 + 4 * 0x100000},  // 3 MiB and a byte over: three steps
    };
    uint32_t held = 990;
    for (const Step& s : steps) {
        sample->SetActualDataLength(s.length);
        ASSERT_EQ(AppendSampleToBuffer(sample, nullptr, nullptr, FALSE,
                                       reinterpret_cast<DWORD_PTR>(&decoder)),
                  S_OK);
        held += static_cast<uint32_t>(s.length);
        EXPECT_EQ(decoder.pcmCapacity, s.capacity) << s.length;
        EXPECT_EQ(decoder.pcmSize, held);
    }
    // What was there stays in front; each sample follows in order.
    EXPECT_EQ(decoder.pcmBlock[989], 0xAB);
    EXPECT_EQ(decoder.pcmBlock[990], data[0]);
    EXPECT_EQ(decoder.pcmBlock[1000], data[0]);
    EXPECT_EQ(decoder.pcmBlock[1001], data[0]);
    EXPECT_EQ(decoder.pcmBlock[1001 + 0x2FFFFF], data[0x2FFFFF]);
    // A growth that fails drops the block, and every sample after it.
    sample->SetActualDataLength(0x300000);
    SetTrackedHeapFailing(true);
    EXPECT_EQ(AppendSampleToBuffer(sample, nullptr, nullptr, FALSE,
                                   reinterpret_cast<DWORD_PTR>(&decoder)),
              S_OK);
    SetTrackedHeapFailing(false);
    EXPECT_EQ(decoder.pcmBlock, nullptr);
    EXPECT_EQ(AppendSampleToBuffer(sample, nullptr, nullptr, FALSE,
                                   reinterpret_cast<DWORD_PTR>(&decoder)),
              S_OK);
    EXPECT_EQ(decoder.pcmBlock, nullptr);
    sample->Release();
    allocator->Decommit();
    allocator->Release();
}

// Each failure names its step, returns -1 and leaves nothing allocated.
TEST_F(Mp3ConversionTest, FailuresSayWhichStepFailed) {
    Clip clip = MakeClip(2, 44100, 128, 44100);
    // Sound beside pictures that no renderer takes: only part of the file
    // renders, and a part is not enough.
    media_clips::ClipRecipe movie;
    movie.tops = {{220, 30, 30}, {30, 200, 40}, {40, 40, 210}};
    movie.bottoms = {{40, 40, 210}, {230, 230, 230}, {220, 30, 30}};
    movie.pcm = audio_oracles::MakeSignal(44100 / 4, 2, 44100);
    tessel_test::ScratchDirectory dir;
    ASSERT_TRUE(media_clips::WriteClip(dir.Linux("movie.avi"), movie));
    const std::string movieFile = tessel_test::ReadWholeFile(dir.Linux("movie.avi"));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        void (*before)();
        const char* line;
    };
    const Case cases[] = {
        {"not audio", std::vector<uint8_t>(3000, 0x5A), [] {}, "グラフの構築に失敗しました"},
        {"no decoder", clip.frames,
         [] {
             platform::UnregisterMediaFilter(platform::dshow::kMpegAudioDecoderClass);
             platform::UnregisterMediaFilter(platform::dshow::kMediaFileDecoderClass);
         },
         "グラフの構築に失敗しました"},
        {"pictures too", std::vector<uint8_t>(movieFile.begin(), movieFile.end()), [] {},
         "グラフの構築に失敗しました"},
        {"quit", clip.frames, [] { g_system.quit = 1; }, "MP3変換の途中でソフトが終了しました"},
        // The image and the first block come, the first growth does not.
        {"growth", clip.frames, [] { SetTrackedHeapFailingAfter(2); },
         "PCMデータを格納するメモリ領域の再確保に失敗しました"},
        {"first block", clip.frames, [] { SetTrackedHeapFailingAfter(1); },
         "PCMデータを格納するメモリ領域の確保に失敗しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tessel_test::LogScope log;
        {
            GraphDecoder decoder(c.bytes, c.before);
            SetTrackedHeapFailing(false);
            EXPECT_EQ(decoder.result(), -1);
            EXPECT_EQ(decoder.get()->pcmBlock, nullptr);
        }
        g_system.quit = 0;
        platform::dshow::RegisterMediaDecoders();
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << log.Text();
        EXPECT_EQ(TrackedBlockCount(), blocks_);
        EXPECT_EQ(platform::LiveMediaObjects(), live_);
    }
}

// The pins it passes and the enumerator are let go: nothing keeps the
// filter alive once its last holder releases it.
TEST(FindPinByDirection, GivesTheFirstPinOfThatDirection) {
    const long live = platform::LiveMediaObjects();
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               &object),
              S_OK);
    auto* renderer = static_cast<IBaseFilter*>(object);
    IPin* input = FindPinByDirection(renderer, PINDIR_INPUT);
    ASSERT_NE(input, nullptr);
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    input->QueryDirection(&direction);
    EXPECT_EQ(direction, PINDIR_INPUT);
    input->Release();
    EXPECT_EQ(FindPinByDirection(renderer, PINDIR_OUTPUT), nullptr);
    renderer->Release();
    EXPECT_EQ(platform::LiveMediaObjects(), live);
}

// Bytes before the first frame that look like a broken frame header stop
// the compression-manager opener; the graph's decoder finds the frames.
class GraphOnlySound : public streamtest::StreamTest {
  protected:
    void TearDown() override {
        g_system.quit = 0;
        streamtest::StreamTest::TearDown();
    }
};

TEST_F(GraphOnlySound, LoadsAndPlaysThroughThePublicCalls) {
    Clip clip = MakeClip(2, 44100, 128, 44100);
    std::vector<uint8_t> file = {0xFF, 0xF9, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00};
    file.insert(file.end(), clip.frames.begin(), clip.frames.end());
    tessel_test::ScratchDirectory dir;
    tessel_test::WriteWholeFile(dir.Linux("graph.mp3"), file);
    const int handle = LoadSoundFile("graph.mp3", 1, -1);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(GetSoundLengthSamples(handle), static_cast<int64_t>(clip.expected.size() / 2));
    std::vector<uint8_t> head = RingBytes(handle, 0, 4000);
    std::vector<int16_t> samples = sound_test::AsSamples(head);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), clip.expected.begin()));
    ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 1), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    ASSERT_EQ(DeleteSoundHandle(handle), 0);
}

}  // namespace
