#include "platform/sound/PulseStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/core/LastError.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseFormat.h"
#include "platform/sound/SoundFormat.h"
#include "platform/sound/SoundNotice.h"
#include "platform/core/Text.h"

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
// While the server is away, a running buffer's cursors move in steps this long.
constexpr DWORD kAwayTurnMs = 20;
// Runs of the server out of a stream's sound are told at most this often.
constexpr DWORD kUnderrunNoticeMs = 10000;
}  // namespace

DWORD PulsePeriodBytes(const WaveFormat& format) {
    return std::max<DWORD>(FormatBytesForMs(format, 10), format.nBlockAlign);
}

DWORD PulseFragmentBytes(const WaveFormat& format) {
    const uint64_t frames = uint64_t{1024} * format.nSamplesPerSec / 48000;
    return static_cast<DWORD>(std::max<uint64_t>(frames, 1) * format.nBlockAlign);
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
    Stop();
    m_pump.Join();
}

void PulseStream::Stop() {
    m_quit = true;
    m_stop.Set();  // ends a connect or a wait for the stream to be ready
    Wake();
}

HRESULT PulseStream::Open() {
    // A pump that the scheduler keeps waiting lets the server's queue run dry,
    // and the sound a server gets right after running dry can be lost to it
    // (the stream's new data rewinds what the server already handed out).
    // The pump runs as a sound device's own thread would, ahead of ordinary
    // work, where the system allows that.
    m_pump.SetPriority(ThreadPriority::TimeCritical);
    if (!m_pump.Start([this] { return Pump(); }, m_threadName)) return HResultFromLastError();
    // The pump's own steps are bounded; this limit only guards against a bug.
    if (m_ready.Wait(4 * kConnectTimeoutMs) != WAIT_OBJECT_0) {
        Stop();
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
    m_wake.Set();
}

void PulseStream::OnStreamState(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    pa_stream_state_t s = pa_stream_get_state(stream);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
        std::lock_guard<std::mutex> g(me->m_lock);
        me->m_lost = true;
    }
}

void PulseStream::OnUnderflow(pa_stream*, void* self) {
    // A stream the server ran out of played silence meanwhile, and a server
    // may drop some of the sound that came right after. Under load this can
    // come many times a second: the log gets a count, not a line each time.
    auto* me = static_cast<PulseStream*>(self);
    ++me->m_underruns;
    const auto now = std::chrono::steady_clock::now();
    if (me->m_underrunToldAt != std::chrono::steady_clock::time_point{} &&
        now - me->m_underrunToldAt < std::chrono::milliseconds(kUnderrunNoticeMs))
        return;
    const uint64_t runs = me->m_underruns - me->m_underrunsTold;
    SoundNotice(u"The sound server ran out of sound for device \"" +
                me->DeviceLabel() + u"\" " +
                (runs == 1 ? std::u16string(u"once") : ToUtf16(std::to_string(runs)) + u" times"));
    me->m_underrunsTold = me->m_underruns;
    me->m_underrunToldAt = now;
}

std::u16string PulseStream::DeviceLabel() const { return ToUtf16(m_device.empty() ? "default" : m_device); }

void PulseStream::CloseStream(pa_stream* stream) {
    // No callback of ours may run for a stream on its way out.
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

HRESULT PulseStream::OpenStream(PulseConnection& connection, pa_stream** ppStream) {
    *ppStream = nullptr;
    HRESULT hr = connection.Connect("Tonquil", kConnectTimeoutMs);
    if (FAILED(hr)) return hr;
    pa_sample_spec spec;
    PulseSpecFor(m_format, &spec);
    pa_stream* stream = pa_stream_new(connection.Context(), m_streamName.c_str(), &spec, nullptr);
    if (!stream) return E_OUTOFMEMORY;
    pa_stream_set_state_callback(stream, &PulseStream::OnStreamState, this);
    pa_stream_set_underflow_callback(stream, &PulseStream::OnUnderflow, this);
    const unsigned flags = PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY;
    if (m_owner.ConnectStream(stream, m_device.empty() ? nullptr : m_device.c_str(), flags) < 0) {
        hr = DSERR_NODRIVER;
    } else {
        bool ready = connection.RunUntil([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
                                         kConnectTimeoutMs);
        if (!ready || pa_stream_get_state(stream) != PA_STREAM_READY) hr = DSERR_NODRIVER;
    }
    if (FAILED(hr)) {
        CloseStream(stream);
        return hr;
    }
    *ppStream = stream;
    return S_OK;
}

bool PulseStream::Serve(PulseConnection& connection, pa_stream* stream) {
    for (;;) {
        bool busy;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_lost || m_quit.load()) break;
            busy = m_owner.Running();
        }
        if (!connection.Iterate(busy ? kBusyTurnMs : kIdleTurnMs)) {
            std::lock_guard<std::mutex> g(m_lock);
            m_lost = true;
        }
        Service(stream);
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_connection = nullptr;
    }
    CloseStream(stream);
    return connection.IsReady();
}

bool PulseStream::RunAway(DWORD waitMs) {
    using Steady = std::chrono::steady_clock;
    const auto until = Steady::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        bool running;
        {
            std::lock_guard<std::mutex> g(m_lock);
            const auto now = Steady::now();
            m_owner.Away(static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(now - m_awayTurn).count()));
            m_awayTurn = now;
            running = m_owner.Running();
            m_owner.TakeDue(&m_due);
        }
        SetDue();
        if (m_quit.load()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Steady::now()).count();
        if (left <= 0) return true;
        // A running buffer's cursors move in small steps, as a device's would.
        const DWORD turn = running ? std::min<DWORD>(static_cast<DWORD>(left), kAwayTurnMs) : static_cast<DWORD>(left);
        m_wake.Wait(turn);
    }
}

HRESULT PulseStream::Pump() {
    using Steady = std::chrono::steady_clock;
    bool opened = false;
    Steady::time_point awaySince;
    Steady::time_point serverBack{};
    for (;;) {
        PulseConnection connection(&m_stop);
        pa_stream* stream = nullptr;
        const HRESULT hr = OpenStream(connection, &stream);
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (stream) {
                m_lost = false;
                m_connection = &connection;
                if (m_away) {
                    // The new stream starts corked and empty.
                    m_corked = true;
                    m_flushWanted = false;
                    m_owner.Reopened();
                    m_away = false;
                }
            } else if (!opened) {
                m_lost = true;
            }
        }
        if (!opened) {
            m_openResult = hr;
            m_ready.Set();
            if (!stream) return hr;
            opened = true;
        } else if (stream) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - awaySince).count();
            SoundNotice(u"Sound device \"" + DeviceLabel() + u"\" is back after " +
                        ToUtf16(std::to_string(ms)) + u" ms");
        }
        if (stream) {
            if (Serve(connection, stream) || m_quit.load()) {
                // The device went (or the pump is to end): lost for good,
                // the cursors stay where the stream left them.
                while (!m_quit.load()) m_wake.Wait(INFINITE);
                return S_OK;
            }
            // The server went away: run on without it and ask it again.
            std::lock_guard<std::mutex> g(m_lock);
            m_away = true;
            m_awayTurn = Steady::now();
            awaySince = m_awayTurn;
            serverBack = {};
            SoundNotice(u"The sound server went away: sound device \"" +
                        DeviceLabel() +
                        u"\" is silent until the server is back");
        } else if (connection.IsReady()) {
            // The server answers but the device is not (yet) there.
            if (serverBack == Steady::time_point{}) serverBack = Steady::now();
            if (Steady::now() - serverBack > std::chrono::milliseconds(kDeviceReturnMs)) {
                SoundNotice(u"Sound device \"" + ToUtf16(m_device) +
                            u"\" did not come back with the sound server");
                {
                    std::lock_guard<std::mutex> g(m_lock);
                    m_away = false;
                    m_lost = true;
                }
                while (!m_quit.load()) m_wake.Wait(INFINITE);
                return S_OK;
            }
        }
        if (!RunAway(kReconnectMs)) return S_OK;
    }
}

void PulseStream::Service(pa_stream* stream) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_lost && pa_stream_get_state(stream) != PA_STREAM_READY) m_lost = true;
        if (m_lost) return;  // the cursors stay where the stream left them
        if (m_flushWanted) {
            if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr)) pa_operation_unref(op);
            m_flushWanted = false;
        }
        if (m_corkWanted != m_corked) {
            if (pa_operation* op = pa_stream_cork(stream, m_corkWanted ? 1 : 0, nullptr, nullptr))
                pa_operation_unref(op);
            m_corked = m_corkWanted;
        }
        if (!m_owner.Move(stream)) m_lost = true;
        m_owner.TakeDue(&m_due);
    }
    SetDue();
}

void PulseStream::SetDue() {
    for (const std::shared_ptr<Event>& e : m_due) e->Set();
    m_due.clear();
}

}  // namespace plat
