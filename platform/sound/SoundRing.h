#pragma once
// The bytes of a looping sound buffer and its two-region lock. A lock hands
// out a staging copy of the locked range, and Unlock copies it back, so that
// a device thread moving data in or out of the ring never touches bytes that
// a caller is writing. Not thread-safe: the owning buffer guards it.
#include <cstdint>
#include <vector>

#include "platform/core/HResult.h"

namespace plat {

class SoundRing {
public:
    // False when the memory could not be had.
    bool Allocate(DWORD bytes);
    DWORD Size() const { return static_cast<DWORD>(m_bytes.size()); }

    HRESULT Lock(DWORD offset, DWORD bytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2);
    // The pointers must be the ones the last Lock gave; the sizes may be
    // smaller than locked (only that much is written back).
    HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2);

    // Copies bytes out of / into the ring from offset onwards, wrapping.
    void Read(DWORD offset, DWORD bytes, uint8_t* to) const;
    void Write(DWORD offset, DWORD bytes, const uint8_t* from);
    void Fill(DWORD offset, DWORD bytes, uint8_t value);

private:
    std::vector<uint8_t> m_bytes;
    std::vector<uint8_t> m_staging;
    bool m_locked = false;
    DWORD m_lockOffset = 0;
    DWORD m_lock1 = 0;
    DWORD m_lock2 = 0;
};

// (to - from) going forward around a ring of the given size.
inline DWORD RingDistance(DWORD from, DWORD to, DWORD size) {
    return size == 0 ? 0 : (to >= from ? to - from : size - from + to);
}

}  // namespace plat
