// Push sources: each output pin runs one streaming thread between Active
// and Inactive; the thread ends at the end of the data, on a refused
// delivery, or when the pin's allocator is decommitted by Inactive.
#include "platform/dshow/source.h"

// ---- stream --------------------------------------------------------------

CSourceStream::CSourceStream(LPCTSTR objectName, HRESULT* result, CSource* filter, LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, filter->pStateLock(), result, pinName), m_pFilter(filter) {
    filter->AddPin(this);
}

CSourceStream::~CSourceStream() {
    if (thread_.joinable()) {
        stopRequested_ = true;
        if (m_pAllocator != nullptr) {
            m_pAllocator->Decommit();
        }
        thread_.join();
    }
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* type) {
    for (int position = 0;; ++position) {
        CMediaType offered;
        if (GetMediaType(position, &offered) != S_OK) {
            return S_FALSE;
        }
        if (offered.majortype == type->majortype && offered.subtype == type->subtype) {
            return S_OK;
        }
    }
}

HRESULT CSourceStream::Active() {
    HRESULT result = CBaseOutputPin::Active();
    if (FAILED(result) || thread_.joinable()) {
        return result;
    }
    stopRequested_ = false;
    thread_ = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT CSourceStream::Inactive() {
    stopRequested_ = true;
    // Decommitting wakes a thread that waits for a free buffer.
    HRESULT result = CBaseOutputPin::Inactive();
    if (thread_.joinable()) {
        thread_.join();
    }
    return result;
}

void CSourceStream::ThreadProc() {
    if (FAILED(OnThreadStartPlay())) {
        OnThreadDestroy();
        return;
    }
    while (!StopRequested()) {
        IMediaSample* sample = nullptr;
        if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
            break;
        }
        HRESULT filled = FillBuffer(sample);
        if (filled == S_OK) {
            HRESULT delivered = Deliver(sample);
            sample->Release();
            if (delivered != S_OK) {
                break;  // downstream stopped, flushes or refused the data
            }
            continue;
        }
        sample->Release();
        // The error goes first, so that waiting for completion reports it
        // rather than the end the renderers then see.
        if (FAILED(filled)) {
            m_pFilter->NotifyEvent(EC_ERRORABORT, filled, 0);
        }
        DeliverEndOfStream();
        break;
    }
    OnThreadDestroy();
}

// ---- filter --------------------------------------------------------------

CSource::CSource(LPCTSTR name, LPUNKNOWN outer, CLSID classId, HRESULT* result)
    : CBaseFilter(name, outer, &m_cStateLock, classId, result) {}

CSource::~CSource() {
    for (CSourceStream* pin : m_paStreams) {
        delete pin;
    }
}

int CSource::GetPinCount() {
    CAutoLock lock(&m_cStateLock);
    return static_cast<int>(m_paStreams.size());
}

CBasePin* CSource::GetPin(int index) {
    CAutoLock lock(&m_cStateLock);
    if (index < 0 || index >= static_cast<int>(m_paStreams.size())) {
        return nullptr;
    }
    return m_paStreams[index];
}

HRESULT CSource::AddPin(CSourceStream* pin) {
    CAutoLock lock(&m_cStateLock);
    m_paStreams.push_back(pin);
    IncrementPinVersion();
    return S_OK;
}
