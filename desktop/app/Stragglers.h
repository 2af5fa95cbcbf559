#pragma once
// Threads whose window went while their call to the service still ran (a
// save, a settings update). Each is joined once its call has returned; at the
// end of the program they are waited for only up to a limit, so that a call
// that hangs in a stalled service never keeps the program from leaving.
#include <chrono>
#include <memory>
#include <thread>

#include "desktop/app/Seams.h"

namespace parvane::stragglers {

// Takes over a thread whose call sets done when it has returned, and joins
// the kept ones whose call has returned.
void Keep(std::thread thread, std::shared_ptr<CancelFlag> done);
// Joins every kept thread whose call returns within limit (all of them
// together); true when none is left. The ones left still run and must not
// outlive the process's normal end: the caller leaves at once (LeaveNow).
bool JoinAll(std::chrono::milliseconds limit);
// How many kept threads have not been joined.
int Count();
// Ends the process with code without running the program's destructors,
// which a thread still in a call could be using.
[[noreturn]] void LeaveNow(int code);

}  // namespace parvane::stragglers
