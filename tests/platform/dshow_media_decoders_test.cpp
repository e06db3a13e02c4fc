// The platform's media filters behind RenderFile and Render: MPEG audio
// decoded through the graph equals libmpg123's own decoding, a clip made by
// FFmpeg's encoders comes out as bottom-up RGB24 frames of its colours with
// the stream's times and as its exact PCM, seeking starts at the frame
// there, the audio renderer plays what it is given through the mixer, and
// a file of random bytes renders nothing and leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "dshow_toy_filters.h"
#include "platform/dshow_testing.h"
#include "platform/dsound_testing.h"
#include "support/audio_oracles.h"
#include "support/media_clips.h"

namespace {

// {A54E0E1E-3B59-4F0B-8F38-58D2A2D6A7C1}
const CLSID kCaptureClass = {
    0xA54E0E1E, 0x3B59, 0x4F0B, {0x8F, 0x38, 0x58, 0xD2, 0xA2, 0xD6, 0xA7, 0xC1}};
// The two private decoders' class ids, as the platform registers them.
const CLSID kMpegAudioDecoderClass = {
    0xEA76C4A5, 0xE9EE, 0x43CB, {0x81, 0xF2, 0x8C, 0x3A, 0x66, 0xD7, 0x81, 0xE0}};
const CLSID kMediaFileDecoderClass = {
    0x05F77CC2, 0xC9F3, 0x4E2A, {0xA1, 0x9A, 0x61, 0xFA, 0xE0, 0xC4, 0x8C, 0x17}};

struct Sample {
    std::vector<BYTE> bytes;
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
};

// A renderer of one major type and subtype that keeps every sample.
class Capture final : public CBaseRenderer {
  public:
    Capture(const GUID& major, const GUID& subtype)
        : CBaseRenderer(kCaptureClass, "capture", nullptr, &made_),
          major_(major),
          subtype_(subtype) {}

    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->majortype == major_ && type->subtype == subtype_ ? S_OK : S_FALSE;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        Sample kept{{data, data + sample->GetActualDataLength()}, -1, -1};
        sample->GetTime(&kept.start, &kept.stop);
        std::lock_guard<std::mutex> lock(mutex_);
        samples_.push_back(std::move(kept));
        return S_OK;
    }
    std::vector<Sample> Samples() {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_;
    }
    std::vector<BYTE> AllBytes() {
        std::vector<BYTE> all;
        for (const Sample& sample : Samples()) {
            all.insert(all.end(), sample.bytes.begin(), sample.bytes.end());
        }
        return all;
    }
    CMediaType Connected() {
        CMediaType type;
        GetPin(0)->ConnectionMediaType(&type);
        return type;
    }
    REFERENCE_TIME SegmentStart() { return GetPin(0)->CurrentStartTime(); }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        samples_.clear();
    }

  private:
    HRESULT made_ = S_OK;
    GUID major_;
    GUID subtype_;
    std::mutex mutex_;
    std::vector<Sample> samples_;
};

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = ::testing::TempDir() + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

CLSID ClassOf(IBaseFilter* filter) {
    CLSID id = GUID_NULL;
    filter->GetClassID(&id);
    return id;
}

// The filter downstream of the filter's first connected output pin.
IBaseFilter* Downstream(IBaseFilter* filter) {
    IEnumPins* pins = nullptr;
    filter->EnumPins(&pins);
    IPin* pin = nullptr;
    ULONG fetched = 0;
    IBaseFilter* next = nullptr;
    while (next == nullptr && pins->Next(1, &pin, &fetched) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        IPin* peer = nullptr;
        if (direction == PINDIR_OUTPUT && pin->ConnectedTo(&peer) == S_OK) {
            PIN_INFO info{};
            peer->QueryPinInfo(&info);
            next = info.pFilter;
            next->Release();  // the graph holds it
            peer->Release();
        }
        pin->Release();
    }
    pins->Release();
    return next;
}

IBaseFilter* FilterOfClass(IGraphBuilder* graph, const CLSID& id) {
    IEnumFilters* filters = nullptr;
    graph->EnumFilters(&filters);
    IBaseFilter* filter = nullptr;
    IBaseFilter* found = nullptr;
    ULONG fetched = 0;
    while (filters->Next(1, &filter, &fetched) == S_OK) {
        if (found == nullptr && ClassOf(filter) == id) {
            found = filter;
        }
        filter->Release();
    }
    filters->Release();
    return found;
}

// Runs the graph without a clock, as fast as it goes, to its end.
void RunToCompletion(IGraphBuilder* graph) {
    auto* filter = toy::Query<IMediaFilter>(graph, IID_IMediaFilter);
    ASSERT_EQ(filter->SetSyncSource(nullptr), S_OK);
    filter->Release();
    auto* control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
    auto* events = toy::Query<IMediaEvent>(graph, IID_IMediaEvent);
    ASSERT_EQ(control->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    control->Stop();
    control->Release();
    events->Release();
}

std::vector<uint8_t> Mp3Clip(std::vector<int16_t>* pcmOut = nullptr) {
    std::vector<int16_t> signal = audio_oracles::MakeSignal(44100 * 3 / 5, 2, 44100);
    std::vector<uint8_t> mp3 = audio_oracles::EncodeMp3(signal, 2, 44100, 128);
    if (pcmOut != nullptr) {
        *pcmOut = audio_oracles::DecodeWithMpg123(mp3);
    }
    return mp3;
}

std::vector<BYTE> AsBytes(const std::vector<int16_t>& samples) {
    const auto* bytes = reinterpret_cast<const BYTE*>(samples.data());
    return {bytes, bytes + samples.size() * sizeof(int16_t)};
}

class MediaDecoders : public ::testing::Test {
  protected:
    void SetUp() override { liveBefore_ = platform::LiveMediaObjects(); }
    void TearDown() override {
        EXPECT_EQ(platform::LiveMediaObjects(), liveBefore_) << "media objects left behind";
        for (const std::string& path : paths_) {
            std::remove(path.c_str());
        }
    }
    std::string Temp(const std::string& name, const std::vector<uint8_t>& bytes) {
        paths_.push_back(WriteTemp(name, bytes));
        return paths_.back();
    }

  private:
    long liveBefore_ = 0;
    std::vector<std::string> paths_;
};

TEST_F(MediaDecoders, AnMpegAudioFileRendersThroughTheDecoderToTheAudioRenderer) {
    std::string path = Temp("decoders_render.mp3", Mp3Clip());
    IGraphBuilder* graph = toy::NewGraph();
    ASSERT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
    IBaseFilter* source = FilterOfClass(graph, CLSID_AsyncReader);
    ASSERT_NE(source, nullptr);
    IBaseFilter* decoder = Downstream(source);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(ClassOf(decoder), kMpegAudioDecoderClass);
    IBaseFilter* renderer = Downstream(decoder);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(ClassOf(renderer), CLSID_DSoundRender);
    graph->Release();
}

TEST_F(MediaDecoders, DecodedMpegAudioEqualsLibmpg123sOwnDecoding) {
    std::vector<int16_t> expected;
    std::string path = Temp("decoders_pcm.mp3", Mp3Clip(&expected));
    ASSERT_FALSE(expected.empty());
    IGraphBuilder* graph = toy::NewGraph();
    auto* capture = new Capture(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    capture->AddRef();
    ASSERT_EQ(graph->AddFilter(capture, u"capture"), S_OK);
    ASSERT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
    CMediaType type = capture->Connected();
    ASSERT_EQ(type.formattype, FORMAT_WaveFormatEx);
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    EXPECT_EQ(format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format->nChannels, 2);
    EXPECT_EQ(format->nSamplesPerSec, 44100u);
    EXPECT_EQ(format->wBitsPerSample, 16);
    EXPECT_EQ(format->nBlockAlign, 4);

    RunToCompletion(graph);
    EXPECT_EQ(capture->AllBytes(), AsBytes(expected));
    // Times follow the samples: each buffer starts where the last ended.
    std::vector<Sample> samples = capture->Samples();
    REFERENCE_TIME next = 0;
    for (const Sample& sample : samples) {
        EXPECT_NEAR(sample.start, next, 1);
        next = sample.stop;
    }
    EXPECT_NEAR(next, static_cast<REFERENCE_TIME>(expected.size() / 2) * 10000000 / 44100, 1);

    // Run again from a third of a second in: the samples from there on.
    capture->Clear();
    auto* seeking = toy::Query<IMediaSeeking>(graph, IID_IMediaSeeking);
    LONGLONG from = 3333333;
    ASSERT_EQ(seeking->SetPositions(&from, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    seeking->Release();
    RunToCompletion(graph);
    size_t skipped = static_cast<size_t>(from * 44100 / 10000000) * 2;
    EXPECT_EQ(capture->AllBytes(),
              AsBytes(std::vector<int16_t>(expected.begin() + skipped, expected.end())));
    EXPECT_EQ(capture->SegmentStart(), from);
    // Times count from the position: the first sample lies within one
    // sample's time of it.
    ASSERT_FALSE(capture->Samples().empty());
    EXPECT_NEAR(capture->Samples().front().start, 0, 10000000 / 44100 + 1);
    graph->Release();
    capture->Release();
}

media_clips::ClipRecipe ColourClip() {
    media_clips::ClipRecipe recipe;
    recipe.tops = {{220, 30, 30},  {30, 200, 40},  {40, 40, 210},  {230, 230, 230},
                   {200, 200, 40}, {40, 200, 200}, {200, 40, 200}, {120, 120, 120}};
    recipe.bottoms = {{40, 40, 210},  {230, 230, 230}, {220, 30, 30},   {30, 200, 40},
                      {40, 200, 200}, {200, 40, 200},  {120, 120, 120}, {200, 200, 40}};
    return recipe;
}

// Every pixel of a bottom-up RGB24 frame (rows padded to four bytes) is
// within `tolerance` of its half's colour; the first row in memory is the
// picture's bottom row.
void ExpectFrame(const std::vector<BYTE>& frame, int width, int height, media_clips::Rgb top,
                 media_clips::Rgb bottom, int tolerance, int index) {
    int pitch = (width * 3 + 3) & ~3;
    ASSERT_EQ(frame.size(), static_cast<size_t>(pitch * height));
    int worst = 0;
    for (int row = 0; row < height; ++row) {
        int pictureRow = height - 1 - row;
        media_clips::Rgb want = pictureRow < height / 2 ? top : bottom;
        // Rows next to the edge between the halves blur in the codec.
        if (std::abs(pictureRow - height / 2) < 4) {
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const BYTE* p = &frame[static_cast<size_t>(row * pitch + x * 3)];
            worst = std::max(
                {worst, std::abs(p[0] - want.b), std::abs(p[1] - want.g), std::abs(p[2] - want.r)});
        }
    }
    EXPECT_LE(worst, tolerance) << "frame " << index;
}

// A colour clip, with three quarters of a second of sound or without,
// written to the temporary folder and rendered into a video capture (and an
// audio capture for the sound); all released and the file removed when it
// goes.
struct ClipGraph {
    media_clips::ClipRecipe recipe = ColourClip();
    std::string path;
    IGraphBuilder* graph = toy::NewGraph();
    Capture* video = new Capture(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    Capture* audio = nullptr;

    ClipGraph(const char* name, bool sound) : path(::testing::TempDir() + name) {
        video->AddRef();
        if (sound) {
            recipe.pcm = audio_oracles::MakeSignal(44100 * 3 / 4, 2, 44100);
            audio = new Capture(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
            audio->AddRef();
        }
    }
    ~ClipGraph() {
        graph->Release();
        video->Release();
        if (audio != nullptr) {
            audio->Release();
        }
        std::remove(path.c_str());
    }
    // Writes the recipe as it stands and renders it: false at the first step
    // that fails.
    bool Render() {
        return media_clips::WriteClip(path, recipe) && graph->AddFilter(video, u"video") == S_OK &&
               (audio == nullptr || graph->AddFilter(audio, u"audio") == S_OK) &&
               graph->RenderFile(Wide(path).c_str(), nullptr) == S_OK;
    }
};

TEST_F(MediaDecoders, AVideoClipRendersAsBottomUpRgbFramesWithTheStreamsTimes) {
    ClipGraph clip("decoders_video.avi", false);
    ASSERT_TRUE(clip.Render());
    auto& [recipe, path, graph, capture, noAudio] = clip;
    IBaseFilter* source = FilterOfClass(graph, CLSID_AsyncReader);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(ClassOf(Downstream(source)), kMediaFileDecoderClass);
    CMediaType type = capture->Connected();
    ASSERT_EQ(type.formattype, FORMAT_VideoInfo);
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    EXPECT_EQ(info->bmiHeader.biWidth, 64);
    EXPECT_EQ(info->bmiHeader.biHeight, 48);  // positive: bottom-up
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(info->AvgTimePerFrame, 1000000);

    RunToCompletion(graph);
    std::vector<Sample> frames = capture->Samples();
    ASSERT_EQ(frames.size(), recipe.tops.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].start, static_cast<REFERENCE_TIME>(i) * 1000000) << i;
        EXPECT_EQ(frames[i].stop, static_cast<REFERENCE_TIME>(i + 1) * 1000000) << i;
        ExpectFrame(frames[i].bytes, 64, 48, recipe.tops[i], recipe.bottoms[i], 12,
                    static_cast<int>(i));
    }
}

TEST_F(MediaDecoders, NarrowPicturesKeepTheirColoursAndZeroTheirRowPadding) {
    struct Size {
        int width;
        int height;
    };
    for (Size size : {Size{6, 16}, Size{18, 10}, Size{2, 24}}) {
        SCOPED_TRACE(size.width);
        ClipGraph clip("decoders_narrow.avi", false);
        auto& [recipe, path, graph, capture, noAudio] = clip;
        recipe.width = size.width;
        recipe.height = size.height;
        recipe.tops.resize(3);
        recipe.bottoms.resize(3);
        ASSERT_TRUE(clip.Render());
        RunToCompletion(graph);
        std::vector<Sample> frames = capture->Samples();
        ASSERT_EQ(frames.size(), 3u);
        int pitch = (size.width * 3 + 3) & ~3;
        for (size_t i = 0; i < frames.size(); ++i) {
            ExpectFrame(frames[i].bytes, size.width, size.height, recipe.tops[i], recipe.bottoms[i],
                        16, static_cast<int>(i));
            for (int row = 0; row < size.height; ++row) {
                for (int pad = size.width * 3; pad < pitch; ++pad) {
                    EXPECT_EQ(frames[i].bytes[static_cast<size_t>(row * pitch + pad)], 0);
                }
            }
        }
    }
}

TEST_F(MediaDecoders, SeekingToTheMiddleStartsAtTheFrameThere) {
    ClipGraph clip("decoders_seek.avi", false);
    ASSERT_TRUE(clip.Render());
    auto& [recipe, path, graph, capture, noAudio] = clip;
    auto* seeking = toy::Query<IMediaSeeking>(graph, IID_IMediaSeeking);
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 8000000);
    // Frame 5 is not a key frame (every third is): the decoder starts at
    // frame 3 and drops what lies before the position.
    LONGLONG middle = 5000000;
    ASSERT_EQ(seeking->SetPositions(&middle, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    RunToCompletion(graph);
    std::vector<Sample> frames = capture->Samples();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(capture->SegmentStart(), middle);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].start, static_cast<REFERENCE_TIME>(i) * 1000000) << i;
        ExpectFrame(frames[i].bytes, 64, 48, recipe.tops[5 + i], recipe.bottoms[5 + i], 12,
                    static_cast<int>(5 + i));
    }
    seeking->Release();
}

TEST_F(MediaDecoders, AClipsPcmTrackComesOutExactlyBesideItsVideo) {
    ClipGraph clip("decoders_both.avi", true);
    ASSERT_TRUE(clip.Render());
    auto& [recipe, path, graph, video, audio] = clip;
    RunToCompletion(graph);
    EXPECT_EQ(video->Samples().size(), recipe.tops.size());
    EXPECT_EQ(audio->AllBytes(), AsBytes(recipe.pcm));
    std::vector<Sample> samples = audio->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front().start, 0);
    EXPECT_NEAR(samples.back().stop, 7500000, 1);

    // From a quarter of a second in, the sound starts at that sample exactly.
    video->Clear();
    audio->Clear();
    auto* seeking = toy::Query<IMediaSeeking>(graph, IID_IMediaSeeking);
    LONGLONG from = 2500000;
    ASSERT_EQ(seeking->SetPositions(&from, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    seeking->Release();
    RunToCompletion(graph);
    EXPECT_EQ(audio->AllBytes(),
              AsBytes(std::vector<int16_t>(recipe.pcm.begin() + 11025 * 2, recipe.pcm.end())));
    EXPECT_EQ(video->Samples().size(), recipe.tops.size() - 2);
}

TEST_F(MediaDecoders, AClipWhosePicturesNothingTakesStillPlaysItsSound) {
    media_clips::ClipRecipe recipe = ColourClip();
    recipe.pcm = audio_oracles::MakeSignal(44100 / 2, 2, 44100);
    std::string path = ::testing::TempDir() + "decoders_partial.avi";
    ASSERT_TRUE(media_clips::WriteClip(path, recipe));
    IGraphBuilder* graph = toy::NewGraph();
    auto* audio = new Capture(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    audio->AddRef();
    ASSERT_EQ(graph->AddFilter(audio, u"audio"), S_OK);
    // No renderer takes the pictures: the sound alone is rendered.
    EXPECT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), VFW_S_PARTIAL_RENDER);
    RunToCompletion(graph);
    EXPECT_EQ(audio->AllBytes(), AsBytes(recipe.pcm));
    graph->Release();
    audio->Release();
    std::remove(path.c_str());
}

// {3C9B7A51-8E0D-4B8A-9A47-1D5E2F60C3B2}
const CLSID kTapClass = {
    0x3C9B7A51, 0x8E0D, 0x4B8A, {0x9A, 0x47, 0x1D, 0x5E, 0x2F, 0x60, 0xC3, 0xB2}};

// Passes PCM on unchanged and keeps a copy, as a conversion graph's tap does.
class PcmTap final : public CTransInPlaceFilter {
  public:
    PcmTap() : CTransInPlaceFilter("pcm tap", nullptr, kTapClass, &made_, false) {}
    HRESULT CheckInputType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Audio && type->subtype == MEDIASUBTYPE_PCM ? S_OK
                                                                                       : S_FALSE;
    }
    HRESULT Transform(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), data, data + sample->GetActualDataLength());
        return S_OK;
    }
    std::vector<BYTE> Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

  private:
    HRESULT made_ = S_OK;
    std::mutex mutex_;
    std::vector<BYTE> bytes_;
};

TEST_F(MediaDecoders, AConversionGraphSwapsTheAudioRendererForANullRenderer) {
    std::vector<int16_t> expected;
    std::string path = Temp("decoders_swap.mp3", Mp3Clip(&expected));
    IGraphBuilder* graph = toy::NewGraph();
    auto* tap = new PcmTap();
    tap->AddRef();
    ASSERT_EQ(graph->AddFilter(tap, u"tap"), S_OK);
    // The tap, already in the graph, takes the decoded sound; a registered
    // renderer ends the chain behind it.
    ASSERT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
    IBaseFilter* renderer = Downstream(tap);
    ASSERT_NE(renderer, nullptr);
    ASSERT_EQ(ClassOf(renderer), CLSID_DSoundRender);
    EXPECT_EQ(ClassOf(Downstream(FilterOfClass(graph, kMpegAudioDecoderClass))), kTapClass);

    // The renderer: one input pin, connected, and no output pin.
    IPin* rendererInput = nullptr;
    ASSERT_EQ(renderer->FindPin(u"In", &rendererInput), S_OK) << "the renderer's pin";
    IPin* tapOutput = nullptr;
    ASSERT_EQ(rendererInput->ConnectedTo(&tapOutput), S_OK);
    EXPECT_EQ(graph->Disconnect(tapOutput), S_OK);
    EXPECT_EQ(graph->Disconnect(rendererInput), S_OK);
    void* made = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &made),
        S_OK);
    auto* null = static_cast<IBaseFilter*>(made);
    ASSERT_EQ(graph->AddFilter(null, u"File Renderer"), S_OK);
    IEnumPins* pins = nullptr;
    null->EnumPins(&pins);
    IPin* nullInput = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(pins->Next(1, &nullInput, &fetched), S_OK);
    pins->Release();
    ASSERT_EQ(graph->Connect(tapOutput, nullInput), S_OK);

    RunToCompletion(graph);
    EXPECT_EQ(tap->Bytes(), AsBytes(expected));
    // The old renderer stays in the graph, unconnected, and never opened a device.
    EXPECT_EQ(platform::AudioRendererSound(renderer), nullptr);
    nullInput->Release();
    tapOutput->Release();
    rendererInput->Release();
    null->Release();
    graph->Release();
    tap->Release();
}

TEST_F(MediaDecoders, TheAudioRendererPlaysTheDecodedSoundThroughTheMixer) {
    std::vector<int16_t> expected;
    std::string path = Temp("decoders_play.mp3", Mp3Clip(&expected));
    platform::SetDirectSoundTestMode(true);
    IGraphBuilder* graph = toy::NewGraph();
    ASSERT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
    IBaseFilter* renderer = FilterOfClass(graph, CLSID_DSoundRender);
    ASSERT_NE(renderer, nullptr);
    auto* filter = toy::Query<IMediaFilter>(graph, IID_IMediaFilter);
    filter->SetSyncSource(nullptr);
    filter->Release();
    auto* control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
    auto* events = toy::Query<IMediaEvent>(graph, IID_IMediaEvent);
    // Paused, the renderer fills its buffer with the whole clip (shorter
    // than the buffer's second) before anything plays.
    ASSERT_EQ(control->Pause(), S_OK);
    DWORD total = static_cast<DWORD>(expected.size() * sizeof(int16_t));
    for (int i = 0; i < 20000 && platform::AudioRendererQueuedBytes(renderer) < total; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(platform::AudioRendererQueuedBytes(renderer), total);
    IDirectSound8* sound = platform::AudioRendererSound(renderer);
    ASSERT_NE(sound, nullptr);
    ASSERT_EQ(control->Run(), S_OK);
    std::vector<int16_t> heard;
    LONG code = 0;
    for (int i = 0; i < 1000 && events->WaitForCompletion(0, &code) != S_OK; ++i) {
        std::vector<int16_t> mixed(512 * 2);
        ASSERT_EQ(platform::AdvanceDirectSoundMixer(sound, 512, mixed.data()), 2048);
        heard.insert(heard.end(), mixed.begin(), mixed.end());
        if (heard.size() < expected.size()) {
            continue;
        }
        // Played out: the renderer reports the end once it sees the cursor
        // past what it wrote.
        events->WaitForCompletion(2000, &code);
        break;
    }
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_GE(heard.size(), expected.size());
    heard.resize(expected.size());
    EXPECT_EQ(heard, expected);
    control->Stop();
    control->Release();
    events->Release();
    graph->Release();
    platform::SetDirectSoundTestMode(false);
}

struct FileKind {
    const char* name;
    std::vector<uint8_t> bytes;
    CLSID decoder;
    std::vector<int16_t> pcm;  // what comes out
};

std::vector<FileKind> FileKinds() {
    std::vector<int16_t> decoded;
    std::vector<uint8_t> mp3 = Mp3Clip(&decoded);
    // An ID3v2 tag of 20 bytes (size in seven-bit bytes) before the frames.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 10};
    tagged.resize(30, 0);
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    std::vector<int16_t> mono = audio_oracles::MakeSignal(12345, 1, 22050);
    return {
        {"mpeg_audio", mp3, kMpegAudioDecoderClass, decoded},
        {"mpeg_audio_behind_a_tag", tagged, kMpegAudioDecoderClass, decoded},
        {"wave", audio_oracles::WriteWav(mono, 1, 22050, SF_FORMAT_PCM_16), kMediaFileDecoderClass,
         mono},
    };
}

TEST_F(MediaDecoders, EachKindOfFileGoesToItsDecoderAndComesOutWhole) {
    for (const FileKind& kind : FileKinds()) {
        SCOPED_TRACE(kind.name);
        std::string path = Temp(std::string("decoders_kind_") + kind.name, kind.bytes);
        IGraphBuilder* graph = toy::NewGraph();
        auto* capture = new Capture(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
        capture->AddRef();
        ASSERT_EQ(graph->AddFilter(capture, u"capture"), S_OK);
        ASSERT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
        EXPECT_EQ(ClassOf(Downstream(FilterOfClass(graph, CLSID_AsyncReader))), kind.decoder);
        RunToCompletion(graph);
        EXPECT_EQ(capture->AllBytes(), AsBytes(kind.pcm));
        graph->Release();
        capture->Release();
    }
}

TEST_F(MediaDecoders, StoppingAPlayingClipMidStreamJoinsItsThreadsAndLeavesNothing) {
    ClipGraph clip("decoders_stop.avi", true);
    ASSERT_TRUE(clip.Render());
    auto& [recipe, path, graph, video, audio] = clip;
    auto* control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
    // On the graph's clock the clip takes most of a second: stop it once the
    // first frame is shown, and again right after a second start.
    for (int round = 0; round < 2; ++round) {
        video->Clear();
        ASSERT_EQ(control->Run(), S_OK);
        for (int i = 0; i < 20000 && video->Samples().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_FALSE(video->Samples().empty());
        EXPECT_EQ(control->Stop(), S_OK);
    }
    control->Release();
}

TEST_F(MediaDecoders, AFileOfRandomBytesFailsToRenderAndLeavesNothing) {
    std::vector<uint8_t> noise(8192);
    uint32_t state = 2463534242u;
    for (uint8_t& byte : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    std::string path = Temp("decoders_noise.bin", noise);
    IGraphBuilder* graph = toy::NewGraph();
    EXPECT_EQ(graph->RenderFile(Wide(path).c_str(), nullptr), VFW_E_CANNOT_RENDER);
    IEnumFilters* filters = nullptr;
    graph->EnumFilters(&filters);
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(filters->Next(1, &filter, &fetched), S_FALSE);
    filters->Release();
    graph->Release();
}

}  // namespace
