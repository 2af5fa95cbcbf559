// Figures for the contract across the bus (run inside scripts/testenv):
//   - one poll round of the desktop program (eleven getters on IAudioController):
//     median and 99th percentile over many rounds;
//   - calls per second with 8 client threads on one connection.
// The service runs in this process on its own connection, so every call
// crosses the bus daemon both ways, as between two processes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "ipc/client/ClientConnection.h"
#include "ipc/tests/support/TestService.h"

using Clock = std::chrono::steady_clock;

namespace {

HRESULT PollRound(IAudioController* c) {
    ULONG value = 0;
    BYTE percent = 0;
    LONG yes = 0;
    HRESULT hr = S_OK;
    for (HRESULT step : {c->GetAvailableCommands(&value), c->GetCurrentState(&value), c->GetPlayPosition(&value),
                         c->GetRecordPosition(&value), c->GetStartReadPos(&value), c->GetTimeFullness(&value),
                         c->GetPercentFullness(&percent), c->IsCacheFull(&yes), c->CheckState(_esLive, &yes),
                         c->CheckCommand(_ecPlay, &yes), c->CheckState(_esRec, &yes)})
        if (FAILED(step)) hr = step;
    return hr;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
    if (!ipctest::SessionBusAvailable()) {
        std::fprintf(stderr, "no session bus: run inside scripts/testenv\n");
        return 1;
    }
    std::unique_ptr<ipctest::TestService> service;
    if (FAILED(ipctest::TestService::Start(ipctest::UniqueTestBusName(), &service))) return 1;
    std::shared_ptr<ipc::ClientConnection> client;
    plat::ComPtr<IAudioController> controller;
    if (FAILED(ipc::ClientConnection::Open(&client)) ||
        client->FindController(controller.ReleaseAndGetAddressOf(), service->BusName()) != S_OK)
        return 1;

    for (int i = 0; i < 200; ++i) PollRound(controller.Get());  // warm up
    constexpr int kRounds = 3000;
    std::vector<double> rounds;
    rounds.reserve(kRounds);
    for (int i = 0; i < kRounds; ++i) {
        auto start = Clock::now();
        if (FAILED(PollRound(controller.Get()))) return 1;
        rounds.push_back(Ms(Clock::now() - start));
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf("poll round (11 calls), %d rounds: median %.3f ms, p99 %.3f ms, max %.3f ms\n", kRounds,
                rounds[kRounds / 2], rounds[kRounds * 99 / 100], rounds.back());

    constexpr int kThreads = 8;
    constexpr auto kSpan = std::chrono::seconds(3);
    std::atomic<long> calls{0}, failures{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    auto start = Clock::now();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ULONG value = 0;
            while (!stop) {
                if (controller->GetPlayPosition(&value) == S_OK)
                    ++calls;
                else
                    ++failures;
            }
        });
    }
    std::this_thread::sleep_for(kSpan);
    stop = true;
    for (auto& t : threads) t.join();
    double seconds = Ms(Clock::now() - start) / 1000.0;
    std::printf("%d threads: %.0f calls/s (%ld calls, %ld failures in %.2f s)\n", kThreads, calls / seconds,
                calls.load(), failures.load(), seconds);
    controller = nullptr;
    client.reset();
    return failures == 0 ? 0 : 1;
}
