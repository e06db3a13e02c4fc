// The socket index of the connection layer: a socket event names its socket,
// and the connection holding it is found in a table of twice the slots with
// linear probing, rather than by walking every connection. Removal shifts
// the entries behind the removed one back, so that no probe stops short.
#include "foundation/net/connection_internal.h"

namespace tessel {

namespace {

constexpr uint32_t kIndexMask = kSocketIndexEntries - 1;
static_assert((kSocketIndexEntries & kIndexMask) == 0, "the index size is a power of two");

uint32_t HomeOf(SOCKET socket) {
    uint64_t mixed = static_cast<uint64_t>(socket) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(mixed >> 40) & kIndexMask;
}

SOCKET SocketAt(uint32_t entry) {
    return g_network.slots[g_network.socketIndex[entry] - 1]->socket;
}

// The entry that holds the socket, or -1.
int64_t EntryOf(SOCKET socket) {
    for (uint32_t entry = HomeOf(socket);; entry = (entry + 1) & kIndexMask) {
        if (g_network.socketIndex[entry] == 0) {
            return -1;
        }
        if (SocketAt(entry) == socket) {
            return entry;
        }
    }
}

// Whether `home` lies cyclically within (gap, entry]: the entry's probe
// passed the gap only if its home does not.
bool HomeBetween(uint32_t gap, uint32_t home, uint32_t entry) {
    return gap <= entry ? (gap < home && home <= entry) : (gap < home || home <= entry);
}

}  // namespace

void IndexSocket(SOCKET socket, int slot) {
    uint32_t entry = HomeOf(socket);
    while (g_network.socketIndex[entry] != 0) {
        entry = (entry + 1) & kIndexMask;
    }
    g_network.socketIndex[entry] = slot + 1;
}

void UnindexSocket(SOCKET socket) {
    int64_t found = EntryOf(socket);
    if (found < 0) {
        return;
    }
    auto gap = static_cast<uint32_t>(found);
    for (uint32_t entry = (gap + 1) & kIndexMask; g_network.socketIndex[entry] != 0;
         entry = (entry + 1) & kIndexMask) {
        if (!HomeBetween(gap, HomeOf(SocketAt(entry)), entry)) {
            g_network.socketIndex[gap] = g_network.socketIndex[entry];
            gap = entry;
        }
    }
    g_network.socketIndex[gap] = 0;
}

NetConnection* ConnectionOfSocket(SOCKET socket) {
    int64_t entry = EntryOf(socket);
    return entry < 0 ? nullptr : g_network.slots[g_network.socketIndex[entry] - 1];
}

}  // namespace tessel
