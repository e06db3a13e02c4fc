// Windows Sockets, as the library's connection layer calls it: start and
// shut down, accept, send, receive, close, the thread's last socket error, and
// socket events delivered to a window as posted messages (WSAAsyncSelect).
// Backed by BSD sockets; a notifier thread watches the registered sockets and
// posts the messages.
//
// This header declares the Windows names of the socket calls (accept, send,
// recv, sockaddr); a source that uses the BSD socket headers must not include
// it. A SOCKET is a checked id of this layer, never a descriptor.
#pragma once

#include "platform/types.h"

using SOCKET = UINT_PTR;

#define INVALID_SOCKET (static_cast<SOCKET>(~static_cast<SOCKET>(0)))
#define SOCKET_ERROR (-1)

// ------------------------------------------------------------ addresses
struct in_addr {
    union {
        ULONG S_addr;  // network byte order
    } S_un;
};

struct sockaddr {
    USHORT sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    USHORT sin_port;  // network byte order
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16, "sockaddr_in keeps its Windows size");

// ------------------------------------------------------- start and shut down
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

// Versions 1.1 to 2.2 are served (2.2 is reported). Every start needs its
// own cleanup; the last cleanup closes the sockets still open.
int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();

// ------------------------------------------------------------------- calls
#define MSG_PEEK 0x2

SOCKET accept(SOCKET s, sockaddr* address, int* addressLength);
// A socket registered with WSAAsyncSelect does not block: a call that would
// wait fails with WSAEWOULDBLOCK.
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
int closesocket(SOCKET s);

// ------------------------------------------------------------ socket events
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20

// The message's wParam is the socket, its lParam the event in the low word
// and an error code (0 for none) in the high word.
#define WSAGETSELECTEVENT(lParam) LOWORD(lParam)
#define WSAGETSELECTERROR(lParam) HIWORD(lParam)
#define WSAMAKESELECTREPLY(event, error) MAKELONG(event, error)

// Registers `window` for `message` on the events named (FD_READ, FD_WRITE and
// FD_CLOSE are served); 0 cancels the registration. The socket stops
// blocking. As on Windows, an event is posted once and posted again only
// after the call that answers it: FD_READ after a recv (at once when data is
// left behind), FD_WRITE after a send that could not take everything.
// FD_CLOSE follows a graceful close once the data before it has been read,
// or a reset at once with WSAECONNRESET.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events);

// ------------------------------------------------------------------ errors
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAEOPNOTSUPP 10045
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
