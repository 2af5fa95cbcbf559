#pragma once
// A capture ring over a PulseAudio record stream. A pump thread of its own,
// with its own connection, takes ~10 ms fragments from the server and writes
// them at the capture cursor; all of it is then safe to read. A source that
// delivers in large blocks (some render seconds at once) is passed on at the
// format's own pace, as a device would capture it, rather than wrapping the
// ring in one go. The stream never moves to another source: when its source
// disappears the cursors stop where they are.
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/core/Thread.h"
#include "platform/sound/SoundCaptureBuffer.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundRing.h"

struct pa_stream;

namespace plat {

class PulseConnection;

class PulseCaptureBuffer final : public SoundCaptureBuffer {
    struct Token {};

public:
    // Connects a record stream to the source (empty: the default source).
    static HRESULT Create(const std::string& source, const WaveFormat& format, DWORD bytes,
                          std::shared_ptr<SoundCaptureBuffer>* ppBuffer);
    PulseCaptureBuffer(Token, std::string source, const WaveFormat& format);
    ~PulseCaptureBuffer() override;

    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT Start(DWORD dwFlags) override;
    HRESULT Stop() override;
    HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) override;

private:
    HRESULT Open(DWORD bytes);
    HRESULT Pump();
    void Service(pa_stream* stream);
    void Release();
    void Wake();
    static void OnStreamState(pa_stream* stream, void* self);

    const std::string m_source;
    const WaveFormat m_format;
    const DWORD m_period;

    std::mutex m_lock;
    SoundRing m_ring;
    SoundNotifier m_notifier;
    DWORD m_capture = 0;
    std::deque<uint8_t> m_backlog;  // received, not yet in the ring
    std::vector<uint8_t> m_piece;
    std::chrono::steady_clock::time_point m_lastRelease;
    uint64_t m_releaseCreditUs = 0;
    bool m_capturing = false;
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
