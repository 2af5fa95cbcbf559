#include "platform/sound/VirtualPlaybackBuffer.h"

#include <algorithm>

#include "platform/sound/SoundFormat.h"
#include "platform/sound/VirtualDevice.h"

namespace plat {

bool VirtualPlaybackBuffer::Allocate(DWORD bytes) {
    if (!VirtualBuffer::Allocate(bytes)) return false;
    std::lock_guard<std::mutex> g(m_lock);
    DWORD lead = FormatBytesForMs(m_format, 10);
    if (lead == 0) lead = m_format.nBlockAlign;
    m_lead = std::min(lead, bytes - m_format.nBlockAlign);
    return true;
}

HRESULT VirtualPlaybackBuffer::GetStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::GetStatus); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwStatus = m_running ? (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) : 0;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) {
    if (HRESULT hr = m_faults->Take(VirtualCall::GetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (pdwPlay) *pdwPlay = m_play;
    if (pdwWrite) *pdwWrite = m_running ? (m_play + m_lead) % m_ring.Size() : m_play;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::SetCurrentPosition(DWORD dwPosition) {
    if (HRESULT hr = m_faults->Take(VirtualCall::SetCurrentPosition); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(m_lock);
    if (dwPosition >= m_ring.Size()) return E_INVALIDARG;
    m_play = dwPosition - dwPosition % m_format.nBlockAlign;
    return S_OK;
}

HRESULT VirtualPlaybackBuffer::Play(DWORD) { return Run(VirtualCall::Play); }

void VirtualPlaybackBuffer::Tick(uint64_t us) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_running || !m_device->Runs()) return;
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
