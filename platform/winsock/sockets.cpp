// The Winsock calls on BSD sockets: start and cleanup, accept, send,
// receive and close, and the registration of a window for socket events.
// Each call checks its socket in the table (table.cpp) under the table's
// lock, runs the BSD call outside it, and then arms the events the call
// answers. Only stream sockets made by accept or the test hooks exist here:
// there is no socket(), bind(), listen() or connect().
#include <cerrno>
#include <cstring>

#include "platform/winsock/bsd_sockets_internal.h"
#include "platform/winsock/winsock_internal.h"

namespace {

constexpr LONG kServedEvents = FD_READ | FD_WRITE | FD_CLOSE;
constexpr short kFamilyInet = 2;

using platform::winsock::SocketEntry;
using platform::winsock::Sockets;

// The checks of a receive or a send, under the table's lock: a live socket,
// a buffer, no flag but those served. The descriptor in *fd.
bool TransferAllowed(SOCKET s, const void* buffer, int length, int otherFlags, int* fd) {
    SocketEntry* entry = platform::winsock::UsableSocket(s);
    if (entry == nullptr) {
        return false;
    }
    int error = 0;
    if (buffer == nullptr || length < 0) {
        error = WSAEFAULT;
    } else if (otherFlags != 0) {
        error = WSAEOPNOTSUPP;
    }
    if (error != 0) {
        platform::winsock::SetWsaError(error);
        return false;
    }
    *fd = entry->fd;
    return true;
}

// Arms events of a socket that is still open after a call and posts those
// that are due at once.
template <typename Arm>
void ArmAndPost(SOCKET s, Arm arm) {
    std::vector<platform::winsock::Notice> notices;
    {
        std::lock_guard<std::mutex> guard(Sockets().lock);
        if (SocketEntry* entry = platform::winsock::FindSocket(s)) {
            arm(entry);
            platform::winsock::CollectDueEvents(s, entry, &notices);
        }
    }
    platform::winsock::PostNotices(notices);
}

// A count, or SOCKET_ERROR with the errno of a failure as the last error.
int Result(int count, int error) {
    return count < 0 ? platform::winsock::Fail(platform::winsock::WsaErrorOfErrno(error)) : count;
}

}  // namespace

using platform::winsock::Notice;
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
                platform::winsock::RemoveSocket(platform::winsock::SocketOfSlot(slot));
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
    return platform::winsock::LastWsaError();
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
        peer.sin_family = kFamilyInet;
        peer.sin_port = peerPort;
        peer.sin_addr.S_un.S_addr = peerAddress;
        std::memcpy(address, &peer, sizeof(peer));
        *addressLength = static_cast<int>(sizeof(peer));
    }
    return accepted;
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    int fd;
    {
        std::lock_guard<std::mutex> guard(Sockets().lock);
        if (!TransferAllowed(s, buffer, length, flags & ~MSG_PEEK, &fd)) {
            return SOCKET_ERROR;
        }
    }
    bool peek = (flags & MSG_PEEK) != 0;
    int error = 0;
    int got = platform::bsd::Receive(fd, buffer, length, peek, &error);
    ArmAndPost(s, [&](SocketEntry* entry) {
        entry->readArmed = true;
        entry->readStalledBytes = (peek && got >= 0 && got < length) ? got : 0;
    });
    return Result(got, error);
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    Table& table = Sockets();
    int fd;
    int allowed = length;
    bool refused = false;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        if (!TransferAllowed(s, buffer, length, flags, &fd)) {
            return SOCKET_ERROR;
        }
        if (table.sendLimit > 0 && allowed > table.sendLimit) {
            allowed = table.sendLimit;
        }
        refused = table.failSends > 0;
        table.failSends -= refused ? 1 : 0;
    }
    // A refused send behaves as one on a full socket.
    int error = EAGAIN;
    int sent = refused ? -1 : platform::bsd::Send(fd, buffer, allowed, &error);
    // A send that could not take everything arms FD_WRITE: it comes as soon
    // as the socket takes data again.
    if (sent < 0 ? error == EAGAIN : sent < length) {
        ArmAndPost(s, [](SocketEntry* entry) { entry->writeArmed = true; });
    }
    return Result(sent, error);
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
        if ((events & ~kServedEvents) != 0 || (events != 0 && window == nullptr)) {
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
