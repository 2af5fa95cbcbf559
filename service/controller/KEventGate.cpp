#include "service/controller/KEventGate.h"

#include "service/controller/KEngineLock.h"

void KEventGate::Post(Delivery delivery) {
    if (!delivery) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const std::thread::id self = std::this_thread::get_id();
        m_queue.push_back(SQueued{std::move(delivery), self});
        ++m_undelivered[self];
    }
    Flush();
}

void KEventGate::Flush() {
    if (KEngineLock::HeldByThisThread()) return;
    std::unique_lock<std::mutex> guard(m_lock);
    const std::thread::id self = std::this_thread::get_id();
    // What this thread raised is queued; with nothing of its own it delivers
    // what others left queued, and waits for nobody.
    auto mine = [this, self] {
        auto it = m_undelivered.find(self);
        return it != m_undelivered.end() && it->second > 0;
    };
    for (;;) {
        if (m_delivering) {
            // Raised by a delivery on this very thread: it goes out after it.
            if (m_deliverer == self || !mine()) return;
            // Two threads taking turns at the queue could each hold an event
            // and hand them over in the wrong order: the one delivering takes
            // this thread's in its turn, and this thread waits for that.
            m_progress.wait(guard);
            continue;
        }
        if (m_queue.empty()) return;
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
            SQueued next = std::move(m_queue.front());
            m_queue.pop_front();
            guard.unlock();
            struct Delivered {
                KEventGate& gate;
                std::unique_lock<std::mutex>& guard;
                std::thread::id raiser;
                ~Delivered() {
                    guard.lock();
                    auto it = gate.m_undelivered.find(raiser);
                    if (it != gate.m_undelivered.end() && --it->second == 0) gate.m_undelivered.erase(it);
                    gate.m_progress.notify_all();
                }
            } delivered{*this, guard, next.raiser};
            next.delivery();
        }
        return;
    }
}

size_t KEventGate::Pending() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_queue.size();
}
