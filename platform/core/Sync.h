#pragma once
// Kernel-object stand-ins: a re-entrant mutex, manual- and auto-reset events
// and waits over several objects (first signalled in list order wins).
#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/WinTypes.h"

namespace plat {

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED_0 = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// A mutex that its owning thread may take again (every lock of the engine
// relies on that). The optional name is kept for diagnostics only: the engine
// never shares a mutex between processes.
class Mutex {
public:
    Mutex() = default;
    explicit Mutex(std::u16string name) : m_name(std::move(name)) {}
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Lock() { m_mutex.lock(); }
    bool TryLock() { return m_mutex.try_lock(); }
    void Unlock() { m_mutex.unlock(); }
    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    bool try_lock() { return TryLock(); }
    void unlock() { Unlock(); }

    const std::u16string& Name() const { return m_name; }

private:
    std::recursive_mutex m_mutex;
    std::u16string m_name;
};

// Anything a thread can wait on. Signalled state is exposed through a
// readable file descriptor so that several objects can be waited on at once.
class Waitable {
public:
    virtual ~Waitable() = default;
    // The descriptor that polls readable while the object is signalled.
    virtual int WaitFd() const = 0;
    // Called after the descriptor polled readable; returns false when another
    // waiter took the signal first (auto-reset objects), so the wait goes on.
    virtual bool TryAcquire() = 0;
    // A look at the signalled state without the descriptor: kSignalled (and,
    // for an auto-reset object, consumed), kNotSignalled, or kUnknown when the
    // object can only tell through its descriptor. It lets a wait on objects
    // that are already signalled (or a zero time-out) return without a system
    // call; an object that cannot tell answers kUnknown and is polled as ever.
    enum Look { kUnknown = -1, kNotSignalled = 0, kSignalled = 1 };
    virtual Look TakeIfSignalled() { return kUnknown; }
};

// Manual- or auto-reset event. Set/Reset/Pulse-free: settable from any thread.
class Event : public Waitable {
public:
    enum class Reset { Manual, Auto };
    explicit Event(Reset mode = Reset::Manual, bool initiallySet = false);
    ~Event() override;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // False only when the object could not be created (no descriptors left).
    bool IsValid() const { return m_fd >= 0; }
    void Set();
    void ResetEvent();
    // True when signalled; does not consume an auto-reset signal.
    bool IsSet() const;
    // Waits up to timeoutMs (INFINITE for no limit); returns WAIT_OBJECT_0 or WAIT_TIMEOUT.
    DWORD Wait(DWORD timeoutMs = INFINITE);

    // A loop that watches the descriptor itself (not through WaitAny) may see
    // it readable for a moment after a reset that raced a Set: such a loop
    // watches only events that are never reset while it runs (stop events).
    int WaitFd() const override { return m_fd; }
    bool TryAcquire() override;
    Look TakeIfSignalled() override;

private:
    // Lowers the flag and drains the descriptor; with m_lock held.
    void Clear();

    const bool m_auto;
    int m_fd = -1;
    mutable std::mutex m_lock;
    bool m_set = false;
    // How often the flag was lowered; raised under m_lock, read by Set without it.
    std::atomic<uint64_t> m_clears{0};
};

// Waits until one of the objects is signalled and returns WAIT_OBJECT_0 + its
// index; when several are signalled the first in list order is taken (and only
// that one is consumed). WAIT_TIMEOUT after timeoutMs; WAIT_FAILED on a null
// object or a failed poll (last error set).
DWORD WaitAny(const std::vector<Waitable*>& objects, DWORD timeoutMs);
DWORD WaitAny(std::initializer_list<Waitable*> objects, DWORD timeoutMs);
// Waits until all are signalled (each consumed once all are).
DWORD WaitAll(const std::vector<Waitable*>& objects, DWORD timeoutMs);

}  // namespace plat
