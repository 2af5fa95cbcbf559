#pragma once
// Keeps client events away from the engine's locks. An event raised while the
// raising thread holds an engine lock (see KEngineLock) waits in a queue and
// is delivered as soon as that thread has let go of its last engine lock; an
// event raised with no engine lock held is delivered at once, after whatever
// is still queued, so events keep their order. One thread delivers at a time:
// an event raised while another thread delivers is delivered by that thread
// after the ones before it, and the raising thread waits until it has gone
// out, so that the call that raised it returns only after its clients have
// it. An event raised by a delivery on the delivering thread itself goes out
// after that delivery, without a wait.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class KEventGate {
public:
    using Delivery = std::function<void()>;

    KEventGate() = default;
    KEventGate(const KEventGate&) = delete;
    KEventGate& operator=(const KEventGate&) = delete;

    void Post(Delivery delivery);
    // Delivers what is queued, on the calling thread, unless it holds an
    // engine lock; when another thread delivers, waits until everything
    // queued before this call has gone out.
    void Flush();
    size_t Pending() const;

private:
    mutable std::mutex m_lock;  // guards what follows; never held while delivering
    std::condition_variable m_progress;
    bool m_delivering = false;  // a thread is delivering the queue
    std::thread::id m_deliverer;
    uint64_t m_posted = 0;     // events ever queued
    uint64_t m_delivered = 0;  // events ever taken from the queue and delivered
    std::deque<Delivery> m_queue;
};
