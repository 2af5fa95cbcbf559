// The call pool: jobs run off the caller's thread, the pool grows while every
// thread is blocked, refuses work beyond its queue, and on stop answers what
// is still queued and waits for what runs. Its threads serve the bus in turns:
// the thread that read a call runs it while the next one reads on.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
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

// A bus whose messages are handlers run by the serving thread, one per
// dispatch. It answers as the connection does: a dispatch with nothing there
// says so and a wait blocks until a message comes or the turn is stopped;
// once stopped, both end at once.
class FakeBus final : public CallPool::Turn {
public:
    void Post(std::function<void()> handler) {
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(handler));
        }
        m_arrived.notify_all();
    }
    Step Dispatch() override {
        // One dispatch at a time, as the connection allows.
        std::lock_guard dispatching(m_dispatch);
        std::function<void()> handler;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped) return Step::Ended;
            if (m_messages.empty()) return Step::Nothing;
            handler = std::move(m_messages.front());
            m_messages.pop_front();
        }
        handler();
        ++dispatched;
        return Step::Dispatched;
    }
    bool Wait() override {
        std::unique_lock lock(m_mutex);
        m_arrived.wait(lock, [&] { return m_stopped || !m_messages.empty(); });
        return !m_stopped;
    }
    void Stop() override {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_arrived.notify_all();
    }
    std::atomic<int> dispatched{0};

private:
    std::mutex m_dispatch;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::function<void()>> m_messages;
    bool m_stopped = false;
};

// Runs a callable as a job.
class CallJob final : public CallPool::Job {
public:
    explicit CallJob(std::function<void()> run, std::atomic<int>* cancelled = nullptr)
        : m_run(std::move(run)), m_cancelled(cancelled) {}
    void Run() override { m_run(); }
    void Cancel() override {
        if (m_cancelled) ++*m_cancelled;
    }

private:
    std::function<void()> m_run;
    std::atomic<int>* m_cancelled;
};

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

// A call read from the bus runs on the thread that read it, with no hand-over
// to another thread; the turn passes on at once, so a call that blocks never
// keeps the next one from being read and run. With no thread to spare (the
// limit reached) the reader queues the call and reads on, and a thread that
// comes free runs it.
TEST(IpcCallPool, TheThreadThatReadsACallRunsItWhileTheNextOneReadsOn) {
    CallPool::Limits limits;
    limits.coreThreads = 1;
    limits.maxThreads = 1;
    FakeBus bus;  // outlives the pool that serves it
    CallPool pool(limits);
    ASSERT_TRUE(pool.ServeBus(bus));

    struct Call {
        std::thread::id readBy, ranBy;
        std::atomic<bool> ran{false};
    };
    Call first, second, third;
    plat::Event gate;
    auto post = [&](Call& call, plat::Event* block) {
        bus.Post([&pool, &call, block] {
            call.readBy = std::this_thread::get_id();
            std::unique_ptr<CallPool::Job> job = std::make_unique<CallJob>([&call, block] {
                call.ranBy = std::this_thread::get_id();
                if (block) block->Wait(20000);
                call.ran = true;
            });
            ASSERT_TRUE(pool.Submit(job));
        });
    };
    post(first, &gate);
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 1; }));
    post(second, nullptr);
    // The first call blocks its thread and the limit allows no other call
    // thread: the second waits, but it was read all the same.
    ASSERT_TRUE(WaitFor([&] { return bus.dispatched.load() == 2; }));
    EXPECT_FALSE(second.ran.load());
    EXPECT_EQ(pool.PendingCount(), 2u);
    gate.Set();
    ASSERT_TRUE(WaitFor([&] { return second.ran.load(); }));
    EXPECT_EQ(first.ranBy, first.readBy) << "the call was handed to another thread";
    EXPECT_NE(second.readBy, first.readBy) << "the bus was not read on while the first call ran";
    EXPECT_LE(pool.ThreadCount(), 2u);

    // A thread free again: the next call runs where it was read, at once.
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 0; }));
    post(third, nullptr);
    ASSERT_TRUE(WaitFor([&] { return third.ran.load(); }));
    EXPECT_EQ(third.ranBy, third.readBy);

    pool.StopServing();
    pool.Stop();
    EXPECT_EQ(pool.ThreadCount(), 0u);
}

// While the pool stops (waiting for a running call) the bus is still read, and
// what arrives is refused, so that its caller hears at once; only StopServing
// ends the reading, and then every thread is joined.
TEST(IpcCallPool, CallsThatArriveWhileThePoolStopsAreReadAndRefused) {
    FakeBus bus;
    CallPool pool;
    ASSERT_TRUE(pool.ServeBus(bus));
    plat::Event gate;
    std::atomic<int> ran{0}, cancelled{0}, refused{0};
    bus.Post([&] {
        std::unique_ptr<CallPool::Job> job = std::make_unique<CallJob>([&] {
            gate.Wait(20000);
            ++ran;
        });
        ASSERT_TRUE(pool.Submit(job));
    });
    ASSERT_TRUE(WaitFor([&] { return pool.BusyCount() == 1; }));
    std::thread stopper([&] { pool.Stop(); });
    // A failed check below still lets the running call end and joins the stopper.
    struct Release {
        plat::Event& gate;
        std::thread& stopper;
        ~Release() {
            gate.Set();
            if (stopper.joinable()) stopper.join();
        }
    } release{gate, stopper};
    ASSERT_TRUE(WaitFor([&] { return pool.IsStopping(); }));
    for (int i = 0; i < 3; ++i) {
        bus.Post([&] {
            std::unique_ptr<CallPool::Job> job = std::make_unique<CallJob>([&] { ++ran; }, &cancelled);
            if (!pool.Submit(job)) ++refused;
        });
    }
    ASSERT_TRUE(WaitFor([&] { return refused.load() == 3; })) << "the bus was not read while the pool stopped";
    gate.Set();
    stopper.join();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(cancelled.load(), 0);
    EXPECT_GE(pool.ThreadCount(), 1u) << "the thread serving the bus is kept until StopServing";
    pool.StopServing();
    EXPECT_EQ(pool.ThreadCount(), 0u) << "no thread is left to read the bus";
}
