#pragma once
// The floor of the CPU figures: a bare thread that wakes every 10 ms and does
// nothing else, which is what the machine charges for the cheapest timed thread.
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <thread>

class FloorThread {
public:
    static constexpr const char* kName = "bench-floor";
    FloorThread()
        : m_thread([this] {
              pthread_setname_np(pthread_self(), kName);
              timespec next{};
              clock_gettime(CLOCK_MONOTONIC, &next);
              while (!m_stop.load()) {
                  next.tv_nsec += 10'000'000;
                  if (next.tv_nsec >= 1'000'000'000) {
                      next.tv_nsec -= 1'000'000'000;
                      ++next.tv_sec;
                  }
                  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
              }
          }) {}
    ~FloorThread() {
        m_stop = true;
        m_thread.join();
    }
    FloorThread(const FloorThread&) = delete;
    FloorThread& operator=(const FloorThread&) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
