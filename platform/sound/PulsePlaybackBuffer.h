#pragma once
// A playback ring over a PulseAudio playback stream. Its pump moves data from
// the write cursor to the server in turns of some 60 ms and keeps the server's
// queue short (80 ms at most), so that what is written near the play cursor
// is heard less than a tenth of a second later. The play cursor is
// the write cursor less what the server has not played yet. The stream never
// moves to another sink: when its sink disappears the cursors stop where they
// are.
#include <memory>
#include <string>

#include "platform/sound/PulseBuffer.h"

namespace plat {

class PulsePlaybackBuffer final : public PulseBuffer<SoundPlaybackBuffer> {
public:
    // How far the pump hands the ring over ahead of what is heard (also the
    // latency asked of the server), and the size of the server's requests,
    // in pump periods (~10 ms each). With PA_STREAM_ADJUST_LATENCY a server
    // keeps half of what the latency exceeds two requests by as the sink's
    // own latency: a latency of exactly two requests left the sink none, so
    // that PulseAudio rendered the output in its smallest blocks at many
    // times the CPU. Three-period requests leave it one period.
    static constexpr DWORD kQueuePeriods = 8;
    static constexpr DWORD kRequestPeriods = 3;

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
