#include "platform/driver/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "platform/core/LastError.h"
#include "platform/driver/DriverProtocol.h"

namespace plat::drv::io {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits until the socket is ready for the given events or the deadline passes.
bool WaitReady(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left < 0) left = 0;
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n == 0) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        if (errno != EINTR) {
            SetLastErrorFromErrno();
            return false;
        }
    }
}

SteadyClock::time_point DeadlineIn(DWORD timeoutMs) { return SteadyClock::now() + std::chrono::milliseconds(timeoutMs); }

}  // namespace

bool SendAll(int fd, const void* data, size_t bytes, DWORD timeoutMs) {
    auto deadline = DeadlineIn(timeoutMs);
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = ::send(fd, p, bytes, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            bytes -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, deadline)) return false;
            continue;
        }
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) SetLastError(ERROR_BROKEN_PIPE);
        else SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool ReceiveAll(int fd, void* data, size_t bytes, DWORD timeoutMs) {
    auto deadline = DeadlineIn(timeoutMs);
    char* p = static_cast<char*>(data);
    while (bytes > 0) {
        ssize_t n = ::recv(fd, p, bytes, MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            bytes -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            SetLastError(ERROR_BROKEN_PIPE);
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, deadline)) return false;
            continue;
        }
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool SendWord(int fd, DWORD value, DWORD timeoutMs) {
    BYTE bytes[4];
    WriteLe32(bytes, value);
    return SendAll(fd, bytes, sizeof(bytes), timeoutMs);
}

bool ReceiveWord(int fd, DWORD* value, DWORD timeoutMs) {
    BYTE bytes[4];
    if (!ReceiveAll(fd, bytes, sizeof(bytes), timeoutMs)) return false;
    *value = ReadLe32(bytes);
    return true;
}

}  // namespace plat::drv::io
