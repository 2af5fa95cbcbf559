// The reference of the daemon's CPU figure: a process whose only work is a
// bare thread waking every 10 ms, for SECONDS (scripts/bench runs it beside
// the daemon and reads its CPU time from /proc over the same window).
//   timer_floor_bench SECONDS
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "service/controller/bench/FloorThread.h"

int main(int argc, char** argv) {
    const int seconds = argc == 2 ? std::atoi(argv[1]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: timer_floor_bench SECONDS\n");
        return 2;
    }
    // SIGTERM ends the wait early; the floor thread is joined either way.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    FloorThread floor;
    const timespec limit{seconds, 0};
    sigtimedwait(&set, nullptr, &limit);
    return 0;
}
