#include "platform/sound/PulseBuffer.h"

#include <algorithm>

#include "platform/sound/PulseFormat.h"

namespace plat {

template <class Interface>
PulseBuffer<Interface>::PulseBuffer(const WaveFormat& format) : m_format(format), m_period(PulsePeriodBytes(format)) {}

template <class Interface>
bool PulseBuffer<Interface>::Allocate(DWORD bytes) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_ring.Allocate(bytes)) return false;
    m_piece.resize(bytes);
    return true;
}

template <class Interface>
uint64_t PulseBuffer<Interface>::AwayBytes(uint64_t us) {
    m_awayUs += us;
    uint64_t n = PulseBytesForUs(m_format, m_awayUs);
    n -= n % m_format.nBlockAlign;
    m_awayUs -= std::min<uint64_t>(m_awayUs, n * 1000000u / m_format.nAvgBytesPerSec);
    return n;
}

template <class Interface>
HRESULT PulseBuffer<Interface>::GetCaps(DWORD* pdwBufferBytes) {
    if (!pdwBufferBytes) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pdwBufferBytes = m_ring.Size();
    return S_OK;
}

template <class Interface>
HRESULT PulseBuffer<Interface>::Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2,
                                     DWORD* pdw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Lock(dwOffset, dwBytes, ppv1, pdw1, ppv2, pdw2);
}

template <class Interface>
HRESULT PulseBuffer<Interface>::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_ring.Unlock(pv1, dw1, pv2, dw2);
}

template <class Interface>
HRESULT PulseBuffer<Interface>::SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_running) return DSERR_INVALIDCALL;
    return m_notifier.Set(positions, m_ring.Size());
}

template class PulseBuffer<SoundPlaybackBuffer>;
template class PulseBuffer<SoundCaptureBuffer>;

}  // namespace plat
