#include "platform/service/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/core/LastError.h"

namespace plat::svc {

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string InstanceLock::PathFor(const std::string& runtimeDir, const std::string& program) {
    const std::string name = runtimeDir == "/tmp" ? program + "-" + std::to_string(::getuid()) + ".lock" : program + ".lock";
    return runtimeDir + "/" + name;
}

HRESULT InstanceLock::Take(const std::string& path) {
    if (m_fd >= 0) return S_OK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return HResultFromLastError();
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        SetLastError(ERROR_ALREADY_EXISTS);
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    m_fd = fd;
    return S_OK;
}

bool InstanceLock::IsHeld(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    // The kernel's list of held locks: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF",
    // the file named by its device (major:minor, hexadecimal) and inode. Waiters'
    // lines carry "->" after the number and hold nothing.
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::string number, kind, mode, access, pid, file;
        if (!(words >> number >> kind >> mode >> access >> pid >> file)) continue;
        if (kind != "FLOCK" || access != "WRITE") continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino) return true;
    }
    return false;
}

}  // namespace plat::svc
