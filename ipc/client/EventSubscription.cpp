#include "ipc/client/EventSubscription.h"

#include <new>

#include "ipc/client/ClientConnection.h"
#include "ipc/client/RemoteObject.h"
#include "platform/com/ComPtr.h"

namespace ipc {

namespace {

template <class Events>
HRESULT SinkOf(IUnknown* sink, plat::ComPtr<Events>* events) {
    HRESULT hr = sink->QueryInterface(plat::IidOf<Events>(), reinterpret_cast<void**>(events->ReleaseAndGetAddressOf()));
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (SUCCEEDED(hr) && !*events) return CONNECT_E_CANNOTCONNECT;
    return hr;
}

}  // namespace

HRESULT EventSubscription::Create(IUnknown* source, IUnknown* sink, std::unique_ptr<EventSubscription>* out) {
    if (!source || !sink || !out) return E_POINTER;
    out->reset();
    plat::ComPtr<IRemoteObject> remote;
    if (FAILED(source->QueryInterface(IID_IRemoteObject, reinterpret_cast<void**>(remote.GetAddressOf()))) || !remote)
        return E_INVALIDARG;
    const auto& connection = remote->Connection();
    uint64_t id = 0;
    HRESULT hr = S_OK;
    if (remote->Kind() == ObjectKind::Controller) {
        plat::ComPtr<_IAudioControllerEvents> events;
        if (FAILED(hr = SinkOf(sink, &events))) return hr;
        id = connection->Subscribe(remote->ServiceName(), remote->ObjectPath(), events);
    } else if (remote->Kind() == ObjectKind::Encoder) {
        plat::ComPtr<_IAudioEncoderEvents> events;
        if (FAILED(hr = SinkOf(sink, &events))) return hr;
        id = connection->Subscribe(remote->ServiceName(), remote->ObjectPath(), events);
    } else {
        return E_INVALIDARG;  // fires no events
    }
    out->reset(new (std::nothrow) EventSubscription(connection, id));
    if (!*out) {
        connection->Unsubscribe(id);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

EventSubscription::~EventSubscription() { m_connection->Unsubscribe(m_id); }

}  // namespace ipc
