#pragma once
// A capture ring of the virtual backend. While it captures, the capture
// cursor moves with the virtual clock at the format's byte rate and the
// device's generator fills the bytes it passes; everything up to it is safe
// to read (the read cursor equals the capture cursor).
#include <memory>
#include <mutex>

#include "platform/sound/SoundCaptureBuffer.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundRing.h"
#include "platform/sound/VirtualFaults.h"
#include "platform/sound/VirtualRate.h"
#include "platform/sound/VirtualTickable.h"

namespace plat {

class VirtualDevice;

class VirtualCaptureBuffer final : public SoundCaptureBuffer, public VirtualTickable {
public:
    VirtualCaptureBuffer(std::shared_ptr<VirtualDevice> device, std::shared_ptr<VirtualFaults> faults,
                         const WaveFormat& format);
    bool Allocate(DWORD bytes);

    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT Start(DWORD dwFlags) override;
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
    std::vector<uint8_t> m_in;
    DWORD m_capture = 0;
    uint64_t m_generated = 0;
    bool m_capturing = false;
};

}  // namespace plat
