#include "platform/driver/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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

// Sends all bytes. When `first` is given, the first attempt is its sendmsg
// (its data being these bytes), so what it carries besides goes with the
// first bytes sent.
bool SendBytes(int fd, const char* p, size_t bytes, SteadyClock::time_point deadline, const msghdr* first) {
    while (bytes > 0) {
        ssize_t n = first ? ::sendmsg(fd, first, MSG_NOSIGNAL | MSG_DONTWAIT)
                          : ::send(fd, p, bytes, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            bytes -= static_cast<size_t>(n);
            first = nullptr;
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

}  // namespace

bool SendAll(int fd, const void* data, size_t bytes, DWORD timeoutMs) {
    return SendBytes(fd, static_cast<const char*>(data), bytes, DeadlineIn(timeoutMs), nullptr);
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

bool SendWordWithDescriptor(int fd, DWORD value, int passed, DWORD timeoutMs) {
    BYTE bytes[4];
    WriteLe32(bytes, value);
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec iov{bytes, sizeof(bytes)};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
    cmsg->cmsg_level = SOL_SOCKET;
    cmsg->cmsg_type = SCM_RIGHTS;
    cmsg->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(cmsg), &passed, sizeof(int));
    return SendBytes(fd, reinterpret_cast<const char*>(bytes), sizeof(bytes), DeadlineIn(timeoutMs), &msg);
}

bool ReceiveWordWithDescriptor(int fd, DWORD* value, int* passed, DWORD timeoutMs) {
    *passed = -1;
    auto deadline = DeadlineIn(timeoutMs);
    BYTE bytes[4];
    size_t got = 0;
    auto fail = [&](DWORD error) {
        if (*passed >= 0) ::close(*passed);
        *passed = -1;
        SetLastError(error);
        return false;
    };
    while (got < sizeof(bytes)) {
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        iovec iov{bytes + got, sizeof(bytes) - got};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n > 0) {
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
                const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (size_t i = 0; i < count; ++i) {
                    int received = -1;
                    std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                    if (*passed < 0) *passed = received;
                    else ::close(received);
                }
            }
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return fail(ERROR_BROKEN_PIPE);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, deadline)) return fail(GetLastError());
            continue;
        }
        return fail(SetLastErrorFromErrno());
    }
    *value = ReadLe32(bytes);
    return true;
}

}  // namespace plat::drv::io
