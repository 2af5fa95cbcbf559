#include "platform/sound/PulseStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/core/LastError.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseFormat.h"
#include "platform/sound/SoundFormat.h"

namespace plat {

namespace {
constexpr DWORD kConnectTimeoutMs = 3000;
// While the stream runs, the server's requests (or fragments) wake the pump;
// the turn limit only bounds a wait when none comes. A corked stream has
// nothing to do until a command, which wakes the pump at once, or a message
// from the server: it sleeps without a time limit, so an idle buffer costs
// no wake-ups at all.
constexpr DWORD kBusyTurnMs = 250;
constexpr DWORD kIdleTurnMs = INFINITE;
}  // namespace

DWORD PulsePeriodBytes(const WaveFormat& format) {
    return std::max<DWORD>(FormatBytesForMs(format, 10), format.nBlockAlign);
}

HRESULT PulseCheckBuffer(const WaveFormat& format, DWORD bytes) {
    pa_sample_spec spec;
    if (!PulseSpecFor(format, &spec)) return DSERR_BADFORMAT;
    if (bytes < 4u * format.nBlockAlign || bytes % format.nBlockAlign != 0) return E_INVALIDARG;
    return S_OK;
}

PulseStream::PulseStream(Owner& owner, std::mutex& lock, std::string device, const WaveFormat& format,
                         const char* streamName, const char* threadName)
    : m_owner(owner),
      m_lock(lock),
      m_device(std::move(device)),
      m_format(format),
      m_streamName(streamName),
      m_threadName(threadName) {}

PulseStream::~PulseStream() {
    m_quit = true;
    Wake();
    m_pump.Join();
}

HRESULT PulseStream::Open() {
    if (!m_pump.Start([this] { return Pump(); }, m_threadName)) return HResultFromLastError();
    // The pump's own steps are bounded; this limit only guards against a bug.
    if (m_ready.Wait(4 * kConnectTimeoutMs) != WAIT_OBJECT_0) {
        m_quit = true;
        Wake();
        m_pump.Join();
        return DSERR_NODRIVER;
    }
    if (FAILED(m_openResult)) {
        m_pump.Join();
        return m_openResult;
    }
    return S_OK;
}

void PulseStream::Wake() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_connection) m_connection->Wakeup();
}

void PulseStream::OnStreamState(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    pa_stream_state_t s = pa_stream_get_state(stream);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
        std::lock_guard<std::mutex> g(me->m_lock);
        me->m_lost = true;
    }
}

HRESULT PulseStream::Pump() {
    PulseConnection connection;
    HRESULT hr = connection.Connect("Tonquil", kConnectTimeoutMs);
    pa_stream* stream = nullptr;
    if (SUCCEEDED(hr)) {
        pa_sample_spec spec;
        PulseSpecFor(m_format, &spec);
        stream = pa_stream_new(connection.Context(), m_streamName.c_str(), &spec, nullptr);
        if (!stream) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        pa_stream_set_state_callback(stream, &PulseStream::OnStreamState, this);
        const unsigned flags = PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY;
        if (m_owner.ConnectStream(stream, m_device.empty() ? nullptr : m_device.c_str(), flags) < 0) {
            hr = DSERR_NODRIVER;
        } else {
            bool ready = connection.RunUntil(
                [stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; }, kConnectTimeoutMs);
            if (!ready || pa_stream_get_state(stream) != PA_STREAM_READY) hr = DSERR_NODRIVER;
        }
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_lost = FAILED(hr);
        if (SUCCEEDED(hr)) m_connection = &connection;
    }
    m_openResult = hr;
    m_ready.Set();
    if (SUCCEEDED(hr)) {
        while (!m_quit.load()) {
            bool busy;
            {
                std::lock_guard<std::mutex> g(m_lock);
                busy = m_owner.Running() && !m_lost;
            }
            if (!connection.Iterate(busy ? kBusyTurnMs : kIdleTurnMs)) {
                std::lock_guard<std::mutex> g(m_lock);
                m_lost = true;
            }
            Service(stream);
        }
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_connection = nullptr;
    }
    if (stream) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    return hr;
}

void PulseStream::Service(pa_stream* stream) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_lost && pa_stream_get_state(stream) != PA_STREAM_READY) m_lost = true;
    if (m_lost) return;  // the cursors stay where the stream left them
    if (m_flushWanted) {
        if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr)) pa_operation_unref(op);
        m_flushWanted = false;
    }
    if (m_corkWanted != m_corked) {
        if (pa_operation* op = pa_stream_cork(stream, m_corkWanted ? 1 : 0, nullptr, nullptr)) pa_operation_unref(op);
        m_corked = m_corkWanted;
    }
    if (!m_owner.Move(stream)) m_lost = true;
}

}  // namespace plat
