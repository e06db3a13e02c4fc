// Media samples and allocators: a sample goes back to its allocator's free
// list on its last release; GetBuffer waits for one while the allocator is
// committed; the memory allocator cuts one block into aligned samples.
#include <cstdlib>
#include <cstring>

#include "platform/dshow/framework.h"

// ---- sample --------------------------------------------------------------

CMediaSample::CMediaSample(LPCTSTR name, CBaseAllocator* allocator, HRESULT* result, BYTE* buffer,
                           LONG length)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(length) {
    (void)name;
    if (result != nullptr && allocator == nullptr) {
        *result = E_OUTOFMEMORY;
    }
}

CMediaSample::~CMediaSample() {
    DeleteMediaType(m_pMediaType);
}

HRESULT CMediaSample::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(iid, IID_IMediaSample) || IsEqualGUID(iid, IID_IUnknown)) {
        return GetInterface(this, object);
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() {
    return static_cast<ULONG>(++m_cRef);
}

ULONG CMediaSample::Release() {
    LONG left = --m_cRef;
    if (left == 0) {
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(left);
}

void CMediaSample::ClearProperties() {
    m_lActual = m_cbBuffer;
    m_timeValid = m_stopValid = m_mediaTimeValid = false;
    m_syncPoint = m_preroll = m_discontinuity = false;
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length) {
    if (length < 0) {
        return E_INVALIDARG;
    }
    m_pBuffer = buffer;
    m_cbBuffer = length;
    m_lActual = length;
    return S_OK;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (buffer == nullptr) {
        return E_POINTER;
    }
    *buffer = m_pBuffer;
    return S_OK;
}

LONG CMediaSample::GetSize() {
    return m_cbBuffer;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    if (!m_timeValid) {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    if (start == nullptr || end == nullptr) {
        return E_POINTER;
    }
    *start = m_Start;
    if (!m_stopValid) {
        *end = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *end = m_End;
    return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    m_timeValid = start != nullptr;
    m_stopValid = start != nullptr && end != nullptr;
    if (start != nullptr) {
        m_Start = *start;
    }
    if (m_stopValid) {
        m_End = *end;
    }
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() {
    return m_syncPoint ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetSyncPoint(BOOL syncPoint) {
    m_syncPoint = syncPoint != FALSE;
    return S_OK;
}

HRESULT CMediaSample::IsPreroll() {
    return m_preroll ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetPreroll(BOOL preroll) {
    m_preroll = preroll != FALSE;
    return S_OK;
}

LONG CMediaSample::GetActualDataLength() {
    return m_lActual;
}

HRESULT CMediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > m_cbBuffer) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    m_lActual = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    if (m_pMediaType == nullptr) {
        *type = nullptr;
        return S_FALSE;
    }
    *type = CreateMediaType(m_pMediaType);
    return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
    if (type == nullptr) {
        return S_OK;
    }
    m_pMediaType = CreateMediaType(type);
    return m_pMediaType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::IsDiscontinuity() {
    return m_discontinuity ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
    m_discontinuity = discontinuity != FALSE;
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
    if (!m_mediaTimeValid) {
        return VFW_E_MEDIA_TIME_NOT_SET;
    }
    if (start == nullptr || end == nullptr) {
        return E_POINTER;
    }
    *start = m_MediaStart;
    *end = m_MediaEnd;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
    if (start == nullptr || end == nullptr) {
        m_mediaTimeValid = false;
        return S_OK;
    }
    m_MediaStart = *start;
    m_MediaEnd = *end;
    m_mediaTimeValid = true;
    return S_OK;
}

// ---- base allocator ------------------------------------------------------

CBaseAllocator::CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result, BOOL event)
    : CUnknown(name, outer, result) {
    (void)event;
}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IMemAllocator)) {
        return GetInterface(static_cast<IMemAllocator*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&m_cs);
    if (m_bCommitted) {
        return VFW_E_ALREADY_COMMITTED;
    }
    if (m_lAllocated != m_lFree.GetCount()) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    m_lCount = request->cBuffers;
    m_lSize = request->cbBuffer;
    m_lAlignment = request->cbAlign;
    m_lPrefix = request->cbPrefix;
    m_bChanged = TRUE;
    *actual = {m_lCount, m_lSize, m_lAlignment, m_lPrefix};
    return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&m_cs);
    *properties = {m_lCount, m_lSize, m_lAlignment, m_lPrefix};
    return S_OK;
}

HRESULT CBaseAllocator::Alloc() {
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0) {
        return VFW_E_SIZENOTSET;
    }
    if (m_lFree.GetCount() > 0 && !m_bChanged) {
        return S_FALSE;
    }
    return S_OK;
}

HRESULT CBaseAllocator::Commit() {
    CAutoLock lock(&m_cs);
    if (m_bCommitted) {
        return S_OK;
    }
    if (m_bDecommitInProgress) {
        m_bDecommitInProgress = FALSE;
        m_bCommitted = TRUE;
        return S_OK;
    }
    HRESULT result = Alloc();
    if (FAILED(result)) {
        return result;
    }
    m_bCommitted = TRUE;
    return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
    CAutoLock lock(&m_cs);
    if (!m_bCommitted) {
        return S_OK;
    }
    m_bCommitted = FALSE;
    if (m_lFree.GetCount() < m_lAllocated) {
        m_bDecommitInProgress = TRUE;
    } else {
        Free();
    }
    freed_.notify_all();
    return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                  DWORD flags) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    *sample = nullptr;
    CMediaSample* free = nullptr;
    {
        std::unique_lock<CCritSec> lock(m_cs);
        for (;;) {
            if (!m_bCommitted) {
                return VFW_E_NOT_COMMITTED;
            }
            free = m_lFree.RemoveHead();
            if (free != nullptr) {
                break;
            }
            if ((flags & AM_GBF_NOWAIT) != 0) {
                return VFW_E_TIMEOUT;
            }
            freed_.wait(lock);
        }
        free->m_cRef = 1;
        free->ClearProperties();
    }
    // Every sample out keeps its allocator alive.
    AddRef();
    if (start != nullptr) {
        free->SetTime(start, end);
    }
    *sample = free;
    return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    {
        CAutoLock lock(&m_cs);
        m_lFree.Add(static_cast<CMediaSample*>(sample));
        if (m_bDecommitInProgress && m_lFree.GetCount() == m_lAllocated) {
            m_bDecommitInProgress = FALSE;
            Free();
        }
        freed_.notify_all();
    }
    Release();
    return S_OK;
}

// ---- memory allocator ----------------------------------------------------

CMemAllocator::CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result)
    : CBaseAllocator(name, outer, result, TRUE) {}

CMemAllocator::~CMemAllocator() {
    ReallyFree();
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) {
        return E_POINTER;
    }
    LONG align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0) {
        return VFW_E_BADALIGN;
    }
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) {
        return E_INVALIDARG;
    }
    // Each piece holds prefix and buffer and starts aligned; the buffer gets
    // whatever the rounding adds.
    ALLOCATOR_PROPERTIES rounded = *request;
    LONGLONG piece =
        (static_cast<LONGLONG>(request->cbBuffer) + request->cbPrefix + align - 1) / align * align;
    if (piece > 0x7FFFFFFF) {
        return E_OUTOFMEMORY;
    }
    rounded.cbBuffer = static_cast<LONG>(piece) - request->cbPrefix;
    return CBaseAllocator::SetProperties(&rounded, actual);
}

HRESULT CMemAllocator::Alloc() {
    CAutoLock lock(&m_cs);
    HRESULT result = CBaseAllocator::Alloc();
    if (FAILED(result)) {
        return result;
    }
    if (result == S_FALSE) {
        return S_OK;
    }
    if (m_lFree.GetCount() != m_lAllocated) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    ReallyFree();
    LONG piece = m_lSize + m_lPrefix;
    LONGLONG total = static_cast<LONGLONG>(piece) * m_lCount;
    if (total > 0x7FFFFFFF) {
        return E_OUTOFMEMORY;
    }
    size_t alignment = m_lAlignment > 16 ? static_cast<size_t>(m_lAlignment) : 16;
    size_t bytes = (static_cast<size_t>(total) + alignment - 1) / alignment * alignment;
    m_pBuffer = static_cast<BYTE*>(std::aligned_alloc(alignment, bytes));
    if (m_pBuffer == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < m_lCount; ++i) {
        HRESULT made = S_OK;
        auto* sample =
            new CMediaSample("memory sample", this, &made,
                             m_pBuffer + static_cast<size_t>(i) * piece + m_lPrefix, m_lSize);
        m_lFree.Add(sample);
    }
    m_lAllocated = m_lCount;
    m_bChanged = FALSE;
    return S_OK;
}

void CMemAllocator::ReallyFree() {
    CAutoLock lock(&m_cs);
    while (CMediaSample* sample = m_lFree.RemoveHead()) {
        delete sample;
    }
    m_lAllocated = 0;
    std::free(m_pBuffer);
    m_pBuffer = nullptr;
}
