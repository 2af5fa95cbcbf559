// The well-known name: taken once, looked up, waited for, given back.
#include <thread>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/common/BusName.h"
#include "ipc/tests/BusFixture.h"

using namespace ipctest;

TEST(IpcBusName, TakenOnceLookedUpAndGivenBack) {
    TQ_REQUIRE_SESSION_BUS();
    const std::string name = UniqueTestBusName();
    auto first = sdbus::createSessionBusConnection();
    auto second = sdbus::createSessionBusConnection();
    std::string owner = "stale";
    EXPECT_EQ(ipc::BusName::LookUp(*second, name, &owner), S_FALSE);
    EXPECT_TRUE(owner.empty());
    ASSERT_EQ(ipc::BusName::Request(*first, name), S_OK);
    EXPECT_EQ(ipc::BusName::Request(*second, name), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ipc::BusName::LookUp(*second, name, &owner), S_OK);
    EXPECT_EQ(owner, first->getUniqueName());
    EXPECT_EQ(ipc::BusName::Release(*first, name), S_OK);
    EXPECT_EQ(ipc::BusName::LookUp(*second, name, &owner), S_FALSE);
    EXPECT_EQ(ipc::BusName::Request(*second, name), S_OK);
    EXPECT_EQ(ipc::BusName::LookUp(*first, name, nullptr), E_POINTER);
}

TEST(IpcBusName, WaitForEndsOnOwnerTimeOutOrStop) {
    TQ_REQUIRE_SESSION_BUS();
    const std::string name = UniqueTestBusName();
    auto bus = sdbus::createSessionBusConnection();
    std::string owner;
    EXPECT_EQ(ipc::BusName::WaitFor(*bus, name, 60, nullptr, &owner), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    plat::Event stop(plat::Event::Reset::Manual, true);
    EXPECT_EQ(ipc::BusName::WaitFor(*bus, name, INFINITE, &stop, &owner), E_ABORT);

    auto service = sdbus::createSessionBusConnection();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ipc::BusName::Request(*service, name);
    });
    EXPECT_EQ(ipc::BusName::WaitFor(*bus, name, 30000, nullptr, &owner), S_OK);
    late.join();
    EXPECT_EQ(owner, service->getUniqueName());
}

TEST(IpcBusName, ClientFindsNoControllerWhereNoServiceRuns) {
    TQ_REQUIRE_SESSION_BUS();
    std::shared_ptr<ipc::ClientConnection> client;
    ASSERT_EQ(ipc::ClientConnection::Open(&client), S_OK);
    plat::ComPtr<IAudioController> controller;
    EXPECT_EQ(client->FindController(controller.ReleaseAndGetAddressOf(), UniqueTestBusName()), S_FALSE);
    EXPECT_FALSE(controller);
    EXPECT_EQ(client->FindController(nullptr), E_POINTER);

    // A name owned by something that is not the service.
    const std::string name = UniqueTestBusName();
    auto impostor = sdbus::createSessionBusConnection();
    ASSERT_EQ(ipc::BusName::Request(*impostor, name), S_OK);
    impostor->enterEventLoopAsync();
    HRESULT hr = client->FindController(controller.ReleaseAndGetAddressOf(), name);
    EXPECT_TRUE(FAILED(hr)) << hr;
    EXPECT_FALSE(controller);

    // The process's shared connection is one and the same.
    std::shared_ptr<ipc::ClientConnection> a, b;
    ASSERT_EQ(ipc::ClientConnection::Shared(&a), S_OK);
    ASSERT_EQ(ipc::ClientConnection::Shared(&b), S_OK);
    EXPECT_EQ(a.get(), b.get());
}
