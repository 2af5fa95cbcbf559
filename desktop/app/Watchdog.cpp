#include "desktop/app/Watchdog.h"

#include <chrono>

namespace parvane {

Watchdog::Watchdog(ServiceLink* link, int periodMs, std::function<void()> onLost)
    : m_link(link), m_periodMs(periodMs), m_onLost(std::move(onLost)) {
    if (m_link) m_thread = std::thread([this] { Run(); });
}

Watchdog::~Watchdog() { Stop(); }

void Watchdog::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool IsServiceGone(HRESULT lookup, const std::string& owner, const std::string& first) {
    if (lookup == S_OK) return owner != first;
    // Nobody owns the name, or the bus that carried it is gone.
    return lookup == S_FALSE || lookup == RPC_E_SERVER_UNAVAILABLE || lookup == RPC_E_DISCONNECTED;
}

void Watchdog::Run() {
    // The service the program has just connected to is the one watched.
    std::string first;
    bool known = m_link->ServiceOwner(&first) == S_OK;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, std::chrono::milliseconds(m_periodMs), [this] { return m_stop; })) return;
        }
        std::string owner;
        HRESULT hr = m_link->ServiceOwner(&owner);
        if (!known && hr == S_OK) {
            first = owner;
            known = true;
            continue;
        }
        if (!IsServiceGone(hr, owner, first)) continue;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
        }
        m_onLost();
        return;
    }
}

}  // namespace parvane
