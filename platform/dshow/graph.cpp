// The filter graph: membership of filters, direct and intelligent connect
// (filters already in the graph first, then registered filters by merit),
// rendering of files through registered sources, state changes passed to
// the filters downstream first, the clock, the event queue with its
// EC_COMPLETE counting, and seeking by stopping and restarting the
// streams at the new position.
//
// Routes: membership (AddFilter .. FindFilterByName), connecting (Connect,
// Render, RenderFile and the Render helpers), state (Run, Pause, Stop),
// events (Notify, GetEvent, WaitForCompletion), seeking, audio.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dshow/graph_internal.h"
#include "platform/dshow/objects_internal.h"
#include "platform/kernel.h"

namespace platform::dshow {

namespace {

constexpr int kMaxRenderDepth = 8;

template <class T>
T* Query(IUnknown* object, REFIID iid) {
    void* answer = nullptr;
    return SUCCEEDED(object->QueryInterface(iid, &answer)) ? static_cast<T*>(answer) : nullptr;
}

// The pins of a filter, each with a reference.
std::vector<IPin*> PinsOf(IBaseFilter* filter) {
    std::vector<IPin*> pins;
    IEnumPins* enumerator = nullptr;
    if (FAILED(filter->EnumPins(&enumerator))) {
        return pins;
    }
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        pins.push_back(pin);
    }
    enumerator->Release();
    return pins;
}

void ReleaseAll(std::vector<IPin*>& pins) {
    for (IPin* pin : pins) {
        pin->Release();
    }
    pins.clear();
}

PIN_DIRECTION DirectionOf(IPin* pin) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    return direction;
}

IPin* PeerOf(IPin* pin) {
    IPin* peer = nullptr;
    return SUCCEEDED(pin->ConnectedTo(&peer)) ? peer : nullptr;
}

bool IsConnected(IPin* pin) {
    IPin* peer = PeerOf(pin);
    if (peer == nullptr) {
        return false;
    }
    peer->Release();
    return true;
}

IBaseFilter* FilterOf(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) {
        return nullptr;
    }
    info.pFilter->Release();  // the graph holds it
    return info.pFilter;
}

std::vector<CMediaType> TypesOffered(IPin* pin) {
    std::vector<CMediaType> types;
    IEnumMediaTypes* enumerator = nullptr;
    if (FAILED(pin->EnumMediaTypes(&enumerator))) {
        return types;
    }
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &type, &fetched) == S_OK && fetched == 1) {
        types.emplace_back(*type);
        DeleteMediaType(type);
    }
    enumerator->Release();
    return types;
}

void BreakBothEnds(IPin* pin) {
    IPin* peer = PeerOf(pin);
    if (peer != nullptr) {
        peer->Disconnect();
        peer->Release();
    }
    pin->Disconnect();
}

class FilterEnumerator final : public IEnumFilters {
  public:
    explicit FilterEnumerator(std::vector<IBaseFilter*> filters, size_t position = 0)
        : filters_(std::move(filters)), position_(position) {
        CountObjectMade();
        for (IBaseFilter* filter : filters_) {
            filter->AddRef();
        }
    }
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return QueryFor(this, iid, object, {&IID_IEnumFilters});
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override {
        if (filters == nullptr) {
            return E_POINTER;
        }
        ULONG got = 0;
        while (got < count && position_ < filters_.size()) {
            filters[got] = filters_[position_++];
            filters[got++]->AddRef();
        }
        if (fetched != nullptr) {
            *fetched = got;
        }
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        size_t left = filters_.size() - position_;
        position_ += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumFilters** copy) override {
        if (copy == nullptr) {
            return E_POINTER;
        }
        *copy = new FilterEnumerator(filters_, position_);
        return S_OK;
    }

  private:
    ~FilterEnumerator() {
        for (IBaseFilter* filter : filters_) {
            filter->Release();
        }
        CountObjectGone();
    }
    std::atomic<ULONG> refs_{1};
    std::vector<IBaseFilter*> filters_;
    size_t position_;
};

struct GraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class FilterGraph final : public IGraphBuilder,
                          public IMediaControl,
                          public IMediaEvent,
                          public IMediaEventSink,
                          public IMediaFilter,
                          public IMediaSeeking,
                          public IBasicAudio {
  public:
    FilterGraph() { CountObjectMade(); }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        IUnknown* answer = nullptr;
        if (iid == IID_IUnknown || iid == IID_IGraphBuilder || iid == IID_IFilterGraph) {
            answer = static_cast<IGraphBuilder*>(this);
        } else if (iid == IID_IMediaControl) {
            answer = static_cast<IMediaControl*>(this);
        } else if (iid == IID_IMediaEvent) {
            answer = static_cast<IMediaEvent*>(this);
        } else if (iid == IID_IMediaEventSink) {
            answer = static_cast<IMediaEventSink*>(this);
        } else if (iid == IID_IMediaFilter || iid == IID_IPersist) {
            answer = static_cast<IMediaFilter*>(this);
        } else if (iid == IID_IMediaSeeking) {
            answer = static_cast<IMediaSeeking*>(this);
        } else if (iid == IID_IBasicAudio) {
            answer = static_cast<IBasicAudio*>(this);
        }
        *object = answer;
        if (answer == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // ---- membership ----
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
        if (filter == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (IndexOf(filter) >= 0) {
            return VFW_E_DUPLICATE_NAME;
        }
        std::u16string wanted = name != nullptr ? std::u16string(name) : u"Filter";
        std::u16string unique = wanted;
        for (int n = 1; NameTaken(unique); ++n) {
            unique = wanted + u" " + std::u16string(1, static_cast<char16_t>(u'0' + n % 10));
            if (n > 9) {
                unique += std::u16string(1, static_cast<char16_t>(u'0' + n / 10 % 10));
            }
        }
        HRESULT joined = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), unique.c_str());
        if (FAILED(joined)) {
            return joined;
        }
        filter->AddRef();
        filters_.push_back({filter, unique});
        if (clock_ != nullptr) {
            filter->SetSyncSource(clock_);
        }
        return unique == wanted ? S_OK : VFW_S_DUPLICATE_NAME;
    }

    HRESULT RemoveFilter(IBaseFilter* filter) override {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        int index = IndexOf(filter);
        if (index < 0) {
            return VFW_E_NOT_FOUND;
        }
        std::vector<IPin*> pins = PinsOf(filter);
        for (IPin* pin : pins) {
            BreakBothEnds(pin);
        }
        ReleaseAll(pins);
        filters_.erase(filters_.begin() + index);
        filter->SetSyncSource(nullptr);
        filter->JoinFilterGraph(nullptr, nullptr);
        filter->Release();
        return S_OK;
    }

    HRESULT EnumFilters(IEnumFilters** filters) override {
        if (filters == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        std::vector<IBaseFilter*> all;
        for (const Member& member : filters_) {
            all.push_back(member.filter);
        }
        *filters = new FilterEnumerator(std::move(all));
        return S_OK;
    }

    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override {
        if (name == nullptr || filter == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        for (const Member& member : filters_) {
            if (member.name == name) {
                *filter = member.filter;
                member.filter->AddRef();
                return S_OK;
            }
        }
        *filter = nullptr;
        return VFW_E_NOT_FOUND;
    }

    HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override {
        if (output == nullptr || input == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) {
            return VFW_E_NOT_STOPPED;
        }
        return output->Connect(input, type);
    }

    HRESULT Reconnect(IPin* pin) override {
        (void)pin;
        return E_NOTIMPL;
    }

    HRESULT Disconnect(IPin* pin) override {
        if (pin == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) {
            return VFW_E_NOT_STOPPED;
        }
        return pin->Disconnect();
    }

    HRESULT SetDefaultSyncSource() override {
        IReferenceClock* clock = CreateSystemClock();
        HRESULT result = SetSyncSource(clock);
        clock->Release();
        return result;
    }

    // ---- connecting ----
    HRESULT Connect(IPin* output, IPin* input) override {
        if (output == nullptr || input == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) {
            return VFW_E_NOT_STOPPED;
        }
        HRESULT direct = output->Connect(input, nullptr);
        if (SUCCEEDED(direct)) {
            return direct;
        }
        for (const MediaFilterRegistration& candidate : FiltersTaking(TypesOffered(output))) {
            IBaseFilter* middle = Insert(candidate);
            if (middle == nullptr) {
                continue;
            }
            if (ConnectToInput(output, middle)) {
                std::vector<IPin*> pins = PinsOf(middle);
                bool joined = false;
                for (IPin* pin : pins) {
                    if (!joined && DirectionOf(pin) == PINDIR_OUTPUT &&
                        SUCCEEDED(pin->Connect(input, nullptr))) {
                        joined = true;
                    }
                }
                ReleaseAll(pins);
                if (joined) {
                    middle->Release();
                    return S_OK;
                }
            }
            RemoveFilter(middle);
            middle->Release();
        }
        return direct == VFW_E_ALREADY_CONNECTED ? direct : VFW_E_CANNOT_CONNECT;
    }

    HRESULT Render(IPin* output) override {
        if (output == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) {
            return VFW_E_NOT_STOPPED;
        }
        IPin* peer = PeerOf(output);
        if (peer != nullptr) {
            peer->Release();
            return VFW_E_ALREADY_CONNECTED;
        }
        return RenderPin(output, 0);
    }

    HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) override {
        (void)playList;
        if (file == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        BYTE head[64] = {};
        DWORD length = 0;
        if (!ReadHead(file, head, &length)) {
            return VFW_E_NOT_FOUND;
        }
        for (const FileSourceRegistration& source : FileSourcesAccepting(head, length)) {
            IBaseFilter* filter = source.factory();
            if (filter == nullptr) {
                continue;
            }
            auto* loader = Query<IFileSourceFilter>(filter, IID_IFileSourceFilter);
            HRESULT loaded = loader != nullptr ? loader->Load(file, nullptr) : E_NOINTERFACE;
            if (loader != nullptr) {
                loader->Release();
            }
            if (SUCCEEDED(loaded) && SUCCEEDED(AddFilter(filter, file))) {
                HRESULT rendered = RenderOutputs(filter, 0);
                if (SUCCEEDED(rendered)) {
                    filter->Release();
                    return rendered;
                }
                RemoveFilter(filter);
            }
            filter->Release();
        }
        return VFW_E_CANNOT_RENDER;
    }

    // ---- state ----
    HRESULT Run() override { return RunAt(); }
    HRESULT Pause() override {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ == State_Paused) {
            return S_OK;
        }
        if (state_ == State_Stopped) {
            PrepareToStream();
        } else {
            pausedStreamTime_ = StreamTimeNow();
        }
        HRESULT result = ForEachDownstreamFirst([](IBaseFilter* f) { return f->Pause(); });
        state_ = State_Paused;
        return result;
    }
    HRESULT Stop() override {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        HRESULT result = ForEachDownstreamFirst([](IBaseFilter* f) { return f->Stop(); });
        state_ = State_Stopped;
        pausedStreamTime_ = 0;
        return result;
    }
    HRESULT GetState(LONG milliseconds, OAFilterState* state) override {
        (void)milliseconds;
        if (state == nullptr) {
            return E_POINTER;
        }
        *state = state_;
        return S_OK;
    }

    // IMediaFilter
    HRESULT GetClassID(CLSID* classId) override {
        if (classId == nullptr) {
            return E_POINTER;
        }
        *classId = CLSID_FilterGraph;
        return S_OK;
    }
    HRESULT Run(REFERENCE_TIME start) override {
        (void)start;
        return RunAt();
    }
    HRESULT GetState(DWORD milliseconds, FILTER_STATE* state) override {
        (void)milliseconds;
        if (state == nullptr) {
            return E_POINTER;
        }
        *state = state_;
        return S_OK;
    }
    HRESULT SetSyncSource(IReferenceClock* clock) override {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) {
            return VFW_E_NOT_STOPPED;
        }
        if (clock != nullptr) {
            clock->AddRef();
        }
        if (clock_ != nullptr) {
            clock_->Release();
        }
        clock_ = clock;
        clockChosen_ = true;
        for (const Member& member : filters_) {
            member.filter->SetSyncSource(clock_);
        }
        return S_OK;
    }
    HRESULT GetSyncSource(IReferenceClock** clock) override {
        if (clock == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        *clock = clock_;
        if (clock_ != nullptr) {
            clock_->AddRef();
        }
        return S_OK;
    }

    // ---- events ----
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        {
            std::lock_guard<std::mutex> lock(eventsMutex_);
            if (code == EC_COMPLETE) {
                // Each renderer reports its end; the application hears one
                // EC_COMPLETE once every renderer has.
                if (renderersLeft_ <= 0 || --renderersLeft_ > 0) {
                    return S_OK;
                }
                completed_ = true;
                events_.push_back({EC_COMPLETE, S_OK, 0});
            } else {
                events_.push_back({code, param1, param2});
            }
        }
        eventArrived_.notify_all();
        return S_OK;
    }

    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds) override {
        if (code == nullptr || param1 == nullptr || param2 == nullptr) {
            return E_POINTER;
        }
        std::unique_lock<std::mutex> lock(eventsMutex_);
        if (!WaitFor(lock, milliseconds, [this] { return !events_.empty(); })) {
            return E_ABORT;
        }
        GraphEvent event = events_.front();
        events_.pop_front();
        *code = event.code;
        *param1 = event.param1;
        *param2 = event.param2;
        return S_OK;
    }

    HRESULT WaitForCompletion(LONG milliseconds, LONG* code) override {
        if (code == nullptr) {
            return E_POINTER;
        }
        *code = 0;
        if (state_ != State_Running) {
            return VFW_E_WRONG_STATE;
        }
        std::unique_lock<std::mutex> lock(eventsMutex_);
        auto ends = [this] {
            // Other events are discarded while waiting.
            while (!events_.empty()) {
                LONG front = events_.front().code;
                if (front == EC_COMPLETE || front == EC_ERRORABORT || front == EC_USERABORT) {
                    return true;
                }
                events_.pop_front();
            }
            return false;
        };
        if (!WaitFor(lock, milliseconds, ends)) {
            return E_ABORT;
        }
        *code = events_.front().code;
        events_.pop_front();
        return S_OK;
    }

    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        (void)code;
        (void)param1;
        (void)param2;
        return S_OK;
    }

    // ---- seeking ----
    HRESULT GetDuration(LONGLONG* duration) override {
        if (duration == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        bool known = false;
        LONGLONG longest = 0;
        for (const Member& member : filters_) {
            auto* seeking = Query<IMediaSeeking>(member.filter, IID_IMediaSeeking);
            if (seeking == nullptr) {
                continue;
            }
            LONGLONG length = 0;
            if (SUCCEEDED(seeking->GetDuration(&length))) {
                longest = known ? std::max(longest, length) : length;
                known = true;
            }
            seeking->Release();
        }
        *duration = longest;
        return known ? S_OK : E_NOTIMPL;
    }
    HRESULT GetStopPosition(LONGLONG* stop) override {
        if (stop == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (stopSet_) {
            *stop = stopPosition_;
            return S_OK;
        }
        return GetDuration(stop);
    }
    HRESULT GetCurrentPosition(LONGLONG* current) override {
        if (current == nullptr) {
            return E_POINTER;
        }
        std::lock_guard<std::recursive_mutex> lock(lock_);
        LONGLONG stop = 0;
        bool stopKnown = SUCCEEDED(GetStopPosition(&stop));
        bool done;
        {
            std::lock_guard<std::mutex> events(eventsMutex_);
            done = completed_;
        }
        if (done && stopKnown) {
            *current = stop;
            return S_OK;
        }
        LONGLONG position = startPosition_;
        if (state_ == State_Running) {
            position += StreamTimeNow();
        } else if (state_ == State_Paused) {
            position += pausedStreamTime_;
        }
        *current = stopKnown ? std::min(position, stop) : position;
        return S_OK;
    }
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                         DWORD stopFlags) override {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        LONGLONG now = 0;
        GetCurrentPosition(&now);
        LONGLONG newStart = startPosition_;
        if (!Reposition(current, currentFlags, now, &newStart)) {
            return E_INVALIDARG;
        }
        LONGLONG oldStop = 0;
        bool oldStopKnown = SUCCEEDED(GetStopPosition(&oldStop));
        LONGLONG newStop = oldStop;
        bool stopChanges = (stopFlags & AM_SEEKING_PositioningBitsMask) != 0;
        if (stopChanges && !Reposition(stop, stopFlags, oldStopKnown ? oldStop : 0, &newStop)) {
            return E_INVALIDARG;
        }
        FILTER_STATE was = state_;
        if (was != State_Stopped) {
            Stop();
        }
        for (const Member& member : filters_) {
            auto* seeking = Query<IMediaSeeking>(member.filter, IID_IMediaSeeking);
            if (seeking != nullptr) {
                seeking->SetPositions(&newStart, AM_SEEKING_AbsolutePositioning,
                                      stopChanges ? &newStop : nullptr,
                                      stopChanges ? AM_SEEKING_AbsolutePositioning : 0u);
                seeking->Release();
            }
        }
        startPosition_ = newStart;
        if (stopChanges) {
            stopPosition_ = newStop;
            stopSet_ = true;
        }
        if (was == State_Paused) {
            return Pause();
        }
        if (was == State_Running) {
            return RunAt();
        }
        return S_OK;
    }
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override {
        HRESULT result = S_OK;
        if (current != nullptr) {
            result = GetCurrentPosition(current);
        }
        if (stop != nullptr && SUCCEEDED(result)) {
            result = GetStopPosition(stop);
        }
        return result;
    }

    // ---- audio ----
    HRESULT put_Volume(LONG volume) override {
        if (volume < -10000 || volume > 0) {
            return E_INVALIDARG;
        }
        return ForEachAudio([volume](IBasicAudio* audio) { return audio->put_Volume(volume); });
    }
    HRESULT get_Volume(LONG* volume) override {
        return FirstAudio([volume](IBasicAudio* audio) { return audio->get_Volume(volume); });
    }
    HRESULT put_Balance(LONG balance) override {
        if (balance < -10000 || balance > 10000) {
            return E_INVALIDARG;
        }
        return ForEachAudio([balance](IBasicAudio* audio) { return audio->put_Balance(balance); });
    }
    HRESULT get_Balance(LONG* balance) override {
        return FirstAudio([balance](IBasicAudio* audio) { return audio->get_Balance(balance); });
    }

  private:
    struct Member {
        IBaseFilter* filter;  // holds a reference
        std::u16string name;
    };

    ~FilterGraph() {
        Stop();
        while (!filters_.empty()) {
            RemoveFilter(filters_.back().filter);
        }
        if (clock_ != nullptr) {
            clock_->Release();
        }
        CountObjectGone();
    }

    int IndexOf(IBaseFilter* filter) const {
        for (size_t i = 0; i < filters_.size(); ++i) {
            if (filters_[i].filter == filter) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    bool NameTaken(const std::u16string& name) const {
        for (const Member& member : filters_) {
            if (member.name == name) {
                return true;
            }
        }
        return false;
    }

    static bool ReadHead(LPCWSTR file, BYTE* head, DWORD* length) {
        char narrow[MAX_PATH * 2] = {};
        if (WideCharToMultiByte(932, 0, file, -1, narrow, sizeof(narrow), nullptr, nullptr) <= 0) {
            return false;
        }
        HANDLE handle =
            CreateFileA(narrow, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        BOOL read = ReadFile(handle, head, 64, length, nullptr);
        CloseHandle(handle);
        return read != FALSE;
    }

    // A new registered filter, added to the graph; one reference for the
    // caller besides the graph's.
    IBaseFilter* Insert(const MediaFilterRegistration& candidate) {
        IBaseFilter* filter = candidate.factory();
        if (filter == nullptr) {
            return nullptr;
        }
        if (FAILED(AddFilter(filter, candidate.name))) {
            filter->Release();
            return nullptr;
        }
        return filter;
    }

    // Connects `output` to the first free input pin of `filter` that takes it.
    static bool ConnectToInput(IPin* output, IBaseFilter* filter) {
        std::vector<IPin*> pins = PinsOf(filter);
        bool connected = false;
        for (IPin* pin : pins) {
            if (connected || DirectionOf(pin) != PINDIR_INPUT || IsConnected(pin)) {
                continue;
            }
            connected = SUCCEEDED(output->Connect(pin, nullptr));
        }
        ReleaseAll(pins);
        return connected;
    }

    // Filters added since `mark` are removed again, newest first.
    void UndoTo(size_t mark) {
        while (filters_.size() > mark) {
            RemoveFilter(filters_.back().filter);
        }
    }

    HRESULT RenderPin(IPin* output, int depth) {
        if (depth > kMaxRenderDepth) {
            return VFW_E_CANNOT_RENDER;
        }
        IBaseFilter* own = FilterOf(output);
        // Filters already in the graph come first.
        std::vector<IBaseFilter*> present;
        for (const Member& member : filters_) {
            if (member.filter != own) {
                present.push_back(member.filter);
            }
        }
        for (IBaseFilter* filter : present) {
            size_t mark = filters_.size();
            if (!ConnectToInput(output, filter)) {
                continue;
            }
            HRESULT rendered = RenderOutputs(filter, depth + 1);
            if (SUCCEEDED(rendered)) {
                return rendered;
            }
            UndoTo(mark);
            BreakBothEnds(output);
        }
        for (const MediaFilterRegistration& candidate : FiltersTaking(TypesOffered(output))) {
            size_t mark = filters_.size();
            IBaseFilter* filter = Insert(candidate);
            if (filter == nullptr) {
                continue;
            }
            filter->Release();  // the graph's reference keeps it
            if (ConnectToInput(output, filter)) {
                HRESULT rendered = RenderOutputs(filter, depth + 1);
                if (SUCCEEDED(rendered)) {
                    return rendered;
                }
            }
            UndoTo(mark);
        }
        return VFW_E_CANNOT_RENDER;
    }

    // Renders every free output pin: S_OK when all are rendered (or there
    // are none: a renderer), VFW_S_PARTIAL_RENDER when some are.
    HRESULT RenderOutputs(IBaseFilter* filter, int depth) {
        std::vector<IPin*> pins = PinsOf(filter);
        int tried = 0;
        int rendered = 0;
        bool partial = false;
        for (IPin* pin : pins) {
            if (DirectionOf(pin) != PINDIR_OUTPUT || IsConnected(pin)) {
                continue;
            }
            ++tried;
            HRESULT result = RenderPin(pin, depth);
            if (SUCCEEDED(result)) {
                ++rendered;
                partial = partial || result == VFW_S_PARTIAL_RENDER;
            }
        }
        ReleaseAll(pins);
        if (tried == 0) {
            return S_OK;
        }
        if (rendered == 0) {
            return VFW_E_CANNOT_RENDER;
        }
        return rendered < tried || partial ? VFW_S_PARTIAL_RENDER : S_OK;
    }

    // Orders the filters so that every filter comes before the filters
    // upstream of it, and applies `change` in that order.
    template <class Change>
    HRESULT ForEachDownstreamFirst(Change change) {
        std::vector<IBaseFilter*> order;
        std::vector<IBaseFilter*> left;
        for (const Member& member : filters_) {
            left.push_back(member.filter);
        }
        while (!left.empty()) {
            bool placed = false;
            for (auto it = left.begin(); it != left.end(); ++it) {
                if (AllDownstreamPlaced(*it, order)) {
                    order.push_back(*it);
                    left.erase(it);
                    placed = true;
                    break;
                }
            }
            if (!placed) {  // a loop: take the rest as they come
                order.insert(order.end(), left.begin(), left.end());
                left.clear();
            }
        }
        HRESULT result = S_OK;
        for (IBaseFilter* filter : order) {
            HRESULT changed = change(filter);
            if (FAILED(changed) && SUCCEEDED(result)) {
                result = changed;
            }
        }
        return result;
    }

    static bool AllDownstreamPlaced(IBaseFilter* filter, const std::vector<IBaseFilter*>& placed) {
        std::vector<IPin*> pins = PinsOf(filter);
        bool ready = true;
        for (IPin* pin : pins) {
            if (DirectionOf(pin) != PINDIR_OUTPUT) {
                continue;
            }
            IPin* peer = PeerOf(pin);
            if (peer == nullptr) {
                continue;
            }
            IBaseFilter* next = FilterOf(peer);
            peer->Release();
            ready = ready && std::find(placed.begin(), placed.end(), next) != placed.end();
        }
        ReleaseAll(pins);
        return ready;
    }

    // Chooses the clock and counts the renderers before streams start.
    void PrepareToStream() {
        if (!clockChosen_) {
            IReferenceClock* clock = CreateSystemClock();
            SetSyncSource(clock);
            clock->Release();
            clockChosen_ = false;  // a default, replaced only by a choice
        }
        int renderers = 0;
        for (const Member& member : filters_) {
            std::vector<IPin*> pins = PinsOf(member.filter);
            bool output = false;
            bool connectedInput = false;
            for (IPin* pin : pins) {
                if (DirectionOf(pin) == PINDIR_OUTPUT) {
                    output = true;
                } else {
                    connectedInput = IsConnected(pin) || connectedInput;
                }
            }
            ReleaseAll(pins);
            renderers += !output && connectedInput ? 1 : 0;
        }
        std::lock_guard<std::mutex> lock(eventsMutex_);
        renderersLeft_ = renderers;
        completed_ = false;
    }

    REFERENCE_TIME ClockNow() const {
        REFERENCE_TIME now = 0;
        if (clock_ != nullptr) {
            clock_->GetTime(&now);
        }
        return now;
    }

    REFERENCE_TIME StreamTimeNow() const {
        return clock_ != nullptr ? ClockNow() - runStart_ : pausedStreamTime_;
    }

    HRESULT RunAt() {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ == State_Running) {
            return S_OK;
        }
        if (state_ == State_Stopped) {
            HRESULT paused = Pause();
            if (FAILED(paused)) {
                Stop();
                return paused;
            }
        }
        runStart_ = ClockNow() - pausedStreamTime_;
        REFERENCE_TIME start = runStart_;
        state_ = State_Running;
        HRESULT result = ForEachDownstreamFirst([start](IBaseFilter* f) { return f->Run(start); });
        if (FAILED(result)) {
            Stop();
        }
        return result;
    }

    static bool Reposition(LONGLONG* value, DWORD flags, LONGLONG base, LONGLONG* target) {
        DWORD how = flags & AM_SEEKING_PositioningBitsMask;
        if (how == AM_SEEKING_NoPositioning) {
            return true;
        }
        if (value == nullptr) {
            return false;
        }
        *target = how == AM_SEEKING_AbsolutePositioning ? *value : base + *value;
        return true;
    }

    template <class Predicate>
    bool WaitFor(std::unique_lock<std::mutex>& lock, LONG milliseconds, Predicate ready) {
        if (static_cast<DWORD>(milliseconds) == INFINITE) {
            eventArrived_.wait(lock, ready);
            return true;
        }
        return eventArrived_.wait_for(
            lock, std::chrono::milliseconds(std::max<LONG>(milliseconds, 0)), ready);
    }

    template <class Call>
    HRESULT ForEachAudio(Call call) {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        HRESULT result = E_NOTIMPL;
        for (const Member& member : filters_) {
            auto* audio = Query<IBasicAudio>(member.filter, IID_IBasicAudio);
            if (audio != nullptr) {
                HRESULT one = call(audio);
                result = FAILED(result) || FAILED(one) ? one : result;
                audio->Release();
            }
        }
        return result;
    }

    template <class Call>
    HRESULT FirstAudio(Call call) {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        for (const Member& member : filters_) {
            auto* audio = Query<IBasicAudio>(member.filter, IID_IBasicAudio);
            if (audio != nullptr) {
                HRESULT result = call(audio);
                audio->Release();
                return result;
            }
        }
        return E_NOTIMPL;
    }

    std::atomic<ULONG> refs_{1};
    std::recursive_mutex lock_;
    std::vector<Member> filters_;
    IReferenceClock* clock_ = nullptr;  // holds a reference
    bool clockChosen_ = false;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    REFERENCE_TIME runStart_ = 0;
    REFERENCE_TIME pausedStreamTime_ = 0;
    LONGLONG startPosition_ = 0;
    LONGLONG stopPosition_ = 0;
    bool stopSet_ = false;

    std::mutex eventsMutex_;
    std::condition_variable eventArrived_;
    std::deque<GraphEvent> events_;
    int renderersLeft_ = 0;
    bool completed_ = false;
};

}  // namespace

HRESULT CreateFilterGraph(REFIID iid, void** object) {
    auto* graph = new FilterGraph();
    HRESULT result = graph->QueryInterface(iid, object);
    graph->Release();
    return result;
}

}  // namespace platform::dshow
