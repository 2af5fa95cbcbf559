#pragma once
// A playback ring over a PulseAudio playback stream. A pump thread of its
// own, with its own connection, moves ~10 ms periods from the write cursor
// to the server and keeps the server's queue short (a low-latency buffer
// attribute), so that what is written near the play cursor is heard some
// tens of milliseconds later. The play cursor is the write cursor less what
// the server has not played yet. The stream never moves to another sink:
// when its sink disappears the cursors stop where they are.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/core/Thread.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundPlaybackBuffer.h"
#include "platform/sound/SoundRing.h"

struct pa_stream;

namespace plat {

class PulseConnection;

class PulsePlaybackBuffer final : public SoundPlaybackBuffer {
    struct Token {};

public:
    // Connects a stream to the sink (empty: the default sink) and waits until
    // it is ready.
    static HRESULT Create(const std::string& sink, const WaveFormat& format, DWORD bytes,
                          std::shared_ptr<SoundPlaybackBuffer>* ppBuffer);
    PulsePlaybackBuffer(Token, std::string sink, const WaveFormat& format);
    ~PulsePlaybackBuffer() override;

    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) override;
    HRESULT SetCurrentPosition(DWORD dwPosition) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT Play(DWORD dwFlags) override;
    HRESULT Stop() override;
    HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) override;

private:
    HRESULT Open(DWORD bytes);
    HRESULT Pump();
    void Service(pa_stream* stream);
    void Rewind();
    void Wake();
    static void OnStreamState(pa_stream* stream, void* self);

    const std::string m_sink;
    const WaveFormat m_format;
    const DWORD m_period;

    std::mutex m_lock;
    SoundRing m_ring;
    SoundNotifier m_notifier;
    std::vector<uint8_t> m_piece;
    DWORD m_play = 0;       // heard up to here
    DWORD m_write = 0;      // handed to the server up to here
    uint64_t m_sent = 0;    // bytes handed over since the last rewind
    uint64_t m_played = 0;  // of which played
    bool m_playing = false;
    bool m_lost = false;
    bool m_corkWanted = true;
    bool m_corked = true;
    bool m_flushWanted = false;
    PulseConnection* m_connection = nullptr;

    std::atomic<bool> m_quit{false};
    Event m_ready{Event::Reset::Manual};
    HRESULT m_openResult = E_FAIL;
    Thread m_pump;
};

}  // namespace plat
