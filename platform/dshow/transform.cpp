// The in-place transform: its pins pass types and allocators through, and
// Receive copies a sample only when upstream and downstream buffers come
// from different allocators.
#include <algorithm>
#include <cstring>

#include "platform/dshow/transform.h"

// ---- input pin -----------------------------------------------------------

CTransInPlaceInputPin::CTransInPlaceInputPin(LPCTSTR objectName, CTransInPlaceFilter* filter,
                                             HRESULT* result, LPCWSTR pinName)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, result, pinName),
      m_pTIPFilter(filter) {}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* type) {
    HRESULT result = m_pTIPFilter->CheckInputType(type);
    if (result != S_OK) {
        return result;
    }
    CTransInPlaceOutputPin* output = m_pTIPFilter->m_pOutput;
    if (output != nullptr && output->IsConnected()) {
        return output->GetConnected()->QueryAccept(type) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT CTransInPlaceInputPin::SetMediaType(const CMediaType* type) {
    HRESULT result = CBasePin::SetMediaType(type);
    if (FAILED(result)) {
        return result;
    }
    return m_pTIPFilter->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransInPlaceInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT result = CBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(result)) {
        return result;
    }
    return m_pTIPFilter->CompleteConnect(PINDIR_INPUT, receivePin);
}

HRESULT CTransInPlaceInputPin::BreakConnect() {
    m_pTIPFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types == nullptr) {
        return E_POINTER;
    }
    CTransInPlaceOutputPin* output = m_pTIPFilter->m_pOutput;
    if (output != nullptr && output->IsConnected()) {
        return output->GetConnected()->EnumMediaTypes(types);
    }
    return CBasePin::EnumMediaTypes(types);
}

HRESULT CTransInPlaceInputPin::GetMediaType(int position, CMediaType* type) {
    return CBasePin::GetMediaType(position, type);
}

HRESULT CTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator == nullptr) {
        return E_POINTER;
    }
    CTransInPlaceOutputPin* output = m_pTIPFilter->m_pOutput;
    if (output != nullptr && output->ConnectedIMemInputPin() != nullptr) {
        return output->ConnectedIMemInputPin()->GetAllocator(allocator);
    }
    return CBaseInputPin::GetAllocator(allocator);
}

HRESULT CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    return CBaseInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT CTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) {
        return E_POINTER;
    }
    CTransInPlaceOutputPin* output = m_pTIPFilter->m_pOutput;
    if (output != nullptr && output->ConnectedIMemInputPin() != nullptr) {
        return output->ConnectedIMemInputPin()->GetAllocatorRequirements(properties);
    }
    return E_NOTIMPL;
}

HRESULT CTransInPlaceInputPin::Receive(IMediaSample* sample) {
    CAutoLock lock(&m_pTIPFilter->m_csReceive);
    HRESULT result = CBaseInputPin::Receive(sample);
    if (result != S_OK) {
        return result;
    }
    return m_pTIPFilter->Receive(sample);
}

HRESULT CTransInPlaceInputPin::EndOfStream() {
    CAutoLock lock(&m_pTIPFilter->m_csReceive);
    HRESULT result = CheckStreaming();
    if (result != S_OK) {
        return result;
    }
    return m_pTIPFilter->EndOfStream();
}

HRESULT CTransInPlaceInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    return m_pTIPFilter->BeginFlush();
}

HRESULT CTransInPlaceInputPin::EndFlush() {
    CBaseInputPin::EndFlush();
    return m_pTIPFilter->EndFlush();
}

HRESULT CTransInPlaceInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBasePin::NewSegment(start, stop, rate);
    return m_pTIPFilter->NewSegment(start, stop, rate);
}

// ---- output pin ----------------------------------------------------------

CTransInPlaceOutputPin::CTransInPlaceOutputPin(LPCTSTR objectName, CTransInPlaceFilter* filter,
                                               HRESULT* result, LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, result, pinName),
      m_pTIPFilter(filter) {}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* type) {
    CTransInPlaceInputPin* input = m_pTIPFilter->m_pInput;
    if (input == nullptr || !input->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    CMediaType inputType;
    input->ConnectionMediaType(&inputType);
    return m_pTIPFilter->CheckTransform(&inputType, type);
}

HRESULT CTransInPlaceOutputPin::SetMediaType(const CMediaType* type) {
    HRESULT result = CBasePin::SetMediaType(type);
    if (FAILED(result)) {
        return result;
    }
    return m_pTIPFilter->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransInPlaceOutputPin::CheckConnect(IPin* pin) {
    CTransInPlaceInputPin* input = m_pTIPFilter->m_pInput;
    if (input == nullptr || !input->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransInPlaceOutputPin::CompleteConnect(IPin* receivePin) {
    HRESULT result = CBaseOutputPin::CompleteConnect(receivePin);
    if (FAILED(result)) {
        return result;
    }
    return m_pTIPFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

HRESULT CTransInPlaceOutputPin::BreakConnect() {
    m_pTIPFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    return CBasePin::EnumMediaTypes(types);
}

HRESULT CTransInPlaceOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    CTransInPlaceInputPin* input = m_pTIPFilter->m_pInput;
    if (position > 0 || input == nullptr || !input->IsConnected()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    AM_MEDIA_TYPE connected;
    HRESULT result = input->ConnectionMediaType(&connected);
    if (FAILED(result)) {
        return result;
    }
    type->Set(connected);
    FreeMediaType(connected);
    return S_OK;
}

HRESULT CTransInPlaceOutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) {
    *allocator = nullptr;
    CTransInPlaceInputPin* upstream = m_pTIPFilter->m_pInput;
    IMemAllocator* shared = upstream != nullptr ? upstream->PeekAllocator() : nullptr;
    bool mayShare = shared != nullptr && !(m_pTIPFilter->m_bModifiesData && upstream->IsReadOnly());
    if (mayShare && SUCCEEDED(input->NotifyAllocator(shared, upstream->IsReadOnly()))) {
        shared->AddRef();
        *allocator = shared;
        return S_OK;
    }
    return CBaseOutputPin::DecideAllocator(input, allocator);
}

HRESULT CTransInPlaceOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                                 ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES wanted = *request;
    CTransInPlaceInputPin* upstream = m_pTIPFilter->m_pInput;
    if (upstream != nullptr && upstream->PeekAllocator() != nullptr) {
        ALLOCATOR_PROPERTIES upstreamProps{};
        upstream->PeekAllocator()->GetProperties(&upstreamProps);
        wanted.cBuffers = std::max(wanted.cBuffers, upstreamProps.cBuffers);
        wanted.cbBuffer = std::max(wanted.cbBuffer, upstreamProps.cbBuffer);
        wanted.cbAlign = std::max(wanted.cbAlign, upstreamProps.cbAlign);
        wanted.cbPrefix = std::max(wanted.cbPrefix, upstreamProps.cbPrefix);
    }
    wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 1);
    wanted.cbBuffer = std::max<LONG>(wanted.cbBuffer, 1);
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT result = allocator->SetProperties(&wanted, &actual);
    if (FAILED(result)) {
        return result;
    }
    return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

// ---- filter --------------------------------------------------------------

CTransInPlaceFilter::CTransInPlaceFilter(LPCTSTR name, LPUNKNOWN outer, REFCLSID classId,
                                         HRESULT* result, bool modifiesData)
    : CBaseFilter(name, outer, &m_csFilter, classId, result), m_bModifiesData(modifiesData) {}

CTransInPlaceFilter::~CTransInPlaceFilter() {
    delete m_pInput;
    delete m_pOutput;
}

CBasePin* CTransInPlaceFilter::GetPin(int index) {
    if (m_pInput == nullptr) {
        HRESULT result = S_OK;
        m_pInput = new CTransInPlaceInputPin("in-place input", this, &result, u"Input");
    }
    if (m_pOutput == nullptr) {
        HRESULT result = S_OK;
        m_pOutput = new CTransInPlaceOutputPin("in-place output", this, &result, u"Output");
    }
    if (index == 0) {
        return m_pInput;
    }
    if (index == 1) {
        return m_pOutput;
    }
    return nullptr;
}

HRESULT CTransInPlaceFilter::Stop() {
    CAutoLock lock(&m_csFilter);
    return CBaseFilter::Stop();
}

HRESULT CTransInPlaceFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    return CBaseFilter::Pause();
}

HRESULT CTransInPlaceFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
    (void)in;
    (void)out;
    return S_OK;
}

HRESULT CTransInPlaceFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    (void)direction;
    (void)type;
    return S_OK;
}

HRESULT CTransInPlaceFilter::CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) {
    (void)direction;
    (void)receivePin;
    return S_OK;
}

HRESULT CTransInPlaceFilter::BreakConnect(PIN_DIRECTION direction) {
    (void)direction;
    return S_OK;
}

bool CTransInPlaceFilter::UsingDifferentAllocators() const {
    return m_pInput->PeekAllocator() != m_pOutput->Allocator();
}

IMediaSample* CTransInPlaceFilter::Copy(IMediaSample* source) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool timed = SUCCEEDED(source->GetTime(&start, &stop));
    IMediaSample* copy = nullptr;
    if (FAILED(m_pOutput->GetDeliveryBuffer(&copy, timed ? &start : nullptr,
                                            timed ? &stop : nullptr, 0))) {
        return nullptr;
    }
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    source->GetPointer(&from);
    copy->GetPointer(&to);
    LONG length = source->GetActualDataLength();
    if (length > copy->GetSize()) {
        copy->Release();
        return nullptr;
    }
    if (length > 0) {
        std::memcpy(to, from, static_cast<size_t>(length));
    }
    copy->SetActualDataLength(length);
    copy->SetSyncPoint(source->IsSyncPoint() == S_OK);
    copy->SetPreroll(source->IsPreroll() == S_OK);
    copy->SetDiscontinuity(source->IsDiscontinuity() == S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    if (source->GetMediaType(&type) == S_OK) {
        copy->SetMediaType(type);
        DeleteMediaType(type);
    }
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (SUCCEEDED(source->GetMediaTime(&mediaStart, &mediaStop))) {
        copy->SetMediaTime(&mediaStart, &mediaStop);
    }
    return copy;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
    if (m_pInput->SampleProps()->dwStreamId != AM_STREAM_MEDIA) {
        return m_pOutput->IsConnected() ? m_pOutput->Deliver(sample) : S_OK;
    }
    IMediaSample* copy = nullptr;
    if (UsingDifferentAllocators()) {
        copy = Copy(sample);
        if (copy == nullptr) {
            return E_UNEXPECTED;
        }
        sample = copy;
    }
    HRESULT result = Transform(sample);
    if (result == S_OK) {
        result = m_pOutput->Deliver(sample);
    } else if (result == S_FALSE) {
        result = S_OK;
    }
    if (copy != nullptr) {
        copy->Release();
    }
    return result;
}

HRESULT CTransInPlaceFilter::EndOfStream() {
    return m_pOutput->IsConnected() ? m_pOutput->DeliverEndOfStream() : S_OK;
}

HRESULT CTransInPlaceFilter::BeginFlush() {
    return m_pOutput->IsConnected() ? m_pOutput->DeliverBeginFlush() : S_OK;
}

HRESULT CTransInPlaceFilter::EndFlush() {
    return m_pOutput->IsConnected() ? m_pOutput->DeliverEndFlush() : S_OK;
}

HRESULT CTransInPlaceFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return m_pOutput->IsConnected() ? m_pOutput->DeliverNewSegment(start, stop, rate) : S_OK;
}
