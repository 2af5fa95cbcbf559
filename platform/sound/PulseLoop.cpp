#include "platform/sound/PulseLoop.h"

#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace plat {

namespace {
// libpulse marks a time given on the monotonic clock with this bit of
// tv_usec (a loop of its own kind gets such times; any other loop gets wall
// clock times, but both are read here).
constexpr long kMonotonicFlag = 1L << 30;
constexpr int64_t kUsPerSec = 1000000;

int64_t NowUs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t{ts.tv_sec} * kUsPerSec + ts.tv_nsec / 1000;
}

// The monotonic time at which a time event given as tv is due.
int64_t DueUs(const timeval& tv) {
    if (tv.tv_usec & kMonotonicFlag) return int64_t{tv.tv_sec} * kUsPerSec + (tv.tv_usec & ~kMonotonicFlag);
    const int64_t wall = int64_t{tv.tv_sec} * kUsPerSec + tv.tv_usec;
    return NowUs(CLOCK_MONOTONIC) + (wall - NowUs(CLOCK_REALTIME));
}

short ToPoll(pa_io_event_flags_t f) {
    return static_cast<short>((f & PA_IO_EVENT_INPUT ? POLLIN : 0) | (f & PA_IO_EVENT_OUTPUT ? POLLOUT : 0) |
                              (f & PA_IO_EVENT_HANGUP ? POLLHUP : 0) | (f & PA_IO_EVENT_ERROR ? POLLERR : 0));
}

pa_io_event_flags_t FromPoll(short r) {
    // A descriptor closed under the loop is an error for its owner, which
    // then lets go of it, rather than a wake-up with nothing to say.
    return static_cast<pa_io_event_flags_t>((r & POLLIN ? PA_IO_EVENT_INPUT : 0) |
                                            (r & POLLOUT ? PA_IO_EVENT_OUTPUT : 0) |
                                            (r & POLLHUP ? PA_IO_EVENT_HANGUP : 0) |
                                            (r & (POLLERR | POLLNVAL) ? PA_IO_EVENT_ERROR : 0));
}
}  // namespace

struct PulseLoop::Io {
    PulseLoop* loop;
    int fd;
    pa_io_event_flags_t events;
    pa_io_event_cb_t cb;
    void* userdata;
    pa_io_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

struct PulseLoop::Timer {
    PulseLoop* loop;
    bool enabled = false;
    timeval tv{};  // as given: handed back to the callback
    int64_t dueUs = 0;
    pa_time_event_cb_t cb;
    void* userdata;
    pa_time_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

struct PulseLoop::Defer {
    PulseLoop* loop;
    bool enabled = true;
    pa_defer_event_cb_t cb;
    void* userdata;
    pa_defer_event_destroy_cb_t destroy = nullptr;
    bool dead = false;
};

namespace {
template <class Mine, class Theirs>
Mine* Of(Theirs* e) {
    return reinterpret_cast<Mine*>(e);
}
template <class Theirs, class Mine>
Theirs* As(Mine* e) {
    return reinterpret_cast<Theirs*>(e);
}
}  // namespace

PulseLoop::PulseLoop() {
    m_api.userdata = this;
    m_api.io_new = &IoNew;
    m_api.io_enable = &IoEnable;
    m_api.io_free = &IoFree;
    m_api.io_set_destroy = &IoSetDestroy;
    m_api.time_new = &TimeNew;
    m_api.time_restart = &TimeRestart;
    m_api.time_free = &TimeFree;
    m_api.time_set_destroy = &TimeSetDestroy;
    m_api.defer_new = &DeferNew;
    m_api.defer_enable = &DeferEnable;
    m_api.defer_free = &DeferFree;
    m_api.defer_set_destroy = &DeferSetDestroy;
    m_api.quit = &Quit;
}

PulseLoop::~PulseLoop() {
    for (auto& e : m_ios) e->dead = true;
    for (auto& e : m_timers) e->dead = true;
    for (auto& e : m_defers) e->dead = true;
    m_dead = true;
    Collect();
}

pa_io_event* PulseLoop::IoNew(pa_mainloop_api* api, int fd, pa_io_event_flags_t events, pa_io_event_cb_t cb,
                              void* userdata) {
    auto* loop = static_cast<PulseLoop*>(api->userdata);
    loop->m_ios.push_back(std::make_unique<Io>(Io{loop, fd, events, cb, userdata}));
    return As<pa_io_event>(loop->m_ios.back().get());
}

void PulseLoop::IoEnable(pa_io_event* e, pa_io_event_flags_t events) { Of<Io>(e)->events = events; }

void PulseLoop::IoFree(pa_io_event* e) {
    Io* io = Of<Io>(e);
    io->dead = true;
    io->loop->m_dead = true;
}

void PulseLoop::IoSetDestroy(pa_io_event* e, pa_io_event_destroy_cb_t cb) { Of<Io>(e)->destroy = cb; }

pa_time_event* PulseLoop::TimeNew(pa_mainloop_api* api, const struct timeval* tv, pa_time_event_cb_t cb,
                                  void* userdata) {
    auto* loop = static_cast<PulseLoop*>(api->userdata);
    auto timer = std::make_unique<Timer>();
    timer->loop = loop;
    timer->cb = cb;
    timer->userdata = userdata;
    loop->m_timers.push_back(std::move(timer));
    pa_time_event* e = As<pa_time_event>(loop->m_timers.back().get());
    TimeRestart(e, tv);
    return e;
}

void PulseLoop::TimeRestart(pa_time_event* e, const struct timeval* tv) {
    Timer* t = Of<Timer>(e);
    t->enabled = tv != nullptr;
    if (!tv) return;
    t->tv = *tv;
    t->dueUs = DueUs(*tv);
}

void PulseLoop::TimeFree(pa_time_event* e) {
    Timer* t = Of<Timer>(e);
    t->dead = true;
    t->enabled = false;
    t->loop->m_dead = true;
}

void PulseLoop::TimeSetDestroy(pa_time_event* e, pa_time_event_destroy_cb_t cb) { Of<Timer>(e)->destroy = cb; }

pa_defer_event* PulseLoop::DeferNew(pa_mainloop_api* api, pa_defer_event_cb_t cb, void* userdata) {
    auto* loop = static_cast<PulseLoop*>(api->userdata);
    auto defer = std::make_unique<Defer>();
    defer->loop = loop;
    defer->cb = cb;
    defer->userdata = userdata;
    loop->m_defers.push_back(std::move(defer));
    return As<pa_defer_event>(loop->m_defers.back().get());
}

void PulseLoop::DeferEnable(pa_defer_event* e, int b) { Of<Defer>(e)->enabled = b != 0; }

void PulseLoop::DeferFree(pa_defer_event* e) {
    Defer* d = Of<Defer>(e);
    d->dead = true;
    d->enabled = false;
    d->loop->m_dead = true;
}

void PulseLoop::DeferSetDestroy(pa_defer_event* e, pa_defer_event_destroy_cb_t cb) { Of<Defer>(e)->destroy = cb; }

void PulseLoop::Quit(pa_mainloop_api* api, int) { static_cast<PulseLoop*>(api->userdata)->m_quit = true; }

bool PulseLoop::RunDeferred() {
    // By index: a callback may add events (they wait for the next turn).
    const size_t n = m_defers.size();
    for (size_t i = 0; i < n; ++i) {
        Defer* d = m_defers[i].get();
        if (d->dead || !d->enabled) continue;
        d->cb(&m_api, As<pa_defer_event>(d), d->userdata);
    }
    // Only calls still enabled (or added meanwhile) keep the turn from
    // waiting: one that has done its work and turned itself off, as
    // libpulse's writes do, leaves nothing for a turn at once.
    return std::any_of(m_defers.begin(), m_defers.end(), [](const auto& d) { return !d->dead && d->enabled; });
}

int64_t PulseLoop::TimeoutUs(int64_t limitUs) const {
    int64_t timeout = limitUs;
    int64_t now = -1;
    for (const auto& t : m_timers) {
        if (t->dead || !t->enabled) continue;
        if (now < 0) now = NowUs(CLOCK_MONOTONIC);
        const int64_t left = std::max<int64_t>(t->dueUs - now, 0);
        if (timeout < 0 || left < timeout) timeout = left;
    }
    return timeout;
}

void PulseLoop::RunTimers() {
    int64_t now = -1;
    const size_t n = m_timers.size();
    for (size_t i = 0; i < n; ++i) {
        Timer* t = m_timers[i].get();
        if (t->dead || !t->enabled) continue;
        if (now < 0) now = NowUs(CLOCK_MONOTONIC);
        if (t->dueUs > now) continue;
        // Disabled before its callback, which may start it again.
        t->enabled = false;
        const timeval tv = t->tv;
        t->cb(&m_api, As<pa_time_event>(t), &tv, t->userdata);
    }
}

void PulseLoop::RunDescriptors() {
    for (size_t i = 0; i < m_pollfds.size(); ++i) {
        const short revents = m_pollfds[i].revents;
        Io* io = m_polled[i];
        if (revents == 0 || io->dead) continue;
        io->cb(&m_api, As<pa_io_event>(io), io->fd, FromPoll(revents), io->userdata);
    }
}

template <class Event, class Theirs>
static void CollectDead(std::vector<std::unique_ptr<Event>>& events, pa_mainloop_api* api, bool* more) {
    for (size_t i = 0; i < events.size();) {
        if (!events[i]->dead) {
            ++i;
            continue;
        }
        std::unique_ptr<Event> e = std::move(events[i]);
        events.erase(events.begin() + static_cast<std::ptrdiff_t>(i));
        if (e->destroy) {
            e->destroy(api, reinterpret_cast<Theirs*>(e.get()), e->userdata);
            *more = true;  // a destroy callback may free other events
        }
    }
}

void PulseLoop::Collect() {
    while (m_dead) {
        m_dead = false;
        bool more = false;
        CollectDead<Io, pa_io_event>(m_ios, &m_api, &more);
        CollectDead<Timer, pa_time_event>(m_timers, &m_api, &more);
        CollectDead<Defer, pa_defer_event>(m_defers, &m_api, &more);
        if (!more) break;
    }
}

bool PulseLoop::Iterate(int64_t timeoutUs) {
    if (m_quit) return false;
    const bool deferred = RunDeferred();
    Collect();

    m_pollfds.clear();
    m_polled.clear();
    for (const auto& io : m_ios) {
        if (io->dead) continue;
        m_pollfds.push_back(pollfd{io->fd, ToPoll(io->events), 0});
        m_polled.push_back(io.get());
    }
    const int64_t wait = deferred ? 0 : TimeoutUs(timeoutUs);
    timespec ts{};
    if (wait >= 0) {
        ts.tv_sec = static_cast<time_t>(wait / kUsPerSec);
        ts.tv_nsec = static_cast<long>(wait % kUsPerSec) * 1000;
    }
    const int r = ::ppoll(m_pollfds.data(), m_pollfds.size(), wait >= 0 ? &ts : nullptr, nullptr);
    if (r < 0) {
        if (errno != EINTR) return false;
        for (auto& p : m_pollfds) p.revents = 0;
    }
    RunTimers();
    if (r > 0) RunDescriptors();
    Collect();
    return !m_quit;
}

}  // namespace plat
