// The cost of handing one call from the bus thread to the call pool and
// hearing back that it ran: one call at a time (a client that polls), and
// eleven queued at once (a poll round whose calls overlap). Run in an
// optimised build, on a quiet machine, and compare runs of the same build:
//   call_pool_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <semaphore>

#include "ipc/service/CallPool.h"

namespace {

class SignalJob final : public ipc::CallPool::Job {
public:
    SignalJob(std::counting_semaphore<>& done) : m_done(done) {}
    void Run() override { m_done.release(); }
    void Cancel() override { m_done.release(); }

private:
    std::counting_semaphore<>& m_done;
};

void BM_OneCallAtATime(benchmark::State& state) {
    ipc::CallPool pool;
    std::counting_semaphore<> done(0);
    for (auto _ : state) {
        std::unique_ptr<ipc::CallPool::Job> job = std::make_unique<SignalJob>(done);
        if (!pool.Submit(job)) state.SkipWithError("the pool refused a call");
        done.acquire();
    }
}
BENCHMARK(BM_OneCallAtATime)->UseRealTime();

void BM_ElevenAtOnce(benchmark::State& state) {
    constexpr int kCalls = 11;
    ipc::CallPool pool;
    std::counting_semaphore<> done(0);
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            std::unique_ptr<ipc::CallPool::Job> job = std::make_unique<SignalJob>(done);
            if (!pool.Submit(job)) state.SkipWithError("the pool refused a call");
        }
        for (int i = 0; i < kCalls; ++i) done.acquire();
    }
}
BENCHMARK(BM_ElevenAtOnce)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
