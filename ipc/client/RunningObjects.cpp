#include "ipc/client/RunningObjects.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ipc/client/ClientConnection.h"
#include "ipc/common/BusError.h"
#include "ipc/common/BusName.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Text.h"
#include "platform/driver/ObjectNames.h"
#include "platform/service/InstanceLock.h"
#include "platform/service/Process.h"
#include "platform/service/UserUnits.h"

namespace ipc {

namespace {

std::atomic<DWORD> g_retryMs{1000};
std::atomic<int> g_retries{10};

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";

enum class Activation { Started, Unknown, Failed };

// Asks the bus to start the service that owns the name. The answer comes once
// the service holds the name; a slow start is not waited for here.
Activation ActivateByBus(sdbus::IConnection& bus, const std::string& name) {
    try {
        auto proxy = sdbus::createProxy(bus, kBusService, kBusPath);
        // A file written a moment ago is known only after a reload.
        proxy->callMethod("ReloadConfig").onInterface(kBusService);
        uint32_t result = 0;
        proxy->callMethod("StartServiceByName")
            .onInterface(kBusService)
            .withTimeout(std::chrono::milliseconds(1000))
            .withArguments(name, uint32_t{0})
            .storeResultsTo(result);
        return Activation::Started;
    } catch (const sdbus::Error& e) {
        if (e.getName() == "org.freedesktop.DBus.Error.ServiceUnknown") return Activation::Unknown;
        if (e.getName() == "org.freedesktop.DBus.Error.NoReply" || e.getName() == "org.freedesktop.DBus.Error.Timeout" ||
            e.getName() == "org.freedesktop.DBus.Error.TimedOut")
            return Activation::Started;  // still starting
        return Activation::Failed;
    }
}

// An instance of program holds its lock and has not taken the name yet (or
// has just taken it: the look-ups find it then).
bool IsStartPending(const std::string& program) {
    return plat::svc::InstanceLock::IsHeld(plat::svc::InstanceLock::PathFor(plat::drv::RuntimeDir(), program));
}

}  // namespace

void SetServiceStartTiming(const ServiceStartTiming& timing) {
    g_retryMs = timing.retryMs;
    g_retries = timing.retries;
}

HRESULT FindObjectInRot(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    std::shared_ptr<ClientConnection> bus;
    if (FAILED(ClientConnection::Shared(&bus))) return S_FALSE;
    plat::ComPtr<IAudioController> controller;
    if (bus->FindController(controller.ReleaseAndGetAddressOf()) != S_OK || !controller) return S_FALSE;
    return SUCCEEDED(controller->QueryInterface(riid, object)) && *object ? S_OK : S_FALSE;
}

HRESULT StartServiceAndConnect(const char16_t* serviceName, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!serviceName || !*serviceName) return E_FAIL;
    std::shared_ptr<ClientConnection> bus;
    if (FAILED(ClientConnection::Shared(&bus))) return E_FAIL;
    std::string owner;
    // A running service cannot be started again.
    if (BusName::LookUp(bus->Bus(), kServiceName, &owner) == S_OK) return E_FAIL;

    // A start that fails is no failure while an instance is still starting:
    // the one just started (by the bus, the user's manager or directly) ends
    // at once on that instance's lock, and the starting one takes the name
    // a moment later.
    if (FAILED(StartService(serviceName)) && !IsStartPending(plat::ToUtf8(serviceName))) return E_FAIL;

    const int retries = g_retries.load();
    for (int attempt = 0; attempt <= retries; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_retryMs.load()));
        if (FindObjectInRot(riid, object) == S_OK) return S_OK;
    }
    return E_FAIL;
}

HRESULT StartService(const char16_t* serviceName) {
    if (!serviceName || !*serviceName) return E_INVALIDARG;
    const std::string program = plat::ToUtf8(serviceName);
    if (plat::svc::UserManagerAnswers() &&
        SUCCEEDED(plat::svc::UserSystemctl({"start", "--no-block", program + ".service"}, 10000)))
        return S_OK;
    std::shared_ptr<ClientConnection> bus;
    HRESULT hr = ClientConnection::Shared(&bus);
    if (FAILED(hr)) return hr;
    switch (ActivateByBus(bus->Bus(), kServiceName)) {
        case Activation::Started:
            return S_OK;
        case Activation::Unknown:
            return plat::svc::StartDetached({program});
        case Activation::Failed:
            break;
    }
    return E_FAIL;
}

HRESULT ServiceProcessId(pid_t* pid, const std::string& name) {
    if (!pid) return E_POINTER;
    *pid = 0;
    std::shared_ptr<ClientConnection> bus;
    HRESULT hr = ClientConnection::Shared(&bus);
    if (FAILED(hr)) return hr;
    std::string owner;
    hr = BusName::LookUp(bus->Bus(), name, &owner);
    if (hr != S_OK) return hr;
    try {
        auto proxy = sdbus::createProxy(bus->Bus(), kBusService, kBusPath);
        uint32_t value = 0;
        proxy->callMethod("GetConnectionUnixProcessID").onInterface(kBusService).withArguments(owner).storeResultsTo(value);
        *pid = static_cast<pid_t>(value);
        return S_OK;
    } catch (const sdbus::Error& e) {
        // The owner left between the two questions.
        if (e.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner") return S_FALSE;
        return BusError::ToHResult(e);
    }
}

}  // namespace ipc
