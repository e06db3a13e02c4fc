// The memory reader's read queue: requests wait on the work list until the
// worker thread performs them against the stream, then on the done list
// until WaitForNext hands them back. A flush sends every waiting request
// back unperformed and waits for the ones being performed.
//
// Routes: a request's completion; Request and the worker thread; WaitForNext
// and the synchronous reads; the flushes; the thread's start and stop.
#include <new>

#include "movie/filters/async_reader_internal.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

HRESULT FromWin32(DWORD error) {
    return error == 0 ? E_FAIL : static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

}  // namespace

// ---- one request ---------------------------------------------------------

HRESULT AsyncReadRequest::Complete() {
    (void)queue_;
    stream_->Lock();
    HRESULT result = stream_->SetPointer(position_);
    if (result == S_OK) {
        DWORD actual = 0;
        result = stream_->Read(buffer_, static_cast<DWORD>(length_), aligned_, &actual);
        if (result == OLE_S_FIRST) {
            if (context_ != nullptr) {
                static_cast<IMediaSample*>(context_)->SetDiscontinuity(TRUE);
            }
            result = S_OK;
        }
        if (SUCCEEDED(result) && static_cast<LONG>(actual) != length_) {
            length_ = static_cast<LONG>(actual);
            result = S_FALSE;
        }
    }
    stream_->Unlock();
    result_ = result;
    return result;
}

// ---- queue ---------------------------------------------------------------

AsyncReadQueue::AsyncReadQueue(T_CMemStream* stream) : stream_(stream) {}

AsyncReadQueue::~AsyncReadQueue() {
    BeginFlush();
    StopThread();
    CAutoLock lock(&listLock_);
    while (AsyncReadRequest* request = done_.RemoveHead()) {
        delete request;
    }
    while (AsyncReadRequest* request = work_.RemoveHead()) {
        delete request;
    }
}

bool AsyncReadQueue::IsAligned(LONGLONG value) const {
    LONGLONG alignment = stream_->Alignment();
    return alignment <= 1 || value % alignment == 0;
}

HRESULT AsyncReadQueue::Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer,
                                LPVOID context, DWORD_PTR user) {
    if (aligned && (!IsAligned(position) || !IsAligned(length) ||
                    !IsAligned(static_cast<LONGLONG>(reinterpret_cast<uintptr_t>(buffer))))) {
        return VFW_E_BADALIGN;
    }
    auto* request = new (std::nothrow)
        AsyncReadRequest(this, stream_, position, length, aligned, buffer, context, user);
    if (request == nullptr) {
        return E_OUTOFMEMORY;
    }
    CAutoLock lock(&listLock_);
    if (flushing_) {
        delete request;
        return VFW_E_WRONG_STATE;
    }
    work_.AddTail(request);
    workEvent_.Set();
    HRESULT started = StartThread();
    if (FAILED(started)) {
        work_.Remove(request);
        delete request;
    }
    return started;
}

DWORD AsyncReadQueue::ThreadProc(LPVOID self) {
    return static_cast<AsyncReadQueue*>(self)->Work();
}

DWORD AsyncReadQueue::Work() {
    const HANDLE events[2] = {stopEvent_, workEvent_};
    for (;;) {
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1) {
            return 0;
        }
        PerformQueued();
    }
}

void AsyncReadQueue::PerformQueued() {
    for (;;) {
        AsyncReadRequest* request = nullptr;
        {
            CAutoLock lock(&listLock_);
            request = work_.RemoveHead();
            if (work_.GetCount() == 0) {
                workEvent_.Reset();
            }
            if (request == nullptr) {
                return;
            }
            ++inProgress_;
        }
        request->Complete();
        CAutoLock lock(&listLock_);
        PutDone(request);
        if (--inProgress_ == 0 && waitingForAll_) {
            allDoneEvent_.Set();
        }
    }
}

void AsyncReadQueue::PutDone(AsyncReadRequest* request) {
    done_.AddTail(request);
    doneEvent_.Set();
}

AsyncReadRequest* AsyncReadQueue::TakeDone() {
    AsyncReadRequest* request = done_.RemoveHead();
    // While a flush runs the event stays set, so that waiters hear of it.
    if (done_.GetCount() == 0 && (!flushing_ || waitingForAll_)) {
        doneEvent_.Reset();
    }
    return request;
}

HRESULT AsyncReadQueue::WaitForNext(DWORD timeout, LPVOID* contextOut, DWORD_PTR* userOut,
                                    LONG* actualOut) {
    *contextOut = nullptr;
    *userOut = 0;
    *actualOut = 0;
    AsyncReadRequest* request = nullptr;
    for (;;) {
        if (!doneEvent_.Wait(timeout)) {
            return VFW_E_TIMEOUT;
        }
        CAutoLock lock(&listLock_);
        request = TakeDone();
        if (request != nullptr) {
            break;
        }
        if (flushing_ && !waitingForAll_) {
            return VFW_E_WRONG_STATE;
        }
    }
    HRESULT result = request->Result();
    if (result == S_FALSE) {
        // A short read is the end of the data only when it stops at the end.
        LONGLONG total = stream_->Size(nullptr);
        result = request->Position() + request->Length() == total ? S_OK : E_FAIL;
    }
    *actualOut = request->Length();
    *contextOut = request->Context();
    *userOut = request->User();
    delete request;
    return result;
}

HRESULT AsyncReadQueue::SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer,
                                        LONG* actualOut, LPVOID context) {
    if (!IsAligned(position) || !IsAligned(length) ||
        !IsAligned(static_cast<LONGLONG>(reinterpret_cast<uintptr_t>(buffer)))) {
        return VFW_E_BADALIGN;
    }
    AsyncReadRequest request(this, stream_, position, length, TRUE, buffer, context, 0);
    HRESULT result = request.Complete();
    *actualOut = request.Length();
    return result;
}

HRESULT AsyncReadQueue::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (IsAligned(position) && IsAligned(length) &&
        IsAligned(static_cast<LONGLONG>(reinterpret_cast<uintptr_t>(buffer)))) {
        LONG actual = 0;
        return SyncReadAligned(position, length, buffer, &actual, nullptr);
    }
    AsyncReadRequest request(this, stream_, position, length, FALSE, buffer, nullptr, 0);
    return request.Complete();
}

HRESULT AsyncReadQueue::Length(LONGLONG* total, LONGLONG* available) {
    if (total == nullptr) {
        return E_POINTER;
    }
    *total = stream_->Size(available);
    return S_OK;
}

HRESULT AsyncReadQueue::Alignment(LONG* alignment) {
    if (alignment == nullptr) {
        return E_POINTER;
    }
    *alignment = static_cast<LONG>(stream_->Alignment());
    return S_OK;
}

HRESULT AsyncReadQueue::BeginFlush() {
    {
        CAutoLock lock(&listLock_);
        flushing_ = TRUE;
        while (AsyncReadRequest* request = work_.RemoveHead()) {
            PutDone(request);
        }
        workEvent_.Reset();
        if (inProgress_ == 0) {
            doneEvent_.Set();
            return S_OK;
        }
        waitingForAll_ = TRUE;
    }
    // The reads under way end on the worker thread, which needs the list
    // lock to hand them in.
    allDoneEvent_.Wait();
    CAutoLock lock(&listLock_);
    waitingForAll_ = FALSE;
    doneEvent_.Set();
    return S_OK;
}

HRESULT AsyncReadQueue::EndFlush() {
    CAutoLock lock(&listLock_);
    flushing_ = FALSE;
    if (done_.GetCount() > 0) {
        doneEvent_.Set();
    } else {
        doneEvent_.Reset();
    }
    return S_OK;
}

HRESULT AsyncReadQueue::StartThread() {
    if (thread_ != nullptr) {
        return S_OK;
    }
    stopEvent_.Reset();
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, ThreadProc, this, 0, &id);
    return thread_ != nullptr ? S_OK : FromWin32(GetLastError());
}

void AsyncReadQueue::StopThread() {
    if (thread_ == nullptr) {
        return;
    }
    stopEvent_.Set();
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

}  // namespace tessel
