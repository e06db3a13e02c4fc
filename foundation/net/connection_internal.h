// The connection layer's records and state, shared by its sources and its
// test hooks. Internal to foundation/net.
#pragma once

#include <cstdint>

#include "foundation/base/list.h"
#include "foundation/net/connections.h"
#include "foundation/net/ring_buffer.h"
#include "platform/types.h"

namespace tessel {

struct NetConnection {
    int32_t kind;  // 0: a TCP stream; another kind only takes note of events
    int32_t valid;
    int32_t error;
    int32_t connected;
    int32_t closed;  // the peer closed
    int32_t reserved;
    int32_t accepted;
    int32_t buffered;   // received and sent data go through the rings
    int32_t autoClose;  // closed by the pump once the peer closed
    int32_t check;
    SOCKET socket;
    int32_t bytesToCome;  // of the message being received
    RingBuffer receive;
    int32_t receivingLength;
    int32_t completeBytes;  // of the messages received whole
    RingBuffer send;
    uint32_t sendRemaining;     // body bytes of the message being sent still to go
    uint8_t sendPrefix[4];      // its length, little-endian, as it goes out
    int32_t unsentPrefixBytes;  // the last ones of sendPrefix
    uint8_t peerAddress[4];     // network order
    int32_t peerPort;
    int32_t readEvent;   // other kinds only
    int32_t writeEvent;  // other kinds only
    // A read or write event that came while a receive or a send was
    // pumping messages; it waits, once, in the layer's list of held events
    // and runs when that call ends.
    int32_t missedRead;
    int32_t missedWrite;
    ListNode heldReadNode;
    ListNode heldWriteNode;
    // The length of the next message as its bytes arrive: a peer that ends
    // within them is seen to end.
    uint8_t lengthPrefix[4];
    int32_t lengthBytesIn;
    ListNode node;  // value: the handle; data: this record
};

// Connections whose read (or write) event was held back, in arrival order.
struct HeldEvents {
    ListNode head;
    ListNode tail;
    int32_t running;  // the outermost call is running them
    int32_t total;    // events held since the layer started
};

// Sockets to slots, so that an event finds its connection at once: open
// addressing, slot + 1 per entry (0 empty), at most half full.
constexpr int kSocketIndexEntries = 2 * kConnectionSlots;

struct NetworkState {
    NetConnection* slots[kConnectionSlots];
    NetConnection* listening;  // null: no listening socket
    ListNode head;
    ListNode tail;
    int32_t checkCounter;
    int32_t started;
    HWND socketWindow;
    int32_t noBuffering;  // options that clear the flags of new connections
    int32_t noAutoClose;
    int32_t windowClosed;
    // A receive or a send pumps messages; these keep it from starting again
    // inside itself.
    int32_t receiving;
    int32_t sending;
    HeldEvents heldReads;
    HeldEvents heldWrites;
    int32_t socketIndex[kSocketIndexEntries];
    // The flush's clock (the millisecond clock unless a test sets another).
    int (*flushClock)();
};

extern NetworkState g_network;

// The record of a live handle of the layer, or null.
NetConnection* FindConnection(int32_t handle);
int32_t MakeConnectionHandle(int slot, int32_t check);
// Dispatches every message waiting for the socket window.
void DispatchSocketWindowMessages();
// Starts the lists of held events; the layer's start calls it.
void InitHeldEvents();
// Keeps a read (FD_READ) or write (FD_WRITE) event that cannot run now; an
// event held already is not held twice.
void HoldEvent(NetConnection* connection, int event);
// Runs the held events of that kind, unless an outer call runs them already.
void RunHeldEvents(int event);

// The socket index (socket_index.cpp).
void IndexSocket(SOCKET socket, int slot);
void UnindexSocket(SOCKET socket);
NetConnection* ConnectionOfSocket(SOCKET socket);

}  // namespace tessel
