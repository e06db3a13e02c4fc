// The renderer base. A sample that arrives while the renderer is paused
// waits for Run; while running it waits for the clock to reach the run's
// start plus the sample's start time. Stop and flushing wake every wait.
#include "platform/dshow/renderer.h"

#include "platform/kernel.h"

// ---- input pin -----------------------------------------------------------

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, HRESULT* result, LPCWSTR pinName)
    : CBaseInputPin("renderer input", renderer, renderer->InterfaceLock(), result, pinName),
      m_pRenderer(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* type) {
    return m_pRenderer->CheckMediaType(type);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* type) {
    HRESULT result = CBasePin::SetMediaType(type);
    if (FAILED(result)) {
        return result;
    }
    return m_pRenderer->SetMediaType(type);
}

HRESULT CRendererInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT result = CBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(result)) {
        return result;
    }
    return m_pRenderer->CompleteConnect(receivePin);
}

HRESULT CRendererInputPin::BreakConnect() {
    m_pRenderer->BreakConnect();
    return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
    HRESULT result = CBaseInputPin::Receive(sample);
    if (result != S_OK) {
        return result;
    }
    return m_pRenderer->Receive(sample);
}

HRESULT CRendererInputPin::EndOfStream() {
    HRESULT result = CheckStreaming();
    if (result != S_OK) {
        return result;
    }
    return m_pRenderer->EndOfStream();
}

HRESULT CRendererInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    return m_pRenderer->BeginFlush();
}

HRESULT CRendererInputPin::EndFlush() {
    CBaseInputPin::EndFlush();
    return m_pRenderer->EndFlush();
}

// ---- renderer ------------------------------------------------------------

CBaseRenderer::CBaseRenderer(REFCLSID classId, LPCTSTR name, LPUNKNOWN outer, HRESULT* result)
    : CBaseFilter(name, outer, &m_InterfaceLock, classId, result),
      adviseEvent_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    m_pInputPin = new CRendererInputPin(this, result, u"In");
}

CBaseRenderer::~CBaseRenderer() {
    if (runClock_ != nullptr) {
        runClock_->Release();
    }
    delete m_pInputPin;
    CloseHandle(adviseEvent_);
}

CBasePin* CBaseRenderer::GetPin(int index) {
    return index == 0 ? m_pInputPin : nullptr;
}

HRESULT CBaseRenderer::SetMediaType(const CMediaType* type) {
    (void)type;
    return S_OK;
}

HRESULT CBaseRenderer::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    return S_OK;
}

HRESULT CBaseRenderer::BreakConnect() {
    return S_OK;
}

HRESULT CBaseRenderer::Stop() {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        scheduleState_ = State_Stopped;
        endOfStream_ = false;
        completeSent_ = false;
        ++generation_;
    }
    stateChanged_.notify_all();
    SetEvent(adviseEvent_);
    CAutoLock lock(&m_InterfaceLock);
    return CBaseFilter::Stop();
}

HRESULT CBaseRenderer::Pause() {
    CAutoLock lock(&m_InterfaceLock);
    HRESULT result = CBaseFilter::Pause();
    if (FAILED(result)) {
        return result;
    }
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        scheduleState_ = State_Paused;
        ++generation_;
    }
    stateChanged_.notify_all();
    SetEvent(adviseEvent_);
    return S_OK;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME start) {
    CAutoLock lock(&m_InterfaceLock);
    HRESULT result = CBaseFilter::Run(start);
    if (FAILED(result)) {
        return result;
    }
    bool sendComplete = false;
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        scheduleState_ = State_Running;
        ++generation_;
        runStart_ = start;
        if (m_pClock != nullptr) {
            m_pClock->AddRef();
        }
        if (runClock_ != nullptr) {
            runClock_->Release();
        }
        runClock_ = m_pClock;
        sendComplete = endOfStream_ && !completeSent_;
        completeSent_ = completeSent_ || sendComplete;
    }
    stateChanged_.notify_all();
    SetEvent(adviseEvent_);
    if (sendComplete) {
        SendEndOfStream();
    }
    return S_OK;
}

CBaseRenderer::Wait CBaseRenderer::WaitForRenderTime(IMediaSample* sample) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    for (;;) {
        // Reset before reading the state: a change after the read sets the
        // event again, so the wait below cannot miss it.
        ResetEvent(adviseEvent_);
        unsigned generation;
        REFERENCE_TIME runStart;
        IReferenceClock* clock = nullptr;
        {
            std::unique_lock<std::mutex> lock(stateMutex_);
            stateChanged_.wait(lock,
                               [this] { return scheduleState_ != State_Paused || flushing_; });
            if (scheduleState_ == State_Stopped || flushing_) {
                return Wait::Abort;
            }
            generation = generation_;
            runStart = runStart_;
            clock = runClock_;
            if (clock != nullptr) {
                clock->AddRef();
            }
        }
        if (clock == nullptr || !timed) {
            if (clock != nullptr) {
                clock->Release();
            }
            return Wait::Due;
        }
        REFERENCE_TIME now = 0;
        clock->GetTime(&now);
        if (now >= runStart + start) {
            clock->Release();
            return Wait::Due;
        }
        DWORD_PTR cookie = 0;
        HRESULT advised =
            clock->AdviseTime(runStart, start, reinterpret_cast<HEVENT>(adviseEvent_), &cookie);
        if (SUCCEEDED(advised)) {
            WaitForSingleObject(adviseEvent_, INFINITE);
            clock->Unadvise(cookie);
        }
        clock->Release();
        if (FAILED(advised)) {
            return Wait::Due;
        }
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (generation_ == generation) {
            continue;  // woken by the clock: the time check above decides
        }
    }
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
    if (WaitForRenderTime(sample) == Wait::Abort) {
        HRESULT state = m_pInputPin->CheckStreaming();
        return state != S_OK ? state : S_FALSE;
    }
    CAutoLock lock(&m_RendererLock);
    OnRenderStart(sample);
    HRESULT result = DoRenderSample(sample);
    OnRenderEnd(sample);
    return FAILED(result) ? result : S_OK;
}

HRESULT CBaseRenderer::EndOfStream() {
    bool sendComplete = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        endOfStream_ = true;
        sendComplete = scheduleState_ == State_Running && !completeSent_;
        completeSent_ = completeSent_ || sendComplete;
    }
    if (sendComplete) {
        SendEndOfStream();
    }
    return S_OK;
}

void CBaseRenderer::SendEndOfStream() {
    NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT CBaseRenderer::BeginFlush() {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        flushing_ = true;
        ++generation_;
    }
    stateChanged_.notify_all();
    SetEvent(adviseEvent_);
    return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    flushing_ = false;
    endOfStream_ = false;
    completeSent_ = false;
    return S_OK;
}

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID classId, LPCTSTR name, LPUNKNOWN outer,
                                       HRESULT* result)
    : CBaseRenderer(classId, name, outer, result) {}
