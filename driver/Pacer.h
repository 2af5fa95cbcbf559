#pragma once
// Hands out chunk deadlines at real time for sources that make their sound
// themselves. After a long stall the schedule starts again from now instead
// of catching up in a burst.
#include <chrono>

#include "platform/core/Sync.h"

class Pacer {
public:
    explicit Pacer(std::chrono::microseconds period) : m_period(period) {}

    // Waits for the next deadline; false when `stop` was set first.
    bool WaitNext(plat::Event& stop) {
        using Clock = std::chrono::steady_clock;
        auto now = Clock::now();
        if (!m_started || now - m_next > std::chrono::milliseconds(200)) {
            m_next = now;
            m_started = true;
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_next - now);
        bool stopped = wait.count() > 0 ? stop.Wait(static_cast<DWORD>(wait.count())) == plat::WAIT_OBJECT_0
                                        : stop.IsSet();
        m_next += m_period;
        return !stopped;
    }

private:
    std::chrono::microseconds m_period;
    std::chrono::steady_clock::time_point m_next{};
    bool m_started = false;
};
