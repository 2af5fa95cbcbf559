#include "platform/service/ServiceManager.h"

#include <signal.h>
#include <syslog.h>
#include <systemd/sd-daemon.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

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

}  // namespace plat::svc
