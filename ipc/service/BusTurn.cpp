#include "ipc/service/BusTurn.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include <sdbus-c++/Error.h>

#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"

namespace ipc {

BusTurn::BusTurn(sdbus::IConnection& connection) : m_connection(connection) {
    if (!m_wake.IsValid()) throw std::system_error(EMFILE, std::generic_category(), "the bus's wake-up event");
}

void BusTurn::OnLost(const char* what, const std::string& why) {
    // The bus has gone: no more calls, answers or signals on this connection.
    plat::OutputDebugString(plat::ToUtf16(std::string("The bus connection was lost (") + what + "): " + why + "\n"));
    m_lost.Set();
    m_stopped = true;
}

CallPool::Turn::Step BusTurn::Dispatch() {
    if (m_stopped) return Step::Ended;
    std::lock_guard lock(m_use);
    try {
        return m_connection.processPendingRequest() ? Step::Dispatched : Step::Nothing;
    } catch (const sdbus::Error& e) {
        OnLost("dispatch", e.getMessage());
        return Step::Ended;
    }
}

bool BusTurn::Wait() {
    if (m_stopped) return false;
    sdbus::IConnection::PollData data{};
    int timeoutMs = -1;
    try {
        std::lock_guard lock(m_use);
        data = m_connection.getEventLoopPollData();
        if (auto relative = data.getRelativeTimeout()) {
            // Rounded up: a wait that ends early only turns once more for nothing.
            timeoutMs = static_cast<int>(std::clamp<int64_t>((relative->count() + 999) / 1000, 0, 60'000));
        }
    } catch (const sdbus::Error& e) {
        OnLost("poll data", e.getMessage());
        return false;
    }
    pollfd fds[2] = {{data.fd, data.events, 0}, {m_wake.WaitFd(), POLLIN, 0}};
    const int n = poll(fds, 2, timeoutMs);
    if (n < 0 && errno != EINTR) {
        OnLost("poll", std::strerror(errno));
        return false;
    }
    if (n > 0 && (fds[0].revents & POLLNVAL)) {
        OnLost("poll", "the descriptor was closed");
        return false;
    }
    if (n > 0 && (fds[1].revents & POLLIN)) m_wake.TryAcquire();
    return !m_stopped;
}

void BusTurn::Wake() { m_wake.Set(); }

void BusTurn::Stop() {
    m_stopped = true;
    Wake();
}

}  // namespace ipc
