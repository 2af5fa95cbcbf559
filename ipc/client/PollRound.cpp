#include "ipc/client/PollRound.h"

#include "ipc/client/ControllerProxy.h"

namespace ipc {

namespace {

// One getter: its value is taken only when it succeeded (an object may write
// its out-parameter before it fails).
template <class T>
bool Step(PollReadings* r, HRESULT (IAudioController::*getter)(T*), IAudioController* controller, T* into,
          const char* call) {
    T value{};
    const HRESULT hr = (controller->*getter)(&value);
    if (FAILED(hr)) {
        r->hr = hr;
        r->failedCall = call;
        return false;
    }
    *into = value;
    return true;
}

HRESULT ReadCallByCall(IAudioController* c, PollReadings* r) {
    using C = IAudioController;
    Step(r, &C::GetAvailableCommands, c, &r->commands, "GetAvailableCommands") &&
        Step(r, &C::GetCurrentState, c, &r->state, "GetCurrentState") &&
        Step(r, &C::IsCacheFull, c, &r->cacheFull, "IsCacheFull") &&
        Step(r, &C::GetTimeFullness, c, &r->timeFullness, "GetTimeFullness") &&
        Step(r, &C::GetPercentFullness, c, &r->percent, "GetPercentFullness") &&
        Step(r, &C::GetPlayPosition, c, &r->play, "GetPlayPosition") &&
        Step(r, &C::GetRecordPosition, c, &r->record, "GetRecordPosition") &&
        Step(r, &C::GetStartReadPos, c, &r->startRead, "GetStartReadPos");
    return r->hr;
}

}  // namespace

HRESULT ReadPollRound(IAudioController* controller, PollReadings* out) {
    if (!out) return E_POINTER;
    *out = PollReadings{};
    if (!controller) return out->hr = E_POINTER;
    if (auto* proxy = dynamic_cast<ControllerProxy*>(controller)) return proxy->ReadPollRound(out);
    return ReadCallByCall(controller, out);
}

}  // namespace ipc
