#include "ipc/client/SinkSlots.h"

#include <new>

namespace ipc {

namespace {

constexpr size_t kFirstSlots = 4;

}  // namespace

HRESULT SinkSlots::Advise(IUnknown* source, IUnknown* sink, DWORD* cookie) {
    if (cookie) *cookie = 0;
    if (!sink || !cookie) return E_POINTER;
    std::unique_ptr<EventSubscription> subscription;
    HRESULT hr = EventSubscription::Create(source, sink, &subscription);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(m_mutex);
    try {
        size_t slot = 0;
        while (slot < m_slots.size() && m_slots[slot]) ++slot;
        if (slot == m_slots.size()) m_slots.resize(m_slots.empty() ? kFirstSlots : m_slots.size() * 2);
        m_slots[slot] = std::move(subscription);
        *cookie = static_cast<DWORD>(slot + 1);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return CONNECT_E_ADVISELIMIT;  // the subscription ends as it goes out of scope
    }
}

HRESULT SinkSlots::Unadvise(DWORD cookie) {
    std::unique_ptr<EventSubscription> gone;
    {
        std::lock_guard lock(m_mutex);
        if (cookie == 0 || cookie > m_slots.size() || !m_slots[cookie - 1]) return CONNECT_E_NOCONNECTION;
        gone = std::move(m_slots[cookie - 1]);
    }
    return S_OK;  // the sink is released here, outside the lock
}

}  // namespace ipc
