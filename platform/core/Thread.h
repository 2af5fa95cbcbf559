#pragma once
// Threads that start at once, keep an HRESULT exit code and can be waited on
// (alone or with events). There is no forced termination: owners stop their
// threads through events and join them.
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/core/HResult.h"
#include "platform/core/Sync.h"

namespace plat {

inline constexpr HRESULT STILL_ACTIVE = 259;

// Names the calling thread as the system shows it (ps, top, /proc/.../comm:
// the first 15 bytes), so that its CPU and wake-ups can be told apart.
void NameThisThread(const std::string& name);

enum class ThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

class Thread : public Waitable {
public:
    using Proc = std::function<HRESULT()>;

    Thread() = default;
    // Joins: the owner must have asked the thread to end before destroying it.
    ~Thread() override;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the procedure on a new thread. False (last error set) when a thread
    // is already running here or the system refuses a new one.
    bool Start(Proc proc, const std::string& name = std::string());
    bool IsStarted() const { return m_thread.joinable(); }
    bool IsRunning() const { return m_thread.joinable() && !m_exited.IsSet(); }

    // WAIT_OBJECT_0 once the procedure has returned, else WAIT_TIMEOUT.
    DWORD Wait(DWORD timeoutMs = INFINITE) { return m_exited.Wait(timeoutMs); }
    // Waits up to timeoutMs for the end and joins. False when it is still running.
    bool Join(DWORD timeoutMs = INFINITE);
    // The procedure's result, or STILL_ACTIVE while it runs (and before a start).
    HRESULT ExitCode() const;

    // Best effort; never fails the caller. May be called before or after Start.
    void SetPriority(ThreadPriority priority);
    // The kernel thread id once started (0 before).
    int NativeId() const { return m_tid.load(); }

    int WaitFd() const override { return m_exited.WaitFd(); }
    bool TryAcquire() override { return m_exited.TryAcquire(); }
    Look TakeIfSignalled() override { return m_exited.TakeIfSignalled(); }

private:
    std::thread m_thread;
    Event m_exited{Event::Reset::Manual};
    std::atomic<HRESULT> m_exitCode{STILL_ACTIVE};
    std::atomic<int> m_tid{0};
    std::atomic<int> m_priority{static_cast<int>(ThreadPriority::Normal)};
};

// Called on every thread started by Thread: with true before its procedure,
// with false after it (the crash handler gives each thread its own signal
// stack this way). Set once, before threads start; null for none.
using ThreadHook = void (*)(bool starting);
void SetThreadHook(ThreadHook hook);
// Runs the hook for a thread that Thread did not start, for the scope's life
// (put it first in the thread's body).
class ThreadHookScope {
public:
    ThreadHookScope();
    ~ThreadHookScope();
    ThreadHookScope(const ThreadHookScope&) = delete;
    ThreadHookScope& operator=(const ThreadHookScope&) = delete;

private:
    ThreadHook m_hook;
};

// Applies a priority to the calling thread (best effort).
void SetCurrentThreadPriority(ThreadPriority priority);
// Raises the whole process's scheduling priority (best effort).
void SetProcessPriorityHigh();
// Kernel id of the calling thread.
int CurrentThreadId();

}  // namespace plat
