// The base filter: identity, state changes passed on to the connected pins,
// the clock and the graph it joined.
#include <cstring>

#include "platform/dshow/framework.h"

namespace {

WCHAR* CopyWideName(LPCWSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    size_t length = 0;
    while (name[length] != 0) {
        ++length;
    }
    auto* copy = new WCHAR[length + 1];
    std::memcpy(copy, name, (length + 1) * sizeof(WCHAR));
    return copy;
}

void CopyNameInto(WCHAR* target, size_t capacity, const WCHAR* name) {
    size_t i = 0;
    for (; name != nullptr && name[i] != 0 && i + 1 < capacity; ++i) {
        target[i] = name[i];
    }
    target[i] = 0;
}

}  // namespace

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId)
    : CUnknown(name, outer), m_clsid(classId), m_pLock(lock) {}

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId,
                         HRESULT* result)
    : CUnknown(name, outer, result), m_clsid(classId), m_pLock(lock) {}

CBaseFilter::~CBaseFilter() {
    delete[] m_pName;
    if (m_pClock != nullptr) {
        m_pClock->Release();
    }
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IBaseFilter) || IsEqualGUID(iid, IID_IMediaFilter) ||
        IsEqualGUID(iid, IID_IPersist)) {
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseFilter::GetClassID(CLSID* classId) {
    if (classId == nullptr) {
        return E_POINTER;
    }
    *classId = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT result = S_OK;
    if (m_State != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT pinResult = pin->Inactive();
                if (FAILED(pinResult) && SUCCEEDED(result)) {
                    result = pinResult;
                }
            }
        }
    }
    m_State = State_Stopped;
    return result;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT result = pin->Active();
                if (FAILED(result)) {
                    return result;
                }
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
    CAutoLock lock(m_pLock);
    m_tStart = start;
    if (m_State == State_Stopped) {
        HRESULT result = Pause();
        if (FAILED(result)) {
            return result;
        }
    }
    if (m_State != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT result = pin->Run(start);
                if (FAILED(result)) {
                    return result;
                }
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD milliseconds, FILTER_STATE* state) {
    (void)milliseconds;
    if (state == nullptr) {
        return E_POINTER;
    }
    *state = m_State;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CAutoLock lock(m_pLock);
    if (clock != nullptr) {
        clock->AddRef();
    }
    if (m_pClock != nullptr) {
        m_pClock->Release();
    }
    m_pClock = clock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (clock == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    *clock = m_pClock;
    if (m_pClock != nullptr) {
        m_pClock->AddRef();
    }
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
    if (pins == nullptr) {
        return E_POINTER;
    }
    *pins = new CEnumPins(this, nullptr);
    return S_OK;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (pin == nullptr || id == nullptr) {
        return E_POINTER;
    }
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* candidate = GetPin(i);
        const WCHAR* name = candidate != nullptr ? candidate->Name() : nullptr;
        if (name == nullptr) {
            continue;
        }
        size_t k = 0;
        while (name[k] != 0 && name[k] == id[k]) {
            ++k;
        }
        if (name[k] == id[k]) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    CopyNameInto(info->achName, MAX_FILTER_NAME, m_pName);
    info->pGraph = m_pGraph;
    if (m_pGraph != nullptr) {
        m_pGraph->AddRef();
    }
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CAutoLock lock(m_pLock);
    m_pGraph = graph;
    m_pSink = nullptr;
    if (graph != nullptr) {
        void* sink = nullptr;
        // The graph outlives its filters' membership; no reference is kept.
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, &sink))) {
            m_pSink = static_cast<IMediaEventSink*>(sink);
            m_pSink->Release();
        }
    }
    delete[] m_pName;
    m_pName = graph != nullptr ? CopyWideName(name) : nullptr;
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
    (void)vendorInfo;
    return E_NOTIMPL;
}

BOOL CBaseFilter::IsActive() {
    return m_State != State_Stopped ? TRUE : FALSE;
}

BOOL CBaseFilter::IsStopped() {
    return m_State == State_Stopped ? TRUE : FALSE;
}

HRESULT CBaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_pSink;
    if (sink == nullptr) {
        return E_NOTIMPL;
    }
    if (code == EC_COMPLETE && param2 == 0) {
        param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    }
    return sink->Notify(code, param1, param2);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& time) {
    CAutoLock lock(m_pLock);
    if (m_pClock == nullptr) {
        return VFW_E_NO_CLOCK;
    }
    HRESULT result = m_pClock->GetTime(&time);
    if (SUCCEEDED(result)) {
        time -= m_tStart;
    }
    return result;
}
