#include "platform/sound/PulseDevice.h"

#include "platform/sound/PulseCaptureBuffer.h"
#include "platform/sound/PulsePlaybackBuffer.h"

namespace plat {

HRESULT PulseDevice::SetCooperativeLevel(DWORD) { return S_OK; }

HRESULT PulseDevice::CreateSoundBuffer(const WaveFormat& format, DWORD dwBytes,
                                       std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    if (m_capture) return DSERR_INVALIDCALL;
    return PulsePlaybackBuffer::Create(m_name, format, dwBytes, ppBuffer);
}

HRESULT PulseDevice::CreateCaptureBuffer(const WaveFormat& format, DWORD dwBytes,
                                         std::shared_ptr<SoundCaptureBuffer>* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    ppBuffer->reset();
    if (!m_capture) return DSERR_INVALIDCALL;
    return PulseCaptureBuffer::Create(m_name, format, dwBytes, ppBuffer);
}

}  // namespace plat
