#pragma once
// Starting other programs: a helper run to its end within a time limit, or a
// program left running on its own.
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/core/HResult.h"

namespace plat::svc {

// The full path of a program given by name: the running program's own folder
// first, then PATH. A name holding a "/" is taken as it stands. Empty when
// nothing executable is found.
std::string FindProgram(const std::string& name);

// Runs argv (argv[0] found by FindProgram) with the inherited environment and
// waits up to timeoutMs for its end. S_OK with its exit status in *exitCode
// (128 + the signal when a signal ended it). A program still running at the
// limit is killed and reaped: HRESULT_FROM_WIN32(ERROR_TIMEOUT).
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the program is not found.
// quiet sends its output to /dev/null.
HRESULT RunProcess(const std::vector<std::string>& argv, DWORD timeoutMs, int* exitCode, bool quiet = false);

// Starts argv (argv[0] found by FindProgram) in a session of its own, detached
// from this process (nobody needs to reap it). Its output goes to /dev/null.
HRESULT StartDetached(const std::vector<std::string>& argv);

// Waits up to timeoutMs for the process pid (not necessarily a child) to end.
// True when it has ended (or never existed).
bool WaitForProcessEnd(pid_t pid, DWORD timeoutMs);

}  // namespace plat::svc
