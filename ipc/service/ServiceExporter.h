#pragma once
// The service's side of the bus: one connection, served by the threads of the
// call pool on which every call runs, and the table of exported objects. The service host builds it, exports its controller, then takes the
// well-known name so that clients find it:
//
//   std::unique_ptr<ipc::ServiceExporter> exporter;
//   ipc::ServiceExporter::Create(&exporter);
//   exporter->ExportController(controller);      // /AudioController and its parts
//   exporter->PublishName();                     // "QXService.AudioController"
//   ... run ...
//   exporter->Shutdown();                        // before the controller's Destroy
#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>

#include "ipc/QXServiceLib.h"
#include "ipc/common/Names.h"
#include "ipc/service/BusTurn.h"
#include "ipc/service/CallPool.h"
#include "ipc/service/ObjectTable.h"

namespace ipc {

class ServiceExporter {
public:
    // Connects to the session bus (or to the bus at address) and starts
    // serving. RPC_E_SERVER_UNAVAILABLE when no bus answers.
    static HRESULT Create(std::unique_ptr<ServiceExporter>* out, const std::string& address = std::string());
    static HRESULT Create(std::unique_ptr<ServiceExporter>* out, const CallPool::Limits& limits,
                          const std::string& address = std::string());
    ~ServiceExporter();
    ServiceExporter(const ServiceExporter&) = delete;
    ServiceExporter& operator=(const ServiceExporter&) = delete;

    // Exports the controller at /AudioController with its events, and the
    // settings, playlist and device lists that it hands out through its
    // QueryInterface at their paths below it. They stay exported until
    // Shutdown; songs, tags and encoders are exported when handed out.
    HRESULT ExportController(IAudioController* controller);
    // Takes the well-known name (after ExportController): from now on clients
    // find the controller. HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when another
    // instance holds it.
    HRESULT PublishName(const std::string& name = kServiceName);
    // Gives the name up (no new clients find the service).
    void RevokeName();
    // Stops serving: gives up the name, asks running saves to stop, waits for
    // the calls in progress, takes every object off the bus and drops every
    // reference to the engine's objects, then closes the connection. Calls that
    // arrive meanwhile are answered with a "service stopping" error.
    void Shutdown();

    // This connection's unique bus name.
    std::string UniqueName() const;
    // Set when the bus goes away under the service (the daemon ended): the
    // host should then stop, as no client can reach it any more.
    plat::Event& ConnectionLost() { return m_turn->Lost(); }
    ObjectTable& Objects() { return *m_table; }
    CallPool& Pool() { return *m_pool; }

private:
    ServiceExporter() = default;
    HRESULT Start(const CallPool::Limits& limits, const std::string& address);
    void OnNameOwnerChanged(sdbus::Message& message);

    // Declared first, closed last: the table and pool refer to it.
    std::shared_ptr<sdbus::IConnection> m_connection;
    // Outlives the pool whose threads serve it.
    std::unique_ptr<BusTurn> m_turn;
    std::unique_ptr<CallPool> m_pool;
    std::unique_ptr<ObjectTable> m_table;
    sdbus::Slot m_nameWatch;
    std::string m_publishedName;
    bool m_shutDown = false;
};

}  // namespace ipc
