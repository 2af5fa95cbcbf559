#pragma once
// The event loop that libpulse runs on: the descriptors it watches, its
// timers and its deferred calls, all served by the one thread that calls
// Iterate.
//
// libpulse's own loop writes a byte to a pipe each time a deferred call is
// enabled, even from the loop's own thread, and reads it back on the next
// turn: two system calls and an extra turn of the poll for every message to
// or from the server. This loop is only ever touched by its own thread, so a
// deferred call needs no wake-up; another thread ends a wait through a
// descriptor of its own that the owner watches (PulseConnection's counter).
#include <poll.h>
#include <pulse/mainloop-api.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace plat {

class PulseLoop {
public:
    PulseLoop();
    // Frees every event still there, with its destroy callback.
    ~PulseLoop();
    PulseLoop(const PulseLoop&) = delete;
    PulseLoop& operator=(const PulseLoop&) = delete;

    pa_mainloop_api* Api() { return &m_api; }

    // One turn: the deferred calls that are enabled, then a wait of at most
    // timeoutUs (< 0: no limit; none when a deferred call ran) for a
    // descriptor or a timer, whose callbacks then run. False when the poll
    // fails or the loop was told to quit.
    bool Iterate(int64_t timeoutUs);

private:
    struct Io;
    struct Timer;
    struct Defer;

    static pa_io_event* IoNew(pa_mainloop_api* api, int fd, pa_io_event_flags_t events, pa_io_event_cb_t cb,
                              void* userdata);
    static void IoEnable(pa_io_event* e, pa_io_event_flags_t events);
    static void IoFree(pa_io_event* e);
    static void IoSetDestroy(pa_io_event* e, pa_io_event_destroy_cb_t cb);
    static pa_time_event* TimeNew(pa_mainloop_api* api, const struct timeval* tv, pa_time_event_cb_t cb,
                                  void* userdata);
    static void TimeRestart(pa_time_event* e, const struct timeval* tv);
    static void TimeFree(pa_time_event* e);
    static void TimeSetDestroy(pa_time_event* e, pa_time_event_destroy_cb_t cb);
    static pa_defer_event* DeferNew(pa_mainloop_api* api, pa_defer_event_cb_t cb, void* userdata);
    static void DeferEnable(pa_defer_event* e, int b);
    static void DeferFree(pa_defer_event* e);
    static void DeferSetDestroy(pa_defer_event* e, pa_defer_event_destroy_cb_t cb);
    static void Quit(pa_mainloop_api* api, int retval);

    // Runs the enabled deferred calls; whether any is enabled after them.
    bool RunDeferred();
    int64_t TimeoutUs(int64_t limitUs) const;
    void RunTimers();
    void RunDescriptors();
    // Frees the events freed since the last turn (a callback may free any
    // event, itself included, so they are only marked until now).
    void Collect();

    pa_mainloop_api m_api{};
    std::vector<std::unique_ptr<Io>> m_ios;
    std::vector<std::unique_ptr<Timer>> m_timers;
    std::vector<std::unique_ptr<Defer>> m_defers;
    // The descriptors of one poll, and the event each one belongs to.
    std::vector<pollfd> m_pollfds;
    std::vector<Io*> m_polled;
    bool m_dead = false;
    bool m_quit = false;
};

}  // namespace plat
