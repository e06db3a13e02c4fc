// The framework's small helpers: the event, media types with their format
// blocks in task memory, and the reference count every object shares.
#include <atomic>
#include <cstring>

#include "platform/dshow/framework.h"
#include "platform/dshow/objects_internal.h"
#include "platform/dshow_testing.h"
#include "platform/kernel.h"

namespace {

std::atomic<long> liveObjects{0};

}  // namespace

namespace platform::dshow {

void CountObjectMade() {
    ++liveObjects;
}

void CountObjectGone() {
    --liveObjects;
}

}  // namespace platform::dshow

namespace platform {

long LiveMediaObjects() {
    return liveObjects.load();
}

}  // namespace platform

// ---- event ---------------------------------------------------------------

CAMEvent::CAMEvent(BOOL manualReset) : event_(CreateEventA(nullptr, manualReset, FALSE, nullptr)) {}

CAMEvent::~CAMEvent() {
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

void CAMEvent::Set() {
    SetEvent(event_);
}

void CAMEvent::Reset() {
    ResetEvent(event_);
}

BOOL CAMEvent::Wait(DWORD milliseconds) {
    return WaitForSingleObject(event_, milliseconds) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

// ---- media types ---------------------------------------------------------

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0 || type.pbFormat != nullptr) {
        CoTaskMemFree(type.pbFormat);
        type.cbFormat = 0;
        type.pbFormat = nullptr;
    }
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->pbFormat = nullptr;
        target->cbFormat = 0;
    }
    if (target->pUnk != nullptr) {
        target->pUnk->AddRef();
    }
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type == nullptr) {
        return nullptr;
    }
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) {
        return;
    }
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

void CMediaType::InitMediaType() {
    std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
}

CMediaType::CMediaType() {
    InitMediaType();
}

CMediaType::CMediaType(const GUID* majorType) {
    InitMediaType();
    majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) {
    InitMediaType();
    Set(type);
}

CMediaType::CMediaType(const CMediaType& type) : AM_MEDIA_TYPE() {
    InitMediaType();
    Set(type);
}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
    Set(type);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& type) {
    Set(type);
    return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
    if (&type == this) {
        return S_OK;
    }
    FreeMediaType(*this);
    HRESULT result = CopyMediaType(this, &type);
    if (FAILED(result)) {
        InitMediaType();
    }
    return result;
}

bool CMediaType::operator==(const CMediaType& other) const {
    return majortype == other.majortype && subtype == other.subtype &&
           formattype == other.formattype && cbFormat == other.cbFormat &&
           (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    if (length == cbFormat && pbFormat != nullptr) {
        std::memset(pbFormat, 0, length);
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, 0, length);
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length) {
    if (AllocFormatBuffer(length) == nullptr) {
        return FALSE;
    }
    std::memcpy(pbFormat, format, length);
    return TRUE;
}

void CMediaType::ResetFormatBuffer() {
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

BOOL CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

BOOL CMediaType::MatchesPartial(const CMediaType* partial) const {
    if (partial->majortype != GUID_NULL && majortype != partial->majortype) {
        return FALSE;
    }
    if (partial->subtype != GUID_NULL && subtype != partial->subtype) {
        return FALSE;
    }
    if (partial->formattype != GUID_NULL) {
        if (formattype != partial->formattype || cbFormat != partial->cbFormat) {
            return FALSE;
        }
        if (cbFormat != 0 && std::memcmp(pbFormat, partial->pbFormat, cbFormat) != 0) {
            return FALSE;
        }
    }
    return TRUE;
}

// ---- reference counting ----------------------------------------------------

HRESULT GetInterface(LPUNKNOWN unknown, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = unknown;
    unknown->AddRef();
    return S_OK;
}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* result) {
    (void)name;
    (void)result;
    inner_.self = this;
    owner_ = outer != nullptr ? outer : static_cast<IUnknown*>(&inner_);
    platform::dshow::CountObjectMade();
}

CUnknown::~CUnknown() {
    platform::dshow::CountObjectGone();
}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(iid, IID_IUnknown)) {
        return GetInterface(&inner_, object);
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(++m_cRef);
}

ULONG CUnknown::NonDelegatingRelease() {
    LONG left = --m_cRef;
    if (left == 0) {
        // Guards against a destructor that takes and drops a reference.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(left);
}
