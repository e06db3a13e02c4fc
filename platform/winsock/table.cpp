// The socket table with its checked ids, the rule that decides when a
// socket event is due (CollectDueEvents, used by the calls and by the
// notifier thread under the table's lock), and the thread's last error.
#include <cerrno>

#include "platform/window.h"
#include "platform/winsock/bsd_sockets_internal.h"
#include "platform/winsock/winsock_internal.h"

namespace platform::winsock {

namespace {

constexpr int kSlotBits = 20;
constexpr SOCKET kSlotMask = (SOCKET{1} << kSlotBits) - 1;

thread_local int t_lastError = 0;

SOCKET MakeId(uint32_t slot, uint32_t generation) {
    return (static_cast<SOCKET>(generation) << kSlotBits) | slot;
}

}  // namespace

int Fail(int error) {
    SetWsaError(error);
    return SOCKET_ERROR;
}

int LastWsaError() {
    return t_lastError;
}

SocketEntry* UsableSocket(SOCKET s) {
    if (Sockets().startups == 0) {
        SetWsaError(WSANOTINITIALISED);
        return nullptr;
    }
    SocketEntry* entry = FindSocket(s);
    if (entry == nullptr) {
        SetWsaError(WSAENOTSOCK);
    }
    return entry;
}

Table& Sockets() {
    static Table* table = new Table();  // lives as long as the notifier may use it
    return *table;
}

SOCKET AddSocket(int fd) {
    Table& table = Sockets();
    uint32_t slot;
    if (!table.freeSlots.empty()) {
        slot = table.freeSlots.back();
        table.freeSlots.pop_back();
    } else {
        if (table.slots.size() > kSlotMask) {
            return INVALID_SOCKET;
        }
        slot = static_cast<uint32_t>(table.slots.size());
        table.slots.emplace_back();
    }
    SocketEntry& entry = table.slots[slot];
    uint32_t generation = entry.generation + 1;
    entry = SocketEntry();
    entry.fd = fd;
    entry.generation = generation;
    return MakeId(slot, generation);
}

SocketEntry* FindSocket(SOCKET s) {
    Table& table = Sockets();
    SOCKET slot = s & kSlotMask;
    if (s == INVALID_SOCKET || slot >= table.slots.size()) {
        return nullptr;
    }
    SocketEntry& entry = table.slots[slot];
    if (entry.fd < 0 || MakeId(static_cast<uint32_t>(slot), entry.generation) != s) {
        return nullptr;
    }
    return &entry;
}

void RemoveSocket(SOCKET s) {
    SocketEntry* entry = FindSocket(s);
    if (entry == nullptr) {
        return;
    }
    uint32_t generation = entry->generation;
    *entry = SocketEntry();
    entry->generation = generation;
    Sockets().freeSlots.push_back(static_cast<uint32_t>(s & kSlotMask));
}

SOCKET SocketOfSlot(size_t slot) {
    const SocketEntry& entry = Sockets().slots[slot];
    return entry.fd >= 0 ? MakeId(static_cast<uint32_t>(slot), entry.generation) : INVALID_SOCKET;
}

int OpenSockets() {
    int count = 0;
    for (const SocketEntry& entry : Sockets().slots) {
        count += entry.fd >= 0 ? 1 : 0;
    }
    return count;
}

// An event is due when it is registered and armed and the socket's state
// calls for it. FD_CLOSE after a graceful end waits until the data before
// it has been read; a broken connection reports at once with its error.
void CollectDueEvents(SOCKET s, SocketEntry* entry, std::vector<Notice>* out) {
    if (entry->window == nullptr || entry->events == 0) {
        return;
    }
    auto notice = [&](int event, int error) {
        out->push_back({entry->window, entry->message, s,
                        static_cast<LPARAM>(WSAMAKESELECTREPLY(event, error))});
    };
    int waiting = bsd::ReadableBytes(entry->fd);
    if ((entry->events & FD_READ) != 0 && entry->readArmed && waiting > 0 &&
        waiting != entry->readStalledBytes) {
        entry->readArmed = false;
        entry->readStalledBytes = 0;
        notice(FD_READ, 0);
    }
    if ((entry->events & FD_WRITE) != 0 && entry->writeArmed && bsd::Writable(entry->fd)) {
        entry->writeArmed = false;
        notice(FD_WRITE, 0);
    }
    // The end is looked at before the data counted again: data and the end
    // can both arrive between the count above and this look, and a close
    // posted on the old count would come before the read of the data.
    int broken = 0;
    if ((entry->events & FD_CLOSE) != 0 && !entry->closePosted &&
        bsd::PeerEnded(entry->fd, &broken) &&
        (broken != 0 || bsd::ReadableBytes(entry->fd) == 0)) {
        entry->closePosted = true;
        notice(FD_CLOSE, broken != 0 ? WsaErrorOfErrno(broken) : 0);
    }
}

void PostNotices(const std::vector<Notice>& notices) {
    for (const Notice& n : notices) {
        PostMessageA(n.window, n.message, static_cast<WPARAM>(n.socket), n.event);
    }
}

void SetWsaError(int error) {
    t_lastError = error;
}

int WsaErrorOfErrno(int error) {
    switch (error) {
        case EAGAIN:
            return WSAEWOULDBLOCK;
        case EINTR:
            return WSAEINTR;
        case EBADF:
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EACCES:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EOPNOTSUPP:
            return WSAEOPNOTSUPP;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ECONNABORTED:
            return WSAECONNABORTED;
        case ECONNRESET:
        case EPIPE:
            return WSAECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case ENOTCONN:
            return WSAENOTCONN;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        default:
            return WSAEINVAL;
    }
}

}  // namespace platform::winsock
