// Test hooks of the Winsock service (not part of Winsock): sockets made
// without the calls a program would make (a connected pair, a loopback
// listener and its client), failure injection, a cap on what one send
// takes, and the count of open sockets.
#pragma once

#include <cstdint>

#include "platform/winsock.h"

namespace platform {

// A connected stream pair: `ours` is a socket of this service, `peer` a
// plain descriptor the test drives with read, write and close. Needs a
// started service; false (with the last error set) otherwise.
bool MakeSocketPair(SOCKET* ours, int* peer);
// A listening TCP socket on 127.0.0.1 at a port of the system's choice.
bool OpenLoopbackListener(SOCKET* listener, uint16_t* port);
// A blocking client descriptor connected to 127.0.0.1:port, or -1.
int ConnectLoopback(uint16_t port);
// Closes a peer descriptor so that the connection is reset, not ended.
void CloseWithReset(int peer);

// Failure injection: the next `count` calls fail, accept and WSAAsyncSelect
// with WSAENOBUFS, send with WSAEWOULDBLOCK as on a full socket.
enum class WinsockFailPoint { Accept, AsyncSelect, Send };
void FailNextWinsockCalls(WinsockFailPoint point, int count);
// Every send takes at most `bytes` (0: no cap), as a busy network would.
void LimitSendLength(int bytes);

int OpenSocketCount();

}  // namespace platform
