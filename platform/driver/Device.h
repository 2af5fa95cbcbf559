#pragma once
// The client side of a driver device ("\\.\NAME"): a connection to the
// device's socket. Opening is exclusive: while one client holds the device,
// another is refused with ERROR_SHARING_VIOLATION. A control code travels as
// a little-endian 32-bit word; the answer is a 32-bit Win32 error (0 = done).
#include <atomic>
#include <memory>
#include <string_view>

#include "platform/core/WinTypes.h"

namespace plat::drv {

class Device {
public:
    static constexpr DWORD kOpenTimeoutMs = 2000;
    static constexpr DWORD kControlTimeoutMs = 5000;

    // Opens the device; null with the last error set (ERROR_FILE_NOT_FOUND when
    // no driver serves it, ERROR_SHARING_VIOLATION when it is in use).
    static std::unique_ptr<Device> Open(std::u16string_view devicePath);

    explicit Device(int connectedFd) : m_fd(connectedFd) {}
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Sends a control code without buffers and waits for the answer. False
    // with the last error set to the driver's answer or the transport failure.
    bool IoControl(DWORD code);
    // The same for a code whose answer may bring a descriptor: *passed gets
    // it (the caller owns it), or -1 when none came or the call failed.
    bool IoControl(DWORD code, int* passed);

    // Sends a last control code without waiting for the answer and closes the
    // connection. Safe from any thread and from a signal handler; a second
    // call, or any later call, does nothing.
    void CloseWithControl(DWORD code);
    // The same for a bare connection descriptor (which it closes), for a
    // caller that took the descriptor over with Release.
    static void CloseWithControl(int fd, DWORD code);
    // Gives up the connection without closing it: the descriptor, or -1 when
    // there is none. Every later call finds the device closed.
    int Release() { return m_fd.exchange(-1); }

    bool IsOpen() const { return m_fd.load() >= 0; }
    // The socket, for traces.
    int NativeHandle() const { return m_fd.load(); }

private:
    std::atomic<int> m_fd;
};

}  // namespace plat::drv
