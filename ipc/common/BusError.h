#pragma once
// Failures of the bus itself (no service, a vanished object, a call that could
// not be carried) as the HRESULTs that interface callers understand. The
// methods' own results travel in their answers and never pass through here.
#include <string>

#include <sdbus-c++/Error.h>

#include "platform/core/HResult.h"

namespace ipc {

class BusError {
public:
    // The HRESULT for a failed call or connection. Never a success.
    static HRESULT ToHResult(const sdbus::Error& error);
    static HRESULT ToHResult(const std::string& errorName);

    // The error names the service answers with when it cannot run a call.
    static constexpr const char* kShuttingDown = "org.freedesktop.DBus.Error.NoServer";
    static constexpr const char* kBusy = "org.freedesktop.DBus.Error.LimitsExceeded";
    static constexpr const char* kNoMemory = "org.freedesktop.DBus.Error.NoMemory";
    static constexpr const char* kFailed = "org.freedesktop.DBus.Error.Failed";
    // A call on an object that has been released (as sd-bus answers for a path with nothing on it).
    static constexpr const char* kUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";
};

}  // namespace ipc
