#include "platform/sound/PulseConnection.h"

#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/core/LastError.h"
#include "platform/sound/PulseLoop.h"
#include "platform/sound/SoundTypes.h"

namespace plat {

namespace {
// Takes the wake-up counter back to zero (it is non-blocking).
void OnWake(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void*) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
}

// The stop event stays set; its descriptor only has to end the poll.
void OnStop(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void*) {}
}  // namespace

PulseConnection::PulseConnection(const Event* stop) : m_loop(std::make_unique<PulseLoop>()), m_stop(stop) {
    // Another thread wakes the loop through a counter the loop watches: it
    // stays readable until the loop has seen it, so no wake-up is lost.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd >= 0) {
        pa_mainloop_api* api = m_loop->Api();
        m_wakeEvent = api->io_new(api, m_wakeFd, PA_IO_EVENT_INPUT, &OnWake, nullptr);
        if (m_wakeEvent && m_stop) {
            m_stopEvent = api->io_new(api, m_stop->WaitFd(), PA_IO_EVENT_INPUT, &OnStop, nullptr);
            if (!m_stopEvent) {
                api->io_free(m_wakeEvent);
                m_wakeEvent = nullptr;
            }
        }
    }
    if (!m_wakeEvent) m_loop.reset();
}

PulseConnection::~PulseConnection() {
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_stopEvent) m_loop->Api()->io_free(m_stopEvent);
    if (m_wakeEvent) m_loop->Api()->io_free(m_wakeEvent);
    m_loop.reset();
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}


HRESULT PulseConnection::Connect(const char* clientName, DWORD timeoutMs) {
    if (!m_loop) return E_OUTOFMEMORY;
    if (Stopped()) {
        SetLastError(ERROR_CANCELLED);
        return E_ABORT;
    }
    if (m_context) return IsReady() ? S_OK : E_UNEXPECTED;
    m_context = pa_context_new(m_loop->Api(), clientName);
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
    if (!m_loop) return false;
    return m_loop->Iterate(timeoutMs == INFINITE ? -1 : int64_t{timeoutMs} * 1000);
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
