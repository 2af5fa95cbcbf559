#pragma once
// Well-known bus names: how the service makes its controller findable and how
// clients find it (the role a table of running objects plays elsewhere).
#include <string>

#include <sdbus-c++/IConnection.h>

#include "platform/core/Sync.h"

namespace ipc {

class BusName {
public:
    // Takes the name for this connection. HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)
    // when another connection owns it (another service instance runs).
    static HRESULT Request(sdbus::IConnection& connection, const std::string& name);
    // Gives the name up; S_FALSE when this connection did not own it.
    static HRESULT Release(sdbus::IConnection& connection, const std::string& name);
    // S_OK with the owner's unique name, S_FALSE (owner cleared) when nobody
    // owns the name, a failure when the bus cannot be asked.
    static HRESULT LookUp(sdbus::IConnection& connection, const std::string& name, std::string* owner);
    // Looks the name up until it has an owner (S_OK), timeoutMs passes
    // (HRESULT_FROM_WIN32(ERROR_TIMEOUT)) or stop is set (E_ABORT). stop may be null.
    static HRESULT WaitFor(sdbus::IConnection& connection, const std::string& name, DWORD timeoutMs,
                           plat::Event* stop, std::string* owner);
};

}  // namespace ipc
