// The media graph's own filters over any file: RenderFile through the file
// source and whichever decoder takes it (MPEG audio, or the general
// splitter and decoder), into sinks that read every byte delivered; the
// graph runs without a clock to its end (or a bounded number of samples),
// then once more from the middle.
#include <atomic>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/dshow_testing.h"
#include "platform/kernel.h"

namespace {

// {5B0E6C38-2F7A-4C61-9C1E-6E0A7D2B9F44}
const CLSID kFuzzSinkClass = {
    0x5B0E6C38, 0x2F7A, 0x4C61, {0x9C, 0x1E, 0x6E, 0x0A, 0x7D, 0x2B, 0x9F, 0x44}};

// Enough samples to reach the decoders' steady state; a damaged header can
// claim hours.
constexpr long kSampleLimit = 400;

std::atomic<long> samplesTaken{0};

// Takes decoded sound and pictures and reads them; refuses more once the
// limit is reached, which ends the stream.
class ReadingSink final : public CBaseRenderer {
  public:
    ReadingSink() : CBaseRenderer(kFuzzSinkClass, "fuzz sink", nullptr, &made_) {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        bool sound = type->majortype == MEDIATYPE_Audio && type->subtype == MEDIASUBTYPE_PCM;
        bool picture = type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_RGB24;
        return sound || picture ? S_OK : S_FALSE;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        if (++samplesTaken > kSampleLimit) {
            return E_ABORT;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        tessel_fuzz::sink =
            tessel_fuzz::sink + tessel_fuzz::SumBytes(data, static_cast<uint64_t>(std::max<LONG>(
                                                                0, sample->GetActualDataLength())));
        return S_OK;
    }

  private:
    HRESULT made_ = S_OK;
};

IBaseFilter* MakeSink() {
    auto* sink = new ReadingSink();
    sink->AddRef();
    return sink;
}

template <class T>
T* Query(IUnknown* object, REFIID iid) {
    void* answer = nullptr;
    return SUCCEEDED(object->QueryInterface(iid, &answer)) ? static_cast<T*>(answer) : nullptr;
}

// Runs to the end, an abort, or the sample limit.
void RunOnce(IMediaControl* control, IMediaEvent* events) {
    samplesTaken = 0;
    if (FAILED(control->Run())) {
        control->Stop();
        return;
    }
    LONG code = 0;
    for (int i = 0; i < 1000 && samplesTaken <= kSampleLimit; ++i) {
        if (events->WaitForCompletion(10, &code) == S_OK) {
            break;
        }
    }
    control->Stop();
}

}  // namespace

TESSEL_FUZZ_TARGET(media_graph) {
    static tessel_fuzz::ScratchFile scratch;
    static bool registered = [] {
        void* probe = nullptr;  // registers the platform's classes first
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGraphBuilder, &probe))) {
            static_cast<IGraphBuilder*>(probe)->Release();
        }
        // The sinks stand in for the renderers: nothing plays in real time.
        platform::UnregisterMediaFilter(CLSID_DSoundRender);
        platform::RegisterMediaFilter(
            {kFuzzSinkClass,
             u"fuzz sink",
             MERIT_PREFERRED,
             MakeSink,
             {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}, {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}}});
        return true;
    }();
    (void)registered;
    const char* path = scratch.Hold(data, size);
    if (path == nullptr) {
        return 0;
    }
    WCHAR wide[MAX_PATH * 2] = {};
    if (MultiByteToWideChar(932, 0, path, -1, wide, MAX_PATH * 2) <= 0) {
        return 0;
    }
    void* made = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                &made))) {
        return 0;
    }
    auto* graph = static_cast<IGraphBuilder*>(made);
    if (SUCCEEDED(graph->RenderFile(wide, nullptr))) {
        auto* filter = Query<IMediaFilter>(graph, IID_IMediaFilter);
        auto* control = Query<IMediaControl>(graph, IID_IMediaControl);
        auto* events = Query<IMediaEvent>(graph, IID_IMediaEvent);
        auto* seeking = Query<IMediaSeeking>(graph, IID_IMediaSeeking);
        filter->SetSyncSource(nullptr);
        RunOnce(control, events);
        LONGLONG duration = 0;
        if (SUCCEEDED(seeking->GetDuration(&duration)) && duration > 0) {
            LONGLONG middle = duration / 2;
            seeking->SetPositions(&middle, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning);
            RunOnce(control, events);
        }
        seeking->Release();
        events->Release();
        control->Release();
        filter->Release();
    }
    graph->Release();
    return 0;
}
