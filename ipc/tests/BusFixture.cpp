#include "ipc/tests/BusFixture.h"

#include <chrono>
#include <thread>

namespace ipctest {

void IpcBus::SetUp() {
    TQ_REQUIRE_SESSION_BUS();
    ASSERT_EQ(TestService::Start(UniqueTestBusName(), &service), S_OK);
    ASSERT_EQ(ipc::ClientConnection::Open(&client), S_OK);
    ASSERT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), service->BusName()), S_OK);
    ASSERT_TRUE(controller);
}

void IpcBus::TearDown() {
    controller = nullptr;
    client.reset();
    service.reset();
}

bool Eventually(const std::function<bool()>& done, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace ipctest
