#include "platform/service/UserUnits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/service/Process.h"

namespace plat::svc {

namespace {

std::string Join(const std::vector<std::string>& words, const char* separator) {
    std::string out;
    for (const auto& w : words) {
        if (!out.empty()) out += separator;
        out += w;
    }
    return out;
}

}  // namespace

std::string UserDataHome() {
    // Registrations need an absolute folder: a relative one would land
    // wherever the registering program happens to run.
    std::string dir = plat::UserDataHome();
    return !dir.empty() && dir[0] == '/' ? dir : std::string();
}

std::string UserUnitDir() {
    std::string d = UserDataHome();
    return d.empty() ? d : d + "/systemd/user";
}
std::string DBusServiceDir() {
    std::string d = UserDataHome();
    return d.empty() ? d : d + "/dbus-1/services";
}
std::string DBusInterfaceDir() {
    std::string d = UserDataHome();
    return d.empty() ? d : d + "/dbus-1/interfaces";
}

std::string QuoteUnitWord(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '%': out += "%%"; break;
            case '$': out += "$$"; break;
            default: out += c; break;
        }
    }
    return out + "\"";
}

std::string UserUnitText(const UserUnit& unit) {
    std::string text = "[Unit]\nDescription=" + unit.description + "\n";
    if (!unit.after.empty()) text += "After=" + Join(unit.after, " ") + "\n";
    if (!unit.wants.empty()) text += "Wants=" + Join(unit.wants, " ") + "\n";
    if (unit.startLimitIntervalSec) text += "StartLimitIntervalSec=" + std::to_string(unit.startLimitIntervalSec) + "\n";
    if (unit.startLimitBurst) text += "StartLimitBurst=" + std::to_string(unit.startLimitBurst) + "\n";
    text += "\n[Service]\nType=" + unit.type + "\n";
    std::vector<std::string> quoted;
    for (const auto& w : unit.exec) quoted.push_back(QuoteUnitWord(w));
    text += "ExecStart=" + Join(quoted, " ") + "\n";
    if (!unit.restart.empty()) text += "Restart=" + unit.restart + "\n";
    text += "\n[Install]\nWantedBy=default.target\n";
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    size_t slash = path.find_last_of('/');
    if (path.empty() || path[0] != '/' || slash == std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (slash > 0 && !CreateDirectoryRecursive(ToUtf16(path.substr(0, slash)))) return false;
    std::string temp = path + ".new";
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == text.size() && ::fsync(fd) == 0;
    int err = errno;
    ::close(fd);
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        SetLastErrorFromErrno(err ? err : EIO);
    }
    return ok;
}

bool RemoveOwnFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool UserManagerAnswers() {
    int code = -1;
    return SUCCEEDED(RunProcess({"systemctl", "--user", "show-environment"}, 5000, &code, true)) && code == 0;
}

HRESULT UserSystemctl(const std::vector<std::string>& args, DWORD timeoutMs) {
    std::vector<std::string> argv{"systemctl", "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    int code = -1;
    HRESULT hr = RunProcess(argv, timeoutMs, &code);
    if (FAILED(hr)) return hr;
    return code == 0 ? S_OK : E_FAIL;
}

}  // namespace plat::svc
