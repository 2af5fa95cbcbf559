#pragma once
// Keeps client events away from the engine's locks. An event raised while the
// raising thread holds an engine lock (see KEngineLock) waits in a queue and
// is delivered as soon as that thread has let go of its last engine lock; an
// event raised with no engine lock held is delivered at once, after whatever
// is still queued, so events keep their order.
#include <deque>
#include <functional>
#include <mutex>

class KEventGate {
public:
    using Delivery = std::function<void()>;

    KEventGate() = default;
    KEventGate(const KEventGate&) = delete;
    KEventGate& operator=(const KEventGate&) = delete;

    void Post(Delivery delivery);
    // Delivers what is queued, on the calling thread, unless it holds an engine lock.
    void Flush();
    size_t Pending() const;

private:
    mutable std::mutex m_lock;  // guards the queue only; never held while delivering
    std::deque<Delivery> m_queue;
};
