// The sample grabber's classes: the filter, its input pin with the private
// allocator over a caller's delivery buffer, and that allocator.
#pragma once

#include "movie/filters/sample_grabber.h"

namespace tessel {

class SampleGrabberInputPin;

// Samples cut from the input pin's delivery buffer, which it never frees.
class SampleGrabberAllocator final : public CMemAllocator {
  public:
    SampleGrabberAllocator(SampleGrabberInputPin* pin, HRESULT* result);
    ~SampleGrabberAllocator() override;
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    // The pin is going: later allocations have no buffer.
    void Detach() { pin_ = nullptr; }

  protected:
    HRESULT Alloc() override;

  private:
    void DeleteSamples();
    SampleGrabberInputPin* pin_;
};

class T_CSampleGrabber;

class SampleGrabberInputPin final : public CTransInPlaceInputPin {
  public:
    SampleGrabberInputPin(T_CSampleGrabber* filter, HRESULT* result);
    ~SampleGrabberInputPin() override;

    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;

    HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer);
    const ALLOCATOR_PROPERTIES& DeliveryProperties() const { return deliveryProperties_; }
    BYTE* DeliveryBuffer() const { return deliveryBuffer_; }
    // Read and cleared by Transform under the grabber's lock.
    BOOL TakeMediaTypeChanged() {
        BOOL changed = mediaTypeChanged_;
        mediaTypeChanged_ = FALSE;
        return changed;
    }

  private:
    T_CSampleGrabber* grabber_;
    SampleGrabberAllocator* privateAllocator_ = nullptr;  // holds a reference
    BYTE* deliveryBuffer_ = nullptr;
    BOOL mediaTypeChanged_ = FALSE;
    ALLOCATOR_PROPERTIES deliveryProperties_{};
};

class T_CSampleGrabber final : public CTransInPlaceFilter, public SampleGrabberControl {
  public:
    T_CSampleGrabber(LPUNKNOWN outer, HRESULT* result);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT Transform(IMediaSample* sample) override;

    HRESULT SetAcceptedMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT SetCallback(SampleGrabberCallback callback, DWORD_PTR context) override;
    HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) override;

    GUID AcceptedMajorType();
    bool ModifiesData() const { return m_bModifiesData; }
    CTransInPlaceOutputPin* OutputPin() const { return m_pOutput; }
    bool PinsMade() const { return m_pInput != nullptr && m_pOutput != nullptr; }

  private:
    SampleGrabberInputPin* GrabberInput() const {
        return static_cast<SampleGrabberInputPin*>(m_pInput);
    }

    CMediaType accepted_;
    SampleGrabberCallback callback_ = nullptr;
    DWORD_PTR context_ = 0;
    CCritSec lock_;
};

}  // namespace tessel
