// Figures for the contract across the bus (run inside scripts/testenv):
//   - one poll round of the desktop program (eleven getters on IAudioController)
//     beside eleven org.freedesktop.DBus.Peer.Ping calls to the same service on
//     the same connection (the floor any call pays for crossing the bus daemon
//     both ways): medians and 99th percentiles over many rounds, interleaved so
//     that a change of the machine's load hits both alike;
//   - calls per second with 8 client threads on one connection.
// By default the service runs in this process on its own connection, so every
// call crosses the bus daemon both ways, as between two processes; --name
// measures a running service (the daemon) instead.
//   ipc_benchmark [--name BUSNAME] [--rounds N] [--poll-only]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

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

constexpr int kCallsPerRound = 11;

bool PingRound(sdbus::IProxy& peer) {
    try {
        for (int i = 0; i < kCallsPerRound; ++i) peer.callMethod("Ping").onInterface("org.freedesktop.DBus.Peer");
        return true;
    } catch (const sdbus::Error& e) {
        std::fprintf(stderr, "Peer.Ping failed: %s\n", e.getMessage().c_str());
        return false;
    }
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Spread {
    double median, p99, max;
};
Spread Summarise(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

int Usage() {
    std::fprintf(stderr, "usage: ipc_benchmark [--name BUSNAME] [--rounds N] [--poll-only]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name;
    int rounds = 3000;
    bool pollOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--name") && i + 1 < argc)
            name = argv[++i];
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--poll-only"))
            pollOnly = true;
        else
            return Usage();
    }
    if (rounds < 10) return Usage();
    if (!ipctest::SessionBusAvailable()) {
        std::fprintf(stderr, "no session bus: run inside scripts/testenv\n");
        return 1;
    }
    std::unique_ptr<ipctest::TestService> service;
    if (name.empty()) {
        if (FAILED(ipctest::TestService::Start(ipctest::UniqueTestBusName(), &service))) return 1;
        name = service->BusName();
    }
    std::shared_ptr<ipc::ClientConnection> client;
    plat::ComPtr<IAudioController> controller;
    if (FAILED(ipc::ClientConnection::Open(&client)) || client->FindController(controller.ReleaseAndGetAddressOf(), name) != S_OK) {
        std::fprintf(stderr, "no service answers as %s\n", name.c_str());
        return 1;
    }
    auto peer = sdbus::createProxy(client->Bus(), name, "/");

    for (int i = 0; i < 200; ++i) {  // warm up
        PollRound(controller.Get());
        PingRound(*peer);
    }
    std::vector<double> polls, pings;
    polls.reserve(rounds);
    pings.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        if (FAILED(PollRound(controller.Get()))) return 1;
        auto middle = Clock::now();
        if (!PingRound(*peer)) return 1;
        polls.push_back(Ms(middle - start));
        pings.push_back(Ms(Clock::now() - middle));
    }
    const Spread poll = Summarise(polls), ping = Summarise(pings);
    std::printf("poll round (11 calls), %d rounds: median %.3f ms, p99 %.3f ms, max %.3f ms\n", rounds, poll.median,
                poll.p99, poll.max);
    std::printf("Peer.Ping x 11, %d rounds: median %.3f ms, p99 %.3f ms, max %.3f ms\n", rounds, ping.median, ping.p99,
                ping.max);
    std::printf("poll round / Peer.Ping x 11 (medians): %.2fx\n", poll.median / ping.median);
    if (pollOnly) return 0;

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
    peer.reset();
    controller = nullptr;
    client.reset();
    return failures == 0 ? 0 : 1;
}
