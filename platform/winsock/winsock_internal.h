// The socket table shared by the Winsock calls, the notifier thread and the
// test hooks. Internal to the platform layer.
#pragma once

#include <mutex>
#include <vector>

#include "platform/winsock.h"

namespace platform::winsock {

// One open socket. A SOCKET names a slot and the generation the slot had
// when the socket was made, so a closed socket's id never reaches the
// socket that takes its slot next.
struct SocketEntry {
    int fd = -1;
    uint32_t generation = 0;
    // The WSAAsyncSelect registration (no window: none).
    HWND window = nullptr;
    UINT message = 0;
    LONG events = 0;
    // An event is posted once and armed again by the call that answers it.
    bool readArmed = false;
    bool writeArmed = false;
    bool closePosted = false;
    // Bytes a peek found too few: FD_READ waits until more than these wait,
    // so that a reader waiting for a whole header is not woken in a loop.
    int readStalledBytes = 0;
};

// A message to post once the table's lock is let go.
struct Notice {
    HWND window;
    UINT message;
    SOCKET socket;
    LPARAM event;
};

struct Table {
    std::mutex lock;
    int startups = 0;
    std::vector<SocketEntry> slots;  // fd -1: free
    std::vector<uint32_t> freeSlots;
    // Test hooks (winsock_testing.h).
    int failAccepts = 0;
    int failAsyncSelects = 0;
    int failSends = 0;
    int sendLimit = 0;
};

Table& Sockets();

// The calls below expect the table's lock to be held.
SOCKET AddSocket(int fd);
SocketEntry* FindSocket(SOCKET s);
// The entry of a live socket of a started service, or null with the reason
// set as the last error.
SocketEntry* UsableSocket(SOCKET s);
void RemoveSocket(SOCKET s);
// The id of the socket in a slot, INVALID_SOCKET for a free slot.
SOCKET SocketOfSlot(size_t slot);
int OpenSockets();
// Adds the events that are due for an armed registration to `out`.
void CollectDueEvents(SOCKET s, SocketEntry* entry, std::vector<Notice>* out);

void PostNotices(const std::vector<Notice>& notices);
void SetWsaError(int error);
int LastWsaError();
// Sets the error and returns SOCKET_ERROR.
int Fail(int error);
int WsaErrorOfErrno(int error);

// The notifier thread: runs from the first start to the last cleanup and
// wakes the table for every change on a watched descriptor.
void StartNotifier();
void StopNotifier();
void WatchSocket(int fd, SOCKET s);

}  // namespace platform::winsock
