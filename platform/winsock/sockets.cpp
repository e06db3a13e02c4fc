// The Winsock calls on BSD sockets: the socket table with its checked ids,
// start and cleanup, accept, send, receive and close, and the registration
// of a window for socket events. The notifier thread (notifier.cpp) and
// these calls decide together, under the table's lock, when an event is
// due; the rule is in CollectDueEvents.
#include <cerrno>
#include <cstring>

#include "platform/window.h"
#include "platform/winsock/bsd_sockets_internal.h"
#include "platform/winsock/winsock_internal.h"

namespace platform::winsock {

namespace {

constexpr int kSlotBits = 20;
constexpr SOCKET kSlotMask = (SOCKET{1} << kSlotBits) - 1;
constexpr LONG kServedEvents = FD_READ | FD_WRITE | FD_CLOSE;
constexpr short kFamilyInet = 2;

thread_local int t_lastError = 0;

SOCKET MakeId(uint32_t slot, uint32_t generation) {
    return (static_cast<SOCKET>(generation) << kSlotBits) | slot;
}

int Fail(int error) {
    SetWsaError(error);
    return SOCKET_ERROR;
}

// The entry of a live socket, or null with the reason set as the last error.
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

}  // namespace

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
    int broken = 0;
    if ((entry->events & FD_CLOSE) != 0 && !entry->closePosted &&
        bsd::PeerEnded(entry->fd, &broken) && (broken != 0 || waiting == 0)) {
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

using platform::winsock::Notice;
using platform::winsock::SocketEntry;
using platform::winsock::Sockets;
using platform::winsock::Table;

int WSAStartup(WORD versionRequested, LPWSADATA data) {
    int major = LOBYTE(versionRequested);
    int minor = HIBYTE(versionRequested);
    if (major < 1 || (major == 1 && minor < 1)) {
        return WSAVERNOTSUPPORTED;
    }
    if (data == nullptr) {
        return WSAEFAULT;
    }
    std::memset(data, 0, sizeof(*data));
    data->wVersion = (major > 2 || (major == 2 && minor > 2)) ? 0x0202 : versionRequested;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "BSD sockets");
    std::strcpy(data->szSystemStatus, "Running");
    Table& table = Sockets();
    bool first;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        first = table.startups++ == 0;
    }
    if (first) {
        platform::winsock::StartNotifier();
    }
    return 0;
}

int WSACleanup() {
    Table& table = Sockets();
    std::vector<int> open;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        if (table.startups == 0) {
            return platform::winsock::Fail(WSANOTINITIALISED);
        }
        if (--table.startups > 0) {
            return 0;
        }
        // The slots keep their generations, so that no id of a socket closed
        // here names a socket of a later start.
        for (size_t slot = 0; slot < table.slots.size(); ++slot) {
            SocketEntry& entry = table.slots[slot];
            if (entry.fd >= 0) {
                open.push_back(entry.fd);
                platform::winsock::RemoveSocket(
                    platform::winsock::MakeId(static_cast<uint32_t>(slot), entry.generation));
            }
        }
    }
    platform::winsock::StopNotifier();
    for (int fd : open) {
        platform::bsd::Close(fd);
    }
    return 0;
}

int WSAGetLastError() {
    return platform::winsock::t_lastError;
}

SOCKET accept(SOCKET s, sockaddr* address, int* addressLength) {
    Table& table = Sockets();
    int listener;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::UsableSocket(s);
        if (entry == nullptr) {
            return INVALID_SOCKET;
        }
        if (address != nullptr &&
            (addressLength == nullptr || *addressLength < static_cast<int>(sizeof(sockaddr_in)))) {
            platform::winsock::SetWsaError(WSAEFAULT);
            return INVALID_SOCKET;
        }
        if (table.failAccepts > 0) {
            --table.failAccepts;
            platform::winsock::SetWsaError(WSAENOBUFS);
            return INVALID_SOCKET;
        }
        listener = entry->fd;
    }
    // A listener that blocks waits here, outside the table's lock.
    uint32_t peerAddress = 0;
    uint16_t peerPort = 0;
    int error = 0;
    int fd = platform::bsd::Accept(listener, &peerAddress, &peerPort, &error);
    if (fd < 0) {
        platform::winsock::SetWsaError(platform::winsock::WsaErrorOfErrno(error));
        return INVALID_SOCKET;
    }
    SOCKET accepted;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        accepted = platform::winsock::AddSocket(fd);
    }
    if (accepted == INVALID_SOCKET) {
        platform::bsd::Close(fd);
        platform::winsock::SetWsaError(WSAEMFILE);
        return INVALID_SOCKET;
    }
    if (address != nullptr) {
        sockaddr_in peer = {};
        peer.sin_family = platform::winsock::kFamilyInet;
        peer.sin_port = peerPort;
        peer.sin_addr.S_un.S_addr = peerAddress;
        std::memcpy(address, &peer, sizeof(peer));
        *addressLength = static_cast<int>(sizeof(peer));
    }
    return accepted;
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    Table& table = Sockets();
    int fd;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::UsableSocket(s);
        if (entry == nullptr) {
            return SOCKET_ERROR;
        }
        if (buffer == nullptr || length < 0) {
            return platform::winsock::Fail(WSAEFAULT);
        }
        if ((flags & ~MSG_PEEK) != 0) {
            return platform::winsock::Fail(WSAEOPNOTSUPP);
        }
        fd = entry->fd;
    }
    bool peek = (flags & MSG_PEEK) != 0;
    int error = 0;
    int got = platform::bsd::Receive(fd, buffer, length, peek, &error);
    std::vector<Notice> notices;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::FindSocket(s);
        if (entry != nullptr) {
            entry->readArmed = true;
            entry->readStalledBytes = (peek && got >= 0 && got < length) ? got : 0;
            platform::winsock::CollectDueEvents(s, entry, &notices);
        }
    }
    platform::winsock::PostNotices(notices);
    if (got < 0) {
        return platform::winsock::Fail(platform::winsock::WsaErrorOfErrno(error));
    }
    return got;
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    Table& table = Sockets();
    int fd;
    int allowed = length;
    bool refused = false;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::UsableSocket(s);
        if (entry == nullptr) {
            return SOCKET_ERROR;
        }
        if (buffer == nullptr || length < 0) {
            return platform::winsock::Fail(WSAEFAULT);
        }
        if (flags != 0) {
            return platform::winsock::Fail(WSAEOPNOTSUPP);
        }
        if (table.sendLimit > 0 && allowed > table.sendLimit) {
            allowed = table.sendLimit;
        }
        refused = table.failSends > 0;
        table.failSends -= refused ? 1 : 0;
        fd = entry->fd;
    }
    // A refused send behaves as one on a full socket.
    int error = EAGAIN;
    int sent = refused ? -1 : platform::bsd::Send(fd, buffer, allowed, &error);
    std::vector<Notice> notices;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::FindSocket(s);
        // A send that could not take everything arms FD_WRITE: it comes as
        // soon as the socket takes data again.
        if (entry != nullptr && (sent < 0 ? error == EAGAIN : sent < length)) {
            entry->writeArmed = true;
            platform::winsock::CollectDueEvents(s, entry, &notices);
        }
    }
    platform::winsock::PostNotices(notices);
    if (sent < 0) {
        return platform::winsock::Fail(platform::winsock::WsaErrorOfErrno(error));
    }
    return sent;
}

int closesocket(SOCKET s) {
    Table& table = Sockets();
    int fd;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::UsableSocket(s);
        if (entry == nullptr) {
            return SOCKET_ERROR;
        }
        fd = entry->fd;
        platform::winsock::RemoveSocket(s);
    }
    // Closing the descriptor also takes it off the notifier's watch.
    platform::bsd::Close(fd);
    return 0;
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events) {
    Table& table = Sockets();
    std::vector<Notice> notices;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        SocketEntry* entry = platform::winsock::UsableSocket(s);
        if (entry == nullptr) {
            return SOCKET_ERROR;
        }
        if ((events & ~platform::winsock::kServedEvents) != 0 ||
            (events != 0 && window == nullptr)) {
            return platform::winsock::Fail(WSAEINVAL);
        }
        if (table.failAsyncSelects > 0) {
            --table.failAsyncSelects;
            return platform::winsock::Fail(WSAENOBUFS);
        }
        if (platform::bsd::SetNonBlocking(entry->fd) < 0) {
            return platform::winsock::Fail(platform::winsock::WsaErrorOfErrno(errno));
        }
        entry->window = events != 0 ? window : nullptr;
        entry->message = message;
        entry->events = events;
        entry->readArmed = true;
        entry->writeArmed = true;
        entry->closePosted = false;
        entry->readStalledBytes = 0;
        if (events != 0) {
            platform::winsock::WatchSocket(entry->fd, s);
            platform::winsock::CollectDueEvents(s, entry, &notices);
        }
    }
    platform::winsock::PostNotices(notices);
    return 0;
}
