#include "ipc/common/BusName.h"

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/common/BusError.h"
#include "platform/core/Clock.h"

namespace ipc {

namespace {

constexpr const char* kBusDaemon = "org.freedesktop.DBus";
constexpr const char* kBusDaemonPath = "/org/freedesktop/DBus";
constexpr DWORD kWaitStepMs = 20;

bool IsTaken(const sdbus::Error& e) {
    const std::string& name = e.getName();
    return name.find("EEXIST") != std::string::npos || name.find("FileExists") != std::string::npos;
}

}  // namespace

HRESULT BusName::Request(sdbus::IConnection& connection, const std::string& name) {
    try {
        connection.requestName(name);
        return S_OK;
    } catch (const sdbus::Error& e) {
        if (IsTaken(e)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        return BusError::ToHResult(e);
    }
}

HRESULT BusName::Release(sdbus::IConnection& connection, const std::string& name) {
    try {
        connection.releaseName(name);
        return S_OK;
    } catch (const sdbus::Error& e) {
        // sd-bus reports a name this connection does not own as "not found".
        HRESULT hr = BusError::ToHResult(e);
        return hr == RPC_E_SERVER_UNAVAILABLE ? S_FALSE : hr;
    }
}

HRESULT BusName::LookUp(sdbus::IConnection& connection, const std::string& name, std::string* owner) {
    if (!owner) return E_POINTER;
    owner->clear();
    try {
        auto daemon = sdbus::createProxy(connection, kBusDaemon, kBusDaemonPath);
        daemon->callMethod("GetNameOwner").onInterface(kBusDaemon).withArguments(name).storeResultsTo(*owner);
        return S_OK;
    } catch (const sdbus::Error& e) {
        if (e.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner") return S_FALSE;
        return BusError::ToHResult(e);
    }
}

HRESULT BusName::WaitFor(sdbus::IConnection& connection, const std::string& name, DWORD timeoutMs,
                         plat::Event* stop, std::string* owner) {
    if (!owner) return E_POINTER;
    const DWORD start = plat::GetTickCount();
    plat::Event pause;  // never set: a wait that only the stop event cuts short
    for (;;) {
        HRESULT hr = LookUp(connection, name, owner);
        if (hr != S_FALSE) return hr;
        DWORD elapsed = plat::GetTickCount() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        DWORD step = kWaitStepMs;
        if (timeoutMs != INFINITE && timeoutMs - elapsed < step) step = timeoutMs - elapsed;
        if (stop) {
            if (stop->Wait(step) == plat::WAIT_OBJECT_0) return E_ABORT;
        } else {
            pause.Wait(step);
        }
    }
}

}  // namespace ipc
