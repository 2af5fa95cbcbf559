#include "platform/driver/DeviceServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/LastError.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/ObjectNames.h"
#include "platform/driver/SocketIo.h"

namespace plat::drv {

namespace {

constexpr DWORD kReplyTimeoutMs = 1000;

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

// True when some server accepts connections on the socket.
bool SomeoneServes(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr = AddressOf(path);
    bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return answered;
}

}  // namespace

DeviceServer::~DeviceServer() { Close(); }

bool DeviceServer::Create(std::u16string_view devicePath) {
    Close();
    std::string path;
    if (!DeviceSocketPath(devicePath, &path)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || SomeoneServes(path)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        ::unlink(path.c_str());  // left over from a driver that did not end cleanly
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    // The socket is made ready under a name of its own and then renamed into
    // place, so a client that sees the device's name can always connect.
    std::string staging = path + "." + std::to_string(::getpid());
    if (staging.size() >= sizeof(sockaddr_un{}.sun_path)) staging = path;
    ::unlink(staging.c_str());
    sockaddr_un addr = AddressOf(staging);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) < 0 ||
        ::chmod(staging.c_str(), 0600) < 0 || ::listen(fd, 4) < 0 ||
        (staging != path && ::rename(staging.c_str(), path.c_str()) < 0)) {
        int err = errno;
        ::close(fd);
        ::unlink(staging.c_str());
        SetLastErrorFromErrno(err);
        return false;
    }
    m_listenFd = fd;
    m_path = std::move(path);
    return true;
}

void DeviceServer::Drop(Handler& handler) {
    if (m_clientFd < 0) return;
    ::close(m_clientFd);
    m_clientFd = -1;
    m_wordBytes = 0;
    handler.OnClose();
}

bool DeviceServer::Serve(Handler& handler, Waitable& stop) {
    if (m_listenFd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    for (;;) {
        pollfd fds[3] = {{stop.WaitFd(), POLLIN, 0}, {m_listenFd, POLLIN, 0}, {m_clientFd, POLLIN, 0}};
        int n = ::poll(fds, m_clientFd >= 0 ? 3 : 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            Drop(handler);
            return false;
        }
        if ((fds[0].revents & POLLIN) && stop.TryAcquire()) {
            Drop(handler);
            return true;
        }
        if (m_clientFd >= 0 && fds[2].revents) {
            ssize_t got = ::recv(m_clientFd, m_word + m_wordBytes, sizeof(m_word) - m_wordBytes, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                Drop(handler);
            } else if (got > 0) {
                m_wordBytes += static_cast<size_t>(got);
                if (m_wordBytes == sizeof(m_word)) {
                    m_wordBytes = 0;
                    const DWORD code = ReadLe32(m_word);
                    const DWORD answer = handler.OnControl(code);
                    const int passed = answer == ERROR_SUCCESS ? handler.DescriptorFor(code) : -1;
                    const bool sent = passed >= 0
                                          ? io::SendWordWithDescriptor(m_clientFd, answer, passed, kReplyTimeoutMs)
                                          : io::SendWord(m_clientFd, answer, kReplyTimeoutMs);
                    if (!sent) Drop(handler);
                }
            }
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                if (m_clientFd >= 0) {
                    (void)io::SendWord(fd, ERROR_SHARING_VIOLATION, kReplyTimeoutMs);
                    ::close(fd);
                } else if (io::SendWord(fd, ERROR_SUCCESS, kReplyTimeoutMs)) {
                    m_clientFd = fd;
                    m_wordBytes = 0;
                    handler.OnOpen();
                } else {
                    ::close(fd);
                }
            }
        }
    }
}

void DeviceServer::Close() {
    if (m_clientFd >= 0) {
        ::close(m_clientFd);
        m_clientFd = -1;
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        ::unlink(m_path.c_str());
    }
    m_path.clear();
}

}  // namespace plat::drv
