// The library's TCP connection layer: a table of connection handles over
// accepted sockets, messages framed with a 4-byte little-endian length,
// socket events arriving as window message 0x505 to a hidden socket window,
// and closing with a bounded flush.
//
// Nothing in the library starts the layer or opens its listening socket, so
// every call below returns at its first test (-1; 0 for EndNetwork,
// PumpNetworkMessages and OnSocketEvent) until something does.
#pragma once

#include <cstdint>

#include "platform/winsock.h"

namespace tessel {

// Connection handles: bit 31 clear, kind bits 0x30000000, an 11-bit check
// number in bits 16 to 26 and the slot in the low bits.
constexpr int32_t kConnectionHandleKind = 0x30000000;
constexpr int kConnectionSlots = 8192;
// The window message of a socket event: wParam the socket, lParam the event
// in the low word and its error in the high word.
constexpr UINT kSocketEventMessage = 0x505;
// The longest message a peer may announce; a longer one is refused and marks
// the connection as failed.
constexpr uint32_t kLongestMessage = 64u * 1024u * 1024u;
// The most received data a connection keeps unread: a message that would
// take its receive ring past this is refused and marks the connection as
// failed.
constexpr int64_t kMostUnreadBytes = 64 * 1024 * 1024;

// Receives what has arrived into the connection's receive ring, whole
// messages without their length. 0, or -1.
int RecvSocket(int32_t handle);
// Sends what waits in the connection's send ring as one message. 0, or -1.
int SendSocket(int32_t handle);
// Accepts one connection on the listening socket. 1, or -1.
int AcceptNetWork();
// Closes a connection of a kind other than a TCP stream. 0, or -1.
int CloseConnection(int32_t handle);
// Closes a TCP stream connection after finishing, for at most a second each,
// the message being received and the data waiting to be sent. 0, or -1.
int CloseConnectionAfterFlush(int32_t handle);
// Dispatches the socket window's messages; mode 1 first closes connections
// that failed or whose peer closed (when they close by themselves). 0.
int PumpNetworkMessages(int mode);
// One socket event (the low word the event, the high word its error).
// 1, or 0 when no connection holds the socket.
int OnSocketEvent(uint32_t eventWord, SOCKET socket);
// Closes every connection and ends the layer. 0.
int EndNetwork();
// Logs the formatted text with the last socket error. Returns -1.
int LogNetworkError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessel
