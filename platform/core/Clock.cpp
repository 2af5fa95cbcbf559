#include "platform/core/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace plat {

namespace {
SystemClock g_systemClock;
std::atomic<IClock*> g_clock{nullptr};
}  // namespace

uint64_t SystemClock::NowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void SystemClock::SleepMs(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

DWORD IClock::WaitForAny(const std::vector<Waitable*>& objects, DWORD timeoutMs) {
    return WaitAny(objects, timeoutMs);
}

DWORD ManualClock::WaitForAny(const std::vector<Waitable*>& objects, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) return WaitAny(objects, INFINITE);
    DWORD r = WaitAny(objects, 0);
    if (r == WAIT_TIMEOUT) m_now += timeoutMs;
    return r;
}

IClock& Clock() {
    IClock* c = g_clock.load();
    return c ? *c : g_systemClock;
}

void SetClock(IClock* clock) { g_clock = clock; }

DWORD GetTickCount() { return static_cast<DWORD>(Clock().NowMs()); }

void Sleep(DWORD ms) { Clock().SleepMs(ms); }

DWORD ClockWaitAny(std::initializer_list<Waitable*> objects, DWORD timeoutMs) {
    return Clock().WaitForAny(std::vector<Waitable*>(objects), timeoutMs);
}

std::string CTimeText() {
    std::time_t t = std::time(nullptr);
    char buf[64];
    if (!ctime_r(&t, buf)) return "(null)";
    return buf;
}

int64_t UnixTimeNow() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace plat
