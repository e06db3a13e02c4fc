// Connecting pins: the order in which media types are tried, refusals,
// and the graph's intelligent connect over the registry of filters (by
// media type and merit), for Connect, Render and RenderFile.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dshow_toy_filters.h"
#include "platform/com_testing.h"
#include "platform/dshow_testing.h"

namespace {

using toy::kDoubledBytes;
using toy::kOtherBytes;
using toy::kRawBytes;

struct NegotiationCase {
    const char* name;
    std::vector<GUID> sourceOffers;
    std::vector<GUID> sourceRefuses;
    std::vector<GUID> sinkPrefers;
    std::vector<GUID> sinkAccepts;
    HRESULT expected;
    GUID connectedType;
};

TEST(MediaGraphConnect, TriesTheReceivingPinsTypesFirstThenItsOwn) {
    const NegotiationCase cases[] = {
        // The sink's first preference is refused by the source; its second
        // wins over the source's own first offer.
        {"receiver first",
         {kDoubledBytes, kOtherBytes},
         {kRawBytes},
         {kRawBytes, kOtherBytes},
         {kDoubledBytes, kOtherBytes},
         S_OK,
         kOtherBytes},
        // Nothing the sink prefers works: the source's offers are tried next.
        {"then own",
         {kOtherBytes, kDoubledBytes},
         {},
         {kRawBytes},
         {kDoubledBytes},
         S_OK,
         kDoubledBytes},
        {"no common type",
         {kOtherBytes},
         {},
         {},
         {kDoubledBytes},
         VFW_E_NO_ACCEPTABLE_TYPES,
         GUID_NULL},
    };
    for (const NegotiationCase& c : cases) {
        SCOPED_TRACE(c.name);
        toy::SourceSettings sourceSettings;
        sourceSettings.offered = c.sourceOffers;
        sourceSettings.refused = c.sourceRefuses;
        toy::SinkSettings sinkSettings;
        sinkSettings.preferred = c.sinkPrefers;
        sinkSettings.accepted = c.sinkAccepts;
        auto* source = new toy::ByteSource(sourceSettings);
        auto* sink = new toy::CountingSink(sinkSettings);
        IGraphBuilder* graph = toy::NewGraph();
        graph->AddFilter(source, u"Source");
        graph->AddFilter(sink, u"Sink");
        EXPECT_EQ(source->Output()->Connect(sink->Input(), nullptr), c.expected);
        if (c.expected == S_OK) {
            AM_MEDIA_TYPE connected{};
            ASSERT_EQ(sink->Input()->ConnectionMediaType(&connected), S_OK);
            EXPECT_TRUE(IsEqualGUID(connected.subtype, c.connectedType));
            FreeMediaType(connected);
            // The receiver's list was walked in its order before the
            // source's own offers.
            ASSERT_FALSE(source->Stream()->checked.empty());
            if (!c.sinkPrefers.empty()) {
                EXPECT_TRUE(IsEqualGUID(source->Stream()->checked.front(), c.sinkPrefers.front()));
            }
        } else {
            AM_MEDIA_TYPE none{};
            EXPECT_EQ(sink->Input()->ConnectionMediaType(&none), VFW_E_NOT_CONNECTED);
        }
        graph->Release();
    }
}

TEST(MediaGraphConnect, AFullySpecifiedTypeIsRefusedWithTheReceiversReason) {
    toy::SourceSettings sourceSettings;
    sourceSettings.offered = {kOtherBytes};
    toy::SinkSettings sinkSettings;
    sinkSettings.accepted = {kDoubledBytes};
    sinkSettings.refusal = VFW_E_INVALID_MEDIA_TYPE;
    auto* source = new toy::ByteSource(sourceSettings);
    auto* sink = new toy::CountingSink(sinkSettings);
    IGraphBuilder* graph = toy::NewGraph();
    graph->AddFilter(source, u"Source");
    graph->AddFilter(sink, u"Sink");
    CMediaType offered = toy::StreamType(kOtherBytes);
    EXPECT_EQ(source->Output()->Connect(sink->Input(), &offered), VFW_E_INVALID_MEDIA_TYPE);
    EXPECT_EQ(graph->ConnectDirect(source->Output(), sink->Input(), &offered),
              VFW_E_INVALID_MEDIA_TYPE);
    IPin* peer = nullptr;
    EXPECT_EQ(source->Output()->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    // Two pins of one direction never connect.
    EXPECT_EQ(source->Output()->Connect(source->Output(), nullptr), VFW_E_INVALID_DIRECTION);
    graph->Release();
}

// Registers the toy filters for one test and forgets them afterwards.
class MediaGraphRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        objectsBefore_ = platform::LiveMediaObjects();
        blocksBefore_ = platform::TaskMemoryBlocksOutstanding();
        toy::SetRegisteredSink({});
    }
    void TearDown() override {
        platform::UnregisterMediaFilter(toy::kDoublerClass);
        platform::UnregisterMediaFilter(toy::kSinkClass);
        platform::UnregisterMediaFilter(kRivalClass);
        platform::UnregisterFileSource(toy::kSourceClass);
        EXPECT_EQ(platform::LiveMediaObjects(), objectsBefore_);
        EXPECT_EQ(platform::TaskMemoryBlocksOutstanding(), blocksBefore_);
    }
    static void RegisterDoubler(DWORD merit) {
        platform::RegisterMediaFilter({toy::kDoublerClass,
                                       u"Doubler",
                                       merit,
                                       toy::MakeDoubler,
                                       {{MEDIATYPE_Stream, kRawBytes}}});
    }
    static void RegisterSink(DWORD merit) {
        platform::RegisterMediaFilter({toy::kSinkClass,
                                       u"Sink",
                                       merit,
                                       toy::MakeRegisteredSink,
                                       {{MEDIATYPE_Stream, kDoubledBytes}}});
    }
    static const CLSID kRivalClass;
    long objectsBefore_ = 0;
    long blocksBefore_ = 0;
};

const CLSID MediaGraphRegistry::kRivalClass = {0x0BADF00D, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

size_t FilterCount(IGraphBuilder* graph) {
    return toy::FiltersOfGraph<IBaseFilter>(graph).size();
}

TEST_F(MediaGraphRegistry, RenderInsertsARegisteredTransformByMediaType) {
    RegisterDoubler(MERIT_NORMAL);
    RegisterSink(MERIT_NORMAL);
    toy::SourceSettings settings;
    settings.bytes = {1, 2, 3, 4, 5};
    auto* source = new toy::ByteSource(settings);
    IGraphBuilder* graph = toy::NewGraph();
    graph->AddFilter(source, u"Source");
    EXPECT_EQ(graph->Render(source->Output()), S_OK);
    ASSERT_EQ(toy::FiltersOfGraph<toy::Doubler>(graph).size(), 1u);
    ASSERT_EQ(toy::FiltersOfGraph<toy::CountingSink>(graph).size(), 1u);
    toy::Doubler* doubler = toy::FiltersOfGraph<toy::Doubler>(graph)[0];
    IPin* peer = nullptr;
    ASSERT_EQ(source->Output()->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, doubler->Input());
    peer->Release();
    EXPECT_EQ(graph->Render(source->Output()), VFW_E_ALREADY_CONNECTED);
    graph->Release();
}

TEST_F(MediaGraphRegistry, RenderUsesAFilterAlreadyInTheGraphBeforeTheRegistry) {
    RegisterDoubler(MERIT_NORMAL);
    RegisterSink(MERIT_NORMAL);
    auto* source = new toy::ByteSource({});
    auto* present = new toy::Doubler();
    IGraphBuilder* graph = toy::NewGraph();
    graph->AddFilter(source, u"Source");
    graph->AddFilter(present, u"Present");
    EXPECT_EQ(graph->Render(source->Output()), S_OK);
    EXPECT_EQ(toy::FiltersOfGraph<toy::Doubler>(graph).size(), 1u);
    EXPECT_TRUE(present->Input()->IsConnected());
    EXPECT_TRUE(present->Output()->IsConnected());
    graph->Release();
}

IBaseFilter* MakeRival() {
    IBaseFilter* made = new toy::CountingSink({{kRawBytes}, {}, false, E_FAIL});
    made->AddRef();
    return made;
}

TEST_F(MediaGraphRegistry, RenderTriesHigherMeritFirstAndNeverDoNotUse) {
    struct Case {
        DWORD rivalMerit;
        bool rivalChosen;
    };
    const Case cases[] = {
        {MERIT_PREFERRED, true}, {MERIT_UNLIKELY, false}, {MERIT_DO_NOT_USE, false}};
    RegisterSink(MERIT_NORMAL);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rivalMerit);
        RegisterDoubler(MERIT_NORMAL);
        // A sink that takes the raw bytes at once competes with the doubler.
        platform::RegisterMediaFilter(
            {kRivalClass, u"Rival", c.rivalMerit, MakeRival, {{MEDIATYPE_Stream, kRawBytes}}});
        auto* source = new toy::ByteSource({});
        IGraphBuilder* graph = toy::NewGraph();
        graph->AddFilter(source, u"Source");
        EXPECT_EQ(graph->Render(source->Output()), S_OK);
        EXPECT_EQ(toy::FiltersOfGraph<toy::Doubler>(graph).empty(), c.rivalChosen);
        EXPECT_EQ(FilterCount(graph), c.rivalChosen ? 2u : 3u);
        graph->Release();
    }
}

TEST_F(MediaGraphRegistry, RenderWithoutADecoderFailsAndLeavesNothingBehind) {
    RegisterSink(MERIT_NORMAL);  // takes only doubled bytes
    auto* source = new toy::ByteSource({});
    IGraphBuilder* graph = toy::NewGraph();
    graph->AddFilter(source, u"Source");
    long objects = platform::LiveMediaObjects();
    long blocks = platform::TaskMemoryBlocksOutstanding();
    EXPECT_EQ(graph->Render(source->Output()), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterCount(graph), 1u);
    EXPECT_FALSE(source->Stream()->IsConnected());
    EXPECT_EQ(platform::LiveMediaObjects(), objects);
    EXPECT_EQ(platform::TaskMemoryBlocksOutstanding(), blocks);

    // A doubler whose output nothing takes is backed out as well.
    platform::UnregisterMediaFilter(toy::kSinkClass);
    RegisterDoubler(MERIT_NORMAL);
    EXPECT_EQ(graph->Render(source->Output()), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterCount(graph), 1u);
    EXPECT_EQ(platform::LiveMediaObjects(), objects);
    graph->Release();
}

TEST_F(MediaGraphRegistry, ConnectGoesThroughARegisteredIntermediateFilter) {
    RegisterDoubler(MERIT_NORMAL);
    auto* source = new toy::ByteSource({});
    auto* sink = new toy::CountingSink({});
    IGraphBuilder* graph = toy::NewGraph();
    graph->AddFilter(source, u"Source");
    graph->AddFilter(sink, u"Sink");
    EXPECT_EQ(graph->Connect(source->Output(), sink->Input()), S_OK);
    ASSERT_EQ(toy::FiltersOfGraph<toy::Doubler>(graph).size(), 1u);
    EXPECT_TRUE(sink->Input()->IsConnected());

    // Disconnect frees both ends of a connection.
    toy::Doubler* doubler = toy::FiltersOfGraph<toy::Doubler>(graph)[0];
    EXPECT_EQ(graph->Disconnect(sink->Input()), S_OK);
    EXPECT_EQ(graph->Disconnect(doubler->Output()), S_OK);
    EXPECT_FALSE(doubler->Output()->IsConnected());
    EXPECT_EQ(graph->Disconnect(sink->Input()), S_FALSE);

    platform::UnregisterMediaFilter(toy::kDoublerClass);
    auto* other = new toy::ByteSource({});
    graph->AddFilter(other, u"Other");
    EXPECT_EQ(graph->Connect(other->Output(), sink->Input()), VFW_E_CANNOT_CONNECT);
    graph->Release();
}

bool StartsWithToy(const BYTE* head, size_t length) {
    return length >= 4 && head[0] == 'T' && head[1] == 'O' && head[2] == 'Y' && head[3] == 'B';
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

TEST_F(MediaGraphRegistry, RenderFileBuildsTheGraphFromARegisteredSource) {
    RegisterDoubler(MERIT_NORMAL);
    RegisterSink(MERIT_NORMAL);
    platform::RegisterFileSource(
        {toy::kSourceClass, MERIT_NORMAL, toy::MakeRegisteredSource, StartsWithToy});
    std::string good = ::testing::TempDir() + "dshow_render_file.toy";
    std::string bad = ::testing::TempDir() + "dshow_render_file.bad";
    for (const std::string& path : {good, bad}) {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs(path == good ? "TOYB bytes" : "NOPE bytes", file);
        std::fclose(file);
    }
    IGraphBuilder* graph = toy::NewGraph();
    EXPECT_EQ(graph->RenderFile(Wide(bad).c_str(), nullptr), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterCount(graph), 0u);
    EXPECT_EQ(graph->RenderFile(Wide(good + ".missing").c_str(), nullptr), VFW_E_NOT_FOUND);
    ASSERT_EQ(graph->RenderFile(Wide(good).c_str(), nullptr), S_OK);
    EXPECT_EQ(FilterCount(graph), 3u);

    auto* control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
    auto* events = toy::Query<IMediaEvent>(graph, IID_IMediaEvent);
    ASSERT_EQ(control->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    std::vector<BYTE> expected;
    for (char c : std::string("TOYB bytes")) {
        expected.push_back(static_cast<BYTE>(c * 2));
    }
    EXPECT_EQ(toy::FiltersOfGraph<toy::CountingSink>(graph)[0]->Bytes(), expected);
    control->Stop();
    control->Release();
    events->Release();
    graph->Release();
    std::remove(good.c_str());
    std::remove(bad.c_str());
}

}  // namespace
