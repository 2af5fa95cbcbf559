#include "platform/sound/PulseCaptureBuffer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/sound/PulseFormat.h"

namespace plat {

HRESULT PulseCaptureBuffer::Create(const std::string& source, const WaveFormat& format, DWORD bytes,
                                   std::shared_ptr<SoundCaptureBuffer>* ppBuffer) {
    return Make<PulseCaptureBuffer>(source, format, bytes, ppBuffer);
}

PulseCaptureBuffer::PulseCaptureBuffer(Token, std::string source, const WaveFormat& format)
    : PulseBuffer(format), m_stream(*this, m_lock, std::move(source), format, "Tonquil capture", "sound-capture") {}

int PulseCaptureBuffer::ConnectStream(pa_stream* stream, const char* source, unsigned flags) {
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(-1);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = PulseFragmentBytes(m_format);
    return pa_stream_connect_record(stream, source, &attr, static_cast<pa_stream_flags_t>(flags));
}

bool PulseCaptureBuffer::Move(pa_stream* stream) {
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t n = 0;
        if (pa_stream_peek(stream, &data, &n) < 0) return false;
        if (n == 0) break;  // nothing yet
        if (m_running) {
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
    return true;
}

void PulseCaptureBuffer::Away(uint64_t us) {
    if (!m_running) return;
    // Silence at the format's pace, through the same steady release.
    m_backlog.insert(m_backlog.end(), AwayBytes(us), m_format.wBitsPerSample == 8 ? 0x80 : 0);
    Release();
}

void PulseCaptureBuffer::Release() {
    const auto now = std::chrono::steady_clock::now();
    const uint64_t elapsedUs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now - m_lastRelease).count());
    m_lastRelease = now;
    if (!m_running) {
        m_backlog.clear();
        m_releaseCreditUs = 0;
        return;
    }
    const DWORD size = m_ring.Size();
    // More than a ring behind is lost, as on any device that is not read in time.
    if (m_backlog.size() > size) m_backlog.erase(m_backlog.begin(), m_backlog.end() - size);
    uint64_t n = m_backlog.size();
    if (n > 2u * PulseFragmentBytes(m_format)) {
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
    m_notifier.Passed(start, n, size, &m_due);
}

HRESULT PulseCaptureBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_running ? (DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT PulseCaptureBuffer::GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) {
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwCapture) *pdwCapture = m_capture;
    if (pdwRead) *pdwRead = m_capture;
    return S_OK;
}

HRESULT PulseCaptureBuffer::Start(DWORD) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_running) return S_OK;
        m_running = true;
        m_stream.SetCorked(false);
        m_lastRelease = std::chrono::steady_clock::now();
        m_releaseCreditUs = 0;
    }
    m_stream.Wake();
    return S_OK;
}

HRESULT PulseCaptureBuffer::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_running) return S_OK;
        m_running = false;
        m_stream.SetCorked(true);
        m_stream.Flush();
        m_backlog.clear();
    }
    m_stream.Wake();
    return S_OK;
}

}  // namespace plat
