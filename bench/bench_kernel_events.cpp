// Event round trips between two threads while other threads sit in waits of
// their own: a signal should cost the same however many threads wait on
// other objects (a reader thread per open archive, say).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/kernel.h"
#include "support/spread.h"

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

// A round trip beside other threads' waits over one without them: 1 is the
// same cost.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("round trip, wall", "us", "alone us", "alone/this [spread]");
    const benchspread::Samples alone =
        benchspread::Scaled(r.Get("BM_EventRoundTrip/0", "real_seconds"), 1e6);
    for (const char* idle : {"64", "512"}) {
        const benchspread::Samples beside = benchspread::Scaled(
            r.Get(std::string("BM_EventRoundTrip/") + idle, "real_seconds"), 1e6);
        benchspread::PrintSideBySideRow(std::string(idle) + " idle waiters", beside, alone,
                                        benchspread::Ratios(alone, beside), 0, "%.1f");
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
