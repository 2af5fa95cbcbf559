#pragma once
// What the virtual playback and capture buffers share: their device, the
// injected faults, the format and its clock rate, the ring with its position
// notifications and whether it runs, under one lock, and the calls that
// touch only those. Every call first takes its injected fault, if any.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound/SoundCaptureBuffer.h"
#include "platform/sound/SoundNotifier.h"
#include "platform/sound/SoundPlaybackBuffer.h"
#include "platform/sound/SoundRing.h"
#include "platform/sound/VirtualFaults.h"
#include "platform/sound/VirtualRate.h"
#include "platform/sound/VirtualTickable.h"

namespace plat {

class VirtualDevice;

template <class Interface>
class VirtualBuffer : public Interface, public VirtualTickable {
public:
    VirtualBuffer(std::shared_ptr<VirtualDevice> device, std::shared_ptr<VirtualFaults> faults,
                  const WaveFormat& format);
    bool Allocate(DWORD bytes);

    HRESULT GetCaps(DWORD* pdwBufferBytes) override;
    HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) override;
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) override;
    HRESULT Stop() override;
    HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) override;

protected:
    // Starts the clock-driven cursor (the call is Play or Start).
    HRESULT Run(VirtualCall call);

    const std::shared_ptr<VirtualDevice> m_device;
    const std::shared_ptr<VirtualFaults> m_faults;
    const WaveFormat m_format;

    std::mutex m_lock;
    SoundRing m_ring;
    SoundNotifier m_notifier;
    VirtualRate m_rate;
    bool m_running = false;
};

extern template class VirtualBuffer<SoundPlaybackBuffer>;
extern template class VirtualBuffer<SoundCaptureBuffer>;

}  // namespace plat
