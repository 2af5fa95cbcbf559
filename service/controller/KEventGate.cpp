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
    for (;;) {
        Delivery next;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_queue.empty()) return;
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
