// Test hooks of the connection layer. The library never starts the layer;
// these start it the way a program that used it would, and let a test reach
// the records that no public call shows.
#pragma once

#include "foundation/net/connection_internal.h"

namespace tessel {

// Starts Winsock, makes the hidden socket window (its procedure hands
// message 0x505 to OnSocketEvent) and marks the layer started. 0, or -1.
// EndNetwork ends it.
int StartNetworkForTesting();
// The listening socket AcceptNetWork takes connections from; the layer
// closes it at its end. 0, or -1 when the layer is not started.
int SetListeningSocketForTesting(SOCKET listener);
// The two options that clear the buffered and the auto-close flag of the
// connections accepted from now on.
void SetNetworkOptionsForTesting(int noBuffering, int noAutoClose);
// The handle of the connection in `slot`, or -1.
int32_t ConnectionHandleOfSlot(int slot);
HWND SocketWindowForTesting();
// The clock the close's flush measures its second with (null: the
// millisecond clock).
void SetFlushClockForTesting(int (*clock)());

}  // namespace tessel
