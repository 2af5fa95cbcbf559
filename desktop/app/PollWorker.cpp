#include "desktop/app/PollWorker.h"

#include <QMetaObject>

#include "platform/core/Thread.h"

namespace parvane {

Snapshot ReadSnapshot(IAudioController* controller) {
    Snapshot s;
    s.started = std::chrono::steady_clock::now();
    ipc::ReadPollRound(controller, &s);
    return s;
}

PollWorker::PollWorker(plat::ComPtr<IAudioController> controller, QObject* receiver, Apply apply)
    : m_controller(std::move(controller)), m_receiver(receiver), m_apply(std::move(apply)) {
    m_thread = std::thread([this] { Run(); });
}

PollWorker::~PollWorker() { Stop(); }

bool PollWorker::Request() {
    std::lock_guard lock(m_mutex);
    if (m_stop || m_inFlight) return false;
    m_inFlight = true;
    m_requested = true;
    m_started = std::chrono::steady_clock::now();
    m_wake.notify_one();
    return true;
}

bool PollWorker::InFlight() const {
    std::lock_guard lock(m_mutex);
    return m_inFlight;
}

std::chrono::milliseconds PollWorker::InFlightFor() const {
    std::lock_guard lock(m_mutex);
    if (!m_inFlight) return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started);
}

void PollWorker::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable()) m_thread.join();
}

void PollWorker::Run() {
    plat::NameThisThread("parvane-poll");
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_requested; });
            if (m_stop) return;
            m_requested = false;
        }
        Snapshot snapshot = ReadSnapshot(m_controller.Get());
        {
            std::lock_guard lock(m_mutex);
            m_inFlight = false;
            if (m_stop) return;
            // The receiver lives on the GUI thread and is only destroyed after
            // Stop, so it is safe to queue to it here.
            if (QObject* receiver = m_receiver) {
                Apply apply = m_apply;
                QMetaObject::invokeMethod(
                    receiver, [apply, snapshot] { apply(snapshot); }, Qt::QueuedConnection);
            }
        }
    }
}

}  // namespace parvane
