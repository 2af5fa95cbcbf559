#pragma once
// Keeps client events away from the engine's locks. An event raised while the
// raising thread holds an engine lock (see KEngineLock) waits in a queue and
// is delivered as soon as that thread has let go of its last engine lock; an
// event raised with no engine lock held is delivered at once, after whatever
// is still queued, so events keep their order. One thread delivers at a time:
// an event raised while another thread delivers, or by a delivery itself, is
// delivered by that thread after the ones before it. No thread waits for
// another's delivery, so a client may call the engine from any thread while
// it handles an event.
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
    mutable std::mutex m_lock;  // guards the queue and the flag; never held while delivering
    bool m_delivering = false;  // a thread is delivering the queue
    std::deque<Delivery> m_queue;
};
