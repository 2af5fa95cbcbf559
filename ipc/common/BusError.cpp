#include "ipc/common/BusError.h"

#include <string_view>

namespace ipc {

namespace {

constexpr std::string_view kDBusPrefix = "org.freedesktop.DBus.Error.";
constexpr std::string_view kErrnoPrefix = "System.Error.";

struct NameMap {
    std::string_view name;
    HRESULT hr;
};

// Errors the bus daemon and sd-bus answer with.
constexpr NameMap kBusErrors[] = {
    {"ServiceUnknown", RPC_E_SERVER_UNAVAILABLE},
    {"NameHasNoOwner", RPC_E_SERVER_UNAVAILABLE},
    {"Disconnected", RPC_E_SERVER_UNAVAILABLE},
    {"NoServer", RPC_E_SERVER_UNAVAILABLE},
    {"NoNetwork", RPC_E_SERVER_UNAVAILABLE},
    {"FileNotFound", RPC_E_SERVER_UNAVAILABLE},
    // The peer left without answering, or the answer did not come in time
    // (sd-bus uses this name for both).
    {"NoReply", RPC_E_CALL_FAILED},
    {"Timeout", HRESULT_FROM_WIN32(ERROR_TIMEOUT)},
    {"TimedOut", HRESULT_FROM_WIN32(ERROR_TIMEOUT)},
    // The object was released or never handed out.
    {"UnknownObject", RPC_E_DISCONNECTED},
    {"UnknownInterface", RPC_E_DISCONNECTED},
    {"UnknownMethod", E_NOTIMPL},
    {"NotSupported", E_NOTIMPL},
    {"InvalidArgs", E_INVALIDARG},
    {"InvalidSignature", E_INVALIDARG},
    {"NoMemory", E_OUTOFMEMORY},
    {"AccessDenied", E_ACCESSDENIED},
    {"AuthFailed", E_ACCESSDENIED},
    {"LimitsExceeded", HRESULT_FROM_WIN32(ERROR_BUSY)},
};

// errno names, as sd-bus reports local failures.
constexpr NameMap kErrnoErrors[] = {
    {"ENOENT", RPC_E_SERVER_UNAVAILABLE},
    {"ECONNREFUSED", RPC_E_SERVER_UNAVAILABLE},
    {"ECONNRESET", RPC_E_SERVER_UNAVAILABLE},
    {"ENOTCONN", RPC_E_SERVER_UNAVAILABLE},
    {"EPIPE", RPC_E_SERVER_UNAVAILABLE},
    {"ESHUTDOWN", RPC_E_SERVER_UNAVAILABLE},
    {"ENXIO", RPC_E_SERVER_UNAVAILABLE},
    {"EHOSTDOWN", RPC_E_SERVER_UNAVAILABLE},
    {"ETIMEDOUT", HRESULT_FROM_WIN32(ERROR_TIMEOUT)},
    {"ENOMEM", E_OUTOFMEMORY},
    {"ENOBUFS", E_OUTOFMEMORY},
    {"EINVAL", E_INVALIDARG},
    {"EACCES", E_ACCESSDENIED},
    {"EPERM", E_ACCESSDENIED},
};

HRESULT Lookup(std::string_view key, const NameMap* begin, const NameMap* end) {
    for (const NameMap* m = begin; m != end; ++m)
        if (m->name == key) return m->hr;
    return RPC_E_CALL_FAILED;
}

}  // namespace

HRESULT BusError::ToHResult(const std::string& errorName) {
    std::string_view name = errorName;
    if (name.starts_with(kDBusPrefix)) {
        name.remove_prefix(kDBusPrefix.size());
        if (name.starts_with("Spawn.")) return RPC_E_SERVER_UNAVAILABLE;
        return Lookup(name, std::begin(kBusErrors), std::end(kBusErrors));
    }
    if (name.starts_with(kErrnoPrefix)) {
        name.remove_prefix(kErrnoPrefix.size());
        return Lookup(name, std::begin(kErrnoErrors), std::end(kErrnoErrors));
    }
    return RPC_E_CALL_FAILED;
}

HRESULT BusError::ToHResult(const sdbus::Error& error) { return ToHResult(error.getName()); }

}  // namespace ipc
