// The notifier thread: one epoll set over every socket registered with
// WSAAsyncSelect, edge-triggered, so that the thread wakes once for each
// arrival of data, each time the socket takes data again and each end of
// the connection, and never spins on a state that lasts. What it posts is
// decided by CollectDueEvents under the table's lock.
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/winsock/winsock_internal.h"

namespace platform::winsock {

namespace {

// Socket ids are never 0; the stop request uses it.
constexpr uint64_t kStopId = 0;
constexpr int kEventsPerWait = 32;

struct Notifier {
    std::mutex lock;
    int epoll = -1;
    int stop = -1;
    std::thread thread;
};

Notifier& TheNotifier() {
    static Notifier* notifier = new Notifier();
    return *notifier;
}

void RunNotifier(int epoll) {
    epoll_event events[kEventsPerWait];
    for (;;) {
        int count = epoll_wait(epoll, events, kEventsPerWait, -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        bool stopping = false;
        std::vector<Notice> notices;
        {
            std::lock_guard<std::mutex> guard(Sockets().lock);
            for (int i = 0; i < count; ++i) {
                SOCKET s = static_cast<SOCKET>(events[i].data.u64);
                if (s == kStopId) {
                    stopping = true;
                    continue;
                }
                // A socket closed since the event was queued is gone.
                if (SocketEntry* entry = FindSocket(s)) {
                    CollectDueEvents(s, entry, &notices);
                }
            }
        }
        PostNotices(notices);
        if (stopping) {
            return;
        }
    }
}

}  // namespace

void StartNotifier() {
    Notifier& notifier = TheNotifier();
    std::lock_guard<std::mutex> guard(notifier.lock);
    if (notifier.epoll >= 0) {
        return;
    }
    int epoll = epoll_create1(EPOLL_CLOEXEC);
    int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event watch = {};
    watch.events = EPOLLIN;
    watch.data.u64 = kStopId;
    if (epoll < 0 || stop < 0 || epoll_ctl(epoll, EPOLL_CTL_ADD, stop, &watch) < 0) {
        // Without the thread, registrations still work; only the events
        // that the calls themselves find due are posted.
        if (epoll >= 0) {
            close(epoll);
        }
        if (stop >= 0) {
            close(stop);
        }
        return;
    }
    notifier.epoll = epoll;
    notifier.stop = stop;
    notifier.thread = std::thread(RunNotifier, epoll);
}

void StopNotifier() {
    Notifier& notifier = TheNotifier();
    int epoll;
    int stop;
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(notifier.lock);
        epoll = notifier.epoll;
        stop = notifier.stop;
        thread = std::move(notifier.thread);
        notifier.epoll = -1;
        notifier.stop = -1;
    }
    if (epoll < 0) {
        return;
    }
    // The thread may be waiting for the table's lock: join without holding
    // any lock of ours.
    uint64_t one = 1;
    ssize_t written = write(stop, &one, sizeof(one));
    (void)written;
    thread.join();
    close(epoll);
    close(stop);
}

void WatchSocket(int fd, SOCKET s) {
    Notifier& notifier = TheNotifier();
    std::lock_guard<std::mutex> guard(notifier.lock);
    if (notifier.epoll < 0) {
        return;
    }
    epoll_event watch = {};
    watch.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    watch.data.u64 = s;
    if (epoll_ctl(notifier.epoll, EPOLL_CTL_ADD, fd, &watch) < 0 && errno == EEXIST) {
        epoll_ctl(notifier.epoll, EPOLL_CTL_MOD, fd, &watch);
    }
}

}  // namespace platform::winsock
