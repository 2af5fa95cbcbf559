#pragma once
// One round of the desktop's poll of the controller: the eight getters it
// reads every 100 ms.
//
// Through a bus proxy the eight calls go out together and the caller waits
// once, for the last answer: the calls are sent from the caller's thread and
// answered on the connection's event-loop thread, so asked one after another
// each call would wake both threads (and the loop twice: once to take the
// call's time-out, once for its answer), some twenty wake-ups a round each;
// asked together, a round wakes each thread a few times. Any other controller
// (one in this process) is asked call by call, stopping at the first failure.
//
// Either way the result names the first call, in the order below, that
// failed, with its HRESULT; values are those of the calls before it (the
// rest stay zero).
// The getters change nothing in the service, so a call that a sequential
// round would have left out after a failure does no harm by having been sent.
#include "ipc/QXServiceLib.h"

namespace ipc {

struct PollReadings {
    HRESULT hr = S_OK;
    const char* failedCall = nullptr;  // the first call that failed, when hr failed
    ULONG commands = 0;                // GetAvailableCommands
    ULONG state = 0;                   // GetCurrentState
    LONG cacheFull = 0;                // IsCacheFull
    ULONG timeFullness = 0;            // GetTimeFullness
    BYTE percent = 0;                  // GetPercentFullness
    ULONG play = 0;                    // GetPlayPosition
    ULONG record = 0;                  // GetRecordPosition
    ULONG startRead = 0;               // GetStartReadPos
};

// Reads one round into *out (hr is also returned). E_POINTER for null arguments.
HRESULT ReadPollRound(IAudioController* controller, PollReadings* out);

}  // namespace ipc
