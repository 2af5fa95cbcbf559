#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound/PulseLoop.h"

using plat::PulseLoop;

namespace {

// A pipe both of whose ends close with the test.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fd), 0); }
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    void CloseWriteEnd() {
        ::close(fd[1]);
        fd[1] = -1;
    }
};

struct Seen {
    int calls = 0;
    int fd = -1;
    pa_io_event_flags_t flags = PA_IO_EVENT_NULL;
    int destroyed = 0;
};

void RecordIo(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t flags, void* userdata) {
    auto* seen = static_cast<Seen*>(userdata);
    ++seen->calls;
    seen->fd = fd;
    seen->flags = flags;
}

template <class Event>
void RecordDestroy(pa_mainloop_api*, Event*, void* userdata) {
    ++static_cast<Seen*>(userdata)->destroyed;
}

int64_t NowUs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

// A time as libpulse hands it to a loop: on the wall clock, or on the
// monotonic clock with the bit that marks it.
timeval TimeIn(bool monotonic, int64_t offsetUs) {
    const int64_t us = NowUs(monotonic ? CLOCK_MONOTONIC : CLOCK_REALTIME) + offsetUs;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(us / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
    if (monotonic) tv.tv_usec |= 1L << 30;
    return tv;
}

}  // namespace

TEST(PulseLoop, DescriptorsAreReportedWithTheFlagsThatPollSaw) {
    struct Case {
        const char* what;
        pa_io_event_flags_t asked;
        int end;                   // which end of the pipe is watched
        void (*make)(Pipe&);       // what happens to the pipe first
        pa_io_event_flags_t seen;  // PA_IO_EVENT_NULL: no callback
    };
    auto write = [](Pipe& p) { ASSERT_EQ(::write(p.fd[1], "x", 1), 1); };
    auto nothing = [](Pipe&) {};
    auto hangUp = [](Pipe& p) { p.CloseWriteEnd(); };
    const Case cases[] = {
        {"readable", PA_IO_EVENT_INPUT, 0, write, PA_IO_EVENT_INPUT},
        {"not readable", PA_IO_EVENT_INPUT, 0, nothing, PA_IO_EVENT_NULL},
        {"writable", PA_IO_EVENT_OUTPUT, 1, nothing, PA_IO_EVENT_OUTPUT},
        {"readable but not asked for", PA_IO_EVENT_NULL, 0, write, PA_IO_EVENT_NULL},
        {"writer gone", PA_IO_EVENT_INPUT, 0, hangUp, PA_IO_EVENT_HANGUP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pipe pipe;
        c.make(pipe);
        PulseLoop loop;
        Seen seen;
        pa_mainloop_api* api = loop.Api();
        api->io_new(api, pipe.fd[c.end], c.asked, &RecordIo, &seen);
        ASSERT_TRUE(loop.Iterate(0));
        if (c.seen == PA_IO_EVENT_NULL) {
            EXPECT_EQ(seen.calls, 0);
        } else {
            EXPECT_EQ(seen.calls, 1);
            EXPECT_EQ(seen.fd, pipe.fd[c.end]);
            EXPECT_EQ(seen.flags & c.seen, c.seen) << "flags " << seen.flags;
        }
    }
}

TEST(PulseLoop, ADescriptorClosedUnderTheLoopIsAnErrorAndEnableChangesWhatIsWatched) {
    PulseLoop loop;
    pa_mainloop_api* api = loop.Api();
    Seen closed;
    int fd = ::eventfd(0, EFD_NONBLOCK);
    ASSERT_GE(fd, 0);
    api->io_new(api, fd, PA_IO_EVENT_INPUT, &RecordIo, &closed);
    ::close(fd);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(closed.calls, 1);
    EXPECT_EQ(closed.flags, PA_IO_EVENT_ERROR) << "a closed descriptor must not wake its owner with nothing to say";
}

TEST(PulseLoop, EnablingADescriptorsOutputTakesEffectOnTheNextTurn) {
    PulseLoop loop;
    pa_mainloop_api* api = loop.Api();
    Pipe pipe;
    Seen seen;
    pa_io_event* e = api->io_new(api, pipe.fd[1], PA_IO_EVENT_NULL, &RecordIo, &seen);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(seen.calls, 0);
    api->io_enable(e, PA_IO_EVENT_OUTPUT);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.flags, PA_IO_EVENT_OUTPUT);
}

TEST(PulseLoop, AnEnabledDeferredCallRunsEveryTurnAndTheTurnDoesNotWait) {
    PulseLoop loop;
    pa_mainloop_api* api = loop.Api();
    // The only other event is a timer an hour away, and the turns ask for no
    // limit: a turn that waited with a deferred call enabled would hang here.
    timeval later = TimeIn(true, int64_t{3600} * 1000000);
    Seen timer;
    api->time_new(api, &later, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* u) { ++static_cast<Seen*>(u)->calls; },
                  &timer);
    Seen defer;
    pa_defer_event* e = api->defer_new(
        api, [](pa_mainloop_api*, pa_defer_event*, void* u) { ++static_cast<Seen*>(u)->calls; }, &defer);
    ASSERT_TRUE(loop.Iterate(-1));
    ASSERT_TRUE(loop.Iterate(-1));
    EXPECT_EQ(defer.calls, 2) << "a new deferred call starts enabled and runs until disabled";
    api->defer_enable(e, 0);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(defer.calls, 2);
    api->defer_enable(e, 1);
    ASSERT_TRUE(loop.Iterate(-1));
    EXPECT_EQ(defer.calls, 3);
    EXPECT_EQ(timer.calls, 0);
}

// A deferred call that turns itself off has done its work: its turn waits as
// any other would (a wait is never shorter than asked, however loaded).
TEST(PulseLoop, ADeferredCallThatTurnsItselfOffLetsItsTurnWait) {
    PulseLoop loop;
    pa_mainloop_api* api = loop.Api();
    Seen defer;
    api->defer_new(
        api,
        [](pa_mainloop_api* a, pa_defer_event* d, void* u) {
            ++static_cast<Seen*>(u)->calls;
            a->defer_enable(d, 0);
        },
        &defer);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(loop.Iterate(60000));
    EXPECT_EQ(defer.calls, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST(PulseLoop, TimersFireWhenDueOnEitherClock) {
    struct Case {
        bool monotonic;
        int64_t offsetUs;
        bool fires;
    };
    const int64_t hour = int64_t{3600} * 1000000;
    const Case cases[] = {{false, -1000000, true}, {true, -1000000, true}, {false, hour, false}, {true, hour, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.monotonic ? "monotonic" : "wall clock") + (c.fires ? ", due" : ", an hour away"));
        PulseLoop loop;
        pa_mainloop_api* api = loop.Api();
        struct Fired {
            int calls = 0;
            timeval tv{};
        } fired;
        const timeval tv = TimeIn(c.monotonic, c.offsetUs);
        api->time_new(
            api, &tv,
            [](pa_mainloop_api*, pa_time_event*, const timeval* t, void* u) {
                auto* f = static_cast<Fired*>(u);
                ++f->calls;
                f->tv = *t;
            },
            &fired);
        ASSERT_TRUE(loop.Iterate(0));
        EXPECT_EQ(fired.calls, c.fires ? 1 : 0);
        if (c.fires) {
            EXPECT_EQ(fired.tv.tv_sec, tv.tv_sec) << "the callback gets the time it was set for";
            EXPECT_EQ(fired.tv.tv_usec, tv.tv_usec);
        }
        ASSERT_TRUE(loop.Iterate(0));
        EXPECT_EQ(fired.calls, c.fires ? 1 : 0) << "a timer fires once per start";
    }
}

TEST(PulseLoop, ATimerRestartedFromItsCallbackFiresOnTheNextTurnAndRestartWithNoTimeStopsIt) {
    PulseLoop loop;
    pa_mainloop_api* api = loop.Api();
    struct State {
        pa_mainloop_api* api;
        int calls = 0;
    } state{api};
    const timeval past = TimeIn(true, -1000);
    pa_time_event* e = api->time_new(
        api, &past,
        [](pa_mainloop_api* a, pa_time_event* self, const timeval* t, void* u) {
            ++static_cast<State*>(u)->calls;
            a->time_restart(self, t);  // due again at once
        },
        &state);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(state.calls, 1) << "a timer started again from its callback waits for the next turn";
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(state.calls, 2);
    api->time_restart(e, nullptr);
    ASSERT_TRUE(loop.Iterate(0));
    EXPECT_EQ(state.calls, 2);
}

TEST(PulseLoop, EventsFreedByACallbackAreNotCalledAgainAndEachIsDestroyedOnce) {
    Seen first, second, timer, defer;
    {
        PulseLoop loop;
        pa_mainloop_api* api = loop.Api();
        Pipe a, b;
        ASSERT_EQ(::write(a.fd[1], "x", 1), 1);
        ASSERT_EQ(::write(b.fd[1], "x", 1), 1);
        struct Freer {
            Seen* seen;
            pa_io_event* other = nullptr;
        } freer{&first};
        pa_io_event* e1 = api->io_new(
            api, a.fd[0], PA_IO_EVENT_INPUT,
            [](pa_mainloop_api* api2, pa_io_event* self, int, pa_io_event_flags_t, void* u) {
                auto* f = static_cast<Freer*>(u);
                ++f->seen->calls;
                api2->io_free(f->other);  // the other one is readable too
                api2->io_free(self);
            },
            &freer);
        api->io_set_destroy(e1, [](pa_mainloop_api*, pa_io_event*, void* u) { ++static_cast<Freer*>(u)->seen->destroyed; });
        freer.other = api->io_new(api, b.fd[0], PA_IO_EVENT_INPUT, &RecordIo, &second);
        api->io_set_destroy(freer.other, &RecordDestroy<pa_io_event>);
        ASSERT_TRUE(loop.Iterate(0));
        ASSERT_TRUE(loop.Iterate(0));
        EXPECT_EQ(first.calls, 1);
        EXPECT_EQ(second.calls, 0) << "freed before its turn came";
        EXPECT_EQ(first.destroyed, 1);
        EXPECT_EQ(second.destroyed, 1);

        // What is left when the loop ends is destroyed with it.
        const timeval later = TimeIn(false, int64_t{3600} * 1000000);
        pa_time_event* t = api->time_new(api, &later, nullptr, &timer);
        api->time_set_destroy(t, &RecordDestroy<pa_time_event>);
        pa_defer_event* d = api->defer_new(api, nullptr, &defer);
        api->defer_enable(d, 0);
        api->defer_set_destroy(d, &RecordDestroy<pa_defer_event>);
        ASSERT_TRUE(loop.Iterate(0));
        EXPECT_EQ(timer.destroyed + defer.destroyed, 0);
    }
    EXPECT_EQ(timer.destroyed, 1);
    EXPECT_EQ(defer.destroyed, 1);
    EXPECT_EQ(first.destroyed, 1);
    EXPECT_EQ(second.destroyed, 1);
}

TEST(PulseLoop, QuitEndsTheLoop) {
    PulseLoop loop;
    loop.Api()->quit(loop.Api(), 0);
    EXPECT_FALSE(loop.Iterate(0));
}
