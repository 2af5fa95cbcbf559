#include "platform/sound/PulsePlaybackBuffer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/core/LastError.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseFormat.h"
#include "platform/sound/SoundFormat.h"

namespace plat {

namespace {
constexpr DWORD kConnectTimeoutMs = 3000;
// The server's ~10 ms requests (or fragments) wake the pump while the stream
// runs; the turn limits only bound a wait when nothing comes. Commands from
// other threads wake it at once.
constexpr DWORD kBusyTurnMs = 20;
constexpr DWORD kIdleTurnMs = 250;
}  // namespace

HRESULT PulsePlaybackBuffer::Create(const std::string& sink, const WaveFormat& format, DWORD bytes,
                                    std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    pa_sample_spec spec;
    if (!PulseSpecFor(format, &spec)) return DSERR_BADFORMAT;
    if (bytes < 4u * format.nBlockAlign || bytes % format.nBlockAlign != 0) return E_INVALIDARG;
    auto buffer = std::make_shared<PulsePlaybackBuffer>(Token{}, sink, format);
    HRESULT hr = buffer->Open(bytes);
    if (FAILED(hr)) return hr;
    *ppBuffer = std::move(buffer);
    return S_OK;
}

PulsePlaybackBuffer::PulsePlaybackBuffer(Token, std::string sink, const WaveFormat& format)
    : m_sink(std::move(sink)), m_format(format), m_period(std::max<DWORD>(FormatBytesForMs(format, 10), format.nBlockAlign)) {}

PulsePlaybackBuffer::~PulsePlaybackBuffer() {
    m_quit = true;
    Wake();
    m_pump.Join();
}

HRESULT PulsePlaybackBuffer::Open(DWORD bytes) {
    if (!m_ring.Allocate(bytes)) return E_OUTOFMEMORY;
    m_piece.resize(bytes);
    if (!m_pump.Start([this] { return Pump(); }, "sound-play")) return HResultFromLastError();
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

void PulsePlaybackBuffer::Wake() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_connection) m_connection->Wakeup();
}

void PulsePlaybackBuffer::OnStreamState(pa_stream* stream, void* self) {
    auto* me = static_cast<PulsePlaybackBuffer*>(self);
    pa_stream_state_t s = pa_stream_get_state(stream);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
        std::lock_guard<std::mutex> g(me->m_lock);
        me->m_lost = true;
    }
}

HRESULT PulsePlaybackBuffer::Pump() {
    PulseConnection connection;
    HRESULT hr = connection.Connect("Tonquil", kConnectTimeoutMs);
    pa_stream* stream = nullptr;
    if (SUCCEEDED(hr)) {
        pa_sample_spec spec;
        PulseSpecFor(m_format, &spec);
        stream = pa_stream_new(connection.Context(), "Tonquil playback", &spec, nullptr);
        if (!stream) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        pa_stream_set_state_callback(stream, &PulsePlaybackBuffer::OnStreamState, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = 3 * m_period;
        attr.prebuf = m_period;
        attr.minreq = m_period;
        attr.fragsize = static_cast<uint32_t>(-1);
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                    PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(stream, m_sink.empty() ? nullptr : m_sink.c_str(), &attr, flags, nullptr,
                                       nullptr) < 0) {
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
                busy = m_playing && !m_lost;
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

void PulsePlaybackBuffer::Service(pa_stream* stream) {
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
    if (!m_playing) return;
    const DWORD size = m_ring.Size();

    // The play cursor: what was handed over, less what the server still holds.
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
        uint64_t queued = negative ? 0 : PulseBytesForUs(m_format, latency);
        uint64_t played = m_sent > queued ? m_sent - queued : 0;
        if (played > m_played) {
            uint64_t step = played - m_played;
            m_notifier.Passed(m_play, step, size);
            m_play = static_cast<DWORD>((m_play + step) % size);
            m_played = played;
        }
    }

    // Keep the server's queue topped up, never more than half a ring ahead.
    size_t writable = pa_stream_writable_size(stream);
    if (writable == static_cast<size_t>(-1)) return;
    uint64_t inFlight = m_sent - m_played;
    uint64_t room = size / 2 > inFlight ? size / 2 - inFlight : 0;
    uint64_t n = std::min<uint64_t>(writable, room);
    n -= n % m_format.nBlockAlign;
    if (n == 0) return;
    m_ring.Read(m_write, static_cast<DWORD>(n), m_piece.data());
    if (pa_stream_write(stream, m_piece.data(), n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    m_write = static_cast<DWORD>((m_write + n) % size);
    m_sent += n;
}

void PulsePlaybackBuffer::Rewind() {
    // What the server still holds is dropped and will be handed over again.
    m_write = m_play;
    m_sent = 0;
    m_played = 0;
}

HRESULT PulsePlaybackBuffer::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_playing ? (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT PulsePlaybackBuffer::GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) {
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwPlay) *pdwPlay = m_play;
    if (pdwWrite) *pdwWrite = m_playing ? m_write : m_play;
    return S_OK;
}

HRESULT PulsePlaybackBuffer::SetCurrentPosition(DWORD dwPosition) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (dwPosition >= m_ring.Size()) return E_INVALIDARG;
        m_play = dwPosition - dwPosition % m_format.nBlockAlign;
        Rewind();
        if (m_playing) m_flushWanted = true;
    }
    Wake();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                  DWORD* pdw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

HRESULT PulsePlaybackBuffer::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

HRESULT PulsePlaybackBuffer::Play(DWORD) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_playing) return S_OK;
        m_playing = true;
        m_corkWanted = false;
        Rewind();
    }
    Wake();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_playing) return S_OK;
        m_playing = false;
        m_corkWanted = true;
        m_flushWanted = true;
        Rewind();
    }
    Wake();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_playing) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

}  // namespace plat
