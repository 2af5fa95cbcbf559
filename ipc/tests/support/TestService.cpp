#include "ipc/tests/support/TestService.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include <sdbus-c++/sdbus-c++.h>


namespace ipctest {

bool SessionBusAvailable() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) return false;
    try {
        auto probe = sdbus::createSessionBusConnection();
        return true;
    } catch (const sdbus::Error&) {
        return false;
    }
}

std::string UniqueTestBusName() {
    static std::atomic<int> counter{0};
    return "QXService.Test.P" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

HRESULT TestService::Start(const std::string& busName, std::unique_ptr<TestService>* out, const std::string& address,
                           const ipc::CallPool::Limits& limits) {
    std::unique_ptr<TestService> service(new TestService());
    service->m_busName = busName;
    service->settings = FakeSettings::CreateInstance();
    service->playlist = FakePlayList::CreateInstance();
    service->playback = FakeDeviceList::CreateInstance(
        std::vector<std::u16string>{u"Speakers", u"Headphones", u"Tonquil Audio Device"}, 1);
    service->capture = FakeDeviceList::CreateInstance(std::vector<std::u16string>{u"Microphone", u"Line In"}, 0);
    if (!service->settings || !service->playlist || !service->playback || !service->capture) return E_OUTOFMEMORY;
    service->controller = FakeController::CreateInstance(service->settings.Get(), service->playlist.Get(),
                                                         service->playback.Get(), service->capture.Get());
    if (!service->controller) return E_OUTOFMEMORY;

    HRESULT hr = ipc::ServiceExporter::Create(&service->m_exporter, limits, address);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = service->m_exporter->ExportController(service->controller.Get()))) return hr;
    if (FAILED(hr = service->m_exporter->PublishName(busName))) return hr;
    *out = std::move(service);
    return S_OK;
}

TestService::~TestService() {
    if (m_exporter) m_exporter->Shutdown();
}

}  // namespace ipctest
