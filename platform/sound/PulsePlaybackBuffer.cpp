#include "platform/sound/PulsePlaybackBuffer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/sound/PulseFormat.h"

namespace plat {

HRESULT PulsePlaybackBuffer::Create(const std::string& sink, const WaveFormat& format, DWORD bytes,
                                    std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) {
    return Make<PulsePlaybackBuffer>(sink, format, bytes, ppBuffer);
}

PulsePlaybackBuffer::PulsePlaybackBuffer(Token, std::string sink, const WaveFormat& format)
    : PulseBuffer(format), m_stream(*this, m_lock, std::move(sink), format, "Tonquil playback", "sound-play") {}

int PulsePlaybackBuffer::ConnectStream(pa_stream* stream, const char* sink, unsigned flags) {
    // The server asks for kRequestPeriods once its queue has drained that
    // far, and the pump is never more than kAheadPeriods ahead of what is
    // heard (see Move). A writer that keeps its data more than that ahead of
    // the play cursor (as a player does, which starts the ring with a chunk
    // queued) is never overtaken by it.
    //
    // The sink keeps a fragment (PipeWire's default quantum) of its own. Less
    // made PipeWire run the whole graph, every other client's streams too, in
    // quanta of 256 frames, where a late turn of any process drops a quantum
    // of sound; PulseAudio rendered in smaller blocks at more CPU.
    const DWORD request = kRequestPeriods * m_period;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = LatencyFor(request, PulseFragmentBytes(m_format));
    attr.prebuf = request;
    attr.minreq = request;
    attr.fragsize = static_cast<uint32_t>(-1);
    return pa_stream_connect_playback(stream, sink, &attr, static_cast<pa_stream_flags_t>(flags), nullptr, nullptr);
}

bool PulsePlaybackBuffer::Move(pa_stream* stream) {
    if (!m_running) return true;
    const DWORD size = m_ring.Size();

    // What the server's queue for the stream holds: the queue it granted
    // less what it asks for (less than a request more than it holds, as a
    // server asks for a request's worth at a time). The latency is no measure
    // of it: PipeWire counts the graph's own periods in it, and under load
    // its interpolated latency stuck at 0 for seconds, so that a pump that
    // went by it left the queue a period short and the stream underran, or
    // filled the queue far ahead of the writer.
    size_t writable = pa_stream_writable_size(stream);
    if (writable == static_cast<size_t>(-1)) return true;
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream);
    const uint64_t tlength = granted ? granted->tlength : uint64_t{kAheadPeriods} * m_period;
    const uint64_t held = tlength > writable ? tlength - writable : 0;

    // The play cursor: what was handed over, less what the server still holds.
    const uint64_t played = m_sent > held ? m_sent - held : 0;
    if (played > m_played) {
        const uint64_t step = played - m_played;
        m_notifier.Passed(m_play, step, size, &m_due);
        m_play = static_cast<DWORD>((m_play + step) % size);
        m_played = played;
    }

    // Keep the server's queue topped up, never more than kAheadPeriods ahead
    // of what is heard (and never more than half a ring). The queue a server
    // grants may be longer; a pump that filled it would run ahead of a writer
    // that keeps the usual lead and hand over stale bytes.
    const uint64_t inFlight = m_sent - m_played;
    const uint64_t ahead = std::min<uint64_t>(size / 2, uint64_t{kAheadPeriods} * m_period);
    uint64_t room = ahead > inFlight ? ahead - inFlight : 0;
    uint64_t n = std::min<uint64_t>(writable, room);
    n -= n % m_format.nBlockAlign;
    if (n == 0) return true;
    m_ring.Read(m_write, static_cast<DWORD>(n), m_piece.data());
    if (pa_stream_write(stream, m_piece.data(), n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return true;
    m_write = static_cast<DWORD>((m_write + n) % size);
    m_sent += n;
    return true;
}

void PulsePlaybackBuffer::Away(uint64_t us) {
    if (!m_running) return;
    // The ring goes on as if heard: what the server held is gone with it,
    // and both cursors move on together at the format's pace.
    const uint64_t n = AwayBytes(us);
    if (n == 0) return;
    const DWORD size = m_ring.Size();
    m_notifier.Passed(m_play, n, size, &m_due);
    m_play = static_cast<DWORD>((m_play + n) % size);
    Rewind();
}

void PulsePlaybackBuffer::Rewind() {
    // What the server still holds is dropped and will be handed over again.
    m_write = m_play;
    m_sent = 0;
    m_played = 0;
}

HRESULT PulsePlaybackBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_running ? (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT PulsePlaybackBuffer::GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) {
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwPlay) *pdwPlay = m_play;
    if (pdwWrite) *pdwWrite = m_running ? m_write : m_play;
    return S_OK;
}

HRESULT PulsePlaybackBuffer::SetCurrentPosition(DWORD dwPosition) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (dwPosition >= m_ring.Size()) return E_INVALIDARG;
        m_play = dwPosition - dwPosition % m_format.nBlockAlign;
        Rewind();
        if (m_running) m_stream.Flush();
    }
    m_stream.Wake();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::Play(DWORD) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_running) return S_OK;
        m_running = true;
        m_stream.SetCorked(false);
        Rewind();
    }
    m_stream.Wake();
    return S_OK;
}

HRESULT PulsePlaybackBuffer::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_running) return S_OK;
        m_running = false;
        m_stream.SetCorked(true);
        m_stream.Flush();
        Rewind();
    }
    m_stream.Wake();
    return S_OK;
}

}  // namespace plat
