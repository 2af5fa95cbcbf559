#pragma once
// A playback ring of the virtual backend. While it plays, the play cursor
// moves with the virtual clock at the format's byte rate; the bytes it
// passes go to the device's rendered output. The write cursor runs 10 ms
// ahead while playing and sits on the play cursor while stopped.
#include <memory>
#include <mutex>

#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundPlaybackBuffer.h"
#include "platform/sound/SoundRing.h"
#include "platform/sound/VirtualFaults.h"
#include "platform/sound/VirtualRate.h"
#include "platform/sound/VirtualTickable.h"

namespace plat {

class VirtualDevice;

class VirtualPlaybackBuffer final : public SoundPlaybackBuffer, public VirtualTickable {
public:
    VirtualPlaybackBuffer(std::shared_ptr<VirtualDevice> device, std::shared_ptr<VirtualFaults> faults,
                          const WaveFormat& format);
    bool Allocate(DWORD bytes);

    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) override;
    HRESULT SetCurrentPosition(DWORD dwPosition) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT Play(DWORD dwFlags) override;
    HRESULT Stop() override;
    HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) override;

    void Tick(uint64_t us) override;

private:
    const std::shared_ptr<VirtualDevice> m_device;
    const std::shared_ptr<VirtualFaults> m_faults;
    const WaveFormat m_format;

    std::mutex m_lock;
    SoundRing m_ring;
    SoundNotifier m_notifier;
    VirtualRate m_rate;
    std::vector<uint8_t> m_out;
    DWORD m_play = 0;
    DWORD m_lead = 0;
    bool m_playing = false;
};

}  // namespace plat
