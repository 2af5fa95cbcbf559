#include "platform/sound/SoundNotifier.h"

#include "platform/sound/SoundRing.h"

namespace plat {

HRESULT SoundNotifier::Set(const std::vector<SoundNotifyPosition>& positions, DWORD ringSize) {
    for (const SoundNotifyPosition& p : positions)
        if (!p.event || p.dwOffset >= ringSize) return E_INVALIDARG;
    m_positions = positions;
    return S_OK;
}

template <typename Fire>
void SoundNotifier::ForEachPassed(DWORD from, uint64_t bytes, DWORD ringSize, Fire fire) const {
    if (bytes == 0 || ringSize == 0) return;
    for (const SoundNotifyPosition& p : m_positions) {
        if (bytes >= ringSize || RingDistance(from, p.dwOffset, ringSize) < bytes) fire(p.event);
    }
}

void SoundNotifier::Passed(DWORD from, uint64_t bytes, DWORD ringSize) const {
    ForEachPassed(from, bytes, ringSize, [](const std::shared_ptr<Event>& e) { e->Set(); });
}

void SoundNotifier::Passed(DWORD from, uint64_t bytes, DWORD ringSize, std::vector<std::shared_ptr<Event>>* due) const {
    ForEachPassed(from, bytes, ringSize, [due](const std::shared_ptr<Event>& e) { due->push_back(e); });
}

}  // namespace plat
