#include "platform/sound/VirtualPlaybackBuffer.h"

#include <algorithm>

#include "platform/sound/SoundFormat.h"
#include "platform/sound/VirtualDevice.h"

namespace plat {

VirtualPlaybackBuffer::VirtualPlaybackBuffer(std::shared_ptr<VirtualDevice> device,
                                             std::shared_ptr<VirtualFaults> faults, const WaveFormat& format)
    : m_device(std::move(device)), m_faults(std::move(faults)), m_format(format), m_rate(format) {}

bool VirtualPlaybackBuffer::Allocate(DWORD bytes) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_ring.Allocate(bytes)) return false;
    DWORD lead = FormatBytesForMs(m_format, 10);
    if (lead == 0) lead = m_format.nBlockAlign;
    m_lead = std::min(lead, bytes - m_format.nBlockAlign);
    return true;
}

HRESULT VirtualPlaybackBuffer::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCaps); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetStatus); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_playing ? (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) {
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwPlay) *pdwPlay = m_play;
    if (pdwWrite) *pdwWrite = m_playing ? (m_play + m_lead) % m_ring.Size() : m_play;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::SetCurrentPosition(DWORD dwPosition) {
    if (HRESULT hr = m_faults->Take(VirtualCall::SetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (dwPosition >= m_ring.Size()) return E_INVALIDARG;
    m_play = dwPosition - dwPosition % m_format.nBlockAlign;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                    DWORD* pdw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Lock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

HRESULT VirtualPlaybackBuffer::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Unlock); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

HRESULT VirtualPlaybackBuffer::Play(DWORD) {
    if (HRESULT hr = m_faults->Take(VirtualCall::Play); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_playing = true;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::Stop() {
    if (HRESULT hr = m_faults->Take(VirtualCall::Stop); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    m_playing = false;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    if (HRESULT hr = m_faults->Take(VirtualCall::SetNotificationPositions); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_playing) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

void VirtualPlaybackBuffer::Tick(uint64_t us) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_playing || !m_device->Runs()) return;
    uint64_t bytes = m_rate.Advance(us);
    const DWORD size = m_ring.Size();
    if (bytes == 0 || size == 0) return;
    m_notifier.Passed(m_play, bytes, size);
    // The device hears every byte it passes, the ring's content repeating
    // for as long as nobody refills it.
    m_out.resize(size);
    uint64_t left = bytes;
    DWORD pos = m_play;
    while (left > 0) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(left, size));
        m_ring.Read(pos, n, m_out.data());
        m_device->AppendRendered(m_out.data(), n);
        pos = static_cast<DWORD>((pos + n) % size);
        left -= n;
    }
    m_play = pos;
}

}  // namespace plat
