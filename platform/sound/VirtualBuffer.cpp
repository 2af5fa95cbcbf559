#include "platform/sound/VirtualBuffer.h"

#include "platform/sound/VirtualDevice.h"

namespace plat {

template <class Interface>
VirtualBuffer<Interface>::VirtualBuffer(std::shared_ptr<VirtualDevice> device, std::shared_ptr<VirtualFaults> faults,
                                        const WaveFormat& format)
    : m_device(std::move(device)), m_faults(std::move(faults)), m_format(format), m_rate(format) {}

template <class Interface>
bool VirtualBuffer<Interface>::Allocate(DWORD bytes) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Allocate(bytes);
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCaps); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                       DWORD* pdw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Lock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Unlock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::Run(VirtualCall call) {
    if (HRESULT hr = m_faults->Take(call); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_running = true;
    return S_OK;
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::Stop() {
    if (HRESULT hr = m_faults->Take(VirtualCall::Stop); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_running = false;
    return S_OK;
}

template <class Interface>
HRESULT VirtualBuffer<Interface>::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    if (HRESULT hr = m_faults->Take(VirtualCall::SetNotificationPositions); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_running) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

template class VirtualBuffer<SoundPlaybackBuffer>;
template class VirtualBuffer<SoundCaptureBuffer>;

}  // namespace plat
