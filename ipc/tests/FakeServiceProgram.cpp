// A stand-in for the service program: waits $TQ_FAKE_SERVICE_DELAY_MS (as a
// service builds its engine), then serves a fake controller under the
// service's well-known name until SIGTERM.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "ipc/common/Names.h"
#include "ipc/tests/support/TestService.h"
#include "platform/service/ServiceManager.h"

int main() {
    plat::svc::StopRequests stop;
    const char* delay = std::getenv("TQ_FAKE_SERVICE_DELAY_MS");
    std::this_thread::sleep_for(std::chrono::milliseconds(delay ? std::atoi(delay) : 0));
    std::unique_ptr<ipctest::TestService> service;
    if (FAILED(ipctest::TestService::Start(ipc::kServiceName, &service))) return 1;
    while (plat::WaitAny({&stop}, INFINITE) == plat::WAIT_OBJECT_0 && stop.LastKind() != plat::svc::StopRequests::Kind::Stop) {
    }
    service->Shutdown();
    return 0;
}
