// Pins: connection negotiation (the receiving pin's preferred types first,
// then this pin's), and the output and input pins that move samples through
// allocators.
#include <cstring>

#include "platform/dshow/framework.h"

namespace {

WCHAR* CopyPinName(LPCWSTR name) {
    size_t length = 0;
    while (name != nullptr && name[length] != 0) {
        ++length;
    }
    auto* copy = new WCHAR[length + 1];
    if (length > 0) {
        std::memcpy(copy, name, length * sizeof(WCHAR));
    }
    copy[length] = 0;
    return copy;
}

}  // namespace

// ---- base pin ------------------------------------------------------------

CBasePin::CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                   LPCWSTR pinName, PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr, result),
      m_pName(CopyPinName(pinName)),
      m_dir(direction),
      m_pLock(lock),
      m_pFilter(filter) {}

CBasePin::~CBasePin() {
    delete[] m_pName;
    if (m_Connected != nullptr) {
        m_Connected->Release();
    }
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IPin)) {
        return GetInterface(static_cast<IPin*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

ULONG CBasePin::NonDelegatingAddRef() {
    return m_pFilter->AddRef();
}

ULONG CBasePin::NonDelegatingRelease() {
    return m_pFilter->Release();
}

HRESULT CBasePin::CheckDirection(IPin* pin) const {
    PIN_DIRECTION other;
    HRESULT result = pin->QueryDirection(&other);
    if (FAILED(result)) {
        return result;
    }
    return other == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

// A pin takes a new connection only while free and with its filter stopped.
HRESULT CBasePin::ReadyToConnect() const {
    if (m_Connected != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    return S_OK;
}

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (receivePin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (HRESULT ready = ReadyToConnect(); FAILED(ready)) {
        return ready;
    }
    HRESULT direction = CheckDirection(receivePin);
    if (FAILED(direction)) {
        return direction;
    }
    if (type == nullptr) {
        return AgreeMediaType(receivePin, nullptr);
    }
    CMediaType wanted(*type);
    return AgreeMediaType(receivePin, &wanted);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* type) {
    if (type != nullptr && !type->IsPartiallySpecified()) {
        return AttemptConnection(receivePin, type);
    }
    for (int round = 0; round < 2; ++round) {
        bool mine = (round == 0) == m_bTryMyTypesFirst;
        IEnumMediaTypes* types = nullptr;
        HRESULT result = mine ? EnumMediaTypes(&types) : receivePin->EnumMediaTypes(&types);
        if (FAILED(result) || types == nullptr) {
            continue;
        }
        result = TryMediaTypes(receivePin, type, types);
        types->Release();
        if (SUCCEEDED(result)) {
            return S_OK;
        }
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* type, IEnumMediaTypes* types) {
    HRESULT result = types->Reset();
    if (FAILED(result)) {
        return result;
    }
    for (;;) {
        AM_MEDIA_TYPE* offered = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &offered, &fetched) != S_OK || fetched != 1) {
            return VFW_E_NO_ACCEPTABLE_TYPES;
        }
        CMediaType candidate(*offered);
        DeleteMediaType(offered);
        if (type != nullptr && !candidate.MatchesPartial(type)) {
            continue;
        }
        if (SUCCEEDED(AttemptConnection(receivePin, &candidate))) {
            return S_OK;
        }
    }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type) {
    HRESULT result = CheckConnect(receivePin);
    if (FAILED(result)) {
        BreakConnect();
        return result;
    }
    result = CheckMediaType(type);
    if (result != S_OK) {
        BreakConnect();
        return FAILED(result) ? result : VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_Connected = receivePin;
    m_Connected->AddRef();
    result = SetMediaType(type);
    if (SUCCEEDED(result)) {
        result = receivePin->ReceiveConnection(this, type);
        if (SUCCEEDED(result)) {
            result = CompleteConnect(receivePin);
            if (SUCCEEDED(result)) {
                return S_OK;
            }
            receivePin->Disconnect();
        }
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return result;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (HRESULT ready = ReadyToConnect(); FAILED(ready)) {
        return ready;
    }
    HRESULT result = CheckConnect(connector);
    if (FAILED(result)) {
        BreakConnect();
        return result;
    }
    CMediaType offered(*type);
    result = CheckMediaType(&offered);
    if (result != S_OK) {
        BreakConnect();
        return FAILED(result) ? result : VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_Connected = connector;
    m_Connected->AddRef();
    result = SetMediaType(&offered);
    if (SUCCEEDED(result)) {
        result = CompleteConnect(connector);
        if (SUCCEEDED(result)) {
            return S_OK;
        }
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return result;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (m_Connected == nullptr) {
        return S_FALSE;
    }
    HRESULT result = BreakConnect();
    if (FAILED(result)) {
        return result;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
    if (pin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    *pin = m_Connected;
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    m_Connected->AddRef();
    return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_Connected == nullptr) {
        std::memset(type, 0, sizeof(*type));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    info->pFilter = m_pFilter;
    m_pFilter->AddRef();
    info->dir = m_dir;
    size_t i = 0;
    for (; m_pName[i] != 0 && i + 1 < MAX_PIN_NAME; ++i) {
        info->achName[i] = m_pName[i];
    }
    info->achName[i] = 0;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (direction == nullptr) {
        return E_POINTER;
    }
    *direction = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    size_t length = 0;
    while (m_pName[length] != 0) {
        ++length;
    }
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (*id == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*id, m_pName, (length + 1) * sizeof(WCHAR));
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    CMediaType offered(*type);
    return CheckMediaType(&offered) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types == nullptr) {
        return E_POINTER;
    }
    *types = new CEnumMediaTypes(this, nullptr);
    return S_OK;
}

HRESULT CBasePin::QueryInternalConnections(IPin** pins, ULONG* count) {
    (void)pins;
    (void)count;
    return E_NOTIMPL;
}

HRESULT CBasePin::EndOfStream() {
    return S_OK;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
    return m_mt.Set(*type);
}

HRESULT CBasePin::GetMediaType(int position, CMediaType* type) {
    (void)type;
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
    return CheckDirection(pin);
}

HRESULT CBasePin::BreakConnect() {
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    return S_OK;
}

HRESULT CBasePin::Active() {
    return S_OK;
}

HRESULT CBasePin::Inactive() {
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME start) {
    (void)start;
    return S_OK;
}

// ---- output pin ----------------------------------------------------------

CBaseOutputPin::CBaseOutputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock,
                               HRESULT* result, LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Release();
    }
    if (m_pInputPin != nullptr) {
        m_pInputPin->Release();
    }
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
    HRESULT result = CBasePin::CheckConnect(pin);
    if (FAILED(result)) {
        return result;
    }
    void* input = nullptr;
    result = pin->QueryInterface(IID_IMemInputPin, &input);
    if (FAILED(result)) {
        return result;
    }
    if (m_pInputPin != nullptr) {
        m_pInputPin->Release();
    }
    m_pInputPin = static_cast<IMemInputPin*>(input);
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin != nullptr) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) {
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES wanted{};
    input->GetAllocatorRequirements(&wanted);
    if (wanted.cbAlign == 0) {
        wanted.cbAlign = 1;
    }
    // The input pin's own allocator first, then one of ours.
    auto settle = [&](IMemAllocator* candidate) {
        ALLOCATOR_PROPERTIES request = wanted;
        HRESULT result = DecideBufferSize(candidate, &request);
        return SUCCEEDED(result) ? input->NotifyAllocator(candidate, FALSE) : result;
    };
    HRESULT result = input->GetAllocator(allocator);
    if (SUCCEEDED(result)) {
        result = settle(*allocator);
        if (SUCCEEDED(result)) {
            return S_OK;
        }
    }
    if (*allocator != nullptr) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    result = InitAllocator(allocator);
    if (FAILED(result)) {
        return result;
    }
    result = settle(*allocator);
    if (SUCCEEDED(result)) {
        return S_OK;
    }
    (*allocator)->Release();
    *allocator = nullptr;
    return result;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
    HRESULT result = S_OK;
    auto* made = new CMemAllocator("output allocator", nullptr, &result);
    made->AddRef();
    *allocator = made;
    return S_OK;
}

HRESULT CBaseOutputPin::Active() {
    if (m_pAllocator == nullptr) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (m_pAllocator == nullptr) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* end, DWORD flags) {
    if (m_pAllocator == nullptr) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->GetBuffer(sample, start, end, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    if (m_pInputPin == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->NewSegment(start, stop, rate);
}

// ---- input pin -----------------------------------------------------------

CBaseInputPin::CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock,
                             HRESULT* result, LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Release();
    }
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IMemInputPin)) {
        return GetInterface(static_cast<IMemInputPin*>(this), object);
    }
    return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_pAllocator == nullptr) {
        HRESULT result = S_OK;
        auto* made = new CMemAllocator("input allocator", nullptr, &result);
        made->AddRef();
        m_pAllocator = made;
    }
    m_pAllocator->AddRef();
    *allocator = m_pAllocator;
    return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (allocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    allocator->AddRef();
    if (m_pAllocator != nullptr) {
        m_pAllocator->Release();
    }
    m_pAllocator = allocator;
    m_bReadOnly = readOnly;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
    (void)properties;
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (m_bFlushing) {
        return S_FALSE;
    }
    if (m_bRunTimeError) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    HRESULT result = CheckStreaming();
    if (result != S_OK) {
        return result;
    }
    AM_SAMPLE2_PROPERTIES& props = m_SampleProps;
    props = AM_SAMPLE2_PROPERTIES{};
    props.cbData = sizeof(props);
    props.dwStreamId = AM_STREAM_MEDIA;
    sample->GetPointer(&props.pbBuffer);
    props.cbBuffer = sample->GetSize();
    props.lActual = sample->GetActualDataLength();
    sample->GetTime(&props.tStart, &props.tStop);
    return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
    if (samples == nullptr || processed == nullptr) {
        return E_POINTER;
    }
    *processed = 0;
    HRESULT result = S_OK;
    while (*processed < count) {
        result = Receive(samples[*processed]);
        if (result != S_OK) {
            break;
        }
        ++*processed;
    }
    return result;
}

HRESULT CBaseInputPin::BeginFlush() {
    m_bFlushing = TRUE;
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
    m_bFlushing = FALSE;
    m_bRunTimeError = FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bRunTimeError = FALSE;
    m_bFlushing = FALSE;
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
    }
    return S_OK;
}
