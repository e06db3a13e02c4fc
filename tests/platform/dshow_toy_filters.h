// Toy filters on the media-graph framework for the graph's tests: a byte
// source (a push source that also seeks and loads files), a doubling
// in-place transform that relabels raw bytes as doubled ones, a counting
// sink on the video renderer base, and a virtual clock that tests advance
// by hand.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dshow.h"

namespace toy {

// Stream subtypes: what the source makes and what the doubling transform
// turns it into.
extern const GUID kRawBytes;
extern const GUID kDoubledBytes;
extern const GUID kOtherBytes;
extern const CLSID kSourceClass;
extern const CLSID kDoublerClass;
extern const CLSID kSinkClass;

// A stream type: MEDIATYPE_Stream with `subtype`, a full type (its format
// type is FORMAT_None).
CMediaType StreamType(const GUID& subtype);

// Streaming threads of byte sources running now.
int LiveStreamingThreads();

struct SourceSettings {
    std::vector<BYTE> bytes;
    LONG chunk = 7;            // bytes per sample
    REFERENCE_TIME frame = 1;  // sample i starts at i * frame
    bool endless = false;      // repeats the bytes forever
    long failAt = -1;          // the chunk whose filling fails
    LONG buffers = 2;
    std::vector<GUID> offered = {kRawBytes};
    // Types the output pin refuses even though it offers them.
    std::vector<GUID> refused;
};

class ByteSource;

class ByteStream final : public CSourceStream {
  public:
    ByteStream(HRESULT* result, ByteSource* filter);
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT OnThreadStartPlay() override;
    HRESULT OnThreadDestroy() override;

    // Types this pin was asked to check, in order.
    std::vector<GUID> checked;
    // Buffers this pin filled; read once the streaming thread has ended.
    std::vector<BYTE*> buffers;

  private:
    ByteSource* source_;
    size_t next_ = 0;  // the next chunk, on the streaming thread
};

class ByteSource final : public CSource, public IMediaSeeking, public IFileSourceFilter {
  public:
    explicit ByteSource(SourceSettings settings, bool* gone = nullptr);
    ~ByteSource() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                         DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;

    HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

    ByteStream* Stream() const { return stream_; }
    CBasePin* Output() const { return stream_; }
    const SourceSettings& Settings() const { return settings_; }
    size_t Chunks() const;
    size_t FirstChunk() const { return firstChunk_; }

  private:
    SourceSettings settings_;
    ByteStream* stream_;
    size_t firstChunk_ = 0;
    bool* gone_;
};

// Doubles every byte in place, and says so in the type it passes on.
class Doubler final : public CTransInPlaceFilter {
  public:
    explicit Doubler(bool* gone = nullptr);
    ~Doubler() override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT Transform(IMediaSample* sample) override;
    CBasePin* Input() { return GetPin(0); }
    CBasePin* Output() { return GetPin(1); }

  private:
    bool* gone_;
};

struct SinkSettings {
    std::vector<GUID> accepted = {kDoubledBytes};
    std::vector<GUID> preferred;    // types its input pin offers
    bool privateAllocator = false;  // refuses every allocator but its own
    HRESULT refusal = E_FAIL;       // what CheckMediaType refuses with
};

class CountingSink final : public CBaseVideoRenderer {
  public:
    explicit CountingSink(SinkSettings settings, bool* gone = nullptr);
    ~CountingSink() override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    // Records that the end arrived once the base has reported it.
    HRESULT EndOfStream() override;
    CBasePin* Input() { return GetPin(0); }
    // Waits until the end of the stream was reported.
    bool WaitForEnd(int milliseconds = 10000);

    // What arrived, under the sink's own lock.
    size_t Count();
    std::vector<BYTE> Bytes();
    std::vector<REFERENCE_TIME> Starts();
    std::vector<REFERENCE_TIME> PresentedAt();  // clock time at presentation
    std::vector<BYTE*> Buffers();
    // Waits until `count` samples arrived; false after the time-out.
    bool WaitForCount(size_t count, int milliseconds = 10000);

    std::vector<GUID> checked;  // types asked about, in order
    SinkSettings settings;

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<BYTE> bytes_;
    std::vector<REFERENCE_TIME> starts_;
    std::vector<REFERENCE_TIME> presentedAt_;
    std::vector<BYTE*> buffers_;
    bool ended_ = false;
    bool* gone_;
};

// A clock that moves only when the test says so.
class VirtualClock final : public IReferenceClock {
  public:
    explicit VirtualClock(REFERENCE_TIME now) : now_(now) {}
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                       DWORD_PTR* cookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HANDLE, DWORD_PTR*) override {
        return E_NOTIMPL;
    }
    HRESULT Unadvise(DWORD_PTR cookie) override;

    // Moves the clock and sets the events that fell due.
    void Advance(REFERENCE_TIME now);
    // Waits until an advise for `due` is pending.
    bool WaitForAdvise(REFERENCE_TIME due, int milliseconds = 10000);

  private:
    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        HANDLE event;
    };
    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    std::condition_variable advised_;
    REFERENCE_TIME now_;
    std::vector<Advise> advises_;
    DWORD_PTR lastCookie_ = 0;
};

// Factories for the registry, and what their next filters are made with.
void SetRegisteredSource(SourceSettings settings);
void SetRegisteredSink(SinkSettings settings);
IBaseFilter* MakeRegisteredSource();
IBaseFilter* MakeDoubler();
IBaseFilter* MakeRegisteredSink();

// The filters of a graph that are of class T, with no reference added
// (the graph holds them).
template <class T>
std::vector<T*> FiltersOfGraph(IGraphBuilder* graph) {
    std::vector<T*> found;
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) {
        return found;
    }
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    while (filters->Next(1, &filter, &fetched) == S_OK) {
        if (T* match = dynamic_cast<T*>(filter)) {
            found.push_back(match);
        }
        filter->Release();
    }
    filters->Release();
    return found;
}

// A new graph, or a failed test.
IGraphBuilder* NewGraph();

// Queries `object` for an interface.
template <class T>
T* Query(IUnknown* object, REFIID iid) {
    void* answer = nullptr;
    return SUCCEEDED(object->QueryInterface(iid, &answer)) ? static_cast<T*>(answer) : nullptr;
}

}  // namespace toy
