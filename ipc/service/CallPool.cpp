#include "ipc/service/CallPool.h"

#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own give-back (its compiler ships no header for it).
extern "C" void __sanitizer_purge_allocator();
#endif

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>
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

thread_local CallPool::Leading CallPool::t_leading;

CallPool::CallPool() : CallPool(Limits{}) {}

CallPool::CallPool(const Limits& limits) : m_limits(limits) {
    if (!m_limits.giveBackMemory) m_limits.giveBackMemory = GiveBackFreedMemory;
}

CallPool::~CallPool() {
    StopServing();
    Stop();
}

bool CallPool::Submit(std::unique_ptr<Job>& job, bool bookkeeping) {
    // Threads that ended are joined on the way out, with the lock let go,
    // whichever way the call is answered.
    struct Reaped {
        std::list<std::thread> threads;
        ~Reaped() {
            for (std::thread& t : threads) t.join();
        }
    } done;
    Worker* wake = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return false;
        if (m_finished > 0) ReapLocked(&done.threads);
        const bool reader = t_leading.pool == this;
        // Joined once the dispatch is over: the next reader must not wait on them.
        if (reader) t_leading.reaped.splice(t_leading.reaped.end(), done.threads);
        Worker* next = nullptr;
        if (reader && !t_leading.job && HandTurnLocked(&next)) {
            // Read by the thread that serves the bus: it runs the call itself
            // as soon as the dispatch returns, while the next thread reads on.
            t_leading.job = std::move(job);
            t_leading.next = next;
            ++m_busy;
        } else {
            if (!bookkeeping && m_queue.size() >= m_limits.maxQueued) return false;
            m_queue.push_back(std::move(job));
            if (!m_idle.empty()) {
                wake = m_idle.back();
                m_idle.pop_back();
                wake->woken = true;
            } else if (m_workers.size() < CapLocked()) {
                SpawnLocked();
            }
            if (reader) t_leading.queued = true;
        }
    }
    // Woken after the lock is let go, so that the thread does not wake only to
    // wait for it. A worker taken off the idle stack does not end (it has a
    // call to take), and Stop keeps it until the pool goes, so it is still there.
    if (wake) wake->wake.notify_one();
    return true;
}

bool CallPool::HandTurnLocked(Worker** next) {
    Worker* worker = nullptr;
    if (!m_idle.empty()) {
        worker = m_idle.back();
        m_idle.pop_back();
        worker->woken = true;
        ++worker->pendingWakes;
    } else if (m_workers.size() < CapLocked()) {
        // A new thread needs no wake-up: it looks for its turn when it starts.
        worker = SpawnLocked();
    }
    // No thread to be had: the call waits in the queue and this thread reads on.
    if (!worker) return false;
    worker->lead = true;
    m_leader = worker;
    *next = worker->pendingWakes > 0 ? worker : nullptr;
    return true;
}

CallPool::Worker* CallPool::SpawnLocked() {
    const bool burst = AliveLocked() >= CoreLocked();
    Worker* worker = nullptr;
    try {
        m_workers.emplace_back();
        worker = &m_workers.back();
        worker->thread = std::thread([this, worker] {
            plat::ThreadHookScope hook;
            // Told apart from the engine's threads in per-thread figures.
            plat::NameThisThread("bus-call");
            WorkerLoop(worker);
        });
    } catch (...) {
        // The system refuses another thread (or the memory for it): the
        // queued call waits for a busy one.
        if (worker) m_workers.pop_back();
        TQ_TRACE_BOOL("std::thread(WorkerLoop)");
        return nullptr;
    }
    if (burst) m_burst = true;
    return worker;
}

void CallPool::ReapLocked(std::list<std::thread>* done) {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->finished && it->pendingWakes == 0) {
            done->push_back(std::move(it->thread));
            it = m_workers.erase(it);
            --m_finished;
        } else {
            ++it;
        }
    }
}

size_t CallPool::CoreLocked() const { return m_limits.coreThreads + (m_serving ? 1 : 0); }

size_t CallPool::CapLocked() const { return m_limits.maxThreads + (m_serving ? 1 : 0); }

size_t CallPool::AliveLocked() const {
    size_t alive = 0;
    for (const Worker& w : m_workers) alive += w.finished ? 0 : 1;
    return alive;
}

void CallPool::RunJob(std::unique_ptr<Job>& job) {
    try {
        job->Run();
    } catch (...) {
        // A call that throws past its own handler ends as a failure, not the service.
        plat::ReportCurrentException("bus call", "a queued call");
    }
    job.reset();
}

void CallPool::Lead(Worker* self, std::unique_lock<std::mutex>& lock) {
    self->lead = false;
    Turn* turn = m_turn;
    ++m_inTurn;
    lock.unlock();
    t_leading.pool = this;
    t_leading.queued = false;
    bool ended = false;
    for (;;) {
        const Turn::Step step = turn->Dispatch();
        // A call was read and the turn handed on: run it here.
        if (t_leading.job) break;
        if (!t_leading.reaped.empty()) {
            std::list<std::thread> reaped = std::move(t_leading.reaped);
            t_leading.reaped.clear();
            for (std::thread& t : reaped) t.join();
        }
        if (t_leading.queued) {
            t_leading.queued = false;
            lock.lock();
            RunStrandedLocked(lock);
            lock.unlock();
        }
        if (step == Turn::Step::Dispatched) continue;
        if (step == Turn::Step::Ended || !turn->Wait()) {
            ended = true;
            break;
        }
    }
    t_leading.pool = nullptr;
    Worker* next = std::exchange(t_leading.next, nullptr);
    if (next) next->wake.notify_one();
    std::list<std::thread> reaped = std::move(t_leading.reaped);
    t_leading.reaped.clear();
    std::unique_ptr<Job> job = std::move(t_leading.job);
    lock.lock();
    // The woken thread may be reaped from now on; StopServing may return once
    // no thread is inside a turn.
    if (next) --next->pendingWakes;
    --m_inTurn;
    if (ended) {
        // The turn has ended for good: nobody serves the bus any more.
        m_leader = nullptr;
        m_serving = false;
    }
    if (!m_serving && m_inTurn == 0) m_servingEnded.notify_all();
    lock.unlock();
    for (std::thread& t : reaped) t.join();
    if (job) {
        RunJob(job);
        lock.lock();
        --m_busy;
        return;
    }
    lock.lock();
}

void CallPool::RunStrandedLocked(std::unique_lock<std::mutex>& lock) {
    // Another thread that runs calls, busy or idle, takes the queue in time.
    while (!m_queue.empty() && m_busy == 0 && m_idle.empty()) RunQueuedLocked(lock);
}

void CallPool::RunQueuedLocked(std::unique_lock<std::mutex>& lock) {
    std::unique_ptr<Job> job = std::move(m_queue.front());
    m_queue.pop_front();
    ++m_busy;
    lock.unlock();
    RunJob(job);
    lock.lock();
    --m_busy;
}

void CallPool::WorkerLoop(Worker* self) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Before the stop check: the bus is served until StopServing, so that
        // calls that arrive while the pool stops are still answered.
        if (self->lead) {
            Lead(self, lock);
            continue;
        }
        if (!m_queue.empty()) {
            RunQueuedLocked(lock);
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
        const bool surplus = AliveLocked() > CoreLocked();
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
        // The thread serving the bus goes on answering (refusing) calls until
        // StopServing joins it.
        for (auto it = workers.begin(); it != workers.end(); ++it) {
            if (&*it == m_leader) {
                m_workers.splice(m_workers.end(), workers, it);
                break;
            }
        }
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

bool CallPool::ServeBus(Turn& turn) {
    Worker* next = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_turn || m_stopping) return false;
        m_turn = &turn;
        m_serving = true;
        if (!HandTurnLocked(&next)) {
            m_turn = nullptr;
            m_serving = false;
            return false;
        }
    }
    if (next) {
        next->wake.notify_one();
        std::lock_guard lock(m_mutex);
        --next->pendingWakes;
    }
    return true;
}

void CallPool::StopServing() {
    std::list<Worker> rest;
    {
        std::unique_lock lock(m_mutex);
        if (!m_turn) return;
        m_turn->Stop();
        m_servingEnded.wait(lock, [&] { return !m_serving && m_inTurn == 0; });
        m_turn = nullptr;
        // Stop kept the serving thread: it ends now, as the pool is stopping.
        if (m_stopping) {
            rest.swap(m_workers);
            m_finished = 0;
            for (Worker& w : rest) w.wake.notify_one();
        }
    }
    for (Worker& w : rest)
        if (w.thread.joinable()) w.thread.join();
    std::lock_guard lock(m_mutex);
    m_retired.splice(m_retired.end(), rest);
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
