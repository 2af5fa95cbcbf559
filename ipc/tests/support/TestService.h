#pragma once
// The service side of the contract tests: settings, a playlist (with its songs
// and tags), a controller, device lists and encoders, all fakes held in
// memory, exported on the session bus under a bus name of their own.
#include <memory>
#include <string>

#include "ipc/service/ServiceExporter.h"
#include "ipc/tests/support/FakeController.h"
#include "ipc/tests/support/FakeDeviceList.h"
#include "ipc/tests/support/FakePlayList.h"
#include "ipc/tests/support/FakeSettings.h"
#include "platform/com/ComPtr.h"

namespace ipctest {

// True when a session bus answers (tests that need one skip otherwise).
bool SessionBusAvailable();
// A bus name no other test process uses.
std::string UniqueTestBusName();

class TestService {
public:
    // Builds the objects, exports them and takes busName (on the session bus,
    // or on the bus at address).
    // Its calls run on a pool with the limits given.
    static HRESULT Start(const std::string& busName, std::unique_ptr<TestService>* out,
                         const std::string& address = std::string(),
                         const ipc::CallPool::Limits& limits = ipc::CallPool::Limits{});
    ~TestService();

    ipc::ServiceExporter& Exporter() { return *m_exporter; }
    ipc::ObjectTable& Objects() { return m_exporter->Objects(); }
    const std::string& BusName() const { return m_busName; }
    std::string UniqueName() const { return m_exporter->UniqueName(); }
    // Stops serving (what a service does at shutdown).
    void Shutdown() { m_exporter->Shutdown(); }

    plat::ComPtr<FakeController> controller;
    plat::ComPtr<FakeSettings> settings;
    plat::ComPtr<FakePlayList> playlist;
    plat::ComPtr<FakeDeviceList> playback;
    plat::ComPtr<FakeDeviceList> capture;

private:
    TestService() = default;

    std::string m_busName;
    std::unique_ptr<ipc::ServiceExporter> m_exporter;
};

}  // namespace ipctest
