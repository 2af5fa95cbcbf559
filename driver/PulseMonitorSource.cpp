#include "driver/PulseMonitorSource.h"

#include <pulse/error.h>
#include <pulse/stream.h>

PulseMonitorSource::PulseMonitorSource() : m_format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0} {}

PulseMonitorSource::~PulseMonitorSource() { Close(); }

bool PulseMonitorSource::Open(std::string* error) {
    Close();
    m_server = std::make_unique<PulseAdmin>();
    PulseAdmin::Sink sink;
    if (!m_server->Connect("tonquil-audio-driver") || !m_server->FindSink(kDeviceName, &sink)) {
        *error = m_server->Error();
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 2};
    m_stream = pa_stream_new(m_server->Context(), "Played sound", &spec, nullptr);
    if (!m_stream) {
        *error = "cannot create a record stream";
        return false;
    }
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = kChunkBytes;
    if (pa_stream_connect_record(m_stream, sink.monitorSource.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) < 0 ||
        !m_server->RunUntil(
            [&] {
                auto state = pa_stream_get_state(m_stream);
                return state == PA_STREAM_READY || state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
            },
            "cannot record the output") ||
        pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        *error = "cannot record " + sink.monitorSource + (m_server->Error().empty() ? "" : ": " + m_server->Error());
        Close();
        return false;
    }
    m_pending.clear();
    return true;
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

AudioSource::ReadResult PulseMonitorSource::Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) {
    if (!m_stream) return ReadResult::Failed;
    for (;;) {
        if (stop.IsSet()) return ReadResult::Stopped;
        if (m_pending.size() >= kChunkBytes) {
            chunk->assign(m_pending.begin(), m_pending.begin() + kChunkBytes);
            m_pending.erase(m_pending.begin(), m_pending.begin() + kChunkBytes);
            return ReadResult::Data;
        }
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY || !Drain()) {
            *error = "the recording of the output ended";
            return ReadResult::Failed;
        }
        if (m_pending.size() >= kChunkBytes) continue;
        // Short waits, so that a stop is seen soon.
        if (!m_server->Iterate(20)) {
            *error = m_server->Error();
            return ReadResult::Failed;
        }
    }
}

void PulseMonitorSource::Close() {
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_server.reset();
}
