#pragma once
// No exception may end the process from a thread or a call handler: what
// escapes a thread's procedure or a bus call is caught at that edge, reported
// with the thread's or method's name and turned into an HRESULT.
#include <string_view>

#include "platform/core/HResult.h"

namespace plat {

// Receives every escaped exception: `kind` says where it escaped ("thread",
// "bus call"), `name` names the thread or the method, `what` is the
// exception's own text. Must not throw.
using ExceptionSink = void (*)(std::string_view kind, std::string_view name, std::string_view what, HRESULT hr);

// Sends reports to `sink` from now on; nullptr goes back to standard error.
// The engine's error log installs itself here once it exists.
void SetExceptionSink(ExceptionSink sink);

// Call inside a catch block: reports the exception being handled and returns
// E_OUTOFMEMORY for std::bad_alloc, E_FAIL otherwise.
HRESULT ReportCurrentException(std::string_view kind, std::string_view name) noexcept;

}  // namespace plat
