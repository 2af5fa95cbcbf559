#pragma once
// Checks every period that the service the program started with still runs:
// the owner of its bus name, which the bus answers however busy the service
// is. A service that is only slow (a call timed out) is not lost; one whose
// name has no owner, or a new owner (a restarted service, which knows none of
// the program's objects), is. On a loss it calls onLost once, from its own
// thread, and ends. The program's shared controller is never touched.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "desktop/app/Seams.h"

namespace parvane {

// Whether a look-up of the service's owner (lookup, owner) says the service
// first seen as first is gone; a look-up that failed for time is no verdict.
bool IsServiceGone(HRESULT lookup, const std::string& owner, const std::string& first);

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
