#pragma once
// Finding the running engine, and starting it when it does not run. The
// service's well-known bus name is the one entry through which clients find
// it; a client asks the object behind it for the interface it needs.
//
//   plat::ComPtr<IAudioController> controller;
//   if (ipc::FindObjectInRot(IID_IAudioController, (void**)controller.ReleaseAndGetAddressOf()) != S_OK)
//       ipc::StartServiceAndConnect(u"QXService", IID_IAudioController, (void**)controller.ReleaseAndGetAddressOf());
#include <sys/types.h>

#include <string>

#include "ipc/QXServiceLib.h"
#include "ipc/common/Names.h"

namespace ipc {

// S_OK with an owned interface pointer of the running service's controller;
// S_FALSE when no service runs or its controller does not answer riid;
// E_POINTER for a null out-pointer.
HRESULT FindObjectInRot(REFIID riid, void** object);

// Starts the service (through the user's service manager when it answers,
// else through bus activation, else by starting the program serviceName from
// this program's folder or PATH), then looks for it once and up to
// retries more times, retryMs apart. A start that fails while an instance
// of serviceName is still starting (it holds its instance lock) is followed
// by the look-ups all the same. S_OK with the interface; E_FAIL when the
// service already runs (callers look with FindObjectInRot first), cannot be
// started or does not appear; E_POINTER for a null out-pointer.
HRESULT StartServiceAndConnect(const char16_t* serviceName, REFIID riid, void** object);

// The start alone: through the user's service manager when it answers, else
// bus activation (after the bus has re-read its activation files), else the
// program serviceName from this program's folder or PATH. S_OK once one of
// them has taken the request (the service may still be starting).
HRESULT StartService(const char16_t* serviceName);

struct ServiceStartTiming {
    DWORD retryMs = 1000;
    int retries = 10;
};
// Tests shorten the waits; the defaults stand otherwise.
void SetServiceStartTiming(const ServiceStartTiming& timing);

// The process id of the well-known name's owner: S_OK, S_FALSE (0) when
// nobody owns it, a failure when the bus cannot be asked.
HRESULT ServiceProcessId(pid_t* pid, const std::string& name = kServiceName);

}  // namespace ipc
