#pragma once
// Makes the proxy for an object that the service has handed to this
// connection. The proxy takes over the reference that the service counted
// for the hand-out and gives it back when its own last reference goes.
#include <memory>
#include <string>

#include "ipc/common/ObjectKind.h"

namespace ipc {

class ClientConnection;

class ProxyFactory {
public:
    // The proxy of kind for the object at path of service, asked for riid into
    // *ppv. On failure the service's reference is given back at once.
    static HRESULT Create(const std::shared_ptr<ClientConnection>& connection, const std::string& service,
                          const std::string& path, ObjectKind kind, REFIID riid, void** ppv);
    // Gives back the reference counted for a path that no proxy will hold.
    static void GiveBack(const std::shared_ptr<ClientConnection>& connection, const std::string& service,
                         const std::string& path);
};

}  // namespace ipc
