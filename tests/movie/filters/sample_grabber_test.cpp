// The sample grabber: which types its input takes, the callback that sees
// every sample with segment-relative times and can hold one back, the
// delivery into a caller's buffer, and the refusals of its pin and
// allocator.
#include "movie/filters/sample_grabber.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "movie/filters/sample_grabber_internal.h"
#include "platform/dshow_testing.h"
#include "tests/movie/filters/graph_test_filters.h"

namespace {

using filtertest::ChainGraph;
using filtertest::ChunkSource;
using filtertest::RecordingSink;
using tessel::SampleGrabberControl;
using tessel::T_CSampleGrabber;

CMediaType TypeOf(const GUID& major, const GUID& sub, const GUID& format) {
    CMediaType type;
    type.SetType(&major);
    type.SetSubtype(&sub);
    type.SetFormatType(&format);
    return type;
}

class SampleGrabberTest : public testing::Test {
  protected:
    void SetUp() override {
        liveBefore_ = platform::LiveMediaObjects();
        HRESULT result = E_FAIL;
        filter_ = tessel::CreateSampleGrabber(nullptr, &result);
        ASSERT_NE(filter_, nullptr);
        ASSERT_EQ(result, S_OK);
        filter_->AddRef();
        void* object = nullptr;
        ASSERT_EQ(filter_->QueryInterface(tessel::IID_SampleGrabberControl, &object), S_OK);
        control_ = static_cast<SampleGrabberControl*>(object);
    }
    void TearDown() override {
        control_->Release();
        filter_->Release();
        EXPECT_EQ(platform::LiveMediaObjects(), liveBefore_);
    }
    T_CSampleGrabber* grabber() { return static_cast<T_CSampleGrabber*>(filter_); }

    IBaseFilter* filter_ = nullptr;
    SampleGrabberControl* control_ = nullptr;
    long liveBefore_ = 0;
};

TEST_F(SampleGrabberTest, ChecksOnlyTheFieldsTheAcceptedTypeFixes) {
    const CMediaType pcmWave = TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
    const CMediaType mpegWave =
        TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio, FORMAT_WaveFormatEx);
    const CMediaType pcmNone = TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_None);
    const CMediaType video = TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo);
    const CMediaType audioAny = TypeOf(MEDIATYPE_Audio, GUID_NULL, GUID_NULL);
    const CMediaType pcmAny = TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL);
    const CMediaType pcmOnlyWave = pcmWave;
    struct Case {
        const CMediaType* accepted;  // null: none set
        const CMediaType* offered;
        HRESULT expected;
    };
    const Case cases[] = {
        {nullptr, &video, S_OK},
        {nullptr, &mpegWave, S_OK},
        {&pcmAny, &pcmWave, S_OK},
        {&pcmAny, &pcmNone, S_OK},
        {&pcmAny, &mpegWave, VFW_E_INVALID_MEDIA_TYPE},
        {&pcmAny, &video, VFW_E_INVALID_MEDIA_TYPE},
        {&audioAny, &mpegWave, S_OK},
        {&audioAny, &video, VFW_E_INVALID_MEDIA_TYPE},
        {&pcmOnlyWave, &pcmWave, S_OK},
        {&pcmOnlyWave, &pcmNone, VFW_E_INVALID_MEDIA_TYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        ASSERT_EQ(control_->SetAcceptedMediaType(c.accepted), S_OK);
        EXPECT_EQ(grabber()->CheckInputType(c.offered), c.expected);
    }
}

TEST_F(SampleGrabberTest, InputPinOffersTheAcceptedMajorTypeOnly) {
    CMediaType accepted = TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
    ASSERT_EQ(control_->SetAcceptedMediaType(&accepted), S_OK);
    CBasePin* input = grabber()->GetPin(0);
    CMediaType type = TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo);
    EXPECT_EQ(input->GetMediaType(-1, &type), E_INVALIDARG);
    EXPECT_EQ(input->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(input->GetMediaType(0, nullptr), E_POINTER);
    ASSERT_EQ(input->GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(type.subtype, GUID_NULL);
    EXPECT_EQ(type.formattype, GUID_NULL);
    AM_MEDIA_TYPE connected{};
    EXPECT_EQ(control_->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);
}

struct Seen {
    std::mutex mutex;
    std::vector<REFERENCE_TIME> starts;
    std::vector<REFERENCE_TIME> stops;
    std::vector<BOOL> changed;
    std::vector<BYTE*> buffers;
    DWORD_PTR context = 0;
    bool holdOddChunks = false;
};

HRESULT Record(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL changed,
               DWORD_PTR context) {
    auto* seen = reinterpret_cast<Seen*>(context);
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->starts.push_back(*start);
    seen->stops.push_back(*stop);
    seen->changed.push_back(changed);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    seen->buffers.push_back(data);
    seen->context = context;
    return seen->holdOddChunks && data[0] % 2 == 1 ? S_FALSE : S_OK;
}

// Source -> grabber -> sink, run to the end; what the sink received.
std::vector<BYTE> RunChain(IBaseFilter* grabber, int chunks, LONG bytes, REFERENCE_TIME segment,
                           HRESULT* joined = nullptr) {
    auto* source = new ChunkSource(chunks, bytes, segment);
    auto* sink = new RecordingSink();
    source->AddRef();
    sink->AddRef();
    std::vector<BYTE> received;
    {
        ChainGraph graph;
        graph.Add(source, u"source");
        graph.Add(grabber, u"grabber");
        graph.Add(sink, u"sink");
        HRESULT first = graph.Join(source, grabber);
        if (joined != nullptr) {
            *joined = first;
        }
        if (SUCCEEDED(first)) {
            EXPECT_EQ(graph.Join(grabber, sink), S_OK);
            EXPECT_EQ(graph.RunToEnd(), EC_COMPLETE);
        }
        received = sink->FirstBytes();
    }
    source->Release();
    sink->Release();
    return received;
}

TEST_F(SampleGrabberTest, CallbackSeesTimesFromTheSegmentStart) {
    Seen seen;
    ASSERT_EQ(control_->SetCallback(Record, reinterpret_cast<DWORD_PTR>(&seen)), S_OK);
    std::vector<BYTE> received = RunChain(filter_, 4, 16, 123457);
    EXPECT_EQ(received, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(seen.starts, (std::vector<REFERENCE_TIME>{123457, 124457, 125457, 126457}));
    EXPECT_EQ(seen.stops, (std::vector<REFERENCE_TIME>{124457, 125457, 126457, 127457}));
    // The type was set once, at connection: the first sample hears of it.
    EXPECT_EQ(seen.changed, (std::vector<BOOL>{TRUE, FALSE, FALSE, FALSE}));
    EXPECT_EQ(seen.context, reinterpret_cast<DWORD_PTR>(&seen));
}

TEST_F(SampleGrabberTest, CallbackReturningFalseHoldsTheSampleBack) {
    Seen seen;
    seen.holdOddChunks = true;
    ASSERT_EQ(control_->SetCallback(Record, reinterpret_cast<DWORD_PTR>(&seen)), S_OK);
    EXPECT_EQ(RunChain(filter_, 6, 8, 0), (std::vector<BYTE>{2, 4, 6}));
    EXPECT_EQ(seen.starts.size(), 6u);
}

TEST_F(SampleGrabberTest, RefusedTypeDoesNotConnect) {
    CMediaType video = TypeOf(MEDIATYPE_Video, GUID_NULL, GUID_NULL);
    ASSERT_EQ(control_->SetAcceptedMediaType(&video), S_OK);
    HRESULT joined = S_OK;
    EXPECT_TRUE(RunChain(filter_, 2, 8, 0, &joined).empty());
    EXPECT_TRUE(FAILED(joined));
}

TEST_F(SampleGrabberTest, UpstreamDeliversIntoTheCallersBuffer) {
    std::vector<BYTE> buffer(256, 0);
    ALLOCATOR_PROPERTIES two{2, 64, 1, 0};
    EXPECT_EQ(control_->SetDeliveryBuffer(two, buffer.data()), E_INVALIDARG);
    ALLOCATOR_PROPERTIES one{1, 64, 1, 16};
    EXPECT_EQ(control_->SetDeliveryBuffer(one, nullptr), E_POINTER);
    ASSERT_EQ(control_->SetDeliveryBuffer(one, buffer.data()), S_OK);
    Seen seen;
    ASSERT_EQ(control_->SetCallback(Record, reinterpret_cast<DWORD_PTR>(&seen)), S_OK);
    // The source's 16 bytes fit the 64 of the buffer, after its prefix.
    auto* source = new ChunkSource(3, 16, 0);
    auto* sink = new RecordingSink();
    source->AddRef();
    sink->AddRef();
    {
        ChainGraph graph;
        graph.Add(source, u"source");
        graph.Add(filter_, u"grabber");
        graph.Add(sink, u"sink");
        ASSERT_EQ(graph.Join(source, filter_), S_OK);
        ASSERT_EQ(graph.Join(filter_, sink), S_OK);
        // Connected pins: the buffer can no longer change.
        EXPECT_EQ(control_->SetDeliveryBuffer(one, buffer.data()), E_INVALIDARG);
        EXPECT_EQ(graph.RunToEnd(), EC_COMPLETE);
        EXPECT_EQ(sink->FirstBytes(), (std::vector<BYTE>{1, 2, 3}));
    }
    source->Release();
    sink->Release();
    ASSERT_EQ(seen.buffers.size(), 3u);
    for (BYTE* at : seen.buffers) {
        EXPECT_EQ(at, buffer.data() + 16);
    }
    EXPECT_EQ(buffer[15], 0);
    EXPECT_EQ(buffer[16], 3);  // the last chunk written there
}

TEST_F(SampleGrabberTest, PrivateAllocatorKeepsToTheBuffersProperties) {
    std::vector<BYTE> buffer(256, 0);
    ALLOCATOR_PROPERTIES one{1, 100, 4, 8};
    ASSERT_EQ(control_->SetDeliveryBuffer(one, buffer.data()), S_OK);
    auto* input = static_cast<tessel::SampleGrabberInputPin*>(grabber()->GetPin(0));
    ALLOCATOR_PROPERTIES required{};
    ASSERT_EQ(input->GetAllocatorRequirements(&required), S_OK);
    EXPECT_EQ(required.cbBuffer, 100);
    EXPECT_EQ(required.cbPrefix, 8);
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    struct Case {
        ALLOCATOR_PROPERTIES request;
        HRESULT expected;
    };
    const Case cases[] = {
        {{1, 100, 2, 8}, VFW_E_BADALIGN},  // another alignment
        {{1, 100, 4, 0}, E_FAIL},          // another prefix
        {{1, 104, 4, 8}, E_FAIL},          // larger buffers
        {{2, 100, 4, 8}, E_FAIL},          // more of them
        {{1, 60, 4, 8}, S_OK},             // smaller ones get the buffer's
    };
    for (const Case& c : cases) {
        ALLOCATOR_PROPERTIES request = c.request;
        ALLOCATOR_PROPERTIES actual{};
        EXPECT_EQ(allocator->SetProperties(&request, &actual), c.expected)
            << request.cBuffers << " " << request.cbBuffer << " " << request.cbAlign;
        if (c.expected == S_OK) {
            EXPECT_EQ(actual.cbBuffer, 100);
            EXPECT_EQ(actual.cBuffers, 1);
        }
    }
    // Samples over the buffer: the prefix, then 100 bytes.
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    EXPECT_EQ(data, buffer.data() + 8);
    EXPECT_EQ(sample->GetSize(), 100);
    sample->Release();
    allocator->Decommit();
    // Another allocator is refused while the private one exists.
    HRESULT made = S_OK;
    auto* other = new CMemAllocator("other", nullptr, &made);
    other->AddRef();
    EXPECT_EQ(input->NotifyAllocator(other, FALSE), E_FAIL);
    EXPECT_EQ(input->NotifyAllocator(allocator, FALSE), S_OK);
    other->Release();
    allocator->Release();
}

}  // namespace
