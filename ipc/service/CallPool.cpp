#include "ipc/service/CallPool.h"

#include <chrono>
#include <system_error>
#include <vector>

#include "platform/core/ExceptionGuard.h"
#include "platform/core/Thread.h"
#include "service/foundation/Trace.h"

namespace ipc {

CallPool::CallPool() : CallPool(Limits{}) {}

CallPool::CallPool(const Limits& limits) : m_limits(limits) {}

CallPool::~CallPool() { Stop(); }

bool CallPool::Submit(std::unique_ptr<Job>& job, bool bookkeeping) {
    std::list<std::thread> done;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return false;
        if (!bookkeeping && m_queue.size() >= m_limits.maxQueued) return false;
        m_queue.push_back(std::move(job));
        ReapLocked(&done);
        if (m_queue.size() > m_idle && m_workers.size() < m_limits.maxThreads) SpawnLocked();
    }
    m_wake.notify_one();
    for (std::thread& t : done) t.join();
    return true;
}

void CallPool::SpawnLocked() {
    m_workers.emplace_back();
    Worker* worker = &m_workers.back();
    try {
        worker->thread = std::thread([this, worker] {
            plat::ThreadHookScope hook;
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
        } else {
            ++it;
        }
    }
}

void CallPool::WorkerLoop(Worker* self) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        bool timedOut = !m_wake.wait_for(lock, std::chrono::milliseconds(m_limits.idleMs),
                                         [this] { return m_stopping || !m_queue.empty(); });
        --m_idle;
        if (m_queue.empty()) {
            if (m_stopping) break;
            // Idle too long: threads above the core go away.
            size_t alive = 0;
            for (const Worker& w : m_workers) alive += w.finished ? 0 : 1;
            if (timedOut && alive > m_limits.coreThreads) break;
            continue;
        }
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
    }
    self->finished = true;
}

void CallPool::Stop() {
    std::deque<std::unique_ptr<Job>> cancelled;
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping && m_workers.empty() && m_queue.empty()) return;
        m_stopping = true;
        cancelled.swap(m_queue);
    }
    m_wake.notify_all();
    for (auto& job : cancelled) job->Cancel();
    cancelled.clear();
    // Running calls finish first; nothing is abandoned while it can still
    // touch the objects that the pool's owner holds.
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& w : workers)
        if (w.thread.joinable()) w.thread.join();
}

bool CallPool::IsStopping() const {
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

size_t CallPool::ThreadCount() const {
    std::lock_guard lock(m_mutex);
    size_t alive = 0;
    for (const Worker& w : m_workers) alive += w.finished ? 0 : 1;
    return alive;
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
