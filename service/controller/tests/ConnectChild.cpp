// A client that reaches the service the way the desktop program does: it asks
// for the start and looks for the controller (StartServiceAndConnect), then
// calls it. Prints the process id of the service it reached and exits 0, or
// exits 1 with the failure on stderr. Argument: how many look-ups follow the
// first, 1000 ms apart (default: the library's).
#include <cstdio>
#include <cstdlib>

#include "ipc/client/RunningObjects.h"
#include "platform/com/ComPtr.h"

int main(int argc, char** argv) {
    if (argc > 1) ipc::SetServiceStartTiming({1000, std::atoi(argv[1])});
    plat::ComPtr<IAudioController> controller;
    HRESULT hr = ipc::StartServiceAndConnect(u"QXService", IID_IAudioController,
                                             reinterpret_cast<void**>(controller.GetAddressOf()));
    if (hr != S_OK || !controller) {
        std::fprintf(stderr, "StartServiceAndConnect answered 0x%08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    ULONG state = 0;
    if (FAILED(hr = controller->GetCurrentState(&state))) {
        std::fprintf(stderr, "GetCurrentState answered 0x%08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    pid_t pid = 0;
    if (ipc::ServiceProcessId(&pid) != S_OK) {
        std::fputs("nobody owns the name after the connection\n", stderr);
        return 1;
    }
    std::printf("%d\n", static_cast<int>(pid));
    return 0;
}
