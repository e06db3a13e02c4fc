// Many connections receiving at once: every peer has sent one short message
// before the socket window is pumped, so that each receive's pump meets the
// read events of all the others. Goal: 8192 connections handled in under
// half a second.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/net/connection_testing.h"
#include "foundation/net/connections.h"
#include "platform/winsock_testing.h"
#include "support/spread.h"

namespace {

// A descriptor for each client and each accepted socket, and some spare.
bool RaiseDescriptorLimit(int connections) {
    rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    rlim_t wanted = static_cast<rlim_t>(connections) * 2 + 64;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted < limit.rlim_max ? wanted : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur >= wanted;
}

struct Peers {
    std::vector<int> clients;
    std::vector<tessel::NetConnection*> connections;
};

bool ConnectPeers(int count, Peers* peers) {
    SOCKET listener;
    uint16_t port = 0;
    if (tessel::StartNetworkForTesting() != 0 ||
        !platform::OpenLoopbackListener(&listener, &port) ||
        tessel::SetListeningSocketForTesting(listener) != 0) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        int client = platform::ConnectLoopback(port);
        if (client < 0 || tessel::AcceptNetWork() != 1) {
            return false;
        }
        peers->clients.push_back(client);
        peers->connections.push_back(tessel::FindConnection(tessel::ConnectionHandleOfSlot(i)));
    }
    tessel::PumpNetworkMessages(0);  // the write events of the accepts
    return true;
}

void ClosePeers(Peers* peers) {
    tessel::EndNetwork();
    for (int client : peers->clients) {
        close(client);
    }
}

bool AllReceived(const Peers& peers, int32_t bytes) {
    for (const tessel::NetConnection* connection : peers.connections) {
        if (connection->completeBytes < bytes) {
            return false;
        }
    }
    return true;
}

void BM_ManyConnectionsReceiveOneMessageEach(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    if (!RaiseDescriptorLimit(count)) {
        state.SkipWithError("too few descriptors for the connections");
        return;
    }
    Peers peers;
    if (!ConnectPeers(count, &peers)) {
        ClosePeers(&peers);
        state.SkipWithError("the connections could not be made");
        return;
    }
    const char message[] = {5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'};
    int32_t received = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int client : peers.clients) {
            if (write(client, message, sizeof(message)) != sizeof(message)) {
                state.SkipWithError("a peer could not send");
                break;
            }
        }
        // Every message is on its socket before the pump starts.
        char head[4];
        while (recv(peers.connections.back()->socket, head, 4, MSG_PEEK) != 4) {
        }
        received += 5;
        state.ResumeTiming();
        while (!AllReceived(peers, received)) {
            tessel::PumpNetworkMessages(0);
        }
    }
    state.SetLabel(std::to_string(count) + " connections");
    ClosePeers(&peers);
}
BENCHMARK(BM_ManyConnectionsReceiveOneMessageEach)
    ->Arg(1000)
    ->Arg(8192)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("ms, wall, every connection's message received");
    benchspread::PrintFigureRow(
        "1000 connections",
        benchspread::Scaled(r.Get("BM_ManyConnectionsReceiveOneMessageEach/1000", "real_seconds"),
                            1e3),
        0, true, "%.1f");
    benchspread::PrintFigureRow(
        "8192 connections",
        benchspread::Scaled(r.Get("BM_ManyConnectionsReceiveOneMessageEach/8192", "real_seconds"),
                            1e3),
        500, true, "%.1f");
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
