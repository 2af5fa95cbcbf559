#include "ipc/service/CallPool.h"

#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own give-back (its compiler ships no header for it).
extern "C" void __sanitizer_purge_allocator();
#endif

#include <algorithm>
#include <chrono>
#include <system_error>
#include <vector>

#include "log/Trace.h"
#include "platform/core/ExceptionGuard.h"
#include "platform/core/Thread.h"

namespace ipc {

namespace {

// Hands what the allocator keeps of freed memory back to the system. Under
// the address sanitizer the sanitizer's allocator serves every allocation
// and the C library's arenas were never set up: trimming them faults.
void GiveBackFreedMemory() {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_purge_allocator();
#else
    malloc_trim(0);
#endif
}

}  // namespace

CallPool::CallPool() : CallPool(Limits{}) {}

CallPool::CallPool(const Limits& limits) : m_limits(limits) {
    if (!m_limits.giveBackMemory) m_limits.giveBackMemory = GiveBackFreedMemory;
}

CallPool::~CallPool() { Stop(); }

bool CallPool::Submit(std::unique_ptr<Job>& job, bool bookkeeping) {
    std::list<std::thread> done;
    Worker* wake = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return false;
        if (!bookkeeping && m_queue.size() >= m_limits.maxQueued) return false;
        m_queue.push_back(std::move(job));
        if (m_finished > 0) ReapLocked(&done);
        if (!m_idle.empty()) {
            wake = m_idle.back();
            m_idle.pop_back();
            wake->woken = true;
        } else if (m_workers.size() < m_limits.maxThreads) {
            SpawnLocked();
        }
    }
    // Woken after the lock is let go, so that the thread does not wake only to
    // wait for it. A worker taken off the idle stack does not end (it has a
    // call to take), and Stop keeps it until the pool goes, so it is still there.
    if (wake) wake->wake.notify_one();
    for (std::thread& t : done) t.join();
    return true;
}

void CallPool::SpawnLocked() {
    if (AliveLocked() >= m_limits.coreThreads) m_burst = true;
    m_workers.emplace_back();
    Worker* worker = &m_workers.back();
    try {
        worker->thread = std::thread([this, worker] {
            plat::ThreadHookScope hook;
            // Told apart from the bus thread that starts it in per-thread figures.
            plat::NameThisThread("bus-call");
            WorkerLoop(worker);
        });
    } catch (const std::system_error&) {
        // The system refuses another thread: the queued call waits for a busy one.
        m_workers.pop_back();
        TQ_TRACE_BOOL("std::thread(WorkerLoop)");
    }
}

void CallPool::ReapLocked(std::list<std::thread>* done) {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->finished) {
            done->push_back(std::move(it->thread));
            it = m_workers.erase(it);
            --m_finished;
        } else {
            ++it;
        }
    }
}

size_t CallPool::AliveLocked() const {
    size_t alive = 0;
    for (const Worker& w : m_workers) alive += w.finished ? 0 : 1;
    return alive;
}

void CallPool::WorkerLoop(Worker* self) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_queue.empty()) {
            std::unique_ptr<Job> job = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_busy;
            lock.unlock();
            try {
                job->Run();
            } catch (...) {
                // A call that throws past its own handler ends as a failure, not the service.
                plat::ReportCurrentException("bus call", "a queued call");
            }
            job.reset();
            lock.lock();
            --m_busy;
            continue;
        }
        if (m_stopping) break;
        self->woken = false;
        m_idle.push_back(self);
        bool woken = self->wake.wait_for(lock, std::chrono::milliseconds(m_limits.idleMs),
                                         [&] { return self->woken || m_stopping; });
        if (!self->woken) std::erase(m_idle, self);
        if (woken) continue;
        // Idle a whole while: threads above the core end, and what a burst
        // left in the allocator goes back to the system.
        const bool surplus = AliveLocked() > m_limits.coreThreads;
        if (surplus) {
            self->finished = true;
            ++m_finished;
        }
        if (m_burst && m_busy == 0 && m_queue.empty()) {
            // Threads that end after this leave their own caches behind: the
            // next idle while gives those back too.
            m_burst = surplus;
            lock.unlock();
            m_limits.giveBackMemory();
            lock.lock();
        }
        if (surplus) return;
    }
    self->finished = true;
    ++m_finished;
}

void CallPool::Stop() {
    std::deque<std::unique_ptr<Job>> cancelled;
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping && m_workers.empty() && m_queue.empty()) return;
        m_stopping = true;
        cancelled.swap(m_queue);
        for (Worker& w : m_workers) w.wake.notify_one();
    }
    for (auto& job : cancelled) job->Cancel();
    cancelled.clear();
    // Running calls finish first; nothing is abandoned while it can still
    // touch the objects that the pool's owner holds.
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
        m_finished = 0;
        m_idle.clear();
    }
    for (Worker& w : workers)
        if (w.thread.joinable()) w.thread.join();
    // A Submit that picked one of these threads just before the stop may still
    // be waking it: the pool's own life keeps what it wakes.
    std::lock_guard lock(m_mutex);
    m_retired.splice(m_retired.end(), workers);
}

bool CallPool::IsStopping() const {
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

size_t CallPool::ThreadCount() const {
    std::lock_guard lock(m_mutex);
    return AliveLocked();
}

size_t CallPool::PendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_busy + m_queue.size();
}

size_t CallPool::BusyCount() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

}  // namespace ipc
