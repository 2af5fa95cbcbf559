#pragma once
// A playback ring over a PulseAudio playback stream. Its pump moves ~10 ms
// periods from the write cursor to the server and keeps the server's queue
// short (a low-latency buffer attribute), so that what is written near the
// play cursor is heard some tens of milliseconds later. The play cursor is
// the write cursor less what the server has not played yet. The stream never
// moves to another sink: when its sink disappears the cursors stop where they
// are.
#include <memory>
#include <string>

#include "platform/sound/PulseBuffer.h"

namespace plat {

class PulsePlaybackBuffer final : public PulseBuffer<SoundPlaybackBuffer> {
public:
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
    void Rewind();

    DWORD m_play = 0;       // heard up to here
    DWORD m_write = 0;      // handed to the server up to here
    uint64_t m_sent = 0;    // bytes handed over since the last rewind
    uint64_t m_played = 0;  // of which played

    PulseStream m_stream;  // last: its pump ends before the state it serves
};

}  // namespace plat
