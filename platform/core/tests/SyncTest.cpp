#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/ExceptionGuard.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"

using namespace plat;

TEST(Event, ManualStaysSetUntilReset) {
    Event e(Event::Reset::Manual);
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
    e.Set();
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    e.ResetEvent();
    EXPECT_EQ(e.Wait(10), WAIT_TIMEOUT);
}

TEST(Event, AutoResetIsConsumedByExactlyOneWait) {
    Event e(Event::Reset::Auto, true);
    EXPECT_TRUE(e.IsSet());
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
    e.Set();
    e.Set();  // a second set before a wait is not counted twice
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
}

namespace {
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}
}  // namespace

// Set signals the descriptor after it releases its lock, so the signal of a
// Set can land after a reset that came in between. Such a stale signal must
// neither count as set nor leave the descriptor readable (a waiter's poll
// would spin on it), and the next real Set must still wake a waiter.
TEST(Event, AStaleSignalAfterAResetIsClearedAndNotTaken) {
    for (Event::Reset mode : {Event::Reset::Manual, Event::Reset::Auto}) {
        SCOPED_TRACE(mode == Event::Reset::Manual ? "manual" : "auto");
        Event e(mode);
        e.Set();
        e.ResetEvent();
        const uint64_t one = 1;
        ASSERT_EQ(::write(e.WaitFd(), &one, sizeof one), static_cast<ssize_t>(sizeof one));  // the late write
        // A look without waiting goes by the state alone; a wait that polls
        // clears the signal and waits on.
        EXPECT_EQ(WaitAny({&e}, 0), WAIT_TIMEOUT);
        EXPECT_EQ(WaitAny({&e}, 30), WAIT_TIMEOUT);
        EXPECT_FALSE(e.IsSet());
        EXPECT_FALSE(Readable(e.WaitFd()));
        std::thread t([&] { e.Set(); });
        EXPECT_EQ(e.Wait(5000), WAIT_OBJECT_0);
        t.join();
        EXPECT_EQ(e.IsSet(), mode == Event::Reset::Manual);
        EXPECT_EQ(Readable(e.WaitFd()), mode == Event::Reset::Manual);
    }
}

// A Set racing a reset (or, for an auto event, a take): once both have
// returned, the descriptor is readable exactly when the event is set, so a
// waiter neither spins on a stale signal nor sleeps through a real one.
TEST(Event, ASetRacingAResetLeavesTheDescriptorAsTheFlagSays) {
    for (Event::Reset mode : {Event::Reset::Manual, Event::Reset::Auto}) {
        SCOPED_TRACE(mode == Event::Reset::Manual ? "manual" : "auto");
        Event e(mode);
        constexpr int kRounds = 5000;
        std::atomic<int> round{-1}, done{-1};
        std::thread setter([&] {
            for (int i = 0; i < kRounds; ++i) {
                while (round.load() < i) std::this_thread::yield();
                e.Set();
                done.store(i);
            }
        });
        int wrong = 0;
        for (int i = 0; i < kRounds; ++i) {
            round.store(i);
            if (mode == Event::Reset::Manual) {
                e.ResetEvent();
            } else {
                WaitAny({&e}, 0);
            }
            while (done.load() < i) std::this_thread::yield();
            if (Readable(e.WaitFd()) != e.IsSet()) ++wrong;
            e.ResetEvent();
            WaitAny({&e}, 0);
        }
        setter.join();
        EXPECT_EQ(wrong, 0);
    }
}

TEST(WaitAny, FirstSignalledInListOrderWinsAndOnlyItIsConsumed) {
    Event a(Event::Reset::Auto), b(Event::Reset::Auto), c(Event::Reset::Auto);
    b.Set();
    c.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(c.IsSet());
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitAny({&a, &b, &c}, 20), WAIT_TIMEOUT);
}

namespace {
// A waitable that, like a signal or a process, can tell its state only
// through its descriptor.
class DescriptorOnly : public Waitable {
public:
    DescriptorOnly() { EXPECT_EQ(::pipe(m_fds), 0); }
    ~DescriptorOnly() override {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    void Signal() { ASSERT_EQ(::write(m_fds[1], "x", 1), 1); }
    int WaitFd() const override { return m_fds[0]; }
    bool TryAcquire() override {
        ++acquired;
        return true;
    }
    int acquired = 0;

private:
    int m_fds[2] = {-1, -1};
};
}  // namespace

// Events already signalled are taken without a poll, but never ahead of an
// earlier object in the list that can only be polled.
TEST(WaitAny, ObjectsThatCanOnlyBePolledKeepTheirPlaceInTheOrder) {
    struct Case {
        const char* name;
        bool polledFirst;   // the descriptor-only object stands first in the list
        bool polledSignalled;
        DWORD timeoutMs;
        DWORD expected;
        int acquired;       // TryAcquire calls on the descriptor-only object
    };
    const Case cases[] = {
        {"set event first, signalled poll-only second", false, true, 0, WAIT_OBJECT_0, 0},
        {"signalled poll-only first, set event second", true, true, 0, WAIT_OBJECT_0, 1},
        {"quiet poll-only first, set event second", true, false, 0, WAIT_OBJECT_0 + 1, 0},
        {"quiet poll-only first, set event second, waiting", true, false, 1000, WAIT_OBJECT_0 + 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Event set(Event::Reset::Auto, true);
        DescriptorOnly polled;
        if (c.polledSignalled) polled.Signal();
        const DWORD r = c.polledFirst ? WaitAny({&polled, &set}, c.timeoutMs) : WaitAny({&set, &polled}, c.timeoutMs);
        EXPECT_EQ(r, c.expected);
        EXPECT_EQ(polled.acquired, c.acquired);
        // Only the object that won is consumed.
        EXPECT_EQ(set.IsSet(), r != (c.polledFirst ? WAIT_OBJECT_0 + 1 : WAIT_OBJECT_0));
    }
}

TEST(WaitAny, WakesWhenAnotherThreadSets) {
    Event stop(Event::Reset::Manual), work(Event::Reset::Auto);
    std::thread t([&] { work.Set(); });
    EXPECT_EQ(WaitAny({&stop, &work}, 5000), WAIT_OBJECT_0 + 1);
    t.join();
}

TEST(WaitAny, NullObjectFails) {
    Event a;
    EXPECT_EQ(WaitAny({&a, nullptr}, 0), WAIT_FAILED);
}

TEST(Thread, ExitCodeAndWaitingOnTheThread) {
    Event go(Event::Reset::Manual);
    Thread t;
    EXPECT_EQ(t.ExitCode(), STILL_ACTIVE);
    ASSERT_TRUE(t.Start([&] {
        go.Wait();
        return HRESULT(7);
    }));
    EXPECT_TRUE(t.IsRunning());
    EXPECT_EQ(t.Wait(10), WAIT_TIMEOUT);
    EXPECT_FALSE(t.Join(10));
    EXPECT_EQ(t.ExitCode(), STILL_ACTIVE);
    Event other;
    go.Set();
    EXPECT_EQ(WaitAny({&other, &t}, 5000), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(t.Join(5000));
    EXPECT_EQ(t.ExitCode(), 7);
    EXPECT_FALSE(t.IsRunning());
}

TEST(Thread, CanBeRestartedAfterJoinButNotWhileRunning) {
    Thread t;
    Event hold;
    ASSERT_TRUE(t.Start([&] { return hold.Wait() == WAIT_OBJECT_0 ? S_OK : E_FAIL; }));
    EXPECT_FALSE(t.Start([] { return S_OK; }));
    hold.Set();
    ASSERT_TRUE(t.Join());
    ASSERT_TRUE(t.Start([] { return S_FALSE; }));
    t.SetPriority(ThreadPriority::Lowest);
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(t.ExitCode(), S_FALSE);
}

namespace {

struct Escaped {
    std::string kind, name, what;
    HRESULT hr = S_OK;
    int count = 0;
};
Escaped g_escaped;
void NoteEscaped(std::string_view kind, std::string_view name, std::string_view what, HRESULT hr) {
    g_escaped = {std::string(kind), std::string(name), std::string(what), hr, g_escaped.count + 1};
}

}  // namespace

TEST(Thread, AnExceptionEndsOnlyItsThreadWithAnHResultAndIsReported) {
    struct Case {
        const char* label;
        std::function<void()> raise;
        HRESULT expected;
        const char* what;
    };
    const Case cases[] = {
        {"std::exception", [] { throw std::runtime_error("broken on purpose"); }, E_FAIL, "broken on purpose"},
        {"std::bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, "out of memory (std::bad_alloc)"},
        {"not an exception class", [] { throw 42; }, E_FAIL, "an exception of an unknown type"},
    };
    SetExceptionSink(&NoteEscaped);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        g_escaped = {};
        Thread t;
        ASSERT_TRUE(t.Start(
            [&]() -> HRESULT {
                c.raise();
                return S_OK;
            },
            "thrower"));
        ASSERT_TRUE(t.Join());
        EXPECT_EQ(c.expected, t.ExitCode());
        EXPECT_EQ(1, g_escaped.count);
        EXPECT_EQ("thread", g_escaped.kind);
        EXPECT_EQ("thrower", g_escaped.name);
        EXPECT_EQ(c.what, g_escaped.what);
        EXPECT_EQ(c.expected, g_escaped.hr);
    }
    SetExceptionSink(nullptr);
}

TEST(Mutex, OwnerMayLockAgainOthersWait) {
    Mutex m(u"test");
    m.Lock();
    m.Lock();
    std::atomic<bool> got{false};
    std::thread t([&] {
        got = m.TryLock();
        if (got) m.Unlock();
    });
    t.join();
    EXPECT_FALSE(got);
    m.Unlock();
    m.Unlock();
    std::thread t2([&] {
        got = m.TryLock();
        if (got) m.Unlock();
    });
    t2.join();
    EXPECT_TRUE(got);
}

TEST(Clock, ManualClockDrivesTickAndSleep) {
    ManualClock clock(0xFFFFFFF0ull);
    SetClock(&clock);
    DWORD before = GetTickCount();
    Sleep(0x20);  // returns at once, the tick wraps past 2^32
    DWORD after = GetTickCount();
    SetClock(nullptr);
    EXPECT_EQ(before, 0xFFFFFFF0u);
    EXPECT_EQ(after, 0x10u);
    EXPECT_EQ(static_cast<DWORD>(after - before), 0x20u);
    std::string t = CTimeText();
    EXPECT_EQ(t.size(), 25u);
    EXPECT_EQ(t.back(), '\n');
}
