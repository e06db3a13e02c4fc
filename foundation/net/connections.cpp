// The connection table and the life of a connection: the handle check,
// accept, the socket events, close with and without the flush, the
// per-frame pump and the end of the layer. Receiving and sending are in
// transfer.cpp. A socket event reaches OnSocketEvent through the socket
// window (or the main window) and is routed by its kind: read to RecvSocket,
// write to SendSocket, accept to AcceptNetWork, close and connect to flags.
// Nothing here starts the layer, opens the listening socket or connects
// out: the started flag and the socket window come from the test hook.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/net/connection_internal.h"
#include "foundation/runtime/message_pump.h"
#include "platform/kernel.h"
#include "platform/window.h"

namespace tessel {

NetworkState g_network;

namespace {

constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kHandleCheckMask = 0x07FF0000;
constexpr int32_t kHandleSlotMask = 0x0000FFFF;
constexpr int32_t kCheckNumbers = 2048;
constexpr int kFlushMilliseconds = 1000;
constexpr LONG kConnectionEvents = FD_READ | FD_WRITE | FD_CLOSE;

int FirstFreeSlot() {
    for (int slot = 0; slot < kConnectionSlots; ++slot) {
        if (g_network.slots[slot] == nullptr) {
            return slot;
        }
    }
    return -1;
}

void UnlinkHeld(NetConnection* connection) {
    if (connection->missedRead != 0) {
        ListUnlink(&connection->heldReadNode);
        connection->missedRead = 0;
    }
    if (connection->missedWrite != 0) {
        ListUnlink(&connection->heldWriteNode);
        connection->missedWrite = 0;
    }
}

// Takes a connection out of the table and frees it: the registration, the
// socket and its index entry, the held events, the rings, the list node,
// the slot.
void DeleteConnection(int32_t handle, NetConnection* connection) {
    if (connection->socket != INVALID_SOCKET) {
        UnindexSocket(connection->socket);
        WSAAsyncSelect(connection->socket, g_network.socketWindow, 0, 0);
        closesocket(connection->socket);
    }
    UnlinkHeld(connection);
    RingBufferRelease(&connection->receive);
    RingBufferRelease(&connection->send);
    ListUnlink(&connection->node);
    g_network.slots[handle & kHandleSlotMask] = nullptr;
    FreeTracked(connection);
}

int FlushClock() {
    return g_network.flushClock != nullptr ? g_network.flushClock() : ReadMillisecondClock();
}

bool WithinFlushTime(int start) {
    return ((FlushClock() - start) & 0x7FFFFFFF) < kFlushMilliseconds;
}

// What the send flush still has to send: the ring and the length's rest.
int64_t UnsentBytes(const NetConnection* connection) {
    return int64_t{connection->send.stored} + connection->unsentPrefixBytes;
}

HeldEvents& HeldOf(int event) {
    return event == FD_READ ? g_network.heldReads : g_network.heldWrites;
}

}  // namespace

int32_t MakeConnectionHandle(int slot, int32_t check) {
    return kConnectionHandleKind | ((check << 16) & kHandleCheckMask) | (slot & kHandleSlotMask);
}

NetConnection* FindConnection(int32_t handle) {
    if (g_network.started == 0 || handle < 0 ||
        (handle & kHandleKindMask) != kConnectionHandleKind) {
        return nullptr;
    }
    int slot = handle & kHandleSlotMask;
    if (slot >= kConnectionSlots) {
        return nullptr;
    }
    NetConnection* connection = g_network.slots[slot];
    if (connection == nullptr ||
        ((connection->check << 16) & kHandleCheckMask) != (handle & kHandleCheckMask)) {
        return nullptr;
    }
    return connection;
}

void DispatchSocketWindowMessages() {
    MSG msg;
    while (PeekMessageA(&msg, g_network.socketWindow, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
}

void InitHeldEvents() {
    ListInit(&g_network.heldReads.head, &g_network.heldReads.tail);
    ListInit(&g_network.heldWrites.head, &g_network.heldWrites.tail);
}

void HoldEvent(NetConnection* connection, int event) {
    bool read = event == FD_READ;
    int32_t* missed = read ? &connection->missedRead : &connection->missedWrite;
    if (*missed != 0) {
        return;  // the socket posted its event once; it runs once
    }
    *missed = 1;
    HeldEvents& held = HeldOf(event);
    ListInsertAfter(held.tail.previous,
                    read ? &connection->heldReadNode : &connection->heldWriteNode,
                    connection->node.value, connection);
    held.total += 1;
}

// Runs them directly, in arrival order: posted again as messages, they
// would be dispatched by the next receive's pump and held once more, every
// one of them for every connection before it.
void RunHeldEvents(int event) {
    HeldEvents& held = HeldOf(event);
    if (held.running != 0) {
        return;
    }
    held.running = 1;
    while (held.head.next != &held.tail) {
        ListNode* node = held.head.next;
        auto* connection = static_cast<NetConnection*>(node->data);
        int32_t handle = node->value;
        ListUnlink(node);
        if (event == FD_READ) {
            connection->missedRead = 0;
            RecvSocket(handle);
        } else {
            connection->missedWrite = 0;
            SendSocket(handle);
        }
    }
    held.running = 0;
}

int LogNetworkError(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return WriteLogFormat("ネットワークログ。%s[%d]", text, WSAGetLastError());
}

int AcceptNetWork() {
    if (g_network.started == 0) {
        return -1;
    }
    PumpNetworkMessages(0);
    if (g_network.listening == nullptr) {
        return -1;
    }
    int slot = FirstFreeSlot();
    if (slot < 0) {
        return WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
    }
    auto* connection =
        static_cast<NetConnection*>(AllocTrackedZeroed(sizeof(NetConnection), __FILE__, __LINE__));
    if (connection == nullptr) {
        return WriteLog("ソケット用のメモリの確保に失敗しました\n");
    }
    connection->valid = 1;
    connection->connected = 1;
    connection->accepted = 1;
    connection->buffered = g_network.noBuffering != 0 ? 0 : 1;
    connection->autoClose = g_network.noAutoClose != 0 ? 0 : 1;
    connection->check = g_network.checkCounter;
    connection->socket = INVALID_SOCKET;
    int32_t handle = MakeConnectionHandle(slot, connection->check);
    ListInsertAfter(&g_network.head, &connection->node, handle, connection);
    g_network.slots[slot] = connection;

    sockaddr_in peer = {};
    int peerLength = sizeof(peer);
    connection->socket =
        accept(g_network.listening->socket, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (connection->socket == INVALID_SOCKET) {
        LogNetworkError("acceptに失敗しました");
        DeleteConnection(handle, connection);
        return -1;
    }
    IndexSocket(connection->socket, slot);
    std::memcpy(connection->peerAddress, &peer.sin_addr.S_un.S_addr, 4);
    const auto* port = reinterpret_cast<const uint8_t*>(&peer.sin_port);
    connection->peerPort = (port[0] << 8) | port[1];
    if (WSAAsyncSelect(connection->socket, g_network.socketWindow, kSocketEventMessage,
                       kConnectionEvents) == SOCKET_ERROR) {
        LogNetworkError("WSAAsyncSelectのエラー in AcceptNetWork");
        DeleteConnection(handle, connection);
        return -1;
    }
    g_network.checkCounter = (g_network.checkCounter + 1) % kCheckNumbers;
    return 1;
}

int OnSocketEvent(uint32_t eventWord, SOCKET socket) {
    if (g_network.started == 0) {
        return 0;
    }
    NetConnection* connection = ConnectionOfSocket(socket);
    if (connection == nullptr) {
        WriteLog("通信エラー No.1\n");
        return 0;
    }
    int event = WSAGETSELECTEVENT(eventWord);
    int error = WSAGETSELECTERROR(eventWord);
    if (connection->kind != 0) {
        if (event == FD_READ) {
            connection->readEvent = 1;
        } else if (event == FD_WRITE) {
            connection->writeEvent = 1;
        }
        return 1;
    }
    int32_t handle = connection->node.value;
    switch (event) {
        // An event that cannot run now is kept for later: the socket posts
        // it only once, and dropped it would leave the data waiting.
        case FD_READ:
            if (g_network.receiving != 0) {
                HoldEvent(connection, FD_READ);
            } else {
                RecvSocket(handle);
            }
            break;
        case FD_WRITE:
            if (g_network.sending != 0) {
                HoldEvent(connection, FD_WRITE);
            } else {
                SendSocket(handle);
            }
            break;
        case FD_ACCEPT:
            return AcceptNetWork();
        case FD_CONNECT:
            if (error == 0) {
                connection->connected = 1;
            }
            break;
        case FD_CLOSE:
            // The closed flag is what lets the pump close the connection
            // by itself; a closed peer left unmarked would hold its slot
            // and socket until the layer ends.
            connection->connected = 0;
            connection->closed = 1;
            break;
        default:
            break;
    }
    return 1;
}

int CloseConnectionAfterFlush(int32_t handle) {
    NetConnection* connection = FindConnection(handle);
    if (connection == nullptr || connection->kind != 0) {
        return -1;
    }
    PumpNetworkMessages(0);
    // A peer that has ended sends nothing more: the rest of its message is
    // not waited for. A connection that cannot receive or send (an error)
    // is not waited for either.
    int start = FlushClock();
    while (connection->bytesToCome > 0 && connection->closed == 0 && WithinFlushTime(start)) {
        PumpNetworkMessages(0);
        if (RecvSocket(handle) < 0) {
            break;
        }
        Sleep(1);
    }
    // An ended peer may still read (it may only have shut its sending
    // side); the flush goes on while its sends make progress.
    start = FlushClock();
    while (connection->send.stored > 0 && WithinFlushTime(start)) {
        PumpNetworkMessages(0);
        int64_t unsent = UnsentBytes(connection);
        if (SendSocket(handle) < 0 ||
            (connection->closed != 0 && UnsentBytes(connection) == unsent)) {
            break;
        }
        Sleep(1);
    }
    DeleteConnection(handle, connection);
    return 0;
}

int CloseConnection(int32_t handle) {
    NetConnection* connection = FindConnection(handle);
    if (connection == nullptr || connection->kind == 0) {
        return -1;
    }
    DeleteConnection(handle, connection);
    return 0;
}

int PumpNetworkMessages(int mode) {
    if (g_network.started == 0 || g_network.socketWindow == nullptr) {
        return 0;
    }
    if (mode == 1) {
        ListNode* node = g_network.head.next;
        while (node != &g_network.tail) {
            auto* connection = static_cast<NetConnection*>(node->data);
            int32_t handle = node->value;
            node = node->next;  // the close below unlinks this one
            bool finished =
                connection->error != 0 || (connection->connected == 0 && connection->closed != 0 &&
                                           connection->autoClose != 0);
            if (connection->valid != 0 && finished) {
                CloseConnectionAfterFlush(handle);
            }
        }
    }
    DispatchSocketWindowMessages();
    return 0;
}

int EndNetwork() {
    if (g_network.started == 0) {
        return 0;
    }
    WriteLog("ネットワーク関連の終了処理を行います \n");
    for (int slot = 0; slot < kConnectionSlots; ++slot) {
        NetConnection* connection = g_network.slots[slot];
        if (connection == nullptr) {
            continue;
        }
        int32_t handle = MakeConnectionHandle(slot, connection->check);
        if (connection->kind == 0) {
            CloseConnectionAfterFlush(handle);
        } else {
            CloseConnection(handle);
        }
    }
    if (NetConnection* listening = g_network.listening) {
        closesocket(listening->socket);
        FreeTracked(listening);
    }
    if (g_network.socketWindow != nullptr) {
        PostMessageA(g_network.socketWindow, WM_CLOSE, 0, 0);
        DispatchSocketWindowMessages();
    }
    std::memset(&g_network, 0, sizeof(g_network));
    WSACleanup();
    WriteLog("ネットワーク関連の終了処理は完了しました\n");
    return 0;
}

}  // namespace tessel
