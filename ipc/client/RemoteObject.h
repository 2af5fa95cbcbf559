#pragma once
// What every proxy answers besides its contract interface: which object of
// which service it stands for. Lets a proxy be handed back to the service as
// an argument (a song given to an encoder) and lets events be subscribed.
// Never crosses the bus.
#include <memory>
#include <string>

#include "ipc/common/ObjectKind.h"

namespace ipc {

class ClientConnection;

// {0E6F3C52-8A1B-4D7E-9C35-2B7A41D6E903}
inline constexpr IID IID_IRemoteObject{0x0E6F3C52, 0x8A1B, 0x4D7E, {0x9C, 0x35, 0x2B, 0x7A, 0x41, 0xD6, 0xE9, 0x03}};

struct IRemoteObject : IUnknown {
    static constexpr const IID& kIID = IID_IRemoteObject;
    virtual const std::shared_ptr<ClientConnection>& Connection() const = 0;
    // The unique bus name of the service that exported the object.
    virtual const std::string& ServiceName() const = 0;
    virtual const std::string& ObjectPath() const = 0;
    virtual ObjectKind Kind() const = 0;
};

// Where a proxy's calls go.
struct ProxyContext {
    std::shared_ptr<ClientConnection> connection;
    std::string service;
    std::string path;
};

}  // namespace ipc
