#pragma once
// The serving side of a driver device: the socket that Device::Open connects
// to. One client holds the device at a time; a second one is greeted with
// ERROR_SHARING_VIOLATION and disconnected. Control codes are handed to a
// handler on the serving thread, one at a time.
#include <string>
#include <string_view>

#include "platform/core/Sync.h"
#include "platform/core/WinTypes.h"

namespace plat::drv {

class DeviceServer {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        // A client has opened the device.
        virtual void OnOpen() {}
        // A control code from the client; returns the Win32 error to answer (0 = done).
        virtual DWORD OnControl(DWORD code) = 0;
        // A descriptor to hand to the client with the success answer to this
        // code (it stays the handler's), or -1 for none.
        virtual int DescriptorFor(DWORD code) { return -1; }
        // The client has closed the device (or was disconnected at the end of serving).
        virtual void OnClose() {}
    };

    DeviceServer() = default;
    // Removes the socket file of a created device.
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Creates the device's socket (mode 0600). A leftover socket that nobody
    // serves is replaced; one that another server answers on is not
    // (ERROR_ALREADY_EXISTS). False with the last error set.
    bool Create(std::u16string_view devicePath);
    // Serves clients until `stop` is signalled. False with the last error set
    // when serving cannot go on (the device stays created).
    bool Serve(Handler& handler, Waitable& stop);
    // Closes the socket and removes its file.
    void Close();

    const std::string& SocketPath() const { return m_path; }

private:
    void Drop(Handler& handler);

    int m_listenFd = -1;
    int m_clientFd = -1;
    BYTE m_word[4] = {};      // a control code as it comes in
    size_t m_wordBytes = 0;
    std::string m_path;
};

}  // namespace plat::drv
