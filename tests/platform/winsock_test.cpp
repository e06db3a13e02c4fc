// The Winsock service on BSD sockets: start and cleanup, checked socket ids,
// accept, and the socket events posted to a window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "platform/winsock.h"
#include "platform/winsock_testing.h"

namespace {

constexpr UINT kSocketMessage = WM_USER + 0x105;

LRESULT QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return 0;
}

struct Event {
    SOCKET socket;
    int event;
    int error;
};

class WinsockEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
        window = platform::CreateProcWindow(QuietProc, nullptr, 0, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        for (int fd : peers) {
            close(fd);
        }
        EXPECT_EQ(WSACleanup(), 0);
        EXPECT_EQ(platform::OpenSocketCount(), 0);
        DestroyWindow(window);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        platform::LimitSendLength(0);
    }

    // A registered socket of a fresh pair, its first FD_WRITE taken.
    SOCKET RegisteredPair(int* peer) {
        SOCKET ours = INVALID_SOCKET;
        EXPECT_TRUE(platform::MakeSocketPair(&ours, peer));
        peers.push_back(*peer);
        EXPECT_EQ(WSAAsyncSelect(ours, window, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE), 0);
        EXPECT_EQ(WaitFor(FD_WRITE).size(), 1u);
        return ours;
    }

    // The socket events that arrive within `ms`, taken until one of kind
    // `until` arrives (0: take for the whole time).
    std::vector<Event> WaitFor(int until, int ms = 2000) {
        std::vector<Event> taken;
        DWORD start = timeGetTime();
        while (timeGetTime() - start < static_cast<DWORD>(ms)) {
            MSG msg;
            if (!PeekMessageA(&msg, window, kSocketMessage, kSocketMessage, PM_REMOVE)) {
                Sleep(1);
                continue;
            }
            int event = WSAGETSELECTEVENT(msg.lParam);
            taken.push_back({static_cast<SOCKET>(msg.wParam), event,
                             static_cast<int>(WSAGETSELECTERROR(msg.lParam))});
            if (event == until) {
                break;
            }
        }
        return taken;
    }
    std::vector<Event> Quiet(int ms = 80) { return WaitFor(0, ms); }

    HWND window = nullptr;
    std::vector<int> peers;
};

void WriteAll(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(Winsock, StartAsksForAServedVersionAndEveryStartNeedsItsCleanup) {
    WSADATA data;
    EXPECT_EQ(WSAStartup(0x0001, &data), WSAVERNOTSUPPORTED);  // 1.0
    EXPECT_EQ(WSAStartup(0x0202, nullptr), WSAEFAULT);
    char buffer[4];
    EXPECT_EQ(recv(1, buffer, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    ASSERT_EQ(WSAStartup(0x0303, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(Winsock, ClosedSocketIdsAreRefusedEvenAfterTheirSlotIsTakenAgain) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    SOCKET first;
    int firstPeer;
    ASSERT_TRUE(platform::MakeSocketPair(&first, &firstPeer));
    ASSERT_EQ(closesocket(first), 0);
    SOCKET second;
    int secondPeer;
    ASSERT_TRUE(platform::MakeSocketPair(&second, &secondPeer));
    EXPECT_NE(second, first);

    char byte = 0;
    for (SOCKET stale : {first, SOCKET{0}, INVALID_SOCKET, second + 1}) {
        SCOPED_TRACE(stale);
        EXPECT_EQ(recv(stale, &byte, 1, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(closesocket(stale), SOCKET_ERROR);
    }
    ASSERT_EQ(write(secondPeer, "k", 1), 1);
    EXPECT_EQ(recv(second, &byte, 1, 0), 1);
    EXPECT_EQ(byte, 'k');

    // The last cleanup closes what is still open, and the ids stay dead
    // after the next start.
    ASSERT_EQ(WSACleanup(), 0);
    EXPECT_EQ(platform::OpenSocketCount(), 0);
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    SOCKET third;
    int thirdPeer;
    ASSERT_TRUE(platform::MakeSocketPair(&third, &thirdPeer));
    EXPECT_EQ(recv(second, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(WSACleanup(), 0);
    close(firstPeer);
    close(secondPeer);
    close(thirdPeer);
}

TEST_F(WinsockEvents, ReadIsPostedOnceAndAgainOnlyAfterARecvThatLeftDataBehind) {
    int peer;
    SOCKET ours = RegisteredPair(&peer);
    EXPECT_TRUE(Quiet().empty());

    WriteAll(peer, "abc");
    std::vector<Event> events = WaitFor(FD_READ);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].socket, ours);
    EXPECT_EQ(events[0].error, 0);
    WriteAll(peer, "d");
    EXPECT_TRUE(Quiet().empty()) << "no second FD_READ before a recv";

    char buffer[8];
    ASSERT_EQ(recv(ours, buffer, 1, 0), 1);
    EXPECT_EQ(WaitFor(FD_READ).size(), 1u) << "data left behind";
    ASSERT_EQ(recv(ours, buffer, 8, 0), 3);
    EXPECT_EQ(std::string(buffer, 3), "bcd");
    EXPECT_TRUE(Quiet().empty());
    EXPECT_EQ(recv(ours, buffer, 8, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockEvents, PeekThatFindsTooFewBytesWaitsForMoreToArrive) {
    int peer;
    SOCKET ours = RegisteredPair(&peer);
    WriteAll(peer, std::string("\x10\x00", 2));
    ASSERT_EQ(WaitFor(FD_READ).size(), 1u);
    char header[4];
    ASSERT_EQ(recv(ours, header, 4, MSG_PEEK), 2);
    EXPECT_TRUE(Quiet().empty()) << "the same two bytes must not wake the reader again";

    WriteAll(peer, std::string("\x00\x00", 2));
    ASSERT_EQ(WaitFor(FD_READ).size(), 1u);
    EXPECT_EQ(recv(ours, header, 4, MSG_PEEK), 4);
}

TEST_F(WinsockEvents, GracefulCloseIsPostedOnceTheDataBeforeItIsRead) {
    int peer;
    SOCKET ours = RegisteredPair(&peer);
    WriteAll(peer, "xy");
    close(peer);
    peers.clear();
    std::vector<Event> events = WaitFor(FD_CLOSE, 150);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, FD_READ);

    char buffer[4];
    ASSERT_EQ(recv(ours, buffer, 4, 0), 2);
    events = WaitFor(FD_CLOSE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, FD_CLOSE);
    EXPECT_EQ(events[0].error, 0);
    EXPECT_EQ(recv(ours, buffer, 4, 0), 0);
    EXPECT_TRUE(Quiet().empty());
}

TEST_F(WinsockEvents, AcceptGivesTheLoopbackPeerAndAResetIsPostedWithItsError) {
    SOCKET listener;
    uint16_t port = 0;
    ASSERT_TRUE(platform::OpenLoopbackListener(&listener, &port));
    int client = platform::ConnectLoopback(port);
    ASSERT_GE(client, 0);

    sockaddr_in peer = {};
    int length = 4;
    EXPECT_EQ(accept(listener, reinterpret_cast<sockaddr*>(&peer), &length), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    length = sizeof(peer);
    SOCKET accepted = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(peer.sin_family, 2);
    const auto* address = reinterpret_cast<const uint8_t*>(&peer.sin_addr.S_un.S_addr);
    EXPECT_EQ(address[0], 127);
    EXPECT_EQ(address[3], 1);
    EXPECT_NE(peer.sin_port, 0);

    ASSERT_EQ(WSAAsyncSelect(accepted, window, kSocketMessage, FD_READ | FD_CLOSE), 0);
    platform::CloseWithReset(client);
    std::vector<Event> events = WaitFor(FD_CLOSE);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().event, FD_CLOSE);
    EXPECT_EQ(events.back().error, WSAECONNRESET);
}

TEST_F(WinsockEvents, WriteIsPostedAgainOnceAFullSocketTakesDataAgain) {
    int peer;
    SOCKET ours = RegisteredPair(&peer);
    std::vector<char> chunk(65536, 'w');
    size_t sent = 0;
    for (int i = 0; i < 1024; ++i) {  // far more than a socket buffer holds
        int n = send(ours, chunk.data(), static_cast<int>(chunk.size()), 0);
        if (n == SOCKET_ERROR) {
            ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
            break;
        }
        sent += static_cast<size_t>(n);
    }
    ASSERT_GT(sent, 0u);
    EXPECT_TRUE(Quiet().empty()) << "still full";

    std::vector<char> sink(sent);
    size_t drained = 0;
    while (drained < sent) {
        ssize_t n = read(peer, sink.data() + drained, sent - drained);
        ASSERT_GT(n, 0);
        drained += static_cast<size_t>(n);
    }
    EXPECT_EQ(WaitFor(FD_WRITE).size(), 1u);
}

TEST_F(WinsockEvents, ASendCutShortByTheCapPostsWriteAtOnce) {
    int peer;
    SOCKET ours = RegisteredPair(&peer);
    platform::LimitSendLength(3);
    EXPECT_EQ(send(ours, "0123456789", 10, 0), 3);
    EXPECT_EQ(WaitFor(FD_WRITE).size(), 1u);
    char got[4];
    ASSERT_EQ(read(peer, got, 3), 3);
    EXPECT_EQ(std::string(got, 3), "012");
}

TEST_F(WinsockEvents, RegistrationRefusesUnservedEventsAndFailsWhenInjected) {
    SOCKET ours;
    int peer;
    ASSERT_TRUE(platform::MakeSocketPair(&ours, &peer));
    peers.push_back(peer);
    EXPECT_EQ(WSAAsyncSelect(ours, window, kSocketMessage, FD_ACCEPT), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(WSAAsyncSelect(ours, nullptr, kSocketMessage, FD_READ), SOCKET_ERROR);
    platform::FailNextWinsockCalls(platform::WinsockFailPoint::AsyncSelect, 1);
    EXPECT_EQ(WSAAsyncSelect(ours, window, kSocketMessage, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOBUFS);
    EXPECT_EQ(WSAAsyncSelect(ours, window, kSocketMessage, FD_READ), 0);

    // Cancelled: data arrives and nothing is posted.
    EXPECT_EQ(WSAAsyncSelect(ours, window, 0, 0), 0);
    WriteAll(peer, "z");
    EXPECT_TRUE(Quiet().empty());
}

}  // namespace
