#include "ipc/client/ProxyConnectionPoint.h"

namespace ipc {

HRESULT ProxyConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = m_events;
    return S_OK;
}

HRESULT ProxyConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    return m_container.CopyTo(ppCPC);
}

HRESULT ProxyConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    return m_slots.Advise(m_container.Get(), pUnkSink, pdwCookie);
}

HRESULT ProxyConnectionPoint::Unadvise(DWORD dwCookie) { return m_slots.Unadvise(dwCookie); }

HRESULT ProxyConnectionPoint::Find(IConnectionPointContainer* container, SinkSlots& slots, const IID& events,
                                   REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != events) return CONNECT_E_NOCONNECTION;
    ProxyConnectionPoint* point = CreateInstance(container, slots, events);
    if (!point) return E_OUTOFMEMORY;
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

}  // namespace ipc
