// Streaming through a graph: runs to completion with every sample in order,
// stopping mid-stream, the in-place copy between differing allocators, the
// renderer's schedule against a virtual clock, seeking, and many graphs
// made, run and released.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "dshow_toy_filters.h"
#include "platform/com_testing.h"
#include "platform/dshow_testing.h"

namespace {

template <class Predicate>
bool WaitUntil(Predicate ready, int milliseconds = 10000) {
    for (int waited = 0; waited < milliseconds; ++waited) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ready();
}

std::vector<BYTE> Counting(size_t length) {
    std::vector<BYTE> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    }
    return bytes;
}

std::vector<BYTE> Doubled(const std::vector<BYTE>& bytes) {
    std::vector<BYTE> doubled;
    for (BYTE b : bytes) {
        doubled.push_back(static_cast<BYTE>(b * 2));
    }
    return doubled;
}

// source -> doubler -> sink, connected and ready to run.
struct Chain {
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaFilter* mediaFilter = nullptr;
    toy::ByteSource* source = nullptr;
    toy::Doubler* doubler = nullptr;
    toy::CountingSink* sink = nullptr;

    Chain(toy::SourceSettings sourceSettings, toy::SinkSettings sinkSettings) {
        graph = toy::NewGraph();
        source = new toy::ByteSource(std::move(sourceSettings));
        doubler = new toy::Doubler();
        sink = new toy::CountingSink(std::move(sinkSettings));
        graph->AddFilter(source, u"Source");
        graph->AddFilter(doubler, u"Doubler");
        graph->AddFilter(sink, u"Sink");
        EXPECT_EQ(graph->ConnectDirect(source->Output(), doubler->Input(), nullptr), S_OK);
        EXPECT_EQ(graph->ConnectDirect(doubler->Output(), sink->Input(), nullptr), S_OK);
        control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
        events = toy::Query<IMediaEvent>(graph, IID_IMediaEvent);
        seeking = toy::Query<IMediaSeeking>(graph, IID_IMediaSeeking);
        mediaFilter = toy::Query<IMediaFilter>(graph, IID_IMediaFilter);
    }
    ~Chain() {
        control->Stop();
        control->Release();
        events->Release();
        seeking->Release();
        mediaFilter->Release();
        EXPECT_EQ(graph->Release(), 0u);
    }
    LONG RunToEnd() {
        EXPECT_EQ(control->Run(), S_OK);
        LONG code = 0;
        EXPECT_EQ(events->WaitForCompletion(20000, &code), S_OK);
        return code;
    }
};

class MediaGraphStreaming : public ::testing::Test {
  protected:
    void SetUp() override {
        objectsBefore_ = platform::LiveMediaObjects();
        blocksBefore_ = platform::TaskMemoryBlocksOutstanding();
    }
    void TearDown() override {
        EXPECT_EQ(toy::LiveStreamingThreads(), 0);
        EXPECT_EQ(platform::LiveMediaObjects(), objectsBefore_);
        EXPECT_EQ(platform::TaskMemoryBlocksOutstanding(), blocksBefore_);
    }
    long objectsBefore_ = 0;
    long blocksBefore_ = 0;
};

TEST_F(MediaGraphStreaming, ARunDeliversEverySampleInOrderAndCompletes) {
    struct Case {
        const char* name;
        bool clocked;
        REFERENCE_TIME frame;
    };
    // Unclocked, samples ten seconds apart arrive as fast as they are made.
    const Case cases[] = {{"system clock", true, 3}, {"no clock", false, 100000000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        toy::SourceSettings settings;
        settings.bytes = Counting(1000);
        settings.chunk = 7;
        settings.frame = c.frame;
        Chain chain(settings, {});
        if (!c.clocked) {
            ASSERT_EQ(chain.mediaFilter->SetSyncSource(nullptr), S_OK);
        }
        LONG code = 0;
        EXPECT_EQ(chain.events->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
        EXPECT_EQ(chain.RunToEnd(), EC_COMPLETE);
        EXPECT_EQ(chain.sink->Bytes(), Doubled(settings.bytes));
        std::vector<REFERENCE_TIME> starts = chain.sink->Starts();
        ASSERT_EQ(starts.size(), 143u);
        for (size_t i = 0; i < starts.size(); ++i) {
            EXPECT_EQ(starts[i], static_cast<REFERENCE_TIME>(i) * c.frame);
        }
        LONGLONG position = -1;
        LONGLONG stop = -2;
        EXPECT_EQ(chain.seeking->GetStopPosition(&stop), S_OK);
        EXPECT_EQ(stop, 143 * c.frame);
        EXPECT_EQ(chain.seeking->GetCurrentPosition(&position), S_OK);
        EXPECT_EQ(position, stop);
        // The completion was handed out once.
        EXPECT_EQ(chain.events->WaitForCompletion(0, &code), E_ABORT);
        EXPECT_EQ(code, 0);
    }
}

TEST_F(MediaGraphStreaming, AFailingSourceEndsTheRunWithAnErrorAbort) {
    toy::SourceSettings settings;
    settings.bytes = Counting(100);
    settings.failAt = 4;
    Chain chain(settings, {});
    EXPECT_EQ(chain.RunToEnd(), EC_ERRORABORT);
    EXPECT_EQ(chain.sink->Count(), 4u);
}

TEST_F(MediaGraphStreaming, WaitingForCompletionPassesOverOtherEvents) {
    toy::SourceSettings settings;
    settings.bytes = Counting(3);
    Chain chain(settings, {});
    auto* sink = toy::Query<IMediaEventSink>(chain.graph, IID_IMediaEventSink);
    ASSERT_NE(sink, nullptr);
    const LONG kOther = 0x4F;
    sink->Notify(kOther, 11, 22);
    LONG code = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    ASSERT_EQ(chain.events->GetEvent(&code, &first, &second, 0), S_OK);
    EXPECT_EQ(code, kOther);
    EXPECT_EQ(first, 11);
    EXPECT_EQ(second, 22);
    EXPECT_EQ(chain.events->GetEvent(&code, &first, &second, 0), E_ABORT);
    sink->Notify(kOther, 0, 0);
    EXPECT_EQ(chain.RunToEnd(), EC_COMPLETE);
    EXPECT_EQ(chain.events->GetEvent(&code, &first, &second, 0), E_ABORT);
    sink->Release();
}

TEST_F(MediaGraphStreaming, CompletionWaitsForEveryRenderer) {
    const REFERENCE_TIME t0 = 1000;
    toy::SourceSettings quick;
    quick.bytes = Counting(3);
    quick.frame = 0;  // all due at once
    toy::SourceSettings slow;
    slow.bytes = Counting(2);
    slow.chunk = 1;
    slow.frame = 1000000;
    Chain chain(quick, {});
    auto* source = new toy::ByteSource(slow);
    auto* doubler = new toy::Doubler();
    auto* sink = new toy::CountingSink({});
    chain.graph->AddFilter(source, u"Slow source");
    chain.graph->AddFilter(doubler, u"Slow doubler");
    chain.graph->AddFilter(sink, u"Slow sink");
    ASSERT_EQ(chain.graph->Connect(source->Output(), doubler->Input()), S_OK);
    ASSERT_EQ(chain.graph->Connect(doubler->Output(), sink->Input()), S_OK);
    auto* clock = new toy::VirtualClock(t0);
    ASSERT_EQ(chain.mediaFilter->SetSyncSource(clock), S_OK);
    ASSERT_EQ(chain.control->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEnd());
    ASSERT_TRUE(clock->WaitForAdvise(t0 + slow.frame));
    LONG code = -1;
    EXPECT_EQ(chain.events->WaitForCompletion(0, &code), E_ABORT);
    EXPECT_EQ(code, 0);
    clock->Advance(t0 + slow.frame);
    EXPECT_EQ(chain.events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(sink->Count(), 2u);
    chain.control->Stop();
    clock->Release();
}

TEST_F(MediaGraphStreaming, StopDuringStreamingJoinsEveryThread) {
    enum class Where { Delivering, WaitingForTheClock, Paused };
    const Where cases[] = {Where::Delivering, Where::WaitingForTheClock, Where::Paused};
    for (Where where : cases) {
        SCOPED_TRACE(static_cast<int>(where));
        toy::SourceSettings settings;
        settings.bytes = Counting(50);
        settings.endless = true;
        settings.frame = where == Where::WaitingForTheClock ? 10000000000LL : 1;
        Chain chain(settings, {});
        if (where == Where::Delivering) {
            chain.mediaFilter->SetSyncSource(nullptr);
        }
        if (where == Where::Paused) {
            ASSERT_EQ(chain.control->Pause(), S_OK);
            // The first sample waits in the renderer for the run.
            ASSERT_TRUE(WaitUntil([&] { return toy::LiveStreamingThreads() == 1; }));
        } else {
            ASSERT_EQ(chain.control->Run(), S_OK);
            ASSERT_TRUE(chain.sink->WaitForCount(where == Where::Delivering ? 20 : 1));
        }
        EXPECT_EQ(chain.control->Stop(), S_OK);
        EXPECT_EQ(toy::LiveStreamingThreads(), 0);
        size_t seen = chain.sink->Count();
        EXPECT_EQ(chain.sink->Count(), seen);
        if (where == Where::Paused) {
            EXPECT_EQ(seen, 0u);
        }
        OAFilterState state = -1;
        EXPECT_EQ(chain.control->GetState(0, &state), S_OK);
        EXPECT_EQ(state, State_Stopped);
        // The graph streams again after a stop.
        chain.mediaFilter->SetSyncSource(nullptr);
        ASSERT_EQ(chain.control->Run(), S_OK);
        EXPECT_TRUE(chain.sink->WaitForCount(seen + 5));
    }
}

TEST_F(MediaGraphStreaming, TheInPlaceTransformCopiesOnlyBetweenDifferentAllocators) {
    for (bool privateAllocator : {false, true}) {
        SCOPED_TRACE(privateAllocator);
        toy::SourceSettings settings;
        settings.bytes = Counting(300);
        settings.chunk = 13;
        toy::SinkSettings sinkSettings;
        sinkSettings.privateAllocator = privateAllocator;
        Chain chain(settings, sinkSettings);
        chain.mediaFilter->SetSyncSource(nullptr);
        EXPECT_EQ(chain.RunToEnd(), EC_COMPLETE);
        chain.control->Stop();
        EXPECT_EQ(chain.sink->Bytes(), Doubled(settings.bytes));
        const std::vector<BYTE*>& filled = chain.source->Stream()->buffers;
        std::vector<BYTE*> rendered = chain.sink->Buffers();
        ASSERT_EQ(rendered.size(), filled.size());
        for (BYTE* buffer : rendered) {
            bool fromSource = std::find(filled.begin(), filled.end(), buffer) != filled.end();
            EXPECT_EQ(fromSource, !privateAllocator);
        }
    }
}

TEST_F(MediaGraphStreaming, TheRendererPresentsSamplesAtTheirTimesOnTheGraphsClock) {
    const REFERENCE_TIME t0 = 50000000;
    const REFERENCE_TIME frame = 400007;
    toy::SourceSettings settings;
    settings.bytes = Counting(3);
    settings.chunk = 1;
    settings.frame = frame;
    Chain chain(settings, {});
    auto* clock = new toy::VirtualClock(t0);
    ASSERT_EQ(chain.mediaFilter->SetSyncSource(clock), S_OK);
    ASSERT_EQ(chain.control->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForCount(1));  // due at once

    ASSERT_TRUE(clock->WaitForAdvise(t0 + frame));
    clock->Advance(t0 + frame - 1);
    EXPECT_EQ(chain.sink->Count(), 1u);
    LONGLONG position = 0;
    chain.seeking->GetCurrentPosition(&position);
    EXPECT_EQ(position, frame - 1);
    clock->Advance(t0 + frame);
    ASSERT_TRUE(chain.sink->WaitForCount(2));

    ASSERT_TRUE(clock->WaitForAdvise(t0 + 2 * frame));
    EXPECT_EQ(chain.sink->Count(), 2u);
    clock->Advance(t0 + 2 * frame + 5);
    ASSERT_TRUE(chain.sink->WaitForCount(3));
    LONG code = 0;
    EXPECT_EQ(chain.events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    std::vector<REFERENCE_TIME> presented = chain.sink->PresentedAt();
    std::vector<REFERENCE_TIME> expected = {t0, t0 + frame, t0 + 2 * frame + 5};
    EXPECT_EQ(presented, expected);
    chain.control->Stop();
    clock->Release();
}

TEST_F(MediaGraphStreaming, SeekingRestartsTheStreamAtTheNewPosition) {
    toy::SourceSettings settings;
    settings.bytes = Counting(10);
    settings.chunk = 1;
    settings.frame = 100;
    Chain chain(settings, {});
    chain.mediaFilter->SetSyncSource(nullptr);
    LONGLONG duration = 0;
    EXPECT_EQ(chain.seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 1000);
    EXPECT_EQ(chain.RunToEnd(), EC_COMPLETE);
    // As a looping movie does at its end: back to a position, then Run.
    LONGLONG to = 500;
    ASSERT_EQ(chain.seeking->SetPositions(&to, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_EQ(chain.control->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(chain.events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    std::vector<REFERENCE_TIME> starts = chain.sink->Starts();
    ASSERT_EQ(starts.size(), 15u);
    std::vector<REFERENCE_TIME> tail(starts.begin() + 10, starts.end());
    EXPECT_EQ(tail, (std::vector<REFERENCE_TIME>{500, 600, 700, 800, 900}));
    LONGLONG position = 0;
    chain.seeking->GetCurrentPosition(&position);
    EXPECT_EQ(position, 1000);
}

TEST_F(MediaGraphStreaming, AThousandGraphsAreBuiltRunAndReleased) {
    for (int i = 0; i < 1000; ++i) {
        IGraphBuilder* graph = toy::NewGraph();
        toy::SourceSettings settings;
        settings.bytes = Counting(5 + i % 7);
        settings.chunk = 2;
        auto* source = new toy::ByteSource(settings);
        auto* doubler = new toy::Doubler();
        void* made = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, &made),
                  S_OK);
        auto* renderer = static_cast<IBaseFilter*>(made);
        graph->AddFilter(source, u"Source");
        graph->AddFilter(doubler, u"Doubler");
        graph->AddFilter(renderer, u"File Renderer");
        renderer->Release();
        IPin* rendererInput = nullptr;
        ASSERT_EQ(renderer->FindPin(u"In", &rendererInput), S_OK);
        ASSERT_EQ(graph->Connect(source->Output(), doubler->Input()), S_OK);
        ASSERT_EQ(graph->Connect(doubler->Output(), rendererInput), S_OK);
        rendererInput->Release();
        auto* control = toy::Query<IMediaControl>(graph, IID_IMediaControl);
        auto* events = toy::Query<IMediaEvent>(graph, IID_IMediaEvent);
        if (i % 2 == 0) {
            auto* mediaFilter = toy::Query<IMediaFilter>(graph, IID_IMediaFilter);
            mediaFilter->SetSyncSource(nullptr);
            mediaFilter->Release();
        }
        ASSERT_EQ(control->Run(), S_OK);
        LONG code = 0;
        ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
        ASSERT_EQ(code, EC_COMPLETE);
        // Half are released while still running.
        if (i % 3 == 0) {
            control->Stop();
        }
        control->Release();
        events->Release();
        ASSERT_EQ(graph->Release(), 0u);
    }
}

}  // namespace
