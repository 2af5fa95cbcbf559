#include "platform/driver/Device.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/core/LastError.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/SocketIo.h"

namespace plat::drv {

std::unique_ptr<Device> Device::Open(std::u16string_view devicePath) {
    std::string path;
    if (!DeviceSocketPath(devicePath, &path)) return nullptr;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    auto device = std::make_unique<Device>(fd);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        // No socket, or a socket nobody serves: there is no such device.
        if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) SetLastError(ERROR_FILE_NOT_FOUND);
        else SetLastErrorFromErrno();
        return nullptr;
    }
    // The driver greets each connection with 0 (the device is ours) or with
    // the error that refuses it.
    DWORD greeting = 0;
    if (!io::ReceiveWord(fd, &greeting, kOpenTimeoutMs)) {
        if (GetLastError() == ERROR_BROKEN_PIPE) SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (greeting != ERROR_SUCCESS) {
        SetLastError(greeting);
        return nullptr;
    }
    return device;
}

Device::~Device() {
    int fd = m_fd.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool Device::IoControl(DWORD code) {
    int fd = m_fd.load();
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD answer = 0;
    if (!io::SendWord(fd, code, kControlTimeoutMs) || !io::ReceiveWord(fd, &answer, kControlTimeoutMs)) return false;
    if (answer != ERROR_SUCCESS) {
        SetLastError(answer);
        return false;
    }
    return true;
}

bool Device::IoControl(DWORD code, int* passed) {
    *passed = -1;
    int fd = m_fd.load();
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD answer = 0;
    if (!io::SendWord(fd, code, kControlTimeoutMs) ||
        !io::ReceiveWordWithDescriptor(fd, &answer, passed, kControlTimeoutMs))
        return false;
    if (answer != ERROR_SUCCESS) {
        if (*passed >= 0) ::close(*passed);
        *passed = -1;
        SetLastError(answer);
        return false;
    }
    return true;
}

void Device::CloseWithControl(DWORD code) { CloseWithControl(m_fd.exchange(-1), code); }

void Device::CloseWithControl(int fd, DWORD code) {
    if (fd < 0) return;
    BYTE bytes[4];
    WriteLe32(bytes, code);
    // Only calls that are safe in a signal handler.
    (void)::send(fd, bytes, sizeof(bytes), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

}  // namespace plat::drv
