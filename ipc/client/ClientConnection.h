#pragma once
// A client's connection to the session bus, with its own event-loop thread:
// one per process (Shared), on which every proxy makes its calls and through
// which the service's signals reach the subscribed sinks. Calls may be made
// from any thread, several at once.
//
// How a client reaches the engine:
//
//   std::shared_ptr<ipc::ClientConnection> bus;
//   ipc::ClientConnection::Shared(&bus);
//   plat::ComPtr<IAudioController> controller;
//   HRESULT hr = bus->FindController(controller.ReleaseAndGetAddressOf());
//   // S_OK: found; S_FALSE: the service is not running (yet)
//
// Sinks are called on the connection's event-loop thread, in the order the
// service fired the events. A sink may drop the last reference of its
// connection: the loop then ends by itself once the sink call returns.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <sdbus-c++/IConnection.h>

#include "ipc/QXServiceLib.h"
#include "ipc/common/EventLoop.h"
#include "ipc/common/Names.h"
#include "platform/com/ComPtr.h"

namespace ipc {

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    // The process's connection, opened on first use (and opened again when the
    // bus was lost under the previous one). RPC_E_SERVER_UNAVAILABLE when no
    // session bus answers.
    static HRESULT Shared(std::shared_ptr<ClientConnection>* out);
    // A connection of its own (to the session bus, or to the bus at address).
    static HRESULT Open(std::shared_ptr<ClientConnection>* out, const std::string& address = std::string());
    // The time-out of every call on the connections opened from now on (the
    // shared one included); zero keeps the bus's own default of 25 s. Calls
    // that name their own time-out (Save and SaveGroup wait without limit)
    // keep it. Set it once, early: a program whose windows must not freeze
    // bounds every call so.
    static void SetDefaultCallTimeout(std::chrono::milliseconds timeout);
    static std::chrono::milliseconds DefaultCallTimeout();
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    sdbus::IConnection& Bus() { return *m_bus; }
    std::string UniqueName() const;
    // False once the bus has gone away under this connection: every call on
    // it fails from then on.
    bool IsConnected() const { return m_loop && !m_loop->IsLost(); }
    // Set once the bus has gone away under this connection (null before the
    // connection runs): a wait for an answer also wakes on it.
    plat::Event* LostEvent() { return m_loop ? &m_loop->Lost() : nullptr; }

    // The running service's controller (one reference): S_OK, or S_FALSE with
    // *controller null when no service owns the name.
    HRESULT FindController(IAudioController** controller, const std::string& serviceName = kServiceName);
    // The controller of the service with this unique bus name.
    HRESULT ConnectController(const std::string& service, IAudioController** controller);

    // Delivers the events of the object at path of service to sink, which
    // answers _IAudioControllerEvents or _IAudioEncoderEvents (as the object
    // fires). Returns an id for Unsubscribe (never 0).
    uint64_t Subscribe(const std::string& service, const std::string& path,
                       plat::ComPtr<_IAudioControllerEvents> sink);
    uint64_t Subscribe(const std::string& service, const std::string& path, plat::ComPtr<_IAudioEncoderEvents> sink);
    // Stops the delivery; the sink is released outside the connection's lock.
    // Safe from inside a sink call.
    void Unsubscribe(uint64_t id);

private:
    struct Subscriber {
        std::string service;
        std::string path;
        plat::ComPtr<_IAudioControllerEvents> controllerSink;
        plat::ComPtr<_IAudioEncoderEvents> encoderSink;
    };

    ClientConnection() = default;
    HRESULT Start(const std::string& address);
    void OnControllerEvent(sdbus::Message& message);
    void OnEncoderEvent(sdbus::Message& message);
    uint64_t AddSubscriber(Subscriber subscriber);

    // Declared first, closed last.
    std::shared_ptr<sdbus::IConnection> m_bus;
    std::unique_ptr<EventLoop> m_loop;
    sdbus::Slot m_controllerEvents;
    sdbus::Slot m_encoderEvents;
    std::mutex m_mutex;
    std::map<uint64_t, Subscriber> m_subscribers;
    uint64_t m_nextId = 1;
};

}  // namespace ipc
