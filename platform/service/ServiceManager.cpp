#include "platform/service/ServiceManager.h"

#include <signal.h>
#include <syslog.h>
#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace plat::svc {

namespace {
std::mutex g_logMutex;
std::string g_ident;
bool g_syslog = false;
}  // namespace

bool StartedByServiceManager() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    return socket && *socket;
}

bool NotifyServiceManager(const std::string& state) {
    if (!StartedByServiceManager()) return false;
    return sd_notify(0, state.c_str()) > 0;
}

void EventLog::Open(const std::string& ident, bool toSyslog) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_syslog) closelog();
    g_ident = ident;
    g_syslog = toSyslog;
    if (g_syslog) openlog(g_ident.c_str(), LOG_PID, LOG_DAEMON);
}

void EventLog::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_syslog) {
        syslog(LOG_INFO, "%s", line.c_str());
    } else {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

StopRequests::StopRequests() : m_signals{SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2} {}

bool StopRequests::TryAcquire() {
    if (!m_signals.TryAcquire()) return false;
    switch (m_signals.LastSignal()) {
        case SIGTERM:
        case SIGINT:
        case SIGHUP:
            m_kind = Kind::Stop;
            break;
        default:
            m_kind = Kind::Unknown;
            break;
    }
    return true;
}

StopRequests::Kind StopRequests::Poll() { return TryAcquire() ? m_kind : Kind::None; }

bool StopRequests::WaitForStop(DWORD timeoutMs, int* others) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return false;
        const DWORD which = WaitAny({this}, static_cast<DWORD>(left));
        if (which == WAIT_TIMEOUT) return false;
        if (which != WAIT_OBJECT_0) {
            // No descriptor to wait on: the time passes all the same.
            std::this_thread::sleep_until(end);
            return false;
        }
        if (m_kind == Kind::Stop) return true;
        if (others) ++*others;
    }
}

}  // namespace plat::svc
