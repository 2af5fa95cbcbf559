#include "platform/sound/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <chrono>

#include "platform/core/LastError.h"
#include "platform/sound/SoundTypes.h"

namespace plat {

PulseConnection::PulseConnection() { m_mainloop = pa_mainloop_new(); }

PulseConnection::~PulseConnection() {
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_mainloop) pa_mainloop_free(m_mainloop);
}

HRESULT PulseConnection::Connect(const char* clientName, DWORD timeoutMs) {
    if (!m_mainloop) return E_OUTOFMEMORY;
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
    SetLastError(settled ? ERROR_DEV_NOT_EXIST : ERROR_TIMEOUT);
    return DSERR_NODRIVER;
}

bool PulseConnection::IsReady() const {
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseConnection::Iterate(DWORD timeoutMs) {
    if (!m_mainloop) return false;
    if (pa_mainloop_prepare(m_mainloop, static_cast<int>(timeoutMs) * 1000) < 0) return false;
    if (pa_mainloop_poll(m_mainloop) < 0) return false;
    return pa_mainloop_dispatch(m_mainloop) >= 0;
}

bool PulseConnection::RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0) return done();
        if (!Iterate(static_cast<DWORD>(left))) return done();
    }
    return true;
}

void PulseConnection::Wakeup() {
    if (m_mainloop) pa_mainloop_wakeup(m_mainloop);
}

bool PulseServerAnswers(DWORD timeoutMs) {
    PulseConnection c;
    return SUCCEEDED(c.Connect("Tonquil probe", timeoutMs));
}

}  // namespace plat
