#include "platform/sound/VirtualCaptureBuffer.h"

#include <algorithm>

#include "platform/sound/VirtualDevice.h"

namespace plat {

HRESULT VirtualCaptureBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetStatus); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_running ? (DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) {
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwCapture) *pdwCapture = m_capture;
    if (pdwRead) *pdwRead = m_capture;
    return S_OK;
}

HRESULT VirtualCaptureBuffer::Start(DWORD) { return Run(VirtualCall::Start); }

void VirtualCaptureBuffer::Tick(uint64_t us) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_running || !m_device->Runs()) return;
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
