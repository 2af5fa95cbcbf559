#include "platform/sound/PulseConnection.h"

#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/core/LastError.h"
#include "platform/sound/SoundTypes.h"

namespace plat {

namespace {
// A bounded wait longer than this is cut to it (the loop takes microseconds in an int).
constexpr DWORD kMaxTimeoutMs = 1000000;

// Takes the wake-up counter back to zero (it is non-blocking).
void OnWake(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void*) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
}

// The stop event stays set; its descriptor only has to end the poll.
void OnStop(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void*) {}
}  // namespace

PulseConnection::PulseConnection(const Event* stop) : m_stop(stop) {
    m_mainloop = pa_mainloop_new();
    // The loop's own wake-up is lost when it comes before the loop polls;
    // a counter the loop watches stays readable until the loop has seen it.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_mainloop && m_wakeFd >= 0) {
        pa_mainloop_api* api = pa_mainloop_get_api(m_mainloop);
        m_wakeEvent = api->io_new(api, m_wakeFd, PA_IO_EVENT_INPUT, &OnWake, nullptr);
        if (m_wakeEvent && m_stop) {
            m_stopEvent = api->io_new(api, m_stop->WaitFd(), PA_IO_EVENT_INPUT, &OnStop, nullptr);
            if (!m_stopEvent) {
                api->io_free(m_wakeEvent);
                m_wakeEvent = nullptr;
            }
        }
    }
    if (!m_wakeEvent && m_mainloop) {
        pa_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
    }
}

PulseConnection::~PulseConnection() {
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_stopEvent) pa_mainloop_get_api(m_mainloop)->io_free(m_stopEvent);
    if (m_wakeEvent) pa_mainloop_get_api(m_mainloop)->io_free(m_wakeEvent);
    if (m_mainloop) pa_mainloop_free(m_mainloop);
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}


HRESULT PulseConnection::Connect(const char* clientName, DWORD timeoutMs) {
    if (!m_mainloop) return E_OUTOFMEMORY;
    if (Stopped()) {
        SetLastError(ERROR_CANCELLED);
        return E_ABORT;
    }
    if (m_context) return IsReady() ? S_OK : E_UNEXPECTED;
    m_context = pa_context_new(pa_mainloop_get_api(m_mainloop), clientName);
    if (!m_context) return E_OUTOFMEMORY;
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        SetLastError(ERROR_DEV_NOT_EXIST);
        return DSERR_NODRIVER;
    }
    bool settled = RunUntil(
        [this] {
            pa_context_state_t s = pa_context_get_state(m_context);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        },
        timeoutMs);
    if (settled && IsReady()) return S_OK;
    if (!settled && Stopped()) {
        SetLastError(ERROR_CANCELLED);
        return E_ABORT;
    }
    SetLastError(settled ? ERROR_DEV_NOT_EXIST : ERROR_TIMEOUT);
    return DSERR_NODRIVER;
}

bool PulseConnection::IsReady() const {
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseConnection::Iterate(DWORD timeoutMs) {
    if (!m_mainloop) return false;
    const int timeoutUs = timeoutMs == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(timeoutMs, kMaxTimeoutMs)) * 1000;
    if (pa_mainloop_prepare(m_mainloop, timeoutUs) < 0) return false;
    if (pa_mainloop_poll(m_mainloop) < 0) return false;
    return pa_mainloop_dispatch(m_mainloop) >= 0;
}

bool PulseConnection::RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Stopped()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0) return done();
        if (!Iterate(static_cast<DWORD>(left))) return done();
    }
    return true;
}

void PulseConnection::Wakeup() {
    if (m_wakeFd < 0) return;
    const uint64_t one = 1;
    // Only a full counter refuses the write, and that is already readable.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

bool PulseServerAnswers(DWORD timeoutMs) {
    PulseConnection c;
    return SUCCEEDED(c.Connect("Tonquil probe", timeoutMs));
}

}  // namespace plat
