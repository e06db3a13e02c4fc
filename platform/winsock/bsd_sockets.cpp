// The BSD socket calls behind the Winsock service. Nothing here knows the
// Windows names; failures come back as errno values.
#include "platform/winsock/bsd_sockets_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform::bsd {

namespace {

int Fail(int* error) {
    *error = errno;
    return -1;
}

}  // namespace

int Receive(int fd, char* buffer, int length, bool peek, int* error) {
    ssize_t got;
    do {
        got = ::recv(fd, buffer, static_cast<size_t>(length), peek ? MSG_PEEK : 0);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? Fail(error) : static_cast<int>(got);
}

int Send(int fd, const char* buffer, int length, int* error) {
    ssize_t sent;
    // A peer that went away is an error to report, not a signal that ends
    // the program.
    do {
        sent = ::send(fd, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? Fail(error) : static_cast<int>(sent);
}

int Accept(int fd, uint32_t* address, uint16_t* port, int* error) {
    sockaddr_storage peer = {};
    socklen_t length = sizeof(peer);
    int accepted;
    do {
        accepted = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    if (accepted < 0) {
        return Fail(error);
    }
    *address = 0;
    *port = 0;
    if (peer.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
        *address = in->sin_addr.s_addr;
        *port = in->sin_port;
    }
    return accepted;
}

int SetNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return -1;
    }
    return 0;
}

void Close(int fd) {
    ::close(fd);
}

int ReadableBytes(int fd) {
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) < 0) {
        return 0;
    }
    return count;
}

bool Writable(int fd) {
    pollfd watch = {fd, POLLOUT, 0};
    return ::poll(&watch, 1, 0) == 1 && (watch.revents & POLLOUT) != 0;
}

bool PeerEnded(int fd, int* error) {
    *error = 0;
    pollfd watch = {fd, POLLRDHUP, 0};
    if (::poll(&watch, 1, 0) != 1) {
        return false;
    }
    if ((watch.revents & POLLERR) != 0) {
        int pending = 0;
        socklen_t length = sizeof(pending);
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length);
        *error = pending != 0 ? pending : ECONNRESET;
    }
    return (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

int StreamPair(int fds[2]) {
    return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
}

namespace {

// A TCP socket and the address 127.0.0.1:port.
int LoopbackSocket(uint16_t port, sockaddr_in* address) {
    *address = {};
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address->sin_port = htons(port);
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

}  // namespace

int LoopbackListener(uint16_t* port) {
    sockaddr_in address;
    int fd = LoopbackSocket(0, &address);
    socklen_t length = sizeof(address);
    if (fd < 0) {
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0 ||
        ::listen(fd, 8) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

int ConnectLoopback(uint16_t port) {
    sockaddr_in address;
    int fd = LoopbackSocket(port, &address);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void CloseWithReset(int fd) {
    linger abortive = {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
    ::close(fd);
}

}  // namespace platform::bsd
