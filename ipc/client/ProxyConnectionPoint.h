#pragma once
// The connection point a proxy hands out for its object's event interface:
// Advise and Unadvise go to the proxy's sink slots, so that code written
// against the engine's objects attaches its sinks the same way in-process and
// across the bus.
#include "ipc/QXServiceLib.h"
#include "ipc/client/SinkSlots.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace ipc {

class ProxyConnectionPoint final : public plat::ComObject<ProxyConnectionPoint, IConnectionPoint> {
public:
    // slots belong to container, which this object keeps alive.
    ProxyConnectionPoint(IConnectionPointContainer* container, SinkSlots& slots, const IID& events)
        : m_container(container), m_slots(slots), m_events(events) {}

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;

    // What a proxy's FindConnectionPoint answers.
    static HRESULT Find(IConnectionPointContainer* container, SinkSlots& slots, const IID& events, REFIID riid,
                        IConnectionPoint** ppCP);

private:
    plat::ComPtr<IConnectionPointContainer> m_container;
    SinkSlots& m_slots;
    const IID m_events;
};

}  // namespace ipc
