// The connection layer inside a running library: the main window hands it
// socket events, every frame polls it, and the library's end ends it.
#include <unistd.h>

#include <string>

#include "foundation/net/connection_testing.h"
#include "foundation/net/connections.h"
#include "platform/kernel.h"
#include "platform/winmm.h"
#include "platform/winsock_testing.h"
#include "tests/foundation/runtime/library_test_support.h"

using tessel_test::LibraryTest;

namespace {

// A started library with the layer started beside it and one accepted
// client; the client's descriptor in *client.
tessel::NetConnection* StartWithClient(int* client) {
    if (tessel::StartLibrary() != 0 || tessel::StartNetworkForTesting() != 0) {
        return nullptr;
    }
    SOCKET listener;
    uint16_t port = 0;
    if (!platform::OpenLoopbackListener(&listener, &port) ||
        tessel::SetListeningSocketForTesting(listener) != 0) {
        return nullptr;
    }
    *client = platform::ConnectLoopback(port);
    if (*client < 0 || tessel::AcceptNetWork() != 1) {
        return nullptr;
    }
    return tessel::FindConnection(tessel::ConnectionHandleOfSlot(0));
}

const char kFramedHello[] = "\x05\x00\x00\x00hello";

}  // namespace

TEST_F(LibraryTest, TheMainWindowHandsSocketEventsToTheConnectionLayer) {
    int client = -1;
    tessel::NetConnection* connection = StartWithClient(&client);
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(write(client, kFramedHello, 9), 9);
    Sleep(20);
    EXPECT_EQ(SendMessageA(tessel::GetMainWindow(), tessel::kSocketEventMessage,
                           static_cast<WPARAM>(connection->socket), FD_READ),
              1);
    EXPECT_EQ(connection->completeBytes, 5);
    EXPECT_EQ(SendMessageA(tessel::GetMainWindow(), tessel::kSocketEventMessage, 12345, FD_READ), 0)
        << "no connection holds that socket";
    close(client);
}

TEST_F(LibraryTest, EveryFramePollsTheConnectionsAndTheLibrarysEndEndsTheLayer) {
    int client = -1;
    tessel::NetConnection* connection = StartWithClient(&client);
    ASSERT_NE(connection, nullptr);
    int32_t handle = tessel::ConnectionHandleOfSlot(0);
    ASSERT_EQ(write(client, kFramedHello, 9), 9);
    close(client);
    // The peer's message and its close arrive through the frames, and a
    // later frame closes the finished connection.
    DWORD start = timeGetTime();
    while (tessel::FindConnection(handle) != nullptr && timeGetTime() - start < 2000) {
        tessel::PumpMessages();
        Sleep(1);
    }
    EXPECT_EQ(tessel::FindConnection(handle), nullptr);

    ASSERT_EQ(tessel::EndLibrary(), 0);
    EXPECT_EQ(tessel::g_network.started, 0);
    EXPECT_EQ(platform::OpenSocketCount(), 0);
    std::string log = Log();
    EXPECT_NE(log.find("ネットワーク関連の終了処理を行います \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ネットワーク関連の終了処理は完了しました\r\n"), std::string::npos) << log;
}
