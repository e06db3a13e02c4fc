// The toy filters of the media-graph tests.
#include "dshow_toy_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/kernel.h"

namespace toy {

namespace {

constexpr GUID Toy(DWORD first) {
    return {first, 0x7E57, 0x4D00, {0x80, 0x11, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67}};
}

std::atomic<int> liveThreads{0};

std::mutex& RegisteredLock() {
    static std::mutex lock;
    return lock;
}

SourceSettings& RegisteredSource() {
    static SourceSettings settings;
    return settings;
}

SinkSettings& RegisteredSink() {
    static SinkSettings settings;
    return settings;
}

bool Contains(const std::vector<GUID>& list, const GUID& wanted) {
    return std::find(list.begin(), list.end(), wanted) != list.end();
}

// The renderer's input pin with preferred types and, when asked, an
// allocator of its own that it insists on.
class SinkPin final : public CRendererInputPin {
  public:
    SinkPin(CountingSink* sink, HRESULT* result)
        : CRendererInputPin(sink, result, u"In"), sink_(sink) {}
    ~SinkPin() override {
        if (own_ != nullptr) {
            own_->Release();
        }
    }

    HRESULT GetMediaType(int position, CMediaType* type) override {
        if (position < 0) {
            return E_INVALIDARG;
        }
        if (position >= static_cast<int>(sink_->settings.preferred.size())) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *type = StreamType(sink_->settings.preferred[position]);
        return S_OK;
    }

    HRESULT GetAllocator(IMemAllocator** allocator) override {
        if (!sink_->settings.privateAllocator) {
            return CRendererInputPin::GetAllocator(allocator);
        }
        if (own_ == nullptr) {
            HRESULT result = S_OK;
            auto* made = new CMemAllocator("sink allocator", nullptr, &result);
            made->AddRef();
            own_ = made;
        }
        own_->AddRef();
        *allocator = own_;
        return S_OK;
    }

    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override {
        if (sink_->settings.privateAllocator && allocator != own_) {
            return E_FAIL;
        }
        return CRendererInputPin::NotifyAllocator(allocator, readOnly);
    }

  private:
    CountingSink* sink_;
    IMemAllocator* own_ = nullptr;
};

// The output pin of the doubler offers the doubled type.
class DoublerOutput final : public CTransInPlaceOutputPin {
  public:
    DoublerOutput(Doubler* filter, HRESULT* result)
        : CTransInPlaceOutputPin("doubler output", filter, result, u"Output") {}
    HRESULT GetMediaType(int position, CMediaType* type) override {
        if (position < 0) {
            return E_INVALIDARG;
        }
        if (position > 0 || !m_pTIPFilter->GetPin(0)->IsConnected()) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *type = StreamType(kDoubledBytes);
        return S_OK;
    }
};

}  // namespace

const GUID kRawBytes = Toy(0x00000001);
const GUID kDoubledBytes = Toy(0x00000002);
const GUID kOtherBytes = Toy(0x00000003);
const CLSID kSourceClass = Toy(0x00000101);
const CLSID kDoublerClass = Toy(0x00000102);
const CLSID kSinkClass = Toy(0x00000103);

CMediaType StreamType(const GUID& subtype) {
    CMediaType type(&MEDIATYPE_Stream);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_None);
    return type;
}

int LiveStreamingThreads() {
    return liveThreads.load();
}

// ---- source --------------------------------------------------------------

ByteStream::ByteStream(HRESULT* result, ByteSource* filter)
    : CSourceStream("byte stream", result, filter, u"Output"), source_(filter) {}

HRESULT ByteStream::OnThreadStartPlay() {
    ++liveThreads;
    next_ = source_->FirstChunk();
    return S_OK;
}

HRESULT ByteStream::OnThreadDestroy() {
    --liveThreads;
    return S_OK;
}

HRESULT ByteStream::FillBuffer(IMediaSample* sample) {
    const SourceSettings& settings = source_->Settings();
    size_t chunks = source_->Chunks();
    if (chunks == 0 || (!settings.endless && next_ >= chunks)) {
        return S_FALSE;
    }
    if (settings.failAt >= 0 && next_ == static_cast<size_t>(settings.failAt)) {
        return E_FAIL;
    }
    size_t chunk = next_ % chunks;
    size_t from = chunk * settings.chunk;
    size_t length = std::min<size_t>(settings.chunk, settings.bytes.size() - from);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, settings.bytes.data() + from, length);
    sample->SetActualDataLength(static_cast<LONG>(length));
    REFERENCE_TIME start = static_cast<REFERENCE_TIME>(next_) * settings.frame;
    REFERENCE_TIME stop = start + settings.frame;
    sample->SetTime(&start, &stop);
    buffers.push_back(data);  // read by the tests once the thread has ended
    ++next_;
    return S_OK;
}

HRESULT ByteStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(wanted.cBuffers, source_->Settings().buffers);
    wanted.cbBuffer = std::max(wanted.cbBuffer, source_->Settings().chunk);
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT ByteStream::GetMediaType(int position, CMediaType* type) {
    const std::vector<GUID>& offered = source_->Settings().offered;
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position >= static_cast<int>(offered.size())) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *type = StreamType(offered[position]);
    return S_OK;
}

HRESULT ByteStream::CheckMediaType(const CMediaType* type) {
    checked.push_back(type->subtype);
    const SourceSettings& settings = source_->Settings();
    if (type->majortype != MEDIATYPE_Stream || Contains(settings.refused, type->subtype)) {
        return S_FALSE;
    }
    return Contains(settings.offered, type->subtype) ? S_OK : S_FALSE;
}

ByteSource::ByteSource(SourceSettings settings, bool* gone)
    : CSource("byte source", nullptr, kSourceClass, nullptr),
      settings_(std::move(settings)),
      gone_(gone) {
    HRESULT result = S_OK;
    stream_ = new ByteStream(&result, this);
}

ByteSource::~ByteSource() {
    if (gone_ != nullptr) {
        *gone_ = true;
    }
}

HRESULT ByteSource::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (iid == IID_IMediaSeeking) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    if (iid == IID_IFileSourceFilter) {
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    }
    return CSource::NonDelegatingQueryInterface(iid, object);
}

size_t ByteSource::Chunks() const {
    return (settings_.bytes.size() + settings_.chunk - 1) / settings_.chunk;
}

HRESULT ByteSource::GetDuration(LONGLONG* duration) {
    *duration = static_cast<LONGLONG>(Chunks()) * settings_.frame;
    return S_OK;
}

HRESULT ByteSource::GetStopPosition(LONGLONG* stop) {
    return GetDuration(stop);
}

HRESULT ByteSource::GetCurrentPosition(LONGLONG* current) {
    *current = static_cast<LONGLONG>(firstChunk_) * settings_.frame;
    return S_OK;
}

HRESULT ByteSource::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                 DWORD stopFlags) {
    (void)stop;
    (void)stopFlags;
    if ((currentFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) {
        firstChunk_ = static_cast<size_t>(*current / settings_.frame);
    }
    return S_OK;
}

HRESULT ByteSource::GetPositions(LONGLONG* current, LONGLONG* stop) {
    GetCurrentPosition(current);
    return GetStopPosition(stop);
}

HRESULT ByteSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) {
    (void)type;
    char narrow[520] = {};
    WideCharToMultiByte(932, 0, fileName, -1, narrow, sizeof(narrow), nullptr, nullptr);
    HANDLE file =
        CreateFileA(narrow, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return VFW_E_NOT_FOUND;
    }
    DWORD size = GetFileSize(file, nullptr);
    settings_.bytes.assign(size, 0);
    DWORD read = 0;
    ReadFile(file, settings_.bytes.data(), size, &read, nullptr);
    CloseHandle(file);
    return read == size ? S_OK : E_FAIL;
}

HRESULT ByteSource::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
    (void)fileName;
    (void)type;
    return E_NOTIMPL;
}

// ---- doubler -------------------------------------------------------------

Doubler::Doubler(bool* gone)
    : CTransInPlaceFilter("doubler", nullptr, kDoublerClass, nullptr, true), gone_(gone) {
    HRESULT result = S_OK;
    m_pOutput = new DoublerOutput(this, &result);
}

Doubler::~Doubler() {
    if (gone_ != nullptr) {
        *gone_ = true;
    }
}

HRESULT Doubler::CheckInputType(const CMediaType* type) {
    return type->majortype == MEDIATYPE_Stream && type->subtype == kRawBytes
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Doubler::CheckTransform(const CMediaType* in, const CMediaType* out) {
    (void)in;
    return out->majortype == MEDIATYPE_Stream && out->subtype == kDoubledBytes
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Doubler::Transform(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    for (LONG i = 0; i < sample->GetActualDataLength(); ++i) {
        data[i] = static_cast<BYTE>(data[i] * 2);
    }
    return S_OK;
}

// ---- sink ----------------------------------------------------------------

CountingSink::CountingSink(SinkSettings sinkSettings, bool* gone)
    : CBaseVideoRenderer(kSinkClass, "counting sink", nullptr, nullptr),
      settings(std::move(sinkSettings)),
      gone_(gone) {
    delete m_pInputPin;
    HRESULT result = S_OK;
    m_pInputPin = new SinkPin(this, &result);
}

CountingSink::~CountingSink() {
    if (gone_ != nullptr) {
        *gone_ = true;
    }
}

HRESULT CountingSink::CheckMediaType(const CMediaType* type) {
    checked.push_back(type->subtype);
    if (type->majortype == MEDIATYPE_Stream && Contains(settings.accepted, type->subtype)) {
        return S_OK;
    }
    return settings.refusal;
}

HRESULT CountingSink::DoRenderSample(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    sample->GetTime(&start, &stop);
    REFERENCE_TIME now = -1;
    if (m_pClock != nullptr) {
        m_pClock->GetTime(&now);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), data, data + sample->GetActualDataLength());
        starts_.push_back(start);
        presentedAt_.push_back(now);
        buffers_.push_back(data);
    }
    arrived_.notify_all();
    return S_OK;
}

HRESULT CountingSink::EndOfStream() {
    HRESULT result = CBaseVideoRenderer::EndOfStream();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    arrived_.notify_all();
    return result;
}

bool CountingSink::WaitForEnd(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return ended_; });
}

size_t CountingSink::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_.size();
}

std::vector<BYTE> CountingSink::Bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

std::vector<REFERENCE_TIME> CountingSink::Starts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
}

std::vector<REFERENCE_TIME> CountingSink::PresentedAt() {
    std::lock_guard<std::mutex> lock(mutex_);
    return presentedAt_;
}

std::vector<BYTE*> CountingSink::Buffers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return buffers_;
}

bool CountingSink::WaitForCount(size_t count, int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return starts_.size() >= count; });
}

// ---- virtual clock -------------------------------------------------------

HRESULT VirtualClock::QueryInterface(REFIID iid, void** object) {
    return platform::QueryFor(this, iid, object, {&IID_IReferenceClock});
}

ULONG VirtualClock::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VirtualClock::GetTime(REFERENCE_TIME* time) {
    std::lock_guard<std::mutex> lock(mutex_);
    *time = now_;
    return S_OK;
}

HRESULT VirtualClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                                 DWORD_PTR* cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    REFERENCE_TIME due = baseTime + streamTime;
    *cookie = ++lastCookie_;
    if (due <= now_) {
        SetEvent(reinterpret_cast<HANDLE>(event));
        return S_OK;
    }
    advises_.push_back({*cookie, due, reinterpret_cast<HANDLE>(event)});
    advised_.notify_all();
    return S_OK;
}

HRESULT VirtualClock::Unadvise(DWORD_PTR cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    advises_.erase(std::remove_if(advises_.begin(), advises_.end(),
                                  [cookie](const Advise& a) { return a.cookie == cookie; }),
                   advises_.end());
    return S_OK;
}

void VirtualClock::Advance(REFERENCE_TIME now) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = now;
    for (auto it = advises_.begin(); it != advises_.end();) {
        if (it->due <= now_) {
            SetEvent(it->event);
            it = advises_.erase(it);
        } else {
            ++it;
        }
    }
}

bool VirtualClock::WaitForAdvise(REFERENCE_TIME due, int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return advised_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return std::any_of(advises_.begin(), advises_.end(),
                           [due](const Advise& a) { return a.due == due; });
    });
}

// ---- registry factories ----------------------------------------------------

void SetRegisteredSource(SourceSettings settings) {
    std::lock_guard<std::mutex> lock(RegisteredLock());
    RegisteredSource() = std::move(settings);
}

void SetRegisteredSink(SinkSettings settings) {
    std::lock_guard<std::mutex> lock(RegisteredLock());
    RegisteredSink() = std::move(settings);
}

IBaseFilter* MakeRegisteredSource() {
    std::lock_guard<std::mutex> lock(RegisteredLock());
    IBaseFilter* made = new ByteSource(RegisteredSource());
    made->AddRef();
    return made;
}

IBaseFilter* MakeDoubler() {
    IBaseFilter* made = new Doubler();
    made->AddRef();
    return made;
}

IBaseFilter* MakeRegisteredSink() {
    std::lock_guard<std::mutex> lock(RegisteredLock());
    IBaseFilter* made = new CountingSink(RegisteredSink());
    made->AddRef();
    return made;
}

IGraphBuilder* NewGraph() {
    void* made = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               &made),
              S_OK);
    return static_cast<IGraphBuilder*>(made);
}

}  // namespace toy
