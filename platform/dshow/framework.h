// The base classes that media-graph filters derive from: reference counting
// with non-delegating QueryInterface, the filter, its pins, the enumerators,
// media samples and the memory allocator, and the lock, event, list and
// media-type helpers they share.
//
// Filters and pins start with no reference: whoever creates one takes the
// first. A pin counts its references on its filter, which owns and deletes
// its pins.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/dshow/interfaces.h"

using TCHAR = char;
using LPCTSTR = const TCHAR*;

// ---- locks, events, lists ----------------------------------------------

class CCritSec {
  public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    // The standard names too, so that condition variables can wait on it.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

  private:
    std::recursive_mutex mutex_;
};

class CAutoLock {
  public:
    explicit CAutoLock(CCritSec* lock) : lock_(lock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

  private:
    CCritSec* lock_;
};

// A kernel event: its handle can be waited on with the kernel's waits.
class CAMEvent {
  public:
    explicit CAMEvent(BOOL manualReset = FALSE);
    ~CAMEvent();
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;
    operator HANDLE() const { return event_; }
    void Set();
    void Reset();
    BOOL Wait(DWORD milliseconds = INFINITE);
    BOOL Check() { return Wait(0); }

  private:
    HANDLE event_;
};

// A list of pointers it does not own.
template <class T>
class CGenericList {
  public:
    explicit CGenericList(LPCTSTR name = nullptr) { (void)name; }
    void AddTail(T* item) { items_.push_back(item); }
    void AddHead(T* item) { items_.push_front(item); }
    T* RemoveHead() {
        if (items_.empty()) {
            return nullptr;
        }
        T* head = items_.front();
        items_.pop_front();
        return head;
    }
    T* GetHead() const { return items_.empty() ? nullptr : items_.front(); }
    int GetCount() const { return static_cast<int>(items_.size()); }
    T* Get(int index) const { return items_[index]; }
    bool Remove(T* item) {
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (*it == item) {
                items_.erase(it);
                return true;
            }
        }
        return false;
    }
    void RemoveAll() { items_.clear(); }

  private:
    std::deque<T*> items_;
};

// ---- media types ---------------------------------------------------------

// Copies a media type with its own format block (task memory) and a
// reference on pUnk. E_OUTOFMEMORY leaves the target empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// Frees the format block and drops pUnk; the structure itself stays.
void FreeMediaType(AM_MEDIA_TYPE& type);
// A media type in task memory, as enumerators hand them out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
void DeleteMediaType(AM_MEDIA_TYPE* type);

// A media type that owns its format block.
class CMediaType : public AM_MEDIA_TYPE {
  public:
    CMediaType();
    explicit CMediaType(const GUID* majorType);
    CMediaType(const AM_MEDIA_TYPE& type);  // NOLINT: copies like the value it is
    CMediaType(const CMediaType& type);
    ~CMediaType();
    CMediaType& operator=(const AM_MEDIA_TYPE& type);
    CMediaType& operator=(const CMediaType& type);
    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    HRESULT Set(const AM_MEDIA_TYPE& type);
    BOOL IsValid() const { return majortype != GUID_NULL; }
    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* type) { majortype = *type; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Replaces the format block by a copy of `length` bytes.
    BOOL SetFormat(const BYTE* format, ULONG length);
    // A zeroed format block of `length` bytes, or null.
    BYTE* AllocFormatBuffer(ULONG length);
    void ResetFormatBuffer();
    // A type is partially specified when its major type, subtype or format
    // type is left open (null).
    BOOL IsPartiallySpecified() const;
    // True when every field that `partial` fixes agrees.
    BOOL MatchesPartial(const CMediaType* partial) const;
    void InitMediaType();
};

// ---- reference counting ----------------------------------------------------

struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

  protected:
    ~INonDelegatingUnknown() = default;
};

// Hands out `unknown` with one more reference.
HRESULT GetInterface(LPUNKNOWN unknown, void** object);

class CUnknown : public INonDelegatingUnknown {
  public:
    CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* result = nullptr);
    virtual ~CUnknown();
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;
    // The object that counts the references: the outer one, or this.
    LPUNKNOWN GetOwner() const { return owner_; }

  protected:
    std::atomic<LONG> m_cRef{0};

  private:
    // The IUnknown face of the non-delegating calls, handed out as the owner
    // when there is no outer object.
    struct Inner final : IUnknown {
        CUnknown* self;
        HRESULT QueryInterface(REFIID iid, void** object) override {
            return self->NonDelegatingQueryInterface(iid, object);
        }
        ULONG AddRef() override { return self->NonDelegatingAddRef(); }
        ULONG Release() override { return self->NonDelegatingRelease(); }
    };
    Inner inner_;
    LPUNKNOWN owner_;
};

// The IUnknown methods of a class that derives from CUnknown and from one
// or more COM interfaces: all three go to the owner.
#define DECLARE_IUNKNOWN                                         \
    HRESULT QueryInterface(REFIID iid, void** object) override { \
        return GetOwner()->QueryInterface(iid, object);          \
    }                                                            \
    ULONG AddRef() override {                                    \
        return GetOwner()->AddRef();                             \
    }                                                            \
    ULONG Release() override {                                   \
        return GetOwner()->Release();                            \
    }

// ---- filter --------------------------------------------------------------

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
  public:
    CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId);
    CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId, HRESULT* result);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT GetClassID(CLSID* classId) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD milliseconds, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT QueryVendorInfo(LPWSTR* vendorInfo) override;

    virtual int GetPinCount() = 0;
    // The pin at `index` (no reference added), or null.
    virtual CBasePin* GetPin(int index) = 0;

    BOOL IsActive();
    BOOL IsStopped();
    // Reports an event to the graph's event sink, when joined to a graph.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // The stream time now: clock time minus the run's start time.
    HRESULT StreamTime(REFERENCE_TIME& time);
    // Counts changes of the pin set, for the pin enumerators.
    virtual LONG GetPinVersion() { return m_PinVersion; }
    void IncrementPinVersion() { ++m_PinVersion; }

  protected:
    // Read by streaming threads without the filter lock.
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    IReferenceClock* m_pClock = nullptr;  // holds a reference
    REFERENCE_TIME m_tStart = 0;
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName = nullptr;
    IFilterGraph* m_pGraph = nullptr;    // weak: the graph holds the filter
    IMediaEventSink* m_pSink = nullptr;  // weak, the graph's
    std::atomic<LONG> m_PinVersion{1};
};

// ---- pins ----------------------------------------------------------------

class CBasePin : public CUnknown, public IPin {
  public:
    CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
             LPCWSTR pinName, PIN_DIRECTION direction);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override = 0;
    HRESULT EndFlush() override = 0;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // S_OK accepts the type; anything else refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    virtual HRESULT SetMediaType(const CMediaType* type);
    // The preferred type at `position`: S_OK, or VFW_S_NO_MORE_ITEMS past the
    // last (E_INVALIDARG below 0).
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion() { ++m_TypeVersion; }

    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME start);

    BOOL IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() const { return m_pFilter->IsStopped(); }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }
    const WCHAR* Name() const { return m_pName; }
    CBaseFilter* Filter() const { return m_pFilter; }

  protected:
    virtual HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
    virtual HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* type, IEnumMediaTypes* types);
    virtual HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
    HRESULT CheckDirection(IPin* pin) const;
    HRESULT ReadyToConnect() const;

    WCHAR* m_pName = nullptr;
    IPin* m_Connected = nullptr;  // holds a reference
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    CBaseFilter* m_pFilter;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = 0x7FFFFFFFFFFFFFFFLL;
    double m_dRate = 1.0;
    bool m_bTryMyTypesFirst = false;
    std::atomic<LONG> m_TypeVersion{1};
};

// What both enumerators share: the references, the owner they hold one on,
// the position, and the owner's list version taken at start or Reset, so
// that a change to the owner's list shows as VFW_E_ENUM_OUT_OF_SYNC.
// `Derived` hands out the next item (FetchNext) and reads the owner's
// version (OwnerVersion).
template <class Derived, class Interface, class Item, class Owner>
class CEnumOnOwner : public Interface {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Next(ULONG count, Item** items, ULONG* fetched) override;
    HRESULT Reset() override;
    HRESULT Clone(Interface** copy) override;

  protected:
    CEnumOnOwner(Owner* owner, const Derived* copyFrom);
    ~CEnumOnOwner();
    bool OutOfSync();

    Owner* owner_;  // holds a reference
    int position_ = 0;

  private:
    std::atomic<ULONG> refs_{1};
    LONG version_;
};

class CEnumPins final : public CEnumOnOwner<CEnumPins, IEnumPins, IPin, CBaseFilter> {
  public:
    CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom);
    HRESULT Skip(ULONG count) override;

  private:
    friend class CEnumOnOwner<CEnumPins, IEnumPins, IPin, CBaseFilter>;
    ~CEnumPins() = default;
    static LONG OwnerVersion(CBaseFilter* filter);
    IPin* FetchNext();
};

class CEnumMediaTypes final
    : public CEnumOnOwner<CEnumMediaTypes, IEnumMediaTypes, AM_MEDIA_TYPE, CBasePin> {
  public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom);
    HRESULT Skip(ULONG count) override;

  private:
    friend class CEnumOnOwner<CEnumMediaTypes, IEnumMediaTypes, AM_MEDIA_TYPE, CBasePin>;
    ~CEnumMediaTypes() = default;
    static LONG OwnerVersion(CBasePin* pin);
    AM_MEDIA_TYPE* FetchNext();
};

// ---- samples and allocators ---------------------------------------------

#define AM_GBF_NOWAIT 4u
#define AM_STREAM_MEDIA 0u

// The properties of the sample being received.
struct AM_SAMPLE2_PROPERTIES {
    DWORD cbData;
    DWORD dwTypeSpecificFlags;
    DWORD dwSampleFlags;
    LONG lActual;
    REFERENCE_TIME tStart;
    REFERENCE_TIME tStop;
    DWORD dwStreamId;
    AM_MEDIA_TYPE* pMediaType;
    BYTE* pbBuffer;
    LONG cbBuffer;
};

class CBaseAllocator;

// A sample over a buffer it does not own; its last release hands it back to
// its allocator instead of deleting it.
class CMediaSample : public IMediaSample {
  public:
    CMediaSample(LPCTSTR name, CBaseAllocator* allocator, HRESULT* result, BYTE* buffer = nullptr,
                 LONG length = 0);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(BOOL syncPoint) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(BOOL preroll) override;
    LONG GetActualDataLength() override;
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(BOOL discontinuity) override;
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    HRESULT SetMediaTime(LONGLONG* start, LONGLONG* end) override;

    HRESULT SetPointer(BYTE* buffer, LONG length);

  protected:
    friend class CBaseAllocator;
    void ClearProperties();

    std::atomic<LONG> m_cRef{0};
    CBaseAllocator* m_pAllocator;
    BYTE* m_pBuffer;
    LONG m_cbBuffer;
    LONG m_lActual = 0;
    REFERENCE_TIME m_Start = 0;
    REFERENCE_TIME m_End = 0;
    LONGLONG m_MediaStart = 0;
    LONGLONG m_MediaEnd = 0;
    bool m_timeValid = false;
    bool m_stopValid = false;
    bool m_mediaTimeValid = false;
    bool m_syncPoint = false;
    bool m_preroll = false;
    bool m_discontinuity = false;
    AM_MEDIA_TYPE* m_pMediaType = nullptr;
};

// The free list of an allocator's samples.
class CSampleList {
  public:
    void Add(CMediaSample* sample) { samples_.push_back(sample); }
    CMediaSample* RemoveHead() {
        if (samples_.empty()) {
            return nullptr;
        }
        CMediaSample* head = samples_.back();
        samples_.pop_back();
        return head;
    }
    int GetCount() const { return static_cast<int>(samples_.size()); }

  private:
    std::vector<CMediaSample*> samples_;
};

class CBaseAllocator : public CUnknown, public IMemAllocator {
  public:
    CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result, BOOL event = TRUE);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    // Waits for a free sample unless AM_GBF_NOWAIT; VFW_E_NOT_COMMITTED once
    // the allocator is decommitted, which also wakes every waiter.
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                      DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

  protected:
    // Makes the samples: VFW_E_SIZENOTSET without properties, S_FALSE when
    // the samples made before still fit, else S_OK for the derived class to
    // make them.
    virtual HRESULT Alloc();
    virtual void Free() = 0;

    CCritSec m_cs;
    CSampleList m_lFree;
    LONG m_lAllocated = 0;
    LONG m_lCount = 0;
    LONG m_lSize = 0;
    LONG m_lAlignment = 0;
    LONG m_lPrefix = 0;
    BOOL m_bChanged = FALSE;
    BOOL m_bCommitted = FALSE;
    BOOL m_bDecommitInProgress = FALSE;

  private:
    std::condition_variable_any freed_;
};

// Samples over one block of memory, cut into aligned pieces.
class CMemAllocator : public CBaseAllocator {
  public:
    CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result);
    ~CMemAllocator() override;
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

  protected:
    HRESULT Alloc() override;
    // Keeps the memory: it is freed with the allocator or when the
    // properties change.
    void Free() override {}
    // Deletes the samples and frees m_pBuffer.
    void ReallyFree();

    BYTE* m_pBuffer = nullptr;
};

// ---- output and input pins ---------------------------------------------

class CBaseOutputPin : public CBasePin {
  public:
    CBaseOutputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                   LPCWSTR pinName);
    ~CBaseOutputPin() override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    // Sizes the allocator's buffers for this connection.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Takes the input pin's allocator when it offers one, else a new memory
    // allocator, sizes it and tells the input pin.
    virtual HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator);
    virtual HRESULT InitAllocator(IMemAllocator** allocator);
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* end, DWORD flags);
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    IMemAllocator* Allocator() const { return m_pAllocator; }

  protected:
    IMemAllocator* m_pAllocator = nullptr;  // holds a reference
    IMemInputPin* m_pInputPin = nullptr;    // holds a reference
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
  public:
    CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                  LPCWSTR pinName);
    ~CBaseInputPin() override;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return GetOwner()->QueryInterface(iid, object);
    }
    ULONG AddRef() override { return GetOwner()->AddRef(); }
    ULONG Release() override { return GetOwner()->Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    // The base checks that the pin is streaming (VFW_E_WRONG_STATE when
    // stopped, S_FALSE while flushing) and records the sample's properties.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }

    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    virtual HRESULT CheckStreaming();
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }
    IMemAllocator* PeekAllocator() const { return m_pAllocator; }

  protected:
    IMemAllocator* m_pAllocator = nullptr;  // holds a reference
    BOOL m_bReadOnly = FALSE;
    std::atomic<BOOL> m_bFlushing{FALSE};
    std::atomic<BOOL> m_bRunTimeError{FALSE};
    AM_SAMPLE2_PROPERTIES m_SampleProps{};
};
