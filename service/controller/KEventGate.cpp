#include "service/controller/KEventGate.h"

#include "service/controller/KEngineLock.h"

void KEventGate::Post(Delivery delivery) {
    if (!delivery) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(delivery));
        ++m_posted;
    }
    Flush();
}

void KEventGate::Flush() {
    if (KEngineLock::HeldByThisThread()) return;
    std::unique_lock<std::mutex> guard(m_lock);
    const uint64_t target = m_posted;
    const std::thread::id self = std::this_thread::get_id();
    while (m_delivered < target) {
        if (m_delivering) {
            // Raised by a delivery on this very thread: it goes out after it.
            if (m_deliverer == self) return;
            // Two threads taking turns at the queue could each hold an event
            // and hand them over in the wrong order: the one delivering takes
            // this one in its turn, and this thread waits for that.
            m_progress.wait(guard);
            continue;
        }
        m_delivering = true;
        m_deliverer = self;
        struct Release {
            KEventGate& gate;
            ~Release() {
                // Also when a delivery throws: another thread takes over.
                gate.m_delivering = false;
                gate.m_deliverer = std::thread::id();
                gate.m_progress.notify_all();
            }
        } release{*this};
        while (!m_queue.empty()) {
            Delivery next = std::move(m_queue.front());
            m_queue.pop_front();
            guard.unlock();
            try {
                next();
            } catch (...) {
                guard.lock();
                ++m_delivered;
                throw;
            }
            guard.lock();
            ++m_delivered;
            m_progress.notify_all();
        }
    }
}

size_t KEventGate::Pending() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_queue.size();
}
