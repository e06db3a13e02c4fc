// Media-graph objects: published identifiers and result codes, reference
// counts (a filter dies on its last release, a graph releases its filters),
// the classes COM makes, and media types in task memory.
#include <gtest/gtest.h>

#include "dshow_toy_filters.h"
#include "platform/com_testing.h"
#include "platform/dshow_testing.h"

namespace {

struct GuidCase {
    const char* name;
    const GUID* guid;
    DWORD data1;
    WORD data2;
    WORD data3;
    BYTE data4[8];
};

TEST(MediaGraphIdentifiers, HaveTheirPublishedValues) {
    const GuidCase cases[] = {
        {"IID_IGraphBuilder",
         &IID_IGraphBuilder,
         0x56A868A9,
         0x0AD4,
         0x11CE,
         {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}},
        {"IID_IMediaSeeking",
         &IID_IMediaSeeking,
         0x36B73880,
         0xC2C8,
         0x11CF,
         {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}},
        {"IID_IEnumMediaTypes",
         &IID_IEnumMediaTypes,
         0x89C31040,
         0x846B,
         0x11CE,
         {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}},
        {"CLSID_FilterGraph",
         &CLSID_FilterGraph,
         0xE436EBB3,
         0x524F,
         0x11CE,
         {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}},
        {"CLSID_NullRenderer",
         &CLSID_NullRenderer,
         0xC1F400A4,
         0x3F08,
         0x11D3,
         {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}},
        {"MEDIATYPE_Audio",
         &MEDIATYPE_Audio,
         0x73647561,
         0x0000,
         0x0010,
         {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
        {"MEDIASUBTYPE_PCM",
         &MEDIASUBTYPE_PCM,
         0x00000001,
         0x0000,
         0x0010,
         {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
        {"MEDIASUBTYPE_RGB24",
         &MEDIASUBTYPE_RGB24,
         0xE436EB7D,
         0x524F,
         0x11CE,
         {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}},
        {"FORMAT_VideoInfo",
         &FORMAT_VideoInfo,
         0x05589F80,
         0xC356,
         0x11CE,
         {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}},
    };
    for (const GuidCase& c : cases) {
        GUID expected{c.data1, c.data2, c.data3, {}};
        std::copy(c.data4, c.data4 + 8, expected.Data4);
        EXPECT_TRUE(IsEqualGUID(*c.guid, expected)) << c.name;
    }
    EXPECT_EQ(VFW_E_INVALID_MEDIA_TYPE, static_cast<HRESULT>(0x80040248));
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, static_cast<HRESULT>(0x80040207));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, static_cast<HRESULT>(0x80040209));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, static_cast<HRESULT>(0x00040103));
    EXPECT_EQ(VFW_E_TIMEOUT, static_cast<HRESULT>(0x8004022E));
    EXPECT_EQ(EC_COMPLETE, 1);
    EXPECT_EQ(EC_ERRORABORT, 3);
}

TEST(MediaGraphObjects, AFilterDiesOnItsLastReleaseAndItsPinsCountOnIt) {
    long before = platform::LiveMediaObjects();
    bool gone = false;
    auto* sink = new toy::CountingSink({}, &gone);
    IBaseFilter* filter = sink;
    EXPECT_EQ(filter->AddRef(), 1u);  // made with no reference
    IPin* pin = nullptr;
    ASSERT_EQ(filter->FindPin(u"In", &pin), S_OK);
    EXPECT_EQ(pin->AddRef(), 3u);  // the pin's references are the filter's
    EXPECT_EQ(pin->Release(), 2u);
    auto* input = toy::Query<IMemInputPin>(pin, IID_IMemInputPin);
    ASSERT_NE(input, nullptr);
    auto* mediaFilter = toy::Query<IMediaFilter>(filter, IID_IMediaFilter);
    ASSERT_NE(mediaFilter, nullptr);
    EXPECT_EQ(toy::Query<IMediaSeeking>(filter, IID_IMediaSeeking), nullptr);

    IEnumPins* pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    input->Release();
    mediaFilter->Release();
    pin->Release();
    filter->Release();
    EXPECT_FALSE(gone) << "the enumerator still holds the filter";
    pins->Release();
    EXPECT_TRUE(gone);
    EXPECT_EQ(platform::LiveMediaObjects(), before);
}

TEST(MediaGraphObjects, AGraphReleasesItsConnectedFilters) {
    long before = platform::LiveMediaObjects();
    bool sourceGone = false;
    bool sinkGone = false;
    toy::SourceSettings settings;
    settings.bytes = {1, 2, 3};
    settings.offered = {toy::kDoubledBytes};
    auto* source = new toy::ByteSource(settings, &sourceGone);
    auto* sink = new toy::CountingSink({}, &sinkGone);
    IGraphBuilder* graph = toy::NewGraph();
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->AddFilter(source, u"Source"), S_OK);
    EXPECT_EQ(graph->AddFilter(sink, u"Sink"), S_OK);
    EXPECT_EQ(graph->AddFilter(sink, u"Again"), VFW_E_DUPLICATE_NAME);
    ASSERT_EQ(graph->Connect(source->Output(), sink->Input()), S_OK);
    EXPECT_EQ(static_cast<IBaseFilter*>(sink)->AddRef(), 4u)
        << "the graph's, the source pin's peer and sample transport, and ours";
    static_cast<IBaseFilter*>(sink)->Release();

    IBaseFilter* found = nullptr;
    ASSERT_EQ(graph->FindFilterByName(u"Sink", &found), S_OK);
    EXPECT_EQ(found, static_cast<IBaseFilter*>(sink));
    found->Release();
    EXPECT_EQ(graph->Release(), 0u);
    EXPECT_TRUE(sourceGone);
    EXPECT_TRUE(sinkGone);
    EXPECT_EQ(platform::LiveMediaObjects(), before);
}

TEST(MediaGraphObjects, ComMakesTheGraphAndTheNullRenderer) {
    long before = platform::LiveMediaObjects();
    void* made = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &made),
        S_OK);
    auto* renderer = static_cast<IBaseFilter*>(made);
    EXPECT_EQ(renderer->AddRef(), 2u);
    renderer->Release();
    CLSID classId{};
    EXPECT_EQ(renderer->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, CLSID_NullRenderer));

    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               &made),
              S_OK);
    auto* graph = static_cast<IGraphBuilder*>(made);
    const IID* answers[] = {&IID_IMediaControl, &IID_IMediaEvent, &IID_IMediaSeeking,
                            &IID_IMediaFilter, &IID_IBasicAudio};
    for (const IID* iid : answers) {
        auto* answer = toy::Query<IUnknown>(graph, *iid);
        ASSERT_NE(answer, nullptr);
        answer->Release();
    }
    EXPECT_EQ(toy::Query<IUnknown>(graph, IID_IPin), nullptr);

    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, &made),
              S_OK);
    auto* allocator = static_cast<IMemAllocator*>(made);
    ALLOCATOR_PROPERTIES asked{3, 10, 8, 2};
    ALLOCATOR_PROPERTIES got{};
    ASSERT_EQ(allocator->SetProperties(&asked, &got), S_OK);
    EXPECT_EQ(got.cBuffers, 3);
    EXPECT_EQ(got.cbBuffer, 14);  // prefix and buffer fill whole aligned pieces
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* samples[3] = {};
    for (IMediaSample*& sample : samples) {
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data - 2) % 8, 0u);
    }
    IMediaSample* fourth = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&fourth, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    EXPECT_EQ(allocator->Decommit(), S_OK);
    EXPECT_EQ(allocator->GetBuffer(&fourth, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    for (IMediaSample* sample : samples) {
        sample->Release();
    }
    EXPECT_EQ(allocator->Release(), 0u);
    EXPECT_EQ(graph->Release(), 0u);
    EXPECT_EQ(renderer->Release(), 0u);
    EXPECT_EQ(platform::LiveMediaObjects(), before);
}

TEST(MediaGraphObjects, EnumeratedMediaTypesLiveInTaskMemory) {
    long blocksBefore = platform::TaskMemoryBlocksOutstanding();
    toy::SourceSettings settings;
    settings.offered = {toy::kRawBytes, toy::kOtherBytes};
    auto* source = new toy::ByteSource(settings);
    static_cast<IBaseFilter*>(source)->AddRef();
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(source->Output()->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_TRUE(IsEqualGUID(got[0]->subtype, toy::kRawBytes));
    EXPECT_TRUE(IsEqualGUID(got[1]->subtype, toy::kOtherBytes));
    EXPECT_EQ(platform::TaskMemoryBlocksOutstanding(), blocksBefore + 2);

    CMediaType withFormat = toy::StreamType(toy::kRawBytes);
    BYTE format[5] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(withFormat.SetFormat(format, sizeof(format)));
    AM_MEDIA_TYPE* copy = CreateMediaType(&withFormat);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->pbFormat, withFormat.pbFormat);
    EXPECT_EQ(copy->pbFormat[4], 5);
    DeleteMediaType(copy);
    withFormat.ResetFormatBuffer();

    DeleteMediaType(got[0]);
    DeleteMediaType(got[1]);
    types->Release();
    static_cast<IBaseFilter*>(source)->Release();
    EXPECT_EQ(platform::TaskMemoryBlocksOutstanding(), blocksBefore);
}

}  // namespace
