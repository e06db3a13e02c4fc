// The renderer base: one input pin, samples presented when the graph's
// clock reaches their start time (at once without a clock or a time), end
// of stream reported to the graph as EC_COMPLETE once the renderer runs.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/dshow/framework.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
  public:
    CRendererInputPin(CBaseRenderer* renderer, HRESULT* result, LPCWSTR pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

  protected:
    CBaseRenderer* m_pRenderer;
};

class CBaseRenderer : public CBaseFilter {
  public:
    CBaseRenderer(REFCLSID classId, LPCTSTR name, LPUNKNOWN outer, HRESULT* result);
    ~CBaseRenderer() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    virtual HRESULT SetMediaType(const CMediaType* type);
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT BreakConnect();
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
    // Waits until the sample is due (or the renderer stops or flushes) and
    // presents it.
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual void OnRenderStart(IMediaSample* sample) { (void)sample; }
    virtual void OnRenderEnd(IMediaSample* sample) { (void)sample; }

    CCritSec* InterfaceLock() { return &m_InterfaceLock; }

  protected:
    enum class Wait { Due, Abort };
    // Blocks while paused, then until the clock reaches the sample's start
    // time; Abort when the renderer stops or flushes meanwhile.
    Wait WaitForRenderTime(IMediaSample* sample);
    void SendEndOfStream();

    CCritSec m_InterfaceLock;  // the filter's lock
    CCritSec m_RendererLock;   // held while a sample is presented
    CRendererInputPin* m_pInputPin = nullptr;

  private:
    std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    FILTER_STATE scheduleState_ = State_Stopped;  // under stateMutex_
    bool flushing_ = false;                       // under stateMutex_
    bool endOfStream_ = false;                    // under stateMutex_
    bool completeSent_ = false;                   // under stateMutex_
    unsigned generation_ = 0;                     // under stateMutex_: changes wake waits
    REFERENCE_TIME runStart_ = 0;                 // under stateMutex_
    IReferenceClock* runClock_ = nullptr;         // under stateMutex_, holds a reference
    HANDLE adviseEvent_;
};

// The video renderer base: the renderer with the video name.
class CBaseVideoRenderer : public CBaseRenderer {
  public:
    CBaseVideoRenderer(REFCLSID classId, LPCTSTR name, LPUNKNOWN outer, HRESULT* result);
};
