#pragma once
// Delivery of one proxied object's events to one client sink, for as long as
// the subscription lives: the controller's eight events to an
// _IAudioControllerEvents sink, an encoder's Progress to an
// _IAudioEncoderEvents sink. The sink is called on the connection's event-loop
// thread, in the order the service fired the events.
#include <cstdint>
#include <memory>

#include "ipc/QXServiceLib.h"

namespace ipc {

class ClientConnection;

class EventSubscription {
public:
    // source: a controller or encoder proxy (E_INVALIDARG for anything else);
    // sink: answers the matching event interface (CONNECT_E_CANNOTCONNECT if not).
    static HRESULT Create(IUnknown* source, IUnknown* sink, std::unique_ptr<EventSubscription>* out);
    ~EventSubscription();
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;

private:
    EventSubscription(std::shared_ptr<ClientConnection> connection, uint64_t id)
        : m_connection(std::move(connection)), m_id(id) {}

    std::shared_ptr<ClientConnection> m_connection;
    uint64_t m_id;
};

}  // namespace ipc
