#pragma once
// Time as the engine sees it: a 32-bit millisecond tick that wraps, and sleeps.
// Both go through a replaceable clock so that tests can run prescribed waits
// without spending them.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Sync.h"
#include "platform/core/WinTypes.h"

namespace plat {

class IClock {
public:
    virtual ~IClock() = default;
    virtual uint64_t NowMs() = 0;
    virtual void SleepMs(DWORD ms) = 0;
    // Waits like WaitAny for up to timeoutMs by this clock's time. The default
    // waits in real time.
    virtual DWORD WaitForAny(const std::vector<Waitable*>& objects, DWORD timeoutMs);
};

// The monotonic system clock with real sleeps.
class SystemClock final : public IClock {
public:
    uint64_t NowMs() override;
    void SleepMs(DWORD ms) override;
};

// A clock that only moves when told to; a sleep moves it forward at once.
class ManualClock final : public IClock {
public:
    explicit ManualClock(uint64_t startMs = 0) : m_now(startMs) {}
    uint64_t NowMs() override { return m_now.load(); }
    void SleepMs(DWORD ms) override { m_now += ms; }
    // Answers at once: a time-out moves the clock on by timeoutMs (a wait
    // without limit still blocks in real time).
    DWORD WaitForAny(const std::vector<Waitable*>& objects, DWORD timeoutMs) override;
    void Advance(uint64_t ms) { m_now += ms; }
    void Set(uint64_t ms) { m_now = ms; }

private:
    std::atomic<uint64_t> m_now;
};

// The clock in use (the system clock unless one was installed).
IClock& Clock();
// Installs a clock (null restores the system clock). The clock must outlive its use.
void SetClock(IClock* clock);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick.
DWORD GetTickCount();
void Sleep(DWORD ms);
// WaitAny by the clock in use, so that prescribed waits which an owner can
// still cut short cost no real time under a manual clock.
DWORD ClockWaitAny(std::initializer_list<Waitable*> objects, DWORD timeoutMs);

// The local date and time in the C library's 24-character form followed by its
// line feed ("Wed Dec  9 04:27:58 2026\n").
std::string CTimeText();

// Seconds since 1970 (UTC).
int64_t UnixTimeNow();

}  // namespace plat
