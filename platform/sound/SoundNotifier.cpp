#include "platform/sound/SoundNotifier.h"

#include "platform/sound/SoundRing.h"

namespace plat {

HRESULT SoundNotifier::Set(const std::vector<SoundNotifyPosition>& positions, DWORD ringSize) {
    for (const SoundNotifyPosition& p : positions)
        if (!p.event || p.dwOffset >= ringSize) return E_INVALIDARG;
    m_positions = positions;
    return S_OK;
}

void SoundNotifier::Passed(DWORD from, uint64_t bytes, DWORD ringSize) const {
    if (bytes == 0 || ringSize == 0) return;
    for (const SoundNotifyPosition& p : m_positions) {
        if (bytes >= ringSize || RingDistance(from, p.dwOffset, ringSize) < bytes) p.event->Set();
    }
}

void SoundNotifier::Passed(DWORD from, uint64_t bytes, DWORD ringSize, std::vector<std::shared_ptr<Event>>* due) const {
    if (bytes == 0 || ringSize == 0) return;
    for (const SoundNotifyPosition& p : m_positions) {
        if (bytes >= ringSize || RingDistance(from, p.dwOffset, ringSize) < bytes) due->push_back(p.event);
    }
}

}  // namespace plat
