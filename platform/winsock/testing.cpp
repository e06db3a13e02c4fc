// The test hooks of winsock_testing.h.
#include "platform/winsock_testing.h"

#include "platform/winsock/bsd_sockets_internal.h"
#include "platform/winsock/winsock_internal.h"

namespace platform {

namespace {

// Adopts a descriptor into the table; closes it when the service is not
// started or the table is full.
bool Adopt(int fd, SOCKET* out) {
    winsock::Table& table = winsock::Sockets();
    std::lock_guard<std::mutex> guard(table.lock);
    *out = INVALID_SOCKET;
    if (table.startups == 0) {
        winsock::SetWsaError(WSANOTINITIALISED);
    } else {
        *out = winsock::AddSocket(fd);
        if (*out == INVALID_SOCKET) {
            winsock::SetWsaError(WSAEMFILE);
        }
    }
    if (*out == INVALID_SOCKET) {
        bsd::Close(fd);
        return false;
    }
    return true;
}

}  // namespace

bool MakeSocketPair(SOCKET* ours, int* peer) {
    int fds[2];
    if (bsd::StreamPair(fds) < 0) {
        winsock::SetWsaError(WSAEMFILE);
        return false;
    }
    if (!Adopt(fds[0], ours)) {
        bsd::Close(fds[1]);
        return false;
    }
    *peer = fds[1];
    return true;
}

bool OpenLoopbackListener(SOCKET* listener, uint16_t* port) {
    int fd = bsd::LoopbackListener(port);
    if (fd < 0) {
        winsock::SetWsaError(WSAEMFILE);
        return false;
    }
    return Adopt(fd, listener);
}

int ConnectLoopback(uint16_t port) {
    return bsd::ConnectLoopback(port);
}

void CloseWithReset(int peer) {
    bsd::CloseWithReset(peer);
}

void FailNextWinsockCalls(WinsockFailPoint point, int count) {
    winsock::Table& table = winsock::Sockets();
    std::lock_guard<std::mutex> guard(table.lock);
    switch (point) {
        case WinsockFailPoint::Accept:
            table.failAccepts = count;
            break;
        case WinsockFailPoint::AsyncSelect:
            table.failAsyncSelects = count;
            break;
        case WinsockFailPoint::Send:
            table.failSends = count;
            break;
    }
}

void LimitSendLength(int bytes) {
    winsock::Table& table = winsock::Sockets();
    std::lock_guard<std::mutex> guard(table.lock);
    table.sendLimit = bytes > 0 ? bytes : 0;
}

int OpenSocketCount() {
    winsock::Table& table = winsock::Sockets();
    std::lock_guard<std::mutex> guard(table.lock);
    return winsock::OpenSockets();
}

}  // namespace platform
