#include "platform/sound/SoundRing.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/sound/SoundTypes.h"

namespace plat {

bool SoundRing::Allocate(DWORD bytes) {
    try {
        m_bytes.assign(bytes, 0);
        m_staging.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        m_bytes.clear();
        m_staging.clear();
        return false;
    }
    m_locked = false;
    return true;
}

HRESULT SoundRing::Lock(DWORD offset, DWORD bytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) {
    if (!ppv1 || !pdw1) return E_POINTER;
    const DWORD size = Size();
    if (size == 0 || offset >= size || bytes == 0 || bytes > size) return E_INVALIDARG;
    DWORD first = std::min(bytes, size - offset);
    DWORD second = bytes - first;
    if (second > 0 && (!ppv2 || !pdw2)) return E_INVALIDARG;
    // A lock left open is simply replaced: its staged bytes are dropped.
    std::memcpy(m_staging.data(), m_bytes.data() + offset, first);
    if (second > 0) std::memcpy(m_staging.data() + first, m_bytes.data(), second);
    m_locked = true;
    m_lockOffset = offset;
    m_lock1 = first;
    m_lock2 = second;
    *ppv1 = m_staging.data();
    *pdw1 = first;
    if (ppv2) *ppv2 = second > 0 ? m_staging.data() + first : nullptr;
    if (pdw2) *pdw2 = second;
    return S_OK;
}

HRESULT SoundRing::Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) {
    if (!m_locked) return DSERR_INVALIDCALL;
    if (pv1 != m_staging.data() || dw1 > m_lock1) return DSERR_INVALIDCALL;
    if (pv2 && (m_lock2 == 0 || pv2 != m_staging.data() + m_lock1 || dw2 > m_lock2)) return DSERR_INVALIDCALL;
    std::memcpy(m_bytes.data() + m_lockOffset, m_staging.data(), dw1);
    if (pv2 && dw2 > 0) std::memcpy(m_bytes.data(), m_staging.data() + m_lock1, dw2);
    m_locked = false;
    return S_OK;
}

void SoundRing::Read(DWORD offset, DWORD bytes, uint8_t* to) const {
    const DWORD size = Size();
    if (size == 0) return;
    offset %= size;
    while (bytes > 0) {
        DWORD n = std::min(bytes, size - offset);
        std::memcpy(to, m_bytes.data() + offset, n);
        to += n;
        bytes -= n;
        offset = 0;
    }
}

void SoundRing::Write(DWORD offset, DWORD bytes, const uint8_t* from) {
    const DWORD size = Size();
    if (size == 0) return;
    offset %= size;
    while (bytes > 0) {
        DWORD n = std::min(bytes, size - offset);
        std::memcpy(m_bytes.data() + offset, from, n);
        from += n;
        bytes -= n;
        offset = 0;
    }
}

void SoundRing::Fill(DWORD offset, DWORD bytes, uint8_t value) {
    const DWORD size = Size();
    if (size == 0) return;
    offset %= size;
    while (bytes > 0) {
        DWORD n = std::min(bytes, size - offset);
        std::memset(m_bytes.data() + offset, value, n);
        bytes -= n;
        offset = 0;
    }
}

}  // namespace plat
