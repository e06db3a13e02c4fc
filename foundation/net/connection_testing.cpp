// The test hooks of connection_testing.h.
#include "foundation/net/connection_testing.h"

#include <cstring>

#include "foundation/memory/memory.h"
#include "platform/window.h"

namespace tessel {

namespace {

LRESULT SocketWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSocketEventMessage) {
        return OnSocketEvent(static_cast<uint32_t>(lParam), static_cast<SOCKET>(wParam));
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int StartNetworkForTesting() {
    if (g_network.started != 0) {
        return 0;
    }
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0) {
        return -1;
    }
    // The socket window needs no screen: a window of messages only.
    HWND window = platform::CreateProcWindow(SocketWindowProc, nullptr, 0, nullptr);
    if (window == nullptr) {
        WSACleanup();
        return -1;
    }
    std::memset(&g_network, 0, sizeof(g_network));
    ListInit(&g_network.head, &g_network.tail);
    InitHeldEvents();
    g_network.socketWindow = window;
    g_network.started = 1;
    return 0;
}

int SetListeningSocketForTesting(SOCKET listener) {
    if (g_network.started == 0 || g_network.listening != nullptr) {
        return -1;
    }
    auto* record =
        static_cast<NetConnection*>(AllocTrackedZeroed(sizeof(NetConnection), __FILE__, __LINE__));
    if (record == nullptr) {
        return -1;
    }
    record->valid = 1;
    record->socket = listener;
    g_network.listening = record;
    return 0;
}

void SetNetworkOptionsForTesting(int noBuffering, int noAutoClose) {
    g_network.noBuffering = noBuffering;
    g_network.noAutoClose = noAutoClose;
}

int32_t ConnectionHandleOfSlot(int slot) {
    if (slot < 0 || slot >= kConnectionSlots || g_network.slots[slot] == nullptr) {
        return -1;
    }
    return MakeConnectionHandle(slot, g_network.slots[slot]->check);
}

void SetFlushClockForTesting(int (*clock)()) {
    g_network.flushClock = clock;
}

HWND SocketWindowForTesting() {
    return g_network.socketWindow;
}

}  // namespace tessel
