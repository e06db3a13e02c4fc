// Push sources: a filter of output pins, each with a streaming thread that
// fills buffers and delivers them downstream from the time the filter
// pauses until it stops or the data ends.
#pragma once

#include <atomic>
#include <thread>

#include "platform/dshow/framework.h"

class CSource;

class CSourceStream : public CBaseOutputPin {
  public:
    CSourceStream(LPCTSTR objectName, HRESULT* result, CSource* filter, LPCWSTR pinName);
    ~CSourceStream() override;

    // Fills the sample: S_OK delivers it, S_FALSE ends the stream, a
    // failure ends it with EC_ERRORABORT. It runs on the streaming thread
    // and must not take the filter's state lock: Stop holds that lock while
    // it waits for the thread to end.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    // Called on the streaming thread before the first and after the last
    // buffer.
    virtual HRESULT OnThreadStartPlay() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }

    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT CheckMediaType(const CMediaType* type) override;

  protected:
    // True once the pin was told to stop.
    bool StopRequested() const { return stopRequested_.load(); }
    CSource* m_pFilter;

  private:
    void ThreadProc();
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
};

class CSource : public CBaseFilter {
  public:
    CSource(LPCTSTR name, LPUNKNOWN outer, CLSID classId, HRESULT* result);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    CCritSec* pStateLock() { return &m_cStateLock; }
    // Pins add themselves on construction and are deleted with the filter.
    HRESULT AddPin(CSourceStream* pin);

  protected:
    CCritSec m_cStateLock;
    std::vector<CSourceStream*> m_paStreams;
};
