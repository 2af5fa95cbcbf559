#pragma once
// The daemon's side of the service manager. Under systemd (NOTIFY_SOCKET set)
// the daemon reports its state through sd_notify and logs to syslog; started
// any other way it runs in the foreground and prints its log lines. Stop
// requests arrive as signals, read from a descriptor so that the main loop can
// wait for them together with its other events.
#include <string>

#include "platform/core/Sync.h"
#include "platform/service/SignalWaitable.h"

namespace plat::svc {

// True when a service manager started this process and waits for its reports.
bool StartedByServiceManager();
// Sends one report ("READY=1", "STATUS=...", "STOPPING=1"). False when no
// service manager listens or the report could not be sent.
bool NotifyServiceManager(const std::string& state);

// The event log: syslog under the service manager, standard output otherwise.
class EventLog {
public:
    // ident names the source (kept for the life of the process).
    static void Open(const std::string& ident, bool toSyslog);
    static void Write(const std::string& line);
};

// SIGTERM, SIGINT and SIGHUP ask for a stop; SIGUSR1 and SIGUSR2 are requests
// the daemon does not serve. All of them are blocked in the calling thread and
// every thread it starts afterwards (construct before the first thread).
class StopRequests : public Waitable {
public:
    enum class Kind { None, Stop, Unknown };
    StopRequests();
    bool IsValid() const { return m_signals.IsValid(); }
    int WaitFd() const override { return m_signals.WaitFd(); }
    bool TryAcquire() override;
    // What the last acquired signal asked for, and its number.
    Kind LastKind() const { return m_kind; }
    int LastSignal() const { return m_signals.LastSignal(); }
    // Takes a pending request without waiting; Kind::None when there is none.
    Kind Poll();
    // Waits up to timeoutMs for a stop request and takes it: true when one
    // came. Other requests met on the way are taken and counted in *others;
    // the wait goes on for the rest of the time.
    bool WaitForStop(DWORD timeoutMs, int* others = nullptr);

private:
    SignalWaitable m_signals;
    Kind m_kind = Kind::None;
};

}  // namespace plat::svc
