#pragma once
// Checks every period that the service's controller can still be found. It
// looks the controller up into a pointer of its own, so the program's shared
// controller is never replaced under the windows. On a loss it calls onLost
// once, from its own thread, and ends.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "desktop/app/Seams.h"

namespace parvane {

class Watchdog {
public:
    Watchdog(ServiceLink* link, int periodMs, std::function<void()> onLost);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    void Stop();

private:
    void Run();

    ServiceLink* m_link;
    int m_periodMs;
    std::function<void()> m_onLost;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace parvane
