#pragma once
// What the PulseAudio playback and capture buffers share besides their
// stream: the ring, its position notifications and whether it runs, under
// one lock, the pump's staging piece, and the calls that touch only those.
// A buffer of this kind keeps its PulseStream as its last member and is made
// with Make, which checks the format and size, allocates and opens it.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/PulseStream.h"
#include "platform/sound/SoundCaptureBuffer.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundPlaybackBuffer.h"
#include "platform/sound/SoundRing.h"

namespace plat {

template <class Interface>
class PulseBuffer : public Interface, protected PulseStream::Owner {
public:
    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) override;

protected:
    struct Token {};

    explicit PulseBuffer(const WaveFormat& format);

    // A buffer of the kind Derived, constructed from (Token, device, format),
    // with its ring allocated and its stream (member m_stream) ready.
    template <class Derived>
    static HRESULT Make(const std::string& device, const WaveFormat& format, DWORD bytes,
                        std::shared_ptr<Interface>* ppBuffer) {
        if (!ppBuffer) return E_POINTER;
        ppBuffer->reset();
        if (HRESULT hr = PulseCheckBuffer(format, bytes); FAILED(hr)) return hr;
        auto buffer = std::make_shared<Derived>(Token{}, device, format);
        if (!buffer->Allocate(bytes)) return E_OUTOFMEMORY;
        if (HRESULT hr = buffer->m_stream.Open(); FAILED(hr)) return hr;
        *ppBuffer = std::move(buffer);
        return S_OK;
    }

    bool Running() const override { return m_running; }
    void TakeDue(std::vector<std::shared_ptr<Event>>* due) override { due->swap(m_due); }
    // While the server is away: the whole blocks that 'us' more microseconds
    // make at the format's pace (the rest is carried over to the next call).
    uint64_t AwayBytes(uint64_t us);

    const WaveFormat m_format;
    const DWORD m_period;

    std::mutex m_lock;
    SoundRing m_ring;
    SoundNotifier m_notifier;
    // The notifications passed since the pump last took them (m_notifier's
    // deferred form): the pump sets them once it has let the lock go.
    std::vector<std::shared_ptr<Event>> m_due;
    std::vector<uint8_t> m_piece;  // the pump's staging copy, a ring in size
    bool m_running = false;

private:
    uint64_t m_awayUs = 0;

    bool Allocate(DWORD bytes);
};

extern template class PulseBuffer<SoundPlaybackBuffer>;
extern template class PulseBuffer<SoundCaptureBuffer>;

}  // namespace plat
