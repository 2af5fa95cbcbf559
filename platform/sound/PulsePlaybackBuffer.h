#pragma once
// A playback ring over a PulseAudio playback stream. Its pump moves data from
// the write cursor to the server in turns of some 30 ms and hands over no more
// than 70 ms ahead of what is heard, so that what is written near the play
// cursor is heard about a tenth of a second later. The play cursor is
// the write cursor less what the server has not played yet. The stream never
// moves to another sink: when its sink disappears the cursors stop where they
// are.
#include <memory>
#include <string>

#include "platform/sound/PulseBuffer.h"

namespace plat {

class PulsePlaybackBuffer final : public PulseBuffer<SoundPlaybackBuffer> {
public:
    // How far the pump hands the ring over ahead of what is heard, and the
    // size of the server's requests, in pump periods (~10 ms each). Each
    // request wakes the pump, so requests come in large turns.
    static constexpr DWORD kAheadPeriods = 7;
    static constexpr DWORD kRequestPeriods = 3;

    // The latency asked of the server for a queue of `request`-sized requests
    // that leaves the sink `sinkLatency` of its own. With
    // PA_STREAM_ADJUST_LATENCY both servers give the sink half of what the
    // latency exceeds two requests by (PipeWire takes it as the stream's node
    // latency, and the whole graph runs at the smallest a stream asks for), and
    // grant the queue the rest.
    static constexpr DWORD LatencyFor(DWORD request, DWORD sinkLatency) { return 2 * request + 2 * sinkLatency; }

    // Connects a stream to the sink (empty: the default sink) and waits until
    // it is ready.
    static HRESULT Create(const std::string& sink, const WaveFormat& format, DWORD bytes,
                          std::shared_ptr<SoundPlaybackBuffer>* ppBuffer);
    PulsePlaybackBuffer(Token, std::string sink, const WaveFormat& format);

    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) override;
    HRESULT SetCurrentPosition(DWORD dwPosition) override;
    HRESULT Play(DWORD dwFlags) override;
    HRESULT Stop() override;

private:
    friend class PulseBuffer<SoundPlaybackBuffer>;

    int ConnectStream(pa_stream* stream, const char* sink, unsigned flags) override;
    bool Move(pa_stream* stream) override;
    void Away(uint64_t us) override;
    void Reopened() override { Rewind(); }
    void Rewind();

    DWORD m_play = 0;       // heard up to here
    DWORD m_write = 0;      // handed to the server up to here
    uint64_t m_sent = 0;    // bytes handed over since the last rewind
    uint64_t m_played = 0;  // of which played

    PulseStream m_stream;  // last: its pump ends before the state it serves
};

}  // namespace plat
