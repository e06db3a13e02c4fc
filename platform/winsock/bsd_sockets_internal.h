// The BSD socket calls behind the Winsock service, in plain types, so that
// the sources with the Windows names never meet the BSD headers. Errors come
// back as Winsock error numbers.
#pragma once

#include <cstdint>

namespace platform::bsd {

// Each returns -1 and puts errno in *error on failure.
int Receive(int fd, char* buffer, int length, bool peek, int* error);
int Send(int fd, const char* buffer, int length, int* error);
// The peer's IPv4 address and port stay in network byte order (0 for a
// peer of another family).
int Accept(int fd, uint32_t* address, uint16_t* port, int* error);
int SetNonBlocking(int fd);
void Close(int fd);

// Bytes waiting to be read (0 on failure).
int ReadableBytes(int fd);
bool Writable(int fd);
// Whether the peer has ended its side; *error receives the errno of a
// connection that broke (0 for a graceful end).
bool PeerEnded(int fd, int* error);

// For the test hooks: a connected stream pair, a listener on 127.0.0.1 with
// a port of the system's choice, a blocking client of it, and a close that
// resets the connection instead of ending it.
int StreamPair(int fds[2]);
int LoopbackListener(uint16_t* port);
int ConnectLoopback(uint16_t port);
void CloseWithReset(int fd);

}  // namespace platform::bsd
