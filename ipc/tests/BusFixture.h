#pragma once
// A test service and a client connection of their own for each test, on the
// session bus that scripts/testenv provides.
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "ipc/client/ClientConnection.h"
#include "ipc/tests/support/TestService.h"
#include "platform/com/ComPtr.h"

namespace ipctest {

class IpcBus : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Another interface of obj (through the proxy's QueryInterface).
    template <class Itf>
    plat::ComPtr<Itf> As(IUnknown* obj) {
        plat::ComPtr<Itf> out;
        if (obj) obj->QueryInterface(plat::IidOf<Itf>(), reinterpret_cast<void**>(out.GetAddressOf()));
        return out;
    }
    // References the service counts for this test's client connection.
    size_t ClientReferences() { return service->Objects().ReferenceCount(client->UniqueName()); }

    std::unique_ptr<TestService> service;
    std::shared_ptr<ipc::ClientConnection> client;
    plat::ComPtr<IAudioController> controller;
};

// Waits until done() holds, for effects that reach the other side
// asynchronously (a released reference, a client that left). False after
// timeoutMs.
bool Eventually(const std::function<bool()>& done, int timeoutMs = 60000);

}  // namespace ipctest

#define TQ_REQUIRE_SESSION_BUS()                                                         \
    do {                                                                                 \
        if (!::ipctest::SessionBusAvailable())                                           \
            GTEST_SKIP() << "no D-Bus session bus answers (run inside scripts/testenv)"; \
    } while (0)
