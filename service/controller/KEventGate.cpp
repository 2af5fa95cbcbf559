#include "service/controller/KEventGate.h"

#include "service/controller/KEngineLock.h"

void KEventGate::Post(Delivery delivery) {
    if (!delivery) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(delivery));
    }
    Flush();
}

void KEventGate::Flush() {
    if (KEngineLock::HeldByThisThread()) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Two threads taking turns at the queue could each hold an event and
        // hand them over in the wrong order: the one delivering takes this
        // event in its turn.
        if (m_delivering) return;
        m_delivering = true;
    }
    bool finished = false;
    struct Release {
        KEventGate& gate;
        const bool& finished;
        ~Release() {
            if (finished) return;
            std::lock_guard<std::mutex> guard(gate.m_lock);
            gate.m_delivering = false;
        }
    } release{*this, finished};
    for (;;) {
        Delivery next;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_queue.empty()) {
                // In the same step as the look at the queue, so nothing
                // posted meanwhile is left behind.
                m_delivering = false;
                finished = true;
                return;
            }
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        next();
    }
}

size_t KEventGate::Pending() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_queue.size();
}
