#include "platform/sound/VirtualCaptureBuffer.h"

#include <algorithm>

#include "platform/sound/VirtualDevice.h"

namespace plat {

VirtualCaptureBuffer::VirtualCaptureBuffer(std::shared_ptr<VirtualDevice> device,
                                           std::shared_ptr<VirtualFaults> faults, const WaveFormat& format)
    : m_device(std::move(device)), m_faults(std::move(faults)), m_format(format), m_rate(format) {}

bool VirtualCaptureBuffer::Allocate(DWORD bytes) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Allocate(bytes);
}

HRESULT VirtualCaptureBuffer::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCaps); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

HRESULT VirtualCaptureBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetStatus); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_capturing ? (DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) {
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwCapture) *pdwCapture = m_capture;
    if (pdwRead) *pdwRead = m_capture;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                   DWORD* pdw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Lock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

HRESULT VirtualCaptureBuffer::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Unlock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

HRESULT VirtualCaptureBuffer::Start(DWORD) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Start); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_capturing = true;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::Stop() {
    if (HRESULT hr = m_faults->Take(VirtualCall::Stop); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_capturing = false;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    if (HRESULT hr = m_faults->Take(VirtualCall::SetNotificationPositions); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_capturing) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

void VirtualCaptureBuffer::Tick(uint64_t us) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_capturing || !m_device->Runs()) return;
    uint64_t bytes = m_rate.Advance(us);
    const DWORD size = m_ring.Size();
    if (bytes == 0 || size == 0) return;
    const DWORD start = m_capture;
    m_in.resize(size);
    uint64_t left = bytes;
    DWORD pos = m_capture;
    while (left > 0) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(left, size));
        m_device->Generate(m_in.data(), n, m_generated);
        m_ring.Write(pos, n, m_in.data());
        m_generated += n;
        pos = static_cast<DWORD>((pos + n) % size);
        left -= n;
    }
    m_capture = pos;
    m_notifier.Passed(start, bytes, size);
}

}  // namespace plat
