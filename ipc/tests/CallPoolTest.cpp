// The call pool: jobs run off the caller's thread, the pool grows while every
// thread is blocked, refuses work beyond its queue, and on stop answers what
// is still queued and waits for what runs.
#include <atomic>
#include <functional>
#include <thread>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/service/CallPool.h"
#include "platform/core/Sync.h"

using ipc::CallPool;

namespace {

class TestJob final : public CallPool::Job {
public:
    TestJob(std::atomic<int>& ran, std::atomic<int>& cancelled, plat::Event* gate = nullptr)
        : m_ran(ran), m_cancelled(cancelled), m_gate(gate) {}
    void Run() override {
        if (m_gate) m_gate->Wait(20000);
        ++m_ran;
    }
    void Cancel() override { ++m_cancelled; }

private:
    std::atomic<int>& m_ran;
    std::atomic<int>& m_cancelled;
    plat::Event* m_gate;
};

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 4000 && !done(); ++i) plat::Event().Wait(5);
    return done();
}

}  // namespace

TEST(IpcCallPool, GrowsWhileEveryThreadIsBlocked) {
    CallPool::Limits limits;
    limits.coreThreads = 2;
    limits.maxThreads = 8;
    CallPool pool(limits);
    std::atomic<int> ran{0}, cancelled{0};
    plat::Event gate;
    // Six jobs that block: more than the core, so the pool must grow to run them all.
    for (int i = 0; i < 6; ++i) {
        std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled, &gate);
        ASSERT_TRUE(pool.Submit(job));
    }
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 6; }));
    // One more, unblocked: served by yet another thread while the six wait.
    std::unique_ptr<CallPool::Job> quick = std::make_unique<TestJob>(ran, cancelled);
    ASSERT_TRUE(pool.Submit(quick));
    ASSERT_TRUE(WaitFor([&] { return ran.load() == 1; }));
    EXPECT_LE(pool.ThreadCount(), 8u);
    gate.Set();
    ASSERT_TRUE(WaitFor([&] { return ran.load() == 7; }));
    EXPECT_EQ(cancelled.load(), 0);
}

TEST(IpcCallPool, RefusesBeyondItsLimitsButNeverBookkeeping) {
    CallPool::Limits limits;
    limits.coreThreads = 1;
    limits.maxThreads = 1;
    limits.maxQueued = 2;
    CallPool pool(limits);
    std::atomic<int> ran{0}, cancelled{0};
    plat::Event gate;
    std::unique_ptr<CallPool::Job> blocker = std::make_unique<TestJob>(ran, cancelled, &gate);
    ASSERT_TRUE(pool.Submit(blocker));
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 1; }));
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled);
        ASSERT_TRUE(pool.Submit(job));
    }
    std::unique_ptr<CallPool::Job> refused = std::make_unique<TestJob>(ran, cancelled);
    EXPECT_FALSE(pool.Submit(refused));
    EXPECT_TRUE(refused) << "a refused job is handed back";
    std::unique_ptr<CallPool::Job> bookkeeping = std::make_unique<TestJob>(ran, cancelled);
    EXPECT_TRUE(pool.Submit(bookkeeping, true));
    gate.Set();
    ASSERT_TRUE(WaitFor([&] { return ran.load() == 4; }));
}

TEST(IpcCallPool, StopAnswersQueuedJobsAndWaitsForRunningOnes) {
    CallPool::Limits limits;
    limits.coreThreads = 1;
    limits.maxThreads = 1;
    CallPool pool(limits);
    std::atomic<int> ran{0}, cancelled{0};
    plat::Event gate;
    std::unique_ptr<CallPool::Job> running = std::make_unique<TestJob>(ran, cancelled, &gate);
    ASSERT_TRUE(pool.Submit(running));
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 1; }));
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled);
        ASSERT_TRUE(pool.Submit(job));
    }
    // The running call ends only once the stop has taken the queue: the queued
    // calls are cancelled, never run, however late this thread gets there.
    std::thread opener([&] {
        WaitFor([&] { return pool.IsStopping(); });
        gate.Set();
    });
    pool.Stop();
    opener.join();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(cancelled.load(), 3);
    EXPECT_TRUE(pool.IsStopping());
    EXPECT_EQ(pool.ThreadCount(), 0u);
    std::unique_ptr<CallPool::Job> late = std::make_unique<TestJob>(ran, cancelled);
    EXPECT_FALSE(pool.Submit(late, true));
}

// After a burst the pool shrinks back to its core, even while a light load
// (one call after another) goes on: the thread that went idle last takes the
// next call, so the others stay idle long enough to end. Once the burst is
// over, what it left in the allocator is given back, once; a light load alone
// never grows the pool and never asks for it.
TEST(IpcCallPool, ShrinksAfterABurstUnderALightLoadAndGivesTheMemoryBack) {
    std::atomic<int> givenBack{0};
    CallPool::Limits limits;
    limits.coreThreads = 2;
    limits.maxThreads = 16;
    limits.idleMs = 400;
    limits.giveBackMemory = [&] { ++givenBack; };
    CallPool pool(limits);
    std::atomic<int> ran{0}, cancelled{0};

    // A light load alone: never more than the core, nothing to give back.
    auto lightLoad = [&](int calls) {
        for (int i = 0; i < calls; ++i) {
            const int before = ran.load();
            std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled);
            ASSERT_TRUE(pool.Submit(job));
            ASSERT_TRUE(WaitFor([&] { return ran.load() > before; }));
            // The worker is idle again before the next call, however late it
            // got there; the pause only spaces the calls out.
            ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 0; }));
            plat::Event().Wait(20);
        }
    };
    lightLoad(30);
    EXPECT_LE(pool.ThreadCount(), 2u);
    EXPECT_EQ(givenBack.load(), 0);

    // A burst of blocked calls grows the pool.
    plat::Event gate;
    for (int i = 0; i < 16; ++i) {
        std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled, &gate);
        ASSERT_TRUE(pool.Submit(job));
    }
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 16; }));
    EXPECT_EQ(pool.ThreadCount(), 16u);
    EXPECT_EQ(givenBack.load(), 0) << "nothing is given back while the burst runs";
    gate.Set();
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 0; }));

    // The light load goes on; the surplus threads end all the same.
    for (int round = 0; round < 1000 && pool.ThreadCount() > 2; ++round) lightLoad(1);
    EXPECT_LE(pool.ThreadCount(), 2u) << "the pool stayed grown under a light load";
    EXPECT_TRUE(WaitFor([&] { return givenBack.load() >= 1; })) << "the burst's memory was never given back";
    // Nothing more to give back once it has been (no new burst).
    const int after = givenBack.load();
    plat::Event().Wait(4 * limits.idleMs);
    EXPECT_LE(givenBack.load(), after + 1) << "memory is given back again and again without a burst";
}

TEST(IpcCallPool, EveryJobIsAnsweredOnceWhenStopMeetsSubmit) {
    // A stop that lands while the bus thread is handing over calls: each call
    // runs, is cancelled or is handed back, exactly once, and every thread is
    // joined.
    for (int round = 0; round < 50; ++round) {
        CallPool::Limits limits;
        limits.coreThreads = 2;
        limits.maxThreads = 4;
        CallPool pool(limits);
        std::atomic<int> ran{0}, cancelled{0};
        int refused = 0, submitted = 0;
        plat::Event started;
        std::thread stopper([&] {
            started.Wait(20000);
            pool.Stop();
        });
        for (int i = 0; i < 200; ++i) {
            std::unique_ptr<CallPool::Job> job = std::make_unique<TestJob>(ran, cancelled);
            if (i == 10) started.Set();
            if (pool.Submit(job)) {
                ++submitted;
            } else {
                ASSERT_NE(job, nullptr) << "a refused job must be handed back";
                ++refused;
            }
        }
        stopper.join();
        EXPECT_EQ(ran.load() + cancelled.load(), submitted) << "round " << round;
        EXPECT_EQ(submitted + refused, 200);
        EXPECT_EQ(pool.ThreadCount(), 0u);
    }
}
