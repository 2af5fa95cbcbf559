#include "platform/service/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

extern char** environ;

namespace plat::svc {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

int OpenPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Waits for the pid's descriptor to poll readable (the process ended).
bool PollEnd(int pidfd, DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int waitMs = -1;
        if (timeoutMs != INFINITE) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{pidfd, POLLIN, 0};
        int r = ::poll(&p, 1, waitMs);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

// The program of argv[0] found, and the arguments ready for exec.
struct Argv {
    explicit Argv(const std::vector<std::string>& args, const std::string& path) : m_args(args) {
        m_args[0] = path;
        for (auto& a : m_args) m_ptrs.push_back(a.data());
        m_ptrs.push_back(nullptr);
    }
    char** Get() { return m_ptrs.data(); }
    std::vector<std::string> m_args;
    std::vector<char*> m_ptrs;
};

HRESULT Resolve(const std::vector<std::string>& argv, std::unique_ptr<Argv>* out);

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    std::string own = ToUtf8(GetModuleDir());
    if (!own.empty() && IsExecutableFile(own + name)) return own + name;
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string dir = list.substr(start, end - start);
        if (!dir.empty() && dir[0] == '/') {
            std::string candidate = dir + "/" + name;
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

namespace {

HRESULT Resolve(const std::vector<std::string>& argv, std::unique_ptr<Argv>* out) {
    if (argv.empty()) return E_INVALIDARG;
    std::string path = FindProgram(argv[0]);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    *out = std::make_unique<Argv>(argv, path);
    return S_OK;
}

}  // namespace

HRESULT RunProcess(const std::vector<std::string>& argv, DWORD timeoutMs, int* exitCode, bool quiet) {
    std::unique_ptr<Argv> resolved;
    if (HRESULT hr = Resolve(argv, &resolved); FAILED(hr)) return hr;
    Argv& args = *resolved;
    const std::string& path = args.m_args[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    // The helper gets the default signal mask, whatever this process blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, args.Get(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastErrorFromErrno(rc);
        return HResultFromLastError();
    }
    int pidfd = OpenPidFd(pid);
    bool ended = pidfd < 0 || PollEnd(pidfd, timeoutMs);
    if (pidfd >= 0) ::close(pidfd);
    if (!ended) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) {
        SetLastError(ERROR_TIMEOUT);
        return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return S_OK;
}

HRESULT StartDetached(const std::vector<std::string>& argv, DetachedProcess* owned) {
    std::unique_ptr<Argv> resolved;
    if (HRESULT hr = Resolve(argv, &resolved); FAILED(hr)) return hr;
    Argv& args = *resolved;
    // The middle child hands back the started program's id and a pidfd it
    // opened while the program was still its own child: opened any later, the
    // program might have ended and its id been given to another process.
    int ids[2] = {-1, -1};
    if (owned && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ids) != 0) {
        SetLastErrorFromErrno(errno);
        return HResultFromLastError();
    }
    // Everything the children use is made before the fork: between fork and
    // exec only async-signal-safe calls are allowed in a threaded process.
    sigset_t none;
    sigemptyset(&none);
    pid_t started = 0;
    iovec payload{&started, sizeof(started)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    pid_t middle = ::fork();
    if (middle < 0) {
        int err = errno;
        if (owned) {
            ::close(ids[0]);
            ::close(ids[1]);
        }
        SetLastErrorFromErrno(err);
        return HResultFromLastError();
    }
    if (middle == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(args.Get()[0], args.Get(), environ);
            ::_exit(127);
        }
        if (grandchild > 0 && ids[1] >= 0) {
            // Until this process ends, the grandchild (even ended) is not reaped.
            const int pidfd = OpenPidFd(grandchild);
            started = grandchild;
            if (pidfd >= 0) {
                cmsghdr* c = CMSG_FIRSTHDR(&message);
                c->cmsg_level = SOL_SOCKET;
                c->cmsg_type = SCM_RIGHTS;
                c->cmsg_len = CMSG_LEN(sizeof(int));
                std::memcpy(CMSG_DATA(c), &pidfd, sizeof(int));
            } else {
                message.msg_control = nullptr;
                message.msg_controllen = 0;
            }
            (void)!::sendmsg(ids[1], &message, MSG_NOSIGNAL);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int startedFd = -1;
    if (owned) {
        ::close(ids[1]);
        ssize_t n;
        while ((n = ::recvmsg(ids[0], &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
        }
        for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&message) : nullptr; c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len == CMSG_LEN(sizeof(int)))
                std::memcpy(&startedFd, CMSG_DATA(c), sizeof(int));
        }
        if (n != static_cast<ssize_t>(sizeof(started))) started = 0;
        ::close(ids[0]);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (startedFd >= 0) ::close(startedFd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_FAIL;
    }
    // Without a descriptor the program runs on but is not held (IsHeld).
    if (owned && started > 0 && startedFd >= 0) {
        owned->Adopt(started, startedFd);
    } else if (startedFd >= 0) {
        ::close(startedFd);
    }
    return S_OK;
}

DetachedProcess::~DetachedProcess() {
    if (m_pidfd >= 0) ::close(m_pidfd);
}

void DetachedProcess::Adopt(pid_t pid, int pidfd) {
    if (m_pidfd >= 0) ::close(m_pidfd);
    m_pidfd = pidfd;
    m_pid = m_pidfd >= 0 ? pid : 0;
}

bool DetachedProcess::End(DWORD timeoutMs) {
    if (m_pidfd < 0) return true;
    // Through the descriptor: a signal never reaches another process that
    // was given the same id after this one ended.
    ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGTERM, nullptr, 0);
    bool ended = PollEnd(m_pidfd, timeoutMs);
    if (!ended) {
        ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0);
        ended = PollEnd(m_pidfd, 5000);
    }
    ::close(m_pidfd);
    m_pidfd = -1;
    m_pid = 0;
    return ended;
}

bool WaitForProcessEnd(pid_t pid, DWORD timeoutMs) {
    if (pid <= 0) return true;
    int pidfd = OpenPidFd(pid);
    if (pidfd < 0) return errno == ESRCH;
    bool ended = PollEnd(pidfd, timeoutMs);
    ::close(pidfd);
    return ended;
}

}  // namespace plat::svc
