// Finding the running service by its bus name and starting it when it does
// not run. Runs on a bus of its own (the test command wraps it in
// dbus-run-session), since it takes the service's well-known name.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "ipc/client/RunningObjects.h"
#include "platform/com/ComPtr.h"
#include "platform/service/Process.h"

namespace {

constexpr const char16_t* kFakeService = u"ipc_fake_service";

}  // namespace

TEST(ServiceStart, NothingRunningAndBadArguments) {
    EXPECT_EQ(ipc::FindObjectInRot(IID_IAudioController, nullptr), E_POINTER);
    EXPECT_EQ(ipc::StartServiceAndConnect(kFakeService, IID_IAudioController, nullptr), E_POINTER);
    plat::ComPtr<IAudioController> controller;
    EXPECT_EQ(ipc::FindObjectInRot(IID_IAudioController, reinterpret_cast<void**>(controller.GetAddressOf())), S_FALSE);
    EXPECT_FALSE(controller);
    // No user manager, no activation file and no such program: nothing starts.
    ipc::SetServiceStartTiming({10, 1});
    EXPECT_EQ(ipc::StartServiceAndConnect(u"no-such-service-program", IID_IAudioController,
                                          reinterpret_cast<void**>(controller.GetAddressOf())),
              E_FAIL);
    EXPECT_FALSE(controller);
}

TEST(ServiceStart, ASlowServiceIsFoundOnALaterLookUpAndCannotBeStartedTwice) {
    // The program is started from this program's folder, and takes 3.5 s to
    // publish its controller: more than three pauses of the look-up.
    ::setenv("TQ_FAKE_SERVICE_DELAY_MS", "3500", 1);
    ipc::SetServiceStartTiming({});
    plat::ComPtr<IAudioController> controller;
    ASSERT_EQ(ipc::StartServiceAndConnect(kFakeService, IID_IAudioController,
                                          reinterpret_cast<void**>(controller.GetAddressOf())),
              S_OK);
    ASSERT_TRUE(controller);
    ULONG state = 0;
    EXPECT_EQ(controller->GetCurrentState(&state), S_OK);

    // Running already: the start fails, the look-up finds it.
    plat::ComPtr<IAudioController> again;
    EXPECT_EQ(ipc::StartServiceAndConnect(kFakeService, IID_IAudioController, reinterpret_cast<void**>(again.GetAddressOf())),
              E_FAIL);
    EXPECT_EQ(ipc::FindObjectInRot(IID_IAudioController, reinterpret_cast<void**>(again.GetAddressOf())), S_OK);
    plat::ComPtr<ISettings> settings;
    EXPECT_EQ(ipc::FindObjectInRot(IID_ISettings, reinterpret_cast<void**>(settings.GetAddressOf())), S_OK);

    pid_t pid = 0;
    ASSERT_EQ(ipc::ServiceProcessId(&pid), S_OK);
    controller.Reset();
    again.Reset();
    settings.Reset();
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(plat::svc::WaitForProcessEnd(pid, 30000));
}
