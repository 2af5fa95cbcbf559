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

// A program started on its own that its starter ends when it is done with it.
class DetachedProcess {
public:
    DetachedProcess() = default;
    ~DetachedProcess();
    DetachedProcess(const DetachedProcess&) = delete;
    DetachedProcess& operator=(const DetachedProcess&) = delete;

    bool IsHeld() const { return m_pidfd >= 0; }
    pid_t Pid() const { return m_pid; }
    // Takes over pidfd, a descriptor of the process pid.
    void Adopt(pid_t pid, int pidfd);
    // Asks it to stop (SIGTERM), waits up to timeoutMs, then kills it. True
    // when it has ended (or none is held).
    bool End(DWORD timeoutMs);

private:
    int m_pidfd = -1;
    pid_t m_pid = 0;
};

// Starts argv (argv[0] found by FindProgram) in a session of its own, detached
// from this process (nobody needs to reap it). Its output goes to /dev/null.
// With owned, the started program is held there so that it can be ended.
HRESULT StartDetached(const std::vector<std::string>& argv, DetachedProcess* owned = nullptr);

// Waits up to timeoutMs for the process pid (not necessarily a child) to end.
// True when it has ended (or never existed).
bool WaitForProcessEnd(pid_t pid, DWORD timeoutMs);

}  // namespace plat::svc
