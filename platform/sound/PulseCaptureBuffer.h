#pragma once
// A capture ring over a PulseAudio record stream. Its pump takes ~21 ms
// fragments from the server (PulseFragmentBytes) and writes them at the capture cursor; all of it
// is then safe to read. A source that delivers in large blocks (some render
// seconds at once) is passed on at the format's own pace, as a device would
// capture it, rather than wrapping the ring in one go. The stream never moves
// to another source: when its source disappears the cursors stop where they
// are; while the server is away the ring records silence.
#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "platform/sound/PulseBuffer.h"

namespace plat {

class PulseCaptureBuffer final : public PulseBuffer<SoundCaptureBuffer> {
public:
    // Connects a record stream to the source (empty: the default source).
    static HRESULT Create(const std::string& source, const WaveFormat& format, DWORD bytes,
                          std::shared_ptr<SoundCaptureBuffer>* ppBuffer);
    PulseCaptureBuffer(Token, std::string source, const WaveFormat& format);

    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) override;
    HRESULT Start(DWORD dwFlags) override;
    HRESULT Stop() override;

private:
    friend class PulseBuffer<SoundCaptureBuffer>;

    int ConnectStream(pa_stream* stream, const char* source, unsigned flags) override;
    bool Move(pa_stream* stream) override;
    void Away(uint64_t us) override;
    void Reopened() override {}
    void Release();

    DWORD m_capture = 0;
    std::deque<uint8_t> m_backlog;  // received, not yet in the ring
    std::chrono::steady_clock::time_point m_lastRelease;
    uint64_t m_releaseCreditUs = 0;

    PulseStream m_stream;  // last: its pump ends before the state it serves
};

}  // namespace plat
