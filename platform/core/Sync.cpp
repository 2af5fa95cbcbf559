#include "platform/core/Sync.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/core/LastError.h"

namespace plat {

namespace {

// One read takes an eventfd's whole count back to zero (it is not a semaphore).
void DrainFd(int fd) {
    uint64_t v;
    ssize_t r;
    do {
        r = ::read(fd, &v, sizeof v);
    } while (r < 0 && errno == EINTR);
}

void SignalFd(int fd) {
    uint64_t one = 1;
    ssize_t r;
    do {
        r = ::write(fd, &one, sizeof one);
    } while (r < 0 && errno == EINTR);
}

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left of a wait that started at 'start'; -1 for no limit.
int RemainingMs(SteadyClock::time_point start, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) return -1;
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    if (elapsed >= static_cast<long long>(timeoutMs)) return 0;
    long long left = static_cast<long long>(timeoutMs) - elapsed;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

}  // namespace

Event::Event(Reset mode, bool initiallySet) : m_auto(mode == Reset::Auto) {
    m_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0) {
        SetLastErrorFromErrno();
        return;
    }
    if (initiallySet) Set();
}

Event::~Event() {
    if (m_fd >= 0) ::close(m_fd);
}

void Event::Set() {
    uint64_t clears;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_set || m_fd < 0) return;
        m_set = true;
        clears = m_clears.load(std::memory_order_relaxed);
    }
    // The descriptor is signalled after the lock is released: a waiter of
    // higher priority runs as soon as it is woken, and if the lock were still
    // held here it would block on it at once and hand the processor back,
    // two needless switches per signal. A write that comes after a reset
    // leaves a stale signal; only a reset (or a take) since the flag was
    // raised can have made it one, and then this Set takes it back. Looking
    // at the count rather than the flag keeps this Set off the lock that a
    // woken waiter takes at once. A poll that sees a stale signal first
    // clears it in TryAcquire.
    SignalFd(m_fd);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (m_clears.load(std::memory_order_seq_cst) == clears) return;
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_set) DrainFd(m_fd);
}

void Event::Clear() {
    // Called with m_lock held and the flag raised.
    m_set = false;
    m_clears.fetch_add(1, std::memory_order_seq_cst);
    DrainFd(m_fd);
}

void Event::ResetEvent() {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_set || m_fd < 0) return;
    Clear();
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_set;
}

bool Event::TryAcquire() {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_set) {
        // A stale signal (see Set) must not keep a waiter's poll spinning.
        DrainFd(m_fd);
        return false;
    }
    if (m_auto) Clear();
    return true;
}

Waitable::Look Event::TakeIfSignalled() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_fd < 0) return kUnknown;
    if (!m_set) return kNotSignalled;  // a stale signal is left to TryAcquire
    if (m_auto) Clear();
    return kSignalled;
}

DWORD Event::Wait(DWORD timeoutMs) { return WaitAny({this}, timeoutMs); }

namespace {

// The wait behind both forms of WaitAny: no allocation for the few objects
// the engine's waits name.
DWORD WaitAnyOf(Waitable* const* objects, size_t count, DWORD timeoutMs) {
    if (count == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!objects[i] || objects[i]->WaitFd() < 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    // Objects that are signalled already are taken without a poll, in list
    // order, up to the first one that can only tell through its descriptor
    // (one signalled before it would have to win).
    bool allKnown = true;
    for (size_t i = 0; i < count; ++i) {
        const Waitable::Look look = objects[i]->TakeIfSignalled();
        if (look == Waitable::kSignalled) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        if (look == Waitable::kUnknown) {
            allKnown = false;
            break;
        }
    }
    if (allKnown && timeoutMs == 0) return WAIT_TIMEOUT;

    constexpr size_t kFew = 8;
    pollfd few[kFew];
    std::vector<pollfd> many;
    pollfd* fds = few;
    if (count > kFew) {
        many.resize(count);
        fds = many.data();
    }
    for (size_t i = 0; i < count; ++i) fds[i] = pollfd{objects[i]->WaitFd(), POLLIN, 0};
    // The first signalled object in list order among those the poll found.
    auto taken = [&]() -> DWORD {
        for (size_t i = 0; i < count; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && objects[i]->TryAcquire())
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
        return WAIT_TIMEOUT;
    };
    const auto start = SteadyClock::now();
    for (;;) {
        int left = RemainingMs(start, timeoutMs);
        int r = ::poll(fds, count, left);
        if (r < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            return WAIT_FAILED;
        }
        if (r > 0) {
            const DWORD got = taken();
            if (got != WAIT_TIMEOUT) return got;
        }
        if (RemainingMs(start, timeoutMs) == 0) {
            // One last non-blocking look so that a zero time-out still sees
            // objects that are already signalled.
            if (r == 0) return WAIT_TIMEOUT;
            if (::poll(fds, count, 0) > 0) return taken();
            return WAIT_TIMEOUT;
        }
    }
}

}  // namespace

DWORD WaitAny(std::initializer_list<Waitable*> objects, DWORD timeoutMs) {
    return WaitAnyOf(objects.begin(), objects.size(), timeoutMs);
}

DWORD WaitAny(const std::vector<Waitable*>& objects, DWORD timeoutMs) {
    return WaitAnyOf(objects.data(), objects.size(), timeoutMs);
}

DWORD WaitAll(const std::vector<Waitable*>& objects, DWORD timeoutMs) {
    // Waits for each in turn; the whole wait keeps one time limit.
    const auto start = SteadyClock::now();
    for (Waitable* w : objects) {
        int left = RemainingMs(start, timeoutMs);
        DWORD r = WaitAny({w}, left < 0 ? INFINITE : static_cast<DWORD>(left));
        if (r != WAIT_OBJECT_0) return r;
    }
    return WAIT_OBJECT_0;
}

}  // namespace plat
