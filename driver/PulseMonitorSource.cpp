#include "driver/PulseMonitorSource.h"

#include <pulse/error.h>
#include <pulse/stream.h>

#include "driver/DriverLog.h"
#include "driver/TonquilSink.h"
#include "platform/sound/PulseStream.h"

namespace {

// How long one step on the server may take while the recording is put back.
constexpr int kStepTimeoutMs = 2000;

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

PulseMonitorSource::PulseMonitorSource() : m_format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0} {}

PulseMonitorSource::~PulseMonitorSource() { Close(); }

bool PulseMonitorSource::Connect(std::string* error) {
    StopRecording();
    m_server = std::make_unique<PulseAdmin>(kStepTimeoutMs);
    if (!m_server->Connect("tonquil-audio-driver") || !m_server->WatchChanges()) {
        *error = m_server->Error();
        m_server.reset();
        return false;
    }
    m_serverChangesSeen = m_server->ServerChanges();
    return true;
}

bool PulseMonitorSource::Open(std::string* error) {
    Close();
    PulseAdmin::Sink sink;
    if (!Connect(error)) return false;
    if (m_server->FindSink(kDeviceName, &sink)) return StartRecording(sink, error);
    // An output that is gone right now is waited for by Read, as one that goes later.
    if (m_server->IsConnected()) return true;
    *error = m_server->Error();
    return false;
}

void PulseMonitorSource::NoteDefault() {
    std::string name;
    bool present = false;
    PulseAdmin::Sink ours;
    if (m_server->DefaultSinkName(&name) && tonquil_sink::Find(*m_server, &ours, &present) && present)
        m_wasDefault = name == ours.name;
    m_serverChangesSeen = m_server->ServerChanges();
}

bool PulseMonitorSource::StartRecording(const PulseAdmin::Sink& sink, std::string* error) {
    StopRecording();
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 2};
    m_stream = pa_stream_new(m_server->Context(), "Played sound", &spec, nullptr);
    if (!m_stream) {
        *error = "cannot create a record stream";
        return false;
    }
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    // The fragments every record stream of ours asks for (PipeWire's default
    // quantum), not the records' 10 ms: asking for less made PipeWire run the
    // whole graph at 256 frames, where the clients playing into the output
    // starved now and then. The records are cut from the fragments here.
    attr.fragsize = plat::PulseFragmentBytes(m_format);
    // Only this output's monitor: the server must never move the recording
    // elsewhere when the output goes away.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream, sink.monitorSource.c_str(), &attr, flags) < 0 ||
        !m_server->RunUntil(
            [&] {
                auto state = pa_stream_get_state(m_stream);
                return state == PA_STREAM_READY || state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
            },
            "cannot record the output") ||
        pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        *error = "cannot record " + sink.monitorSource + (m_server->Error().empty() ? "" : ": " + m_server->Error());
        StopRecording();
        return false;
    }
    m_pending.clear();
    NoteDefault();
    return true;
}

void PulseMonitorSource::StopRecording() {
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
}

bool PulseMonitorSource::Drain() {
    while (pa_stream_readable_size(m_stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0) return false;
        if (bytes == 0) break;
        if (data) m_pending.insert(m_pending.end(), static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + bytes);
        else m_pending.insert(m_pending.end(), bytes, 0);  // a gap in the recording is silence
        pa_stream_drop(m_stream);
    }
    return true;
}

bool PulseMonitorSource::Recording() const {
    return m_server && m_server->IsConnected() && m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

AudioSource::ReadResult PulseMonitorSource::Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) {
    if (!m_server) {
        *error = "the source is not open";
        return ReadResult::Failed;
    }
    for (;;) {
        if (stop.IsSet()) return ReadResult::Stopped;
        if (m_pending.size() >= kChunkBytes) {
            chunk->assign(m_pending.begin(), m_pending.begin() + kChunkBytes);
            m_pending.erase(m_pending.begin(), m_pending.begin() + kChunkBytes);
            return ReadResult::Data;
        }
        if (Recording() && Drain()) {
            if (m_pending.size() >= kChunkBytes) continue;
            if (m_server->ServerChanges() != m_serverChangesSeen) NoteDefault();
            // Until the server has news (a fragment, a state change) or the stop is set.
            m_server->WakeOn(stop.WaitFd());
            if (m_server->Iterate(-1)) continue;
            m_server.reset();  // a loop that cannot run is a lost connection
        }
        if (!Recover(stop)) return ReadResult::Stopped;
    }
}

bool PulseMonitorSource::Recover(plat::Event& stop) {
    const auto since = std::chrono::steady_clock::now();
    bool serverLost = !m_server || !m_server->IsConnected();
    DriverLog(serverLost ? "the sound server went away: recording nothing until it is back"
                         : std::string("the output \"") + tonquil_sink::kDescription +
                               "\" went away: recording nothing until it is back");
    StopRecording();
    m_pending.clear();
    bool restarted = false;
    std::string error;
    for (;;) {
        if (stop.IsSet()) return false;
        if (!m_server || !m_server->IsConnected()) {
            restarted = true;
            if (!Connect(&error)) {
                if (stop.Wait(kReconnectMs) == plat::WAIT_OBJECT_0) return false;
                continue;
            }
        }
        PulseAdmin::Sink sink;
        bool found = m_server->FindSink(kDeviceName, &sink);
        if (!found && restarted && m_server->IsConnected()) {
            // A server that restarted has lost the output the installer made at
            // run time: it is made again, as the installer makes it.
            if (tonquil_sink::Create(*m_server, m_wasDefault, &sink)) {
                DriverLog(std::string("put \"") + tonquil_sink::kDescription + "\" back on the sound server" +
                          (m_wasDefault ? " as its default output" : ""));
                found = true;
            } else {
                DriverLog(std::string("cannot put \"") + tonquil_sink::kDescription + "\" back: " + m_server->Error());
            }
        }
        if (found) {
            if (StartRecording(sink, &error)) {
                DriverLog(std::string("recording \"") + tonquil_sink::kDescription + "\" again after " +
                          std::to_string(MsSince(since)) + " ms");
                return true;
            }
            // Found but not recordable yet (it may be going again): another look soon.
            if (stop.Wait(kReconnectMs) == plat::WAIT_OBJECT_0) return false;
            continue;
        }
        if (!m_server->IsConnected()) continue;
        // Until an output appears or changes, the server goes, or the stop is set.
        const uint64_t seen = m_server->SinkChanges();
        m_server->WakeOn(stop.WaitFd());
        while (!stop.IsSet() && m_server->IsConnected() && m_server->SinkChanges() == seen) {
            if (!m_server->Iterate(-1)) {
                m_server.reset();
                break;
            }
        }
    }
}

void PulseMonitorSource::Close() {
    StopRecording();
    m_server.reset();
}
