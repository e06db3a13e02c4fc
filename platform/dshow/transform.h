// The in-place transform filter: one input pin, one output pin, and each
// sample passed on in the buffer it came in, unless the two pins ended up
// with different allocators, when it is first copied into an output buffer.
#pragma once

#include "platform/dshow/framework.h"

class CTransInPlaceFilter;

class CTransInPlaceInputPin : public CBaseInputPin {
  public:
    CTransInPlaceInputPin(LPCTSTR objectName, CTransInPlaceFilter* filter, HRESULT* result,
                          LPCWSTR pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // Offers the downstream pin's allocator when the output is connected.
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  protected:
    CTransInPlaceFilter* m_pTIPFilter;
};

class CTransInPlaceOutputPin : public CBaseOutputPin {
  public:
    CTransInPlaceOutputPin(LPCTSTR objectName, CTransInPlaceFilter* filter, HRESULT* result,
                           LPCWSTR pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // Prefers the allocator the upstream pin already uses.
    HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    IMemInputPin* ConnectedIMemInputPin() const { return m_pInputPin; }

  protected:
    CTransInPlaceFilter* m_pTIPFilter;
};

class CTransInPlaceFilter : public CBaseFilter {
  public:
    // modifiesData: the filter writes into the samples it passes on, so a
    // read-only upstream buffer must be copied.
    CTransInPlaceFilter(LPCTSTR name, LPUNKNOWN outer, REFCLSID classId, HRESULT* result,
                        bool modifiesData = true);
    ~CTransInPlaceFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int index) override;
    HRESULT Stop() override;
    HRESULT Pause() override;

    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    // In place: the output type is the input type.
    virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out);
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);
    // Passes the sample on: copied first when the pins use different
    // allocators, then Transform (S_FALSE keeps the sample back).
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT Transform(IMediaSample* sample) = 0;
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    CCritSec* pStateLock() { return &m_csFilter; }

  protected:
    friend class CTransInPlaceInputPin;
    friend class CTransInPlaceOutputPin;

    // An output buffer holding a copy of the sample's data and properties,
    // or null.
    IMediaSample* Copy(IMediaSample* source);
    bool UsingDifferentAllocators() const;
    bool TypesMatch() const;

    CCritSec m_csFilter;   // the filter's state lock
    CCritSec m_csReceive;  // held while a sample passes through
    CTransInPlaceInputPin* m_pInput = nullptr;
    CTransInPlaceOutputPin* m_pOutput = nullptr;
    bool m_bModifiesData;
};
