// The connection layer over loopback TCP, started through its test hook:
// handles, accept, length-prefixed receiving and sending, the socket events,
// closing and the end of the layer.
#include "foundation/net/connections.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/net/connection_testing.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "platform/winsock_testing.h"
#include "tests/foundation/files/files_test_support.h"

// The C library's half close of a plain descriptor; its header would clash
// with the names of the Winsock stand-in.
extern "C" int shutdown(int fd, int how) noexcept;

namespace {

using tessel::NetConnection;
constexpr int kShutWrite = 1;

std::string Framed(uint32_t length, const std::string& body) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    return out + body;
}

std::string Framed(const std::string& body) {
    return Framed(static_cast<uint32_t>(body.size()), body);
}

void WriteAll(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Appends bytes to a ring as a caller filling a send ring would.
void Append(tessel::RingBuffer* ring, const std::string& bytes) {
    ASSERT_EQ(tessel::RingBufferReserve(ring, static_cast<int32_t>(bytes.size())), 0);
    tessel::RingBufferFoldPositions(ring);
    for (char c : bytes) {
        ring->storage[ring->writePosition] = static_cast<uint8_t>(c);
        if (++ring->writePosition == ring->capacity) {
            ring->writePosition = 0;
        }
    }
    ring->stored += static_cast<int32_t>(bytes.size());
}

std::string TakeAll(tessel::RingBuffer* ring) {
    std::string out(static_cast<size_t>(ring->stored), '\0');
    EXPECT_EQ(tessel::RingBufferRead(ring, out.data(), ring->stored, 0), 0);
    return out;
}

class Connections : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(tessel::StartNetworkForTesting(), 0);
        SOCKET listener;
        ASSERT_TRUE(platform::OpenLoopbackListener(&listener, &port_));
        ASSERT_EQ(tessel::SetListeningSocketForTesting(listener), 0);
    }
    void TearDown() override {
        tessel::EndNetwork();
        platform::LimitSendLength(0);
        for (int fd : clients_) {
            close(fd);
        }
        EXPECT_EQ(platform::OpenSocketCount(), 0);
    }

    // A client connected and accepted; its handle, the client descriptor in
    // *client.
    int32_t Accept(int* client) {
        *client = platform::ConnectLoopback(port_);
        EXPECT_GE(*client, 0);
        clients_.push_back(*client);
        int slot = 0;
        while (tessel::ConnectionHandleOfSlot(slot) != -1) {
            ++slot;
        }
        EXPECT_EQ(tessel::AcceptNetWork(), 1);
        return tessel::ConnectionHandleOfSlot(slot);
    }

    struct Peer {
        int client;
        int32_t handle;
        NetConnection* connection;
    };
    Peer AcceptPeer() {
        Peer peer;
        peer.handle = Accept(&peer.client);
        peer.connection = tessel::FindConnection(peer.handle);
        return peer;
    }

    // Pumps the socket window until `done` holds or two seconds pass.
    static bool PumpUntil(const std::function<bool()>& done, int ms = 2000) {
        DWORD start = timeGetTime();
        while (!done()) {
            if (timeGetTime() - start > static_cast<DWORD>(ms)) {
                return false;
            }
            tessel::PumpNetworkMessages(0);
            Sleep(1);
        }
        return true;
    }
    // Pumps until the connection's socket holds the 4 bytes of a length.
    static bool PumpUntilData(SOCKET socket, char* head) {
        return PumpUntil([&] { return recv(socket, head, 4, MSG_PEEK) == 4; });
    }
    static void PumpFor(int ms) {
        PumpUntil([] { return false; }, ms);
    }

    // What the client reads within two seconds, up to `count` bytes.
    static std::string ClientRead(int client, size_t count) {
        std::string out;
        DWORD start = timeGetTime();
        while (out.size() < count && timeGetTime() - start < 2000) {
            tessel::PumpNetworkMessages(0);
            pollfd watch = {client, POLLIN, 0};
            if (poll(&watch, 1, 5) != 1) {
                continue;
            }
            char buffer[256];
            ssize_t n = read(client, buffer, std::min(sizeof(buffer), count - out.size()));
            if (n <= 0) {
                break;
            }
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }

    tessel_test::LogScope log_;
    uint16_t port_ = 0;
    std::vector<int> clients_;
};

TEST(ConnectionsNotStarted, EveryCallReturnsAtItsFirstTest) {
    tessel_test::LogScope log;
    int32_t handle = tessel::MakeConnectionHandle(0, 0);
    EXPECT_EQ(tessel::RecvSocket(handle), -1);
    EXPECT_EQ(tessel::SendSocket(handle), -1);
    EXPECT_EQ(tessel::AcceptNetWork(), -1);
    EXPECT_EQ(tessel::CloseConnection(handle), -1);
    EXPECT_EQ(tessel::CloseConnectionAfterFlush(handle), -1);
    EXPECT_EQ(tessel::PumpNetworkMessages(1), 0);
    EXPECT_EQ(tessel::OnSocketEvent(FD_READ, 1), 0);
    EXPECT_EQ(tessel::EndNetwork(), 0);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(Connections, HandlesOutsideTheTableOrWithAnotherCheckNumberAreRefused) {
    int client;
    int32_t handle = Accept(&client);
    ASSERT_NE(handle, -1);
    WriteAll(client, Framed("kept"));
    struct Case {
        const char* name;
        int32_t handle;
    };
    for (const Case& c :
         {Case{"slot 8192", (handle & ~0xFFFF) | 8192},
          Case{"another check number", handle ^ (1 << 16)},
          Case{"bit 31 set", static_cast<int32_t>(handle | 0x80000000u)},
          Case{"another kind", handle ^ 0x08000000}, Case{"an empty slot", handle + 1}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tessel::RecvSocket(c.handle), -1);
        EXPECT_EQ(tessel::SendSocket(c.handle), -1);
        EXPECT_EQ(tessel::CloseConnectionAfterFlush(c.handle), -1);
    }
    NetConnection* connection = tessel::FindConnection(handle);
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 4; }));
    EXPECT_EQ(TakeAll(&connection->receive), "kept");
}

TEST_F(Connections, AcceptFillsTheRecordAndAdvancesTheCheckNumberWrappingAfter2047) {
    tessel::g_network.checkCounter = 2047;
    int first;
    int32_t handle = Accept(&first);
    NetConnection* connection = tessel::FindConnection(handle);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(handle, tessel::kConnectionHandleKind | (2047 << 16));
    EXPECT_EQ(connection->kind, 0);
    EXPECT_EQ(connection->valid, 1);
    EXPECT_EQ(connection->connected, 1);
    EXPECT_EQ(connection->accepted, 1);
    EXPECT_EQ(connection->buffered, 1);
    EXPECT_EQ(connection->autoClose, 1);
    EXPECT_EQ(connection->peerAddress[0], 127);
    EXPECT_EQ(connection->peerAddress[3], 1);
    EXPECT_GT(connection->peerPort, 0);
    EXPECT_EQ(tessel::g_network.checkCounter, 0);

    // The slot freed by a close is taken again under a new check number, and
    // the old handle no longer reaches it.
    ASSERT_EQ(tessel::CloseConnectionAfterFlush(handle), 0);
    int second;
    int32_t next = Accept(&second);
    EXPECT_EQ(next, tessel::kConnectionHandleKind | 0);
    EXPECT_EQ(tessel::FindConnection(handle), nullptr);
    EXPECT_EQ(tessel::RecvSocket(handle), -1);
}

TEST_F(Connections, FailedAcceptOrRegistrationUndoesTheConnection) {
    struct Case {
        platform::WinsockFailPoint point;
        const char* line;
    };
    for (const Case& c :
         {Case{platform::WinsockFailPoint::Accept, "ネットワークログ。acceptに失敗しました[10055]"},
          Case{platform::WinsockFailPoint::AsyncSelect,
               "ネットワークログ。WSAAsyncSelectのエラー in AcceptNetWork[10055]"}}) {
        SCOPED_TRACE(c.line);
        int client = platform::ConnectLoopback(port_);
        ASSERT_GE(client, 0);
        clients_.push_back(client);
        int32_t counter = tessel::g_network.checkCounter;
        platform::FailNextWinsockCalls(c.point, 1);
        EXPECT_EQ(tessel::AcceptNetWork(), -1);
        EXPECT_EQ(tessel::ConnectionHandleOfSlot(0), -1);
        EXPECT_EQ(tessel::g_network.head.next, &tessel::g_network.tail);
        EXPECT_EQ(tessel::g_network.checkCounter, counter);
        EXPECT_NE(log_.Text().find(c.line), std::string::npos) << log_.Text();
        if (c.point == platform::WinsockFailPoint::Accept) {
            EXPECT_EQ(tessel::AcceptNetWork(), 1);  // the waiting client is still there
            ASSERT_EQ(tessel::CloseConnectionAfterFlush(tessel::ConnectionHandleOfSlot(0)), 0);
        }
    }
    EXPECT_EQ(platform::OpenSocketCount(), 1) << "only the listener";
}

TEST_F(Connections, ALengthArrivingInTwoPiecesIsNotTakenUntilAllFourBytesAreThere) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    std::string message = Framed("hello");
    WriteAll(client, message.substr(0, 2));
    PumpFor(100);
    EXPECT_EQ(connection->receivingLength, 0);
    EXPECT_EQ(connection->bytesToCome, 0);
    EXPECT_EQ(connection->receive.stored, 0);

    WriteAll(client, message.substr(2));
    ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 5; }));
    EXPECT_EQ(connection->receivingLength, 5);
    EXPECT_EQ(TakeAll(&connection->receive), "hello");
}

TEST_F(Connections, AMessageSplitAcrossReadsArrivesWholeAlsoAcrossTheRingsEnd) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    std::string body = "0123456789";
    std::string message = Framed(body);
    WriteAll(client, message.substr(0, 7));
    ASSERT_TRUE(PumpUntil([&] { return connection->receive.stored == 3; }));
    EXPECT_EQ(connection->bytesToCome, 7);
    EXPECT_EQ(connection->completeBytes, 0);
    WriteAll(client, message.substr(7) + Framed("") + Framed("ab"));
    ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 12; }));
    EXPECT_EQ(TakeAll(&connection->receive), body + "ab");

    // Bring the write position to 5 bytes before the end of the 1010-byte
    // storage: the next body is received in two pieces.
    ASSERT_EQ(connection->receive.capacity, 1010);
    std::string filler(993, 'f');
    WriteAll(client, Framed(filler));
    ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 12 + 993; }));
    EXPECT_EQ(TakeAll(&connection->receive), filler);
    ASSERT_EQ(connection->receive.writePosition, 1005);
    std::string wrapping = "ABCDEFGHIJKLMNOPQRST";
    WriteAll(client, Framed(wrapping));
    ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 12 + 993 + 20; }));
    EXPECT_EQ(connection->receive.capacity, 1010);
    EXPECT_EQ(connection->receive.writePosition, 15);
    EXPECT_EQ(TakeAll(&connection->receive), wrapping);
}

TEST_F(Connections, AReadEventThatComesWhileAnotherReceiveRunsIsNotLost) {
    auto [firstClient, firstHandle, first] = AcceptPeer();
    auto [secondClient, secondHandle, second] = AcceptPeer();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    PumpFor(20);  // the write events of the accepts
    WriteAll(firstClient, Framed("one"));
    WriteAll(secondClient, Framed("two"));
    Sleep(50);  // both read events wait: the first one's receive pumps the second
    ASSERT_TRUE(PumpUntil([&] { return first->completeBytes == 3 && second->completeBytes == 3; }))
        << first->completeBytes << " " << second->completeBytes;
    EXPECT_EQ(TakeAll(&first->receive), "one");
    EXPECT_EQ(TakeAll(&second->receive), "two");
}

TEST_F(Connections, ManyPeersReceivingAtOnceHaveEachEventHeldOnceAndDeliveredWhole) {
    // Every third connection closes again before the others send, so that
    // the events find their connections among slots taken and freed.
    constexpr int kPeers = 300;
    std::vector<Peer> peers;
    for (int i = 0; i < kPeers; ++i) {
        peers.push_back(AcceptPeer());
        ASSERT_NE(peers.back().connection, nullptr) << i;
    }
    std::vector<Peer> live;
    for (int i = 0; i < kPeers; ++i) {
        if (i % 3 == 0) {
            ASSERT_EQ(tessel::CloseConnectionAfterFlush(peers[i].handle), 0);
        } else {
            live.push_back(peers[i]);
        }
    }
    PumpFor(20);  // the write events of the accepts
    for (size_t i = 0; i < live.size(); ++i) {
        WriteAll(live[i].client, Framed("peer " + std::to_string(i)));
    }
    // Every message is on its socket before anything is pumped, and every
    // read event is queued at once: the first receive's pump meets all of
    // the others.
    for (const Peer& peer : live) {
        char head[4];
        ASSERT_TRUE(PumpUntilData(peer.connection->socket, head));
    }
    for (const Peer& peer : live) {
        ASSERT_TRUE(PostMessageA(tessel::SocketWindowForTesting(), tessel::kSocketEventMessage,
                                 static_cast<WPARAM>(peer.connection->socket),
                                 WSAMAKESELECTREPLY(FD_READ, 0)));
    }
    int32_t heldBefore = tessel::g_network.heldReads.total;
    ASSERT_TRUE(PumpUntil([&] {
        for (const Peer& peer : live) {
            if (peer.connection->completeBytes == 0) {
                return false;
            }
        }
        return true;
    }));
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(TakeAll(&live[i].connection->receive), "peer " + std::to_string(i)) << i;
    }
    // Each connection's event waits at most once per event the socket posted
    // (the queued one and the platform's own).
    int32_t held = tessel::g_network.heldReads.total - heldBefore;
    EXPECT_GT(held, 0) << "the receives met each other's events";
    EXPECT_LE(held, 2 * static_cast<int32_t>(live.size()));
}

TEST(SocketIndex, FindsEverySocketThroughCollisionsAndRemovals) {
    // Half the table full, then every other entry removed in a shuffled
    // order: the probes of the ones left still reach them.
    std::vector<NetConnection> records(tessel::kConnectionSlots);
    auto socketOf = [](int i) { return static_cast<SOCKET>(0x10000 + 7919 * i); };
    for (int i = 0; i < tessel::kConnectionSlots; ++i) {
        records[i].socket = socketOf(i);
        tessel::g_network.slots[i] = &records[i];
        tessel::IndexSocket(records[i].socket, i);
    }
    std::vector<int> order;
    for (int i = 0; i < tessel::kConnectionSlots; i += 2) {
        order.push_back(i);
    }
    uint32_t state = 12345;
    for (size_t i = order.size() - 1; i > 0; --i) {
        state = state * 1103515245u + 12345u;
        std::swap(order[i], order[(state >> 8) % (i + 1)]);
    }
    for (int i : order) {
        tessel::UnindexSocket(socketOf(i));
        tessel::g_network.slots[i] = nullptr;
    }
    for (int i = 0; i < tessel::kConnectionSlots; ++i) {
        EXPECT_EQ(tessel::ConnectionOfSocket(socketOf(i)), i % 2 == 0 ? nullptr : &records[i]) << i;
    }
    for (int i = 1; i < tessel::kConnectionSlots; i += 2) {
        tessel::UnindexSocket(socketOf(i));
        tessel::g_network.slots[i] = nullptr;
    }
    for (int32_t entry : tessel::g_network.socketIndex) {
        ASSERT_EQ(entry, 0);
    }
}

TEST_F(Connections, APeerThatEndsWithinALengthIsClosed) {
    for (int bytes : {1, 2, 3}) {
        for (bool halfClose : {false, true}) {
            SCOPED_TRACE(testing::Message() << bytes << " bytes, half close " << halfClose);
            auto [client, handle, connection] = AcceptPeer();
            ASSERT_NE(connection, nullptr);
            int socketsBefore = platform::OpenSocketCount();
            WriteAll(client, Framed("never").substr(0, static_cast<size_t>(bytes)));
            if (halfClose) {
                ASSERT_EQ(shutdown(client, kShutWrite), 0);
            } else {
                close(client);
                clients_.pop_back();
            }
            ASSERT_TRUE(PumpUntil([&] { return connection->closed != 0; }));
            EXPECT_EQ(connection->receive.stored, 0);
            tessel::PumpNetworkMessages(1);
            EXPECT_EQ(tessel::FindConnection(handle), nullptr);
            EXPECT_EQ(platform::OpenSocketCount(), socketsBefore - 1);
        }
    }
}

int g_clockReads = 0;
int CountingClock() {
    return g_clockReads++;  // a millisecond passes at every look
}

TEST_F(Connections, TheFlushDoesNotWaitForPeersThatEnded) {
    // Four peers that end within a message: nothing more of it can come.
    std::vector<int32_t> handles;
    for (int i = 0; i < 4; ++i) {
        auto [client, handle, connection] = AcceptPeer();
        ASSERT_NE(connection, nullptr);
        WriteAll(client, Framed(10, "abc"));
        close(client);
        clients_.pop_back();
        ASSERT_TRUE(PumpUntil([&] { return connection->closed != 0; }));
        EXPECT_EQ(connection->bytesToCome, 7);
        handles.push_back(handle);
    }
    // One that only shut its sending side still reads what waits for it.
    auto [reader, readerHandle, readerConnection] = AcceptPeer();
    ASSERT_NE(readerConnection, nullptr);
    ASSERT_EQ(shutdown(reader, kShutWrite), 0);
    ASSERT_TRUE(PumpUntil([&] { return readerConnection->closed != 0; }));
    Append(&readerConnection->send, "reply");

    g_clockReads = 0;
    tessel::SetFlushClockForTesting(CountingClock);
    tessel::PumpNetworkMessages(1);
    tessel::SetFlushClockForTesting(nullptr);
    for (int32_t handle : handles) {
        EXPECT_EQ(tessel::FindConnection(handle), nullptr);
    }
    EXPECT_EQ(tessel::FindConnection(readerHandle), nullptr);
    // Each close looks at the clock to start its two waits and once per
    // pass; waiting out the second would take a thousand looks a peer.
    EXPECT_LT(g_clockReads, 50);
    EXPECT_EQ(ClientRead(reader, 9), Framed("reply"));
}

TEST_F(Connections, AMessageThatWouldTakeTheUnreadDataPastTheLimitIsRefused) {
    const std::string unread(60000, 'u');
    const int64_t room = tessel::kMostUnreadBytes - static_cast<int64_t>(unread.size());
    struct Case {
        int64_t length;
        bool taken;
    };
    for (const Case& c : {Case{room, true}, Case{room + 1, false}}) {
        SCOPED_TRACE(c.length);
        auto [client, handle, connection] = AcceptPeer();
        ASSERT_NE(connection, nullptr);
        WriteAll(client, Framed(unread));
        ASSERT_TRUE(PumpUntil([&] { return connection->completeBytes == 60000; }));
        int32_t capacity = connection->receive.capacity;
        WriteAll(client, Framed(static_cast<uint32_t>(c.length), ""));
        ASSERT_TRUE(
            PumpUntil([&] { return connection->error != 0 || connection->bytesToCome != 0; }));
        EXPECT_EQ(connection->error != 0, !c.taken);
        if (c.taken) {
            EXPECT_EQ(connection->bytesToCome, c.length);
        } else {
            EXPECT_EQ(connection->receive.capacity, capacity) << "nothing reserved";
            EXPECT_EQ(connection->receive.stored, 60000) << "what was unread stays";
        }
        ASSERT_EQ(tessel::CloseConnectionAfterFlush(handle), 0);
    }
    EXPECT_NE(log_.Text().find("未読の受信データが上限を超えます(未読 60000 byte、データサイズ " +
                               std::to_string(room + 1) + " byte)"),
              std::string::npos)
        << log_.Text();
}

TEST_F(Connections, AnnouncedLengthsPastTheBoundAreRefusedAndFailTheConnection) {
    struct Case {
        uint32_t length;
        bool taken;
    };
    for (const Case& c : {Case{tessel::kLongestMessage, true},
                          Case{tessel::kLongestMessage + 1, false}, Case{0xFFFFFFFFu, false}}) {
        SCOPED_TRACE(c.length);
        auto [client, handle, connection] = AcceptPeer();
        ASSERT_NE(connection, nullptr);
        WriteAll(client, Framed(c.length, ""));
        ASSERT_TRUE(
            PumpUntil([&] { return connection->error != 0 || connection->bytesToCome != 0; }));
        EXPECT_EQ(connection->error != 0, !c.taken);
        if (c.taken) {
            EXPECT_EQ(static_cast<uint32_t>(connection->bytesToCome), c.length);
        } else {
            EXPECT_EQ(connection->receive.capacity, 0) << "nothing reserved";
            EXPECT_EQ(tessel::RecvSocket(handle), -1);
            tessel::PumpNetworkMessages(1);
            EXPECT_EQ(tessel::FindConnection(handle), nullptr)
                << "the pump closes a failed connection";
        }
    }
    EXPECT_NE(
        log_.Text().find("受信データのサイズが上限を超えています(データサイズ 67108865 byte)"),
        std::string::npos);
    EXPECT_NE(log_.Text().find("このネットワークハンドルにはエラーが発生しています in RecvSocket"),
              std::string::npos);
}

TEST_F(Connections, AClosedPeerIsReportedAfterItsDataAndTheConnectionClosesItself) {
    for (int noAutoClose : {0, 1}) {
        SCOPED_TRACE(noAutoClose);
        tessel::SetNetworkOptionsForTesting(0, noAutoClose);
        auto [client, handle, connection] = AcceptPeer();
        ASSERT_NE(connection, nullptr);
        WriteAll(client, Framed("last words"));
        close(client);
        clients_.pop_back();
        ASSERT_TRUE(PumpUntil([&] { return connection->closed != 0; }));
        EXPECT_EQ(connection->connected, 0);
        EXPECT_EQ(TakeAll(&connection->receive), "last words");

        tessel::PumpNetworkMessages(1);
        EXPECT_EQ(tessel::FindConnection(handle) == nullptr, noAutoClose == 0);
        if (noAutoClose != 0) {
            ASSERT_EQ(tessel::CloseConnectionAfterFlush(handle), 0);
        }
    }
}

TEST_F(Connections, TheSendRingGoesOutAsOneLengthPrefixedMessageEvenInPieces) {
    for (int cap : {0, 3}) {
        SCOPED_TRACE(cap);
        platform::LimitSendLength(cap);
        auto [client, handle, connection] = AcceptPeer();
        ASSERT_NE(connection, nullptr);
        Append(&connection->send, "payload");
        EXPECT_EQ(tessel::SendSocket(handle), 0);
        EXPECT_EQ(ClientRead(client, 11), Framed("payload"));
        EXPECT_EQ(connection->send.stored, 0);
        EXPECT_EQ(connection->unsentPrefixBytes, 0);
        EXPECT_EQ(connection->sendRemaining, 0u);
    }
}

TEST_F(Connections, ASendThatFindsTheSocketFullBeginsTheMessageAgainAtTheNextWriteEvent) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    PumpFor(20);  // the write event of the accept
    Append(&connection->send, "payload");
    platform::FailNextWinsockCalls(platform::WinsockFailPoint::Send, 1);
    EXPECT_EQ(tessel::SendSocket(handle), 0);
    EXPECT_EQ(connection->sendRemaining, 0u) << "nothing of the message went";
    EXPECT_EQ(ClientRead(client, 11), Framed("payload"));
}

TEST_F(Connections, ASendAcrossTheRingsEndGoesOutInOrder) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    for (int filler : {500, 990}) {  // the read position ends 10 bytes before the end
        Append(&connection->send, std::string(filler, 'x'));
        TakeAll(&connection->send);
    }
    Append(&connection->send, "wrapping around");
    ASSERT_EQ(connection->send.capacity, 1500);
    ASSERT_EQ(connection->send.writePosition, 5);
    EXPECT_EQ(tessel::SendSocket(handle), 0);
    EXPECT_EQ(ClientRead(client, 19), Framed("wrapping around"));
}

TEST_F(Connections, EventsOfAnotherKindOnlyRaiseFlagsAndCloseWithoutTheFlush) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(tessel::CloseConnection(handle), -1) << "a stream closes with the flush";
    connection->kind = 1;
    EXPECT_EQ(tessel::OnSocketEvent(FD_READ, connection->socket), 1);
    EXPECT_EQ(tessel::OnSocketEvent(FD_WRITE, connection->socket), 1);
    EXPECT_EQ(connection->readEvent, 1);
    EXPECT_EQ(connection->writeEvent, 1);
    EXPECT_EQ(tessel::RecvSocket(handle), -1);
    EXPECT_EQ(tessel::CloseConnectionAfterFlush(handle), -1);
    EXPECT_EQ(tessel::CloseConnection(handle), 0);
    EXPECT_EQ(tessel::FindConnection(handle), nullptr);

    EXPECT_EQ(tessel::OnSocketEvent(FD_READ, 12345), 0);
    EXPECT_NE(log_.Text().find("通信エラー No.1"), std::string::npos);
}

TEST_F(Connections, AnUnbufferedConnectionLeavesItsDataOnTheSocket) {
    tessel::SetNetworkOptionsForTesting(1, 0);
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->buffered, 0);
    WriteAll(client, Framed("ignored"));
    PumpFor(50);
    EXPECT_EQ(tessel::RecvSocket(handle), 0);
    EXPECT_EQ(connection->receive.stored, 0);
    EXPECT_EQ(connection->completeBytes, 0);
}

TEST_F(Connections, EndNetworkFlushesWhatWaitsAndClosesEverything) {
    auto [client, handle, connection] = AcceptPeer();
    ASSERT_NE(connection, nullptr);
    platform::LimitSendLength(2);
    Append(&connection->send, "goodbye");
    HWND window = tessel::SocketWindowForTesting();
    ASSERT_TRUE(IsWindow(window));

    EXPECT_EQ(tessel::EndNetwork(), 0);
    EXPECT_EQ(tessel::g_network.started, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(platform::OpenSocketCount(), 0);
    std::string got;
    char buffer[32];
    ssize_t n;
    while ((n = read(client, buffer, sizeof(buffer))) > 0) {
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, Framed("goodbye"));
    std::string text = log_.Text();
    size_t begin = text.find("ネットワーク関連の終了処理を行います \r\n");
    size_t end = text.find("ネットワーク関連の終了処理は完了しました\r\n");
    EXPECT_NE(begin, std::string::npos) << text;
    EXPECT_NE(end, std::string::npos) << text;
    EXPECT_LT(begin, end);
}

}  // namespace
