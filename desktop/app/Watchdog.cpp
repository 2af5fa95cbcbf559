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

void Watchdog::Run() {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, std::chrono::milliseconds(m_periodMs), [this] { return m_stop; })) return;
        }
        plat::ComPtr<IAudioController> probe;
        HRESULT hr = m_link->FindObjectInRot(probe.ReleaseAndGetAddressOf());
        if (hr != S_OK || !probe) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stop) return;
            }
            m_onLost();
            return;
        }
    }
}

}  // namespace parvane
