// The per-thread message queue: posted and sent messages, WM_QUIT, WM_PAINT
// and WM_TIMER in Windows' order of retrieval. Routes of a look at the
// queue: messages other threads sent run first, then the first posted
// message that passes the filters, then WM_QUIT, then a WM_PAINT made for a
// window with something to paint, then a due timer. SendMessageA calls the
// procedure directly on its own thread, else queues the message to the
// owner's thread and answers what is sent to it while it waits. A waiting
// GetMessageA sleeps in slices, short on the thread that takes the screen's
// events, and runs another event loop's hook (GTK's) on each look.
// Not here: message hooks, messages to other processes, TranslateMessage
// (keyboard.cpp).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <unordered_map>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

std::mutex& QueueTableLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>>& QueueTable() {
    static auto* table = new std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>>();
    return *table;
}

// Ends the thread's queue with the thread: senders waiting on it get 0.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) {
            return;
        }
        {
            std::lock_guard<std::mutex> table(QueueTableLock());
            auto found = QueueTable().find(queue->threadId);
            if (found != QueueTable().end() && found->second.lock() == queue) {
                QueueTable().erase(found);
            }
        }
        std::deque<SentMessage*> pending;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->alive = false;
            pending.swap(queue->sent);
        }
        for (SentMessage* sent : pending) {
            std::lock_guard<std::mutex> guard(sent->sender->lock);
            sent->done = true;
            sent->sender->wake.notify_all();
        }
    }
};

thread_local QueueHolder currentQueue;

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return message >= filterMin && message <= filterMax;
}

bool IsDescendantOrSelf(HWND window, HWND ancestor) {
    for (HWND w = window; w != nullptr;) {
        if (w == ancestor) {
            return true;
        }
        WindowRecord* record = FindWindowRecord(w);
        w = record != nullptr ? record->parent : nullptr;
    }
    return false;
}

// The window filter of PeekMessageA: null takes everything of the thread,
// -1 only thread messages, a window its own messages and its children's.
bool WindowMatches(HWND window, HWND filter) {
    if (filter == nullptr) {
        return true;
    }
    if (filter == reinterpret_cast<HWND>(-1)) {
        return window == nullptr;
    }
    if (window == nullptr) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    return IsDescendantOrSelf(window, filter);
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = MessageTime();
    GetCursorPos(&msg.pt);
    return msg;
}

void PostTo(ThreadQueue& queue, const MSG& msg) {
    std::lock_guard<std::mutex> guard(queue.lock);
    queue.posted.push_back(msg);
    queue.wake.notify_all();
}

// Runs the messages other threads sent to this thread's windows.
void ProcessSentMessages(ThreadQueue& queue) {
    for (;;) {
        SentMessage* sent = nullptr;
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            if (queue.sent.empty()) {
                return;
            }
            sent = queue.sent.front();
            queue.sent.pop_front();
        }
        LRESULT result = CallProcedure(sent->window, sent->message, sent->wParam, sent->lParam);
        std::shared_ptr<ThreadQueue> sender = sent->sender;
        std::lock_guard<std::mutex> guard(sender->lock);
        sent->result = result;
        sent->done = true;
        sender->wake.notify_all();
    }
}

bool TakePosted(ThreadQueue& queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax,
                bool remove) {
    // Window lock before queue lock, everywhere.
    std::lock_guard<std::recursive_mutex> windows(WindowLock());
    std::lock_guard<std::mutex> guard(queue.lock);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!InRange(it->message, filterMin, filterMax) || !WindowMatches(it->hwnd, filter)) {
            continue;
        }
        *out = *it;
        if (remove) {
            queue.posted.erase(it);
        }
        return true;
    }
    if (queue.quitPosted && filter == nullptr && InRange(WM_QUIT, filterMin, filterMax)) {
        *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) {
            queue.quitPosted = false;
        }
        return true;
    }
    return false;
}

// WM_PAINT is not queued: it is made while a visible window of the thread
// has something to paint, and keeps coming until the window is validated.
bool TakePaint(ThreadQueue& queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax) {
    if (!InRange(WM_PAINT, filterMin, filterMax)) {
        return false;
    }
    HWND found = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        for (WindowRecord* window : TopLevelWindows()) {
            if (window->queue.get() == &queue && window->needsPaint &&
                (window->style & WS_VISIBLE) != 0 && !window->destroying) {
                found = window->handle;
                break;
            }
        }
    }
    if (found == nullptr || !WindowMatches(found, filter)) {
        return false;
    }
    *out = MakeMessage(found, WM_PAINT, 0, 0);
    return true;
}

// WM_TIMER is made when a timer is due and nothing else waits; a timer that
// fell behind gives one message, not one per missed period.
bool TakeTimer(ThreadQueue& queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax,
               bool remove) {
    if (!InRange(WM_TIMER, filterMin, filterMax)) {
        return false;
    }
    uint64_t now = NowMilliseconds();
    std::lock_guard<std::recursive_mutex> windows(WindowLock());
    std::lock_guard<std::mutex> guard(queue.lock);
    for (Timer& timer : queue.timers) {
        if (timer.due > now || !WindowMatches(timer.window, filter)) {
            continue;
        }
        *out = MakeMessage(timer.window, WM_TIMER, timer.id,
                           reinterpret_cast<LPARAM>(timer.procedure));
        if (remove) {
            timer.due = now + timer.elapse;
        }
        return true;
    }
    return false;
}

bool FetchMessage(ThreadQueue& queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax,
                  bool remove) {
    ProcessSentMessages(queue);
    if (TakePosted(queue, out, filter, filterMin, filterMax, remove) ||
        TakePaint(queue, out, filter, filterMin, filterMax) ||
        TakeTimer(queue, out, filter, filterMin, filterMax, remove)) {
        if (remove) {
            UpdateThreadKeyState(queue, *out);
        }
        return true;
    }
    return false;
}

struct PumpHook {
    std::mutex lock;
    void (*hook)(void*) = nullptr;
    void* context = nullptr;
};

PumpHook& Hook() {
    static auto* hook = new PumpHook();
    return *hook;
}

bool HasPumpHook() {
    std::lock_guard<std::mutex> guard(Hook().lock);
    return Hook().hook != nullptr;
}

// Runs the other loop, then the screen's: both may turn into messages.
void PumpEverything() {
    void (*hook)(void*) = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> guard(Hook().lock);
        hook = Hook().hook;
        context = Hook().context;
    }
    if (hook != nullptr) {
        hook(context);
    }
    PumpWindowEvents();
}

// How long a waiting GetMessageA may sleep: until the next timer, and not
// long on the thread that must keep taking the screen's events.
std::chrono::milliseconds WaitSlice(ThreadQueue& queue) {
    uint64_t limit = IsVideoThread() || HasPumpHook() ? 5 : 50;
    uint64_t now = NowMilliseconds();
    std::lock_guard<std::mutex> guard(queue.lock);
    for (const Timer& timer : queue.timers) {
        limit = std::min<uint64_t>(limit, timer.due > now ? timer.due - now : 0);
    }
    return std::chrono::milliseconds(limit);
}

void WaitForWork(ThreadQueue& queue) {
    std::chrono::milliseconds slice = WaitSlice(queue);
    std::unique_lock<std::mutex> guard(queue.lock);
    if (!queue.posted.empty() || !queue.sent.empty() || queue.quitPosted) {
        return;
    }
    queue.wake.wait_for(guard, slice);
}

bool IsBadFilter(HWND filter) {
    if (filter == nullptr || filter == reinterpret_cast<HWND>(-1)) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    return !IsLiveWindow(filter);
}

}  // namespace

uint64_t NowMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD MessageTime() {
    return static_cast<DWORD>(NowMilliseconds());
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!currentQueue.queue) {
        auto queue = std::make_shared<ThreadQueue>();
        queue->threadId = GetCurrentThreadId();
        std::lock_guard<std::mutex> table(QueueTableLock());
        QueueTable()[queue->threadId] = queue;
        currentQueue.queue = queue;
    }
    return currentQueue.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
    std::lock_guard<std::mutex> table(QueueTableLock());
    auto found = QueueTable().find(threadId);
    return found == QueueTable().end() ? nullptr : found->second.lock();
}

bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> queue;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            return false;
        }
        queue = record->queue;
    }
    PostTo(*queue, MakeMessage(window, message, wParam, lParam));
    return true;
}

void Deliver(bool post, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (post) {
        PostToWindow(window, message, wParam, lParam);
    } else {
        SendMessageA(window, message, wParam, lParam);
    }
}

LRESULT CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    WindowRecord* record = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        record = FindWindowRecord(window);
        if (record == nullptr) {
            return 0;
        }
        ++record->busy;
        procedure = record->procedure;
    }
    LRESULT result = procedure != nullptr ? procedure(window, message, wParam, lParam)
                                          : DefWindowProcA(window, message, wParam, lParam);
    EndBusyUse(record);
    return result;
}

void SetMessagePumpHook(void (*hook)(void* context), void* context) {
    std::lock_guard<std::mutex> guard(Hook().lock);
    Hook().hook = hook;
    Hook().context = context;
}

}  // namespace platform

using namespace platform;

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        PostTo(*CurrentQueue(), MakeMessage(nullptr, message, wParam, lParam));
        return TRUE;
    }
    if (!PostToWindow(window, message, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> queue =
        threadId == GetCurrentThreadId() ? CurrentQueue() : QueueOfThread(threadId);
    if (!queue) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PostTo(*queue, MakeMessage(nullptr, message, wParam, lParam));
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        target = record->queue;
    }
    std::shared_ptr<ThreadQueue> self = CurrentQueue();
    if (target == self) {
        return CallProcedure(window, message, wParam, lParam);
    }
    SentMessage sent{window, message, wParam, lParam, 0, false, self};
    {
        std::lock_guard<std::mutex> guard(target->lock);
        if (!target->alive) {
            return 0;
        }
        target->sent.push_back(&sent);
        target->wake.notify_all();
    }
    // While waiting, answer what others send to us, so that two threads
    // sending to each other do not lock up.
    for (;;) {
        ProcessSentMessages(*self);
        std::unique_lock<std::mutex> guard(self->lock);
        if (sent.done) {
            return sent.result;
        }
        if (self->sent.empty()) {
            self->wake.wait_for(guard, std::chrono::milliseconds(10));
        }
    }
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        return FALSE;
    }
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    PumpEverything();
    return FetchMessage(*queue, msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg == nullptr || IsBadFilter(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    for (;;) {
        PumpEverything();
        if (FetchMessage(*queue, msg, window, filterMin, filterMax, true)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        WaitForWork(*queue);
    }
}

BOOL WaitMessage() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    MSG msg;
    for (;;) {
        PumpEverything();
        if (FetchMessage(*queue, &msg, nullptr, 0, 0, false)) {
            return TRUE;
        }
        WaitForWork(*queue);
    }
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto procedure = reinterpret_cast<TIMERPROC>(msg->lParam);
        procedure(msg->hwnd, WM_TIMER, msg->wParam, MessageTime());
        return 0;
    }
    if (msg->hwnd == nullptr) {
        return 0;
    }
    return CallProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

void PostQuitMessage(int exitCode) {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->quitPosted = true;
    queue->quitCode = exitCode;
    queue->wake.notify_all();
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    std::shared_ptr<ThreadQueue> queue;
    if (window != nullptr) {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        queue = record->queue;
    } else {
        queue = CurrentQueue();
    }
    elapse = std::max<UINT>(elapse, USER_TIMER_MINIMUM);
    std::lock_guard<std::mutex> guard(queue->lock);
    if (window == nullptr) {
        // A thread timer gets a fresh id unless it names one of its own.
        static std::atomic<UINT_PTR> nextId{0x7FFF};
        bool known = std::any_of(queue->timers.begin(), queue->timers.end(),
                                 [&](const Timer& t) { return t.window == nullptr && t.id == id; });
        if (!known) {
            id = ++nextId;
        }
    }
    for (Timer& timer : queue->timers) {
        if (timer.window == window && timer.id == id) {
            timer.elapse = elapse;
            timer.procedure = procedure;
            timer.due = NowMilliseconds() + elapse;
            return id != 0 ? id : 1;
        }
    }
    queue->timers.push_back(Timer{window, id, elapse, procedure, NowMilliseconds() + elapse});
    queue->wake.notify_all();
    return id != 0 ? id : 1;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    std::shared_ptr<ThreadQueue> queue;
    if (window != nullptr) {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        queue = record->queue;
    } else {
        queue = CurrentQueue();
    }
    std::lock_guard<std::mutex> guard(queue->lock);
    auto& timers = queue->timers;
    auto found = std::find_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.window == window && t.id == id; });
    if (found == timers.end()) {
        return FALSE;
    }
    timers.erase(found);
    return TRUE;
}
