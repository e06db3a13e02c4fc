// The sample grabber: type checks against the accepted type, the callback
// that sees every media sample on its way through, and the delivery into a
// caller's buffer through the input pin's private allocator.
//
// Routes: the allocator (SetProperties, Alloc); the input pin (types,
// allocator negotiation, SetDeliveryBuffer); the filter (CheckInputType,
// Receive, Transform, the control interface); CreateSampleGrabber.
#include <new>

#include "movie/filters/sample_grabber_internal.h"

namespace tessel {

const CLSID CLSID_SampleGrabberFilter = {
    0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x33, 0x65, 0x39, 0x33, 0x66, 0x66, 0x33}};
const IID IID_SampleGrabberControl = {
    0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0x64, 0x32, 0x36, 0x35, 0x37, 0x37, 0x66}};

// ---- allocator -----------------------------------------------------------

SampleGrabberAllocator::SampleGrabberAllocator(SampleGrabberInputPin* pin, HRESULT* result)
    : CMemAllocator("SampleGrabberAllocator", nullptr, result), pin_(pin) {}

SampleGrabberAllocator::~SampleGrabberAllocator() {
    // The buffer is the caller's: the base must not free it.
    m_pBuffer = nullptr;
}

HRESULT SampleGrabberAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                              ALLOCATOR_PROPERTIES* actual) {
    HRESULT result = CMemAllocator::SetProperties(request, actual);
    if (FAILED(result)) {
        return result;
    }
    if (pin_ == nullptr) {
        return E_FAIL;
    }
    const ALLOCATOR_PROPERTIES& fixed = pin_->DeliveryProperties();
    if (request->cbAlign != fixed.cbAlign) {
        return VFW_E_BADALIGN;
    }
    if (request->cbPrefix != fixed.cbPrefix || request->cbBuffer > fixed.cbBuffer ||
        request->cBuffers > fixed.cBuffers) {
        return E_FAIL;
    }
    *actual = fixed;
    CAutoLock lock(&m_cs);
    m_lCount = fixed.cBuffers;
    m_lSize = fixed.cbBuffer;
    m_lAlignment = fixed.cbAlign;
    m_lPrefix = fixed.cbPrefix;
    return S_OK;
}

void SampleGrabberAllocator::DeleteSamples() {
    while (CMediaSample* sample = m_lFree.RemoveHead()) {
        delete sample;
    }
    m_lAllocated = 0;
}

HRESULT SampleGrabberAllocator::Alloc() {
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
    DeleteSamples();
    LONG piece = m_lSize + m_lPrefix;
    if (m_lAlignment > 1) {
        piece = (piece + m_lAlignment - 1) / m_lAlignment * m_lAlignment;
    }
    m_pBuffer = pin_ != nullptr ? pin_->DeliveryBuffer() : nullptr;
    if (m_pBuffer == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < m_lCount; ++i) {
        HRESULT made = S_OK;
        auto* sample = new (std::nothrow)
            CMediaSample("Sample Grabber memory media sample", this, &made,
                         m_pBuffer + static_cast<size_t>(i) * piece + m_lPrefix, m_lSize);
        if (sample == nullptr) {
            return E_OUTOFMEMORY;
        }
        m_lFree.Add(sample);
        ++m_lAllocated;
    }
    m_bChanged = FALSE;
    return S_OK;
}

// ---- input pin -----------------------------------------------------------

SampleGrabberInputPin::SampleGrabberInputPin(T_CSampleGrabber* filter, HRESULT* result)
    : CTransInPlaceInputPin("SampleGrabberInputPin", filter, result, u"Input"), grabber_(filter) {}

SampleGrabberInputPin::~SampleGrabberInputPin() {
    if (privateAllocator_ != nullptr) {
        privateAllocator_->Detach();
        privateAllocator_->Release();
    }
}

HRESULT SampleGrabberInputPin::SetMediaType(const CMediaType* type) {
    mediaTypeChanged_ = TRUE;
    return CTransInPlaceInputPin::SetMediaType(type);
}

HRESULT SampleGrabberInputPin::GetMediaType(int position, CMediaType* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    GUID major = grabber_->AcceptedMajorType();
    *type = CMediaType(&major);
    return S_OK;
}

HRESULT SampleGrabberInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types == nullptr) {
        return E_POINTER;
    }
    CTransInPlaceOutputPin* output = grabber_->OutputPin();
    if (output != nullptr && output->IsConnected()) {
        return output->GetConnected()->EnumMediaTypes(types);
    }
    *types = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    return *types != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SampleGrabberInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (privateAllocator_ != nullptr) {
        // Upstream must deliver into the caller's buffer, and may not hand
        // over a buffer we would have to copy.
        if (allocator != static_cast<IMemAllocator*>(privateAllocator_)) {
            return E_FAIL;
        }
        if (readOnly && grabber_->ModifiesData()) {
            return E_FAIL;
        }
    }
    return CTransInPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT SampleGrabberInputPin::GetAllocator(IMemAllocator** allocator) {
    if (privateAllocator_ == nullptr) {
        return CTransInPlaceInputPin::GetAllocator(allocator);
    }
    if (allocator == nullptr) {
        return E_POINTER;
    }
    privateAllocator_->AddRef();
    *allocator = privateAllocator_;
    return S_OK;
}

HRESULT SampleGrabberInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) {
        return E_POINTER;
    }
    if (privateAllocator_ != nullptr) {
        *properties = deliveryProperties_;
        return S_OK;
    }
    return CTransInPlaceInputPin::GetAllocatorRequirements(properties);
}

HRESULT SampleGrabberInputPin::SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) {
    if (properties.cBuffers != 1) {
        return E_INVALIDARG;
    }
    if (buffer == nullptr) {
        return E_POINTER;
    }
    deliveryProperties_ = properties;
    deliveryBuffer_ = buffer;
    if (privateAllocator_ != nullptr) {
        privateAllocator_->Detach();
        privateAllocator_->Release();
        privateAllocator_ = nullptr;
    }
    HRESULT result = S_OK;
    privateAllocator_ = new (std::nothrow) SampleGrabberAllocator(this, &result);
    if (privateAllocator_ == nullptr) {
        return E_OUTOFMEMORY;
    }
    privateAllocator_->AddRef();
    return result;
}

// ---- filter --------------------------------------------------------------

T_CSampleGrabber::T_CSampleGrabber(LPUNKNOWN outer, HRESULT* result)
    : CTransInPlaceFilter("SampleGrabber", outer, CLSID_SampleGrabberFilter, result, false) {
    m_pInput = new (std::nothrow) SampleGrabberInputPin(this, result);
    if (m_pInput == nullptr) {
        *result = E_OUTOFMEMORY;
    }
    m_pOutput =
        new (std::nothrow) CTransInPlaceOutputPin("Transform output pin", this, result, u"Output");
    if (m_pOutput == nullptr) {
        *result = E_OUTOFMEMORY;
    }
}

HRESULT T_CSampleGrabber::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_SampleGrabberControl)) {
        return GetInterface(static_cast<SampleGrabberControl*>(this), object);
    }
    return CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

GUID T_CSampleGrabber::AcceptedMajorType() {
    CAutoLock lock(&lock_);
    return accepted_.majortype;
}

HRESULT T_CSampleGrabber::CheckInputType(const CMediaType* type) {
    CAutoLock lock(&lock_);
    if (accepted_.majortype == GUID_NULL) {
        return S_OK;
    }
    if (type->majortype != accepted_.majortype) {
        return VFW_E_INVALID_MEDIA_TYPE;
    }
    if (accepted_.subtype != GUID_NULL && type->subtype != accepted_.subtype) {
        return VFW_E_INVALID_MEDIA_TYPE;
    }
    if (accepted_.formattype != GUID_NULL && type->formattype != accepted_.formattype) {
        return VFW_E_INVALID_MEDIA_TYPE;
    }
    return S_OK;
}

// The base's pass, copying between allocators, with a null sample refused.
HRESULT T_CSampleGrabber::Receive(IMediaSample* sample) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    return CTransInPlaceFilter::Receive(sample);
}

HRESULT T_CSampleGrabber::Transform(IMediaSample* sample) {
    CAutoLock lock(&lock_);
    if (callback_ == nullptr) {
        return S_OK;
    }
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    sample->GetTime(&start, &stop);
    start += m_pInput->CurrentStartTime();
    stop += m_pInput->CurrentStartTime();
    BOOL changed = GrabberInput()->TakeMediaTypeChanged();
    const HRESULT result = callback_(sample, &start, &stop, changed, context_);
    // Any success but S_OK holds the sample back: the stream goes on without it.
    return SUCCEEDED(result) && result != S_OK ? S_FALSE : result;
}

HRESULT T_CSampleGrabber::SetAcceptedMediaType(const AM_MEDIA_TYPE* type) {
    CAutoLock lock(&lock_);
    if (type == nullptr) {
        accepted_ = CMediaType();
        return S_OK;
    }
    return accepted_.Set(*type);
}

HRESULT T_CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* type) {
    if (m_pInput == nullptr || !m_pInput->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_pInput->ConnectionMediaType(type);
}

HRESULT T_CSampleGrabber::SetCallback(SampleGrabberCallback callback, DWORD_PTR context) {
    CAutoLock lock(&lock_);
    callback_ = callback;
    context_ = context;
    return S_OK;
}

HRESULT T_CSampleGrabber::SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) {
    if (m_pInput == nullptr || m_pOutput == nullptr) {
        return E_POINTER;
    }
    if (m_pInput->IsConnected() || m_pOutput->IsConnected()) {
        return E_INVALIDARG;
    }
    return GrabberInput()->SetDeliveryBuffer(properties, buffer);
}

IBaseFilter* CreateSampleGrabber(LPUNKNOWN outer, HRESULT* result) {
    HRESULT made = S_OK;
    auto* grabber = new (std::nothrow) T_CSampleGrabber(outer, &made);
    if (grabber == nullptr || !grabber->PinsMade()) {
        delete grabber;
        if (result != nullptr) {
            *result = E_OUTOFMEMORY;
        }
        return nullptr;
    }
    if (result != nullptr) {
        *result = made;
    }
    return grabber;
}

}  // namespace tessel
