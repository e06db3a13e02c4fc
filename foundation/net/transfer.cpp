// Receiving and sending on a TCP stream connection. A message on the wire is
// its length (u32, little-endian) and then that many bytes. Received bodies
// go straight into the receive ring; the send ring's bytes go out as one
// message. Both stop where the socket would block and go on at the next
// socket event.
#include "foundation/memory/log.h"
#include "foundation/net/connection_internal.h"

namespace tessel {

namespace {

constexpr int kLengthBytes = 4;

uint32_t ReadLength(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void WriteLength(uint32_t length, uint8_t* bytes) {
    for (int i = 0; i < kLengthBytes; ++i) {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

NetConnection* FindStream(int32_t handle) {
    NetConnection* connection = FindConnection(handle);
    return connection != nullptr && connection->kind == 0 ? connection : nullptr;
}

// The record behind a handle for a receive or a send: a TCP stream that is
// valid and without error. Logs the reason of a refusal naming `caller`.
NetConnection* UsableStream(int32_t handle, const char* caller) {
    NetConnection* connection = FindStream(handle);
    if (connection == nullptr) {
        return nullptr;
    }
    if (connection->valid == 0) {
        WriteLogFormat("有効なネットワークハンドルではありません in %s", caller);
        return nullptr;
    }
    if (connection->error != 0) {
        WriteLogFormat("このネットワークハンドルにはエラーが発生しています in %s", caller);
        return nullptr;
    }
    return connection;
}

// The peer ended its side: nothing more will come.
void MarkPeerEnded(NetConnection* connection) {
    connection->connected = 0;
    connection->closed = 1;
}

// Takes the next message's length off the socket as its bytes arrive (they
// wait in the record until all four are in) and makes room for its body. 1
// when a message is under way, 0 when its length has not fully arrived, -1
// when it cannot be taken.
int BeginMessage(NetConnection* connection) {
    while (connection->lengthBytesIn < kLengthBytes) {
        char* rest = reinterpret_cast<char*>(connection->lengthPrefix + connection->lengthBytesIn);
        int got = recv(connection->socket, rest, kLengthBytes - connection->lengthBytesIn, 0);
        if (got == 0) {
            MarkPeerEnded(connection);  // within a length: the message never comes
        }
        if (got <= 0) {
            return 0;
        }
        connection->lengthBytesIn += got;
    }
    connection->lengthBytesIn = 0;
    uint32_t announced = ReadLength(connection->lengthPrefix);
    // A length past the bound is a broken or hostile peer: taking it at its
    // word would reserve up to 4 GB.
    if (announced > kLongestMessage) {
        connection->error = 1;
        return WriteLogFormat("受信データのサイズが上限を超えています(データサイズ %u byte)",
                              announced);
    }
    // Nothing takes messages out of the ring but the program: a peer that
    // sends faster than it reads would grow the ring without end.
    if (int64_t{connection->receive.stored} + announced > kMostUnreadBytes) {
        connection->error = 1;
        return WriteLogFormat(
            "未読の受信データが上限を超えます(未読 %d byte、データサイズ %u byte)",
            connection->receive.stored, announced);
    }
    connection->receivingLength = static_cast<int32_t>(announced);
    connection->bytesToCome = static_cast<int32_t>(announced);
    if (RingBufferReserve(&connection->receive, connection->bytesToCome) < 0) {
        connection->error = 1;
        return WriteLogFormat(
            "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
            connection->bytesToCome);
    }
    return 1;
}

// Receives up to the bytes still to come into the ring at its write
// position: a second receive at the storage start when the room runs to
// the end. The bytes that arrived, or -1 when the first receive failed.
int ReceiveBody(NetConnection* connection) {
    RingBuffer& ring = connection->receive;
    RingBufferFoldPositions(&ring);
    int32_t wanted = connection->bytesToCome;
    int32_t first = ring.capacity - ring.writePosition;
    if (first > wanted) {
        first = wanted;
    }
    int got = recv(connection->socket, reinterpret_cast<char*>(ring.storage + ring.writePosition),
                   first, 0);
    if (got == 0) {
        MarkPeerEnded(connection);
    }
    if (got <= 0) {
        return got < 0 ? -1 : 0;
    }
    int arrived = got;
    if (got == first && wanted > first) {
        int more =
            recv(connection->socket, reinterpret_cast<char*>(ring.storage), wanted - first, 0);
        arrived += more > 0 ? more : 0;
    }
    ring.writePosition += arrived;
    if (ring.writePosition >= ring.capacity) {
        ring.writePosition -= ring.capacity;
    }
    ring.stored += arrived;
    return arrived;
}

int ReceiveMessages(NetConnection* connection) {
    for (;;) {
        if (connection->bytesToCome == 0) {
            int begun = BeginMessage(connection);
            if (begun <= 0) {
                return begun;
            }
            // An empty message is whole as soon as its length is in.
            if (connection->bytesToCome == 0) {
                continue;
            }
        }
        int arrived = ReceiveBody(connection);
        if (arrived <= 0) {
            return 0;
        }
        connection->bytesToCome -= arrived;
        if (connection->bytesToCome == 0) {
            connection->completeBytes += connection->receivingLength;
        }
        PumpNetworkMessages(0);
        if (connection->bytesToCome != 0) {
            return 0;  // the next read event goes on with it
        }
    }
}

// Sends what is left of the message's length. True when all of it is out.
bool SendPrefixRest(NetConnection* connection) {
    int32_t unsent = connection->unsentPrefixBytes;
    const char* rest =
        reinterpret_cast<const char*>(connection->sendPrefix + (kLengthBytes - unsent));
    int sent = send(connection->socket, rest, unsent, 0);
    if (sent > 0) {
        connection->unsentPrefixBytes -= sent;
    }
    return connection->unsentPrefixBytes == 0;
}

// Everything stored in the send ring becomes the next message; its length
// goes out first. True when the whole length went.
bool BeginSending(NetConnection* connection) {
    uint32_t length = static_cast<uint32_t>(connection->send.stored);
    WriteLength(length, connection->sendPrefix);
    int sent = send(connection->socket, reinterpret_cast<const char*>(connection->sendPrefix),
                    kLengthBytes, 0);
    // Nothing of the length went: the message has not begun.
    if (sent <= 0) {
        return false;
    }
    connection->sendRemaining = length;
    connection->unsentPrefixBytes = kLengthBytes - sent;
    return connection->unsentPrefixBytes == 0;
}

// Sends the body from the ring's read position, in two sends when it wraps.
// The bytes that went.
int SendBody(NetConnection* connection) {
    RingBuffer& ring = connection->send;
    RingBufferFoldPositions(&ring);
    int32_t remaining = static_cast<int32_t>(connection->sendRemaining);
    int32_t first = ring.capacity - ring.readPosition;
    if (first > remaining) {
        first = remaining;
    }
    int sent = send(connection->socket,
                    reinterpret_cast<const char*>(ring.storage + ring.readPosition), first, 0);
    if (sent <= 0) {
        return 0;
    }
    int went = sent;
    if (sent == first && remaining > first) {
        int more = send(connection->socket, reinterpret_cast<const char*>(ring.storage),
                        remaining - first, 0);
        went += more > 0 ? more : 0;
    }
    ring.readPosition += went;
    if (ring.readPosition >= ring.capacity) {
        ring.readPosition -= ring.capacity;
    }
    ring.stored -= went;
    connection->sendRemaining -= static_cast<uint32_t>(went);
    return went;
}

// Always 0: what does not go now goes at the next write event.
int SendMessages(NetConnection* connection) {
    for (;;) {
        if (connection->unsentPrefixBytes > 0 && !SendPrefixRest(connection)) {
            return 0;
        }
        if (connection->sendRemaining == 0) {
            if (connection->send.stored == 0 || !BeginSending(connection)) {
                return 0;
            }
        }
        int went = SendBody(connection);
        PumpNetworkMessages(0);
        if (went == 0 || connection->sendRemaining != 0 || connection->send.stored == 0) {
            return 0;
        }
    }
}

// Runs a receive or a send on a usable stream, with its re-entrance flag
// set while it pumps messages; the events held back meanwhile run at its
// end. An unbuffered connection has nothing to run.
template <typename Transfer>
int RunGuarded(int32_t handle, int32_t* running, const char* caller, int event, Transfer transfer) {
    if (FindStream(handle) == nullptr || *running != 0) {
        return -1;
    }
    *running = 1;
    PumpNetworkMessages(0);
    int result = -1;
    if (NetConnection* connection = UsableStream(handle, caller)) {
        result = connection->buffered != 0 ? transfer(connection) : 0;
    }
    *running = 0;
    RunHeldEvents(event);
    return result;
}

}  // namespace

int RecvSocket(int32_t handle) {
    return RunGuarded(handle, &g_network.receiving, "RecvSocket", FD_READ, ReceiveMessages);
}

int SendSocket(int32_t handle) {
    return RunGuarded(handle, &g_network.sending, "SendSocket", FD_WRITE, SendMessages);
}

}  // namespace tessel
