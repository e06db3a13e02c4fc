// Event round trips between two threads while other threads sit in waits of
// their own: a signal should cost the same however many threads wait on
// other objects (a reader thread per open archive, say).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/kernel.h"

namespace {

struct PingPong {
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD Responder(LPVOID parameter) {
    auto* pair = static_cast<PingPong*>(parameter);
    HANDLE wake[2] = {pair->stop, pair->ping};
    while (WaitForMultipleObjects(2, wake, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        SetEvent(pair->pong);
    }
    return 0;
}

DWORD IdleWaiter(LPVOID parameter) {
    WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
    return 0;
}

void BM_EventRoundTrip(benchmark::State& state) {
    int idleCount = static_cast<int>(state.range(0));
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> idle;
    for (int i = 0; i < idleCount; ++i) {
        idle.push_back(CreateThread(nullptr, 0, IdleWaiter, release, 0, nullptr));
    }
    PingPong pair;
    HANDLE responder = CreateThread(nullptr, 0, Responder, &pair, 0, nullptr);
    for (auto _ : state) {
        SetEvent(pair.ping);
        WaitForSingleObject(pair.pong, INFINITE);
    }
    SetEvent(pair.stop);
    WaitForSingleObject(responder, INFINITE);
    CloseHandle(responder);
    SetEvent(release);
    for (HANDLE thread : idle) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    for (HANDLE event : {pair.ping, pair.pong, pair.stop, release}) {
        CloseHandle(event);
    }
    state.SetLabel(std::to_string(idleCount) + " idle waiters");
}
BENCHMARK(BM_EventRoundTrip)->Arg(0)->Arg(64)->Arg(512)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
