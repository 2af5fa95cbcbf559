#include "platform/sound/PulseCaptureBuffer.h"

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

HRESULT PulseCaptureBuffer::Create(const std::string& source, const WaveFormat& format, DWORD bytes,
                                   std::shared_ptr<SoundCaptureBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    pa_sample_spec spec;
    if (!PulseSpecFor(format, &spec)) return DSERR_BADFORMAT;
    if (bytes < 4u * format.nBlockAlign || bytes % format.nBlockAlign != 0) return E_INVALIDARG;
    auto buffer = std::make_shared<PulseCaptureBuffer>(Token{}, source, format);
    HRESULT hr = buffer->Open(bytes);
    if (FAILED(hr)) return hr;
    *ppBuffer = std::move(buffer);
    return S_OK;
}

PulseCaptureBuffer::PulseCaptureBuffer(Token, std::string source, const WaveFormat& format)
    : m_source(std::move(source)), m_format(format), m_period(std::max<DWORD>(FormatBytesForMs(format, 10), format.nBlockAlign)) {}

PulseCaptureBuffer::~PulseCaptureBuffer() {
    m_quit = true;
    Wake();
    m_pump.Join();
}

HRESULT PulseCaptureBuffer::Open(DWORD bytes) {
    if (!m_ring.Allocate(bytes)) return E_OUTOFMEMORY;
    m_piece.resize(bytes);
    if (!m_pump.Start([this] { return Pump(); }, "sound-capture")) return HResultFromLastError();
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

void PulseCaptureBuffer::Wake() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_connection) m_connection->Wakeup();
}

void PulseCaptureBuffer::OnStreamState(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseCaptureBuffer*>(self);
    pa_stream_state_t s = pa_stream_get_state(stream);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
        std::lock_guard<std::mutex> g(me->m_lock);
        me->m_lost = true;
    }
}

HRESULT PulseCaptureBuffer::Pump() {
    PulseConnection connection;
    HRESULT hr = connection.Connect("Tonquil", kConnectTimeoutMs);
    pa_stream* stream = nullptr;
    if (SUCCEEDED(hr)) {
        pa_sample_spec spec;
        PulseSpecFor(m_format, &spec);
        stream = pa_stream_new(connection.Context(), "Tonquil capture", &spec, nullptr);
        if (!stream) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        pa_stream_set_state_callback(stream, &PulseCaptureBuffer::OnStreamState, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(-1);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = m_period;
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(stream, m_source.empty() ? nullptr : m_source.c_str(), &attr, flags) < 0) {
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
                busy = m_capturing && !m_lost;
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

void PulseCaptureBuffer::Service(pa_stream* stream) {
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
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t n = 0;
        if (pa_stream_peek(stream, &data, &n) < 0) {
            m_lost = true;
            return;
        }
        if (n == 0) break;  // nothing yet
        if (m_capturing) {
            if (data) {
                auto* from = static_cast<const uint8_t*>(data);
                m_backlog.insert(m_backlog.end(), from, from + n);
            } else {
                m_backlog.insert(m_backlog.end(), n, m_format.wBitsPerSample == 8 ? 0x80 : 0);  // a hole: silence
            }
        }
        pa_stream_drop(stream);
    }
    Release();
}

void PulseCaptureBuffer::Release() {
    const auto now = std::chrono::steady_clock::now();
    const uint64_t elapsedUs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now - m_lastRelease).count());
    m_lastRelease = now;
    if (!m_capturing) {
        m_backlog.clear();
        m_releaseCreditUs = 0;
        return;
    }
    const DWORD size = m_ring.Size();
    // More than a ring behind is lost, as on any device that is not read in time.
    if (m_backlog.size() > size) m_backlog.erase(m_backlog.begin(), m_backlog.end() - size);
    uint64_t n = m_backlog.size();
    if (n > 2u * m_period) {
        // A large block: pass it on a little faster than real time, so that a
        // backlog drains while the ring fills as steadily as a device's would.
        m_releaseCreditUs = std::min<uint64_t>(m_releaseCreditUs + elapsedUs + elapsedUs / 10, 1000000u);
        uint64_t budget = PulseBytesForUs(m_format, m_releaseCreditUs);
        n = std::min(n, budget);
        if (n == 0) return;
        m_releaseCreditUs -= std::min<uint64_t>(m_releaseCreditUs, n * 1000000u / m_format.nAvgBytesPerSec);
    } else {
        m_releaseCreditUs = 0;
    }
    n -= n % m_format.nBlockAlign;
    if (n == 0) return;
    const DWORD start = m_capture;
    auto end = m_backlog.begin() + static_cast<std::ptrdiff_t>(n);
    std::copy(m_backlog.begin(), end, m_piece.begin());
    m_backlog.erase(m_backlog.begin(), end);
    m_ring.Write(m_capture, static_cast<DWORD>(n), m_piece.data());
    m_capture = static_cast<DWORD>((m_capture + n) % size);
    m_notifier.Passed(start, n, size);
}

HRESULT PulseCaptureBuffer::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

HRESULT PulseCaptureBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_capturing ? (DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT PulseCaptureBuffer::GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) {
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwCapture) *pdwCapture = m_capture;
    if (pdwRead) *pdwRead = m_capture;
    return S_OK;
}

HRESULT PulseCaptureBuffer::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                 DWORD* pdw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

HRESULT PulseCaptureBuffer::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

HRESULT PulseCaptureBuffer::Start(DWORD) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_capturing) return S_OK;
        m_capturing = true;
        m_corkWanted = false;
        m_lastRelease = std::chrono::steady_clock::now();
        m_releaseCreditUs = 0;
    }
    Wake();
    return S_OK;
}

HRESULT PulseCaptureBuffer::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_capturing) return S_OK;
        m_capturing = false;
        m_corkWanted = true;
        m_flushWanted = true;
        m_backlog.clear();
    }
    Wake();
    return S_OK;
}

HRESULT PulseCaptureBuffer::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_capturing) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

}  // namespace plat
