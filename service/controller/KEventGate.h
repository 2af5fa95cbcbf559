#pragma once
// Keeps client events away from the engine's locks. An event raised while the
// raising thread holds an engine lock (see KEngineLock) waits in a queue and
// is delivered as soon as that thread has let go of its last engine lock; an
// event raised with no engine lock held is delivered at once, after whatever
// is still queued, so events keep their order. One thread delivers at a time:
// an event raised while another thread delivers is delivered by that thread
// after the ones before it, and the raising thread waits until the events it
// raised have gone out, so that the call that raised them returns only after
// its clients have them. A thread that raised nothing never waits (a client
// may call the engine from another thread while it handles an event), and an
// event raised by a delivery on the delivering thread itself goes out after
// that delivery, without a wait. A client that, while it handles an event,
// waits for a call of its own that raises an event would wait for itself: the
// bus's clients never do (their events are messages).
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

class KEventGate {
public:
    using Delivery = std::function<void()>;

    KEventGate() = default;
    KEventGate(const KEventGate&) = delete;
    KEventGate& operator=(const KEventGate&) = delete;

    void Post(Delivery delivery);
    // Delivers what is queued, on the calling thread, unless it holds an
    // engine lock; when another thread delivers, waits until every event this
    // thread raised has gone out.
    void Flush();
    size_t Pending() const;

private:
    mutable std::mutex m_lock;  // guards what follows; never held while delivering
    std::condition_variable m_progress;
    bool m_delivering = false;  // a thread is delivering the queue
    std::thread::id m_deliverer;
    struct SQueued {
        Delivery delivery;
        std::thread::id raiser;
    };
    std::deque<SQueued> m_queue;
    // Per raising thread, its events not yet delivered (queued or in delivery).
    std::unordered_map<std::thread::id, size_t> m_undelivered;
};
