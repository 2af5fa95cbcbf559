#pragma once
// The threads on which the service runs the calls that arrive from the bus, so
// that no call runs inside the bus's dispatch and a long call (a save that
// takes minutes) never holds up the others. The pool grows when every thread is
// busy, up to a limit, and shrinks back to its core when idle.
//
// The thread that went idle last takes the next call, so that under a light
// load (a poll every 100 ms) the same few threads serve and the others stay
// idle long enough to end.
//
// The pool's threads can also serve the bus themselves (ServeBus), one at a
// time: the thread whose turn it is waits for the bus and reads the next call.
// A call it reads it runs itself, once it has handed the turn to an idle
// thread; so a call never waits for another thread to wake up before it runs,
// and the bus is read meanwhile by the next thread. When the pool has grown past its core, the memory
// that the burst left in the allocator (each thread allocates from an arena
// of its own, and a freed block stays in its arena) is given back to the
// system once the pool has been idle for a while.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ipc {

class CallPool {
public:
    // One unit of work. Exactly one of Run and Cancel is called, once.
    class Job {
    public:
        virtual ~Job() = default;
        virtual void Run() = 0;
        // The pool stops before the job could run: answer the caller.
        virtual void Cancel() = 0;
    };

    // The bus, as the thread whose turn it is serves it.
    class Turn {
    public:
        enum class Step { Dispatched, Nothing, Ended };
        virtual ~Turn() = default;
        // Reads and dispatches one message, if one is there; Ended when the bus
        // is gone or Stop was asked. Calls that a message brings are Submitted
        // from here.
        virtual Step Dispatch() = 0;
        // Waits until the bus may have a message; false once Stop was asked.
        virtual bool Wait() = 0;
        // Ends the turns for good: Wait and Dispatch answer at once from now on.
        virtual void Stop() = 0;
    };

    struct Limits {
        size_t coreThreads = 4;
        // Threads that run calls; the one serving the bus comes on top.
        size_t maxThreads = 64;
        // Calls waiting for a thread; beyond this new calls are refused.
        size_t maxQueued = 4096;
        // An idle thread above the core ends after this many milliseconds;
        // a core thread idle this long gives back what a burst left behind.
        unsigned idleMs = 3000;
        // Gives the allocator's free memory back to the system (the default
        // trims every arena); called on a pool thread, with no lock held.
        std::function<void()> giveBackMemory;
    };

    CallPool();
    explicit CallPool(const Limits& limits);
    ~CallPool();
    CallPool(const CallPool&) = delete;
    CallPool& operator=(const CallPool&) = delete;

    // Queues the job. False (the job is handed back untouched in *job) when the
    // pool is stopping or the queue is full. Bookkeeping jobs (releases,
    // departed clients) are small and are never refused for a full queue.
    bool Submit(std::unique_ptr<Job>& job, bool bookkeeping = false);
    // Cancels the queued jobs, waits for the running ones and joins every
    // thread but the one serving the bus (see StopServing). Called by the
    // destructor; later Submits are refused.
    void Stop();

    // Starts serving the bus on the pool's threads. False when no thread can
    // be had. The turn must outlive StopServing (which returns once no thread
    // is inside it).
    bool ServeBus(Turn& turn);
    // Stops the turn and waits until no thread serves the bus any more; after
    // Stop it also joins that thread. Calls that arrive while the pool stops
    // but the bus is still served are answered as refused.
    void StopServing();

    bool IsStopping() const;
    size_t ThreadCount() const;
    size_t BusyCount() const;
    // Jobs queued or running.
    size_t PendingCount() const;

private:
    struct Worker {
        std::thread thread;
        std::condition_variable wake;
        // Handed a call (taken off the idle stack by Submit).
        bool woken = false;
        // Handed the bus (woken to serve it).
        bool lead = false;
        bool finished = false;
        // Wake-ups promised by a hand-over that has not been made yet: the
        // worker is not reaped meanwhile.
        int pendingWakes = 0;
    };

    // What the thread serving the bus keeps while a dispatch runs: the call it
    // read, the thread it handed the turn to (woken once the dispatch has
    // returned, as it would only wait for the bus before), and threads reaped
    // meanwhile (joined after that, so that the next reader never waits).
    struct Leading {
        CallPool* pool = nullptr;
        std::unique_ptr<Job> job;
        Worker* next = nullptr;
        std::list<std::thread> reaped;
        // The reader queued a call for want of a thread.
        bool queued = false;
    };
    static thread_local Leading t_leading;

    void WorkerLoop(Worker* self);
    // Serves the bus until the turn goes to another thread (the call read last
    // is then run here) or ends.
    void Lead(Worker* self, std::unique_lock<std::mutex>& lock);
    // Picks the thread that serves the bus next: an idle one, or a new one.
    bool HandTurnLocked(Worker** next);
    // Runs what waits in the queue on the reader's own thread, when no other
    // thread is there to run it (none could be made).
    void RunStrandedLocked(std::unique_lock<std::mutex>& lock);
    // Takes the first queued call and runs it, with the lock let go meanwhile.
    void RunQueuedLocked(std::unique_lock<std::mutex>& lock);
    static void RunJob(std::unique_ptr<Job>& job);
    Worker* SpawnLocked();
    void ReapLocked(std::list<std::thread>* done);
    size_t AliveLocked() const;
    // The thread serving the bus runs no call meanwhile: it comes on top of
    // the core and of the limit.
    size_t CoreLocked() const;
    size_t CapLocked() const;

    Limits m_limits;
    mutable std::mutex m_mutex;
    std::deque<std::unique_ptr<Job>> m_queue;
    std::list<Worker> m_workers;
    // Workers that have ended but are not reaped yet.
    size_t m_finished = 0;
    // Workers joined by Stop, kept until the pool goes (see Submit).
    std::list<Worker> m_retired;
    // Idle threads, the most recently idle last (it takes the next call).
    std::vector<Worker*> m_idle;
    size_t m_busy = 0;
    bool m_stopping = false;
    // The pool grew past its core since memory was last given back.
    bool m_burst = false;
    // The bus served by the pool's threads, and the thread whose turn it is
    // (null between turns and once serving has ended).
    Turn* m_turn = nullptr;
    Worker* m_leader = nullptr;
    bool m_serving = false;
    // Threads inside a turn (the reader, and one that handed its turn on but
    // has not left its dispatch yet).
    size_t m_inTurn = 0;
    std::condition_variable m_servingEnded;
};

}  // namespace ipc
