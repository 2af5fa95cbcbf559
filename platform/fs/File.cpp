#include "platform/fs/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/core/Text.h"

namespace plat {

namespace {

std::string Os(const std::u16string& path) { return ToUtf8(path); }

bool Fail() {
    SetLastErrorFromErrno();
    return false;
}

enum class Direction { In, Out };

// Moves 'size' bytes by repeated calls of 'step' (one read or write of the
// bytes from 'at' onwards), going on after an interruption or a partial
// transfer. Reading stops early, successfully, at the end of the file;
// writing that takes nothing is a full disk. *done: the bytes moved, also
// on failure.
template <class Step>
bool Transfer(int fd, uint32_t size, Direction direction, uint32_t* done, Step step) {
    if (done) *done = 0;
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    uint32_t total = 0;
    while (total < size) {
        ssize_t r = step(total);
        if (r < 0) {
            if (errno == EINTR) continue;
            if (done) *done = total;
            return Fail();
        }
        if (r == 0) {
            if (direction == Direction::In) break;
            if (done) *done = total;
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        total += static_cast<uint32_t>(r);
    }
    if (done) *done = total;
    return true;
}

}  // namespace

File::File(File&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        Close();
        m_fd = std::exchange(o.m_fd, -1);
    }
    return *this;
}

bool File::Open(const std::u16string& path, FileAccess access, FileCreation creation, unsigned share,
                FileVisibility visibility) {
    Close();
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    int flags = O_CLOEXEC;
    switch (access) {
        case FileAccess::Read: flags |= O_RDONLY; break;
        case FileAccess::Write: flags |= O_WRONLY; break;
        case FileAccess::ReadWrite: flags |= O_RDWR; break;
    }
    switch (creation) {
        case FileCreation::CreateAlways: flags |= O_CREAT; break;  // truncated once the lock is held
        case FileCreation::CreateNew: flags |= O_CREAT | O_EXCL; break;
        case FileCreation::OpenExisting: break;
        case FileCreation::OpenAlways: flags |= O_CREAT; break;
        case FileCreation::TruncateExisting: break;
    }
    std::string p = Os(path);
    int fd = ::open(p.c_str(), flags, visibility == FileVisibility::Private ? 0600 : 0666);
    if (fd < 0) {
        int err = errno;
        if (err == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return false;
        }
        // A missing folder on the way is a missing path, not a missing file.
        if (err == ENOENT && creation != FileCreation::OpenExisting && creation != FileCreation::TruncateExisting) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        if (err == ENOENT) {
            std::u16string dir = DirName(path);
            if (!dir.empty() && !IsDirectory(dir)) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return false;
            }
        }
        SetLastErrorFromErrno(err);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    int lockOp = (share == ShareNone ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, lockOp) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) SetLastError(ERROR_SHARING_VIOLATION);
        else SetLastErrorFromErrno(err);
        return false;
    }
    if ((creation == FileCreation::CreateAlways || creation == FileCreation::TruncateExisting) &&
        access != FileAccess::Read && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        SetLastErrorFromErrno(err);
        return false;
    }
    m_fd = fd;
    return true;
}

std::u16string File::ReopenPath() const { return ToUtf16("/proc/self/fd/" + std::to_string(m_fd)); }

bool File::OpenUnnamed(const std::u16string& folder, FileVisibility visibility) {
    Close();
    const int fd = ::open(Os(folder).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC,
                          visibility == FileVisibility::Private ? 0600 : 0666);
    if (fd < 0) {
        const int err = errno;
        // Kernels and file systems without unnamed files answer these.
        if (err == EOPNOTSUPP || err == EISDIR || err == EINVAL) SetLastError(ERROR_NOT_SUPPORTED);
        else if (err == ENOENT || err == ENOTDIR) SetLastError(ERROR_PATH_NOT_FOUND);
        else SetLastErrorFromErrno(err);
        return false;
    }
    m_fd = fd;
    if (::access(Os(ReopenPath()).c_str(), F_OK) != 0) {
        Close();
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    return true;
}

bool File::Link(const std::u16string& path) {
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (::linkat(AT_FDCWD, Os(ReopenPath()).c_str(), AT_FDCWD, Os(path).c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) {
        SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    return Fail();
}

bool File::IsNamed(const std::u16string& path) const {
    struct stat mine, named;
    if (m_fd < 0 || ::fstat(m_fd, &mine) != 0 || ::lstat(Os(path).c_str(), &named) != 0) return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

void File::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool File::Read(void* buffer, uint32_t size, uint32_t* done) {
    auto* p = static_cast<char*>(buffer);
    return Transfer(m_fd, size, Direction::In, done,
                    [&](uint32_t at) { return ::read(m_fd, p + at, size - at); });
}

bool File::Write(const void* buffer, uint32_t size, uint32_t* done) {
    const auto* p = static_cast<const char*>(buffer);
    return Transfer(m_fd, size, Direction::Out, done,
                    [&](uint32_t at) { return ::write(m_fd, p + at, size - at); });
}

bool File::ReadAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
    auto* p = static_cast<char*>(buffer);
    return Transfer(m_fd, size, Direction::In, done, [&](uint32_t at) {
        return ::pread(m_fd, p + at, size - at, static_cast<off_t>(offset + at));
    });
}

bool File::WriteAt(uint64_t offset, const void* buffer, uint32_t size, uint32_t* done) {
    const auto* p = static_cast<const char*>(buffer);
    return Transfer(m_fd, size, Direction::Out, done, [&](uint32_t at) {
        return ::pwrite(m_fd, p + at, size - at, static_cast<off_t>(offset + at));
    });
}

bool File::Seek(int64_t distance, SeekOrigin origin, uint64_t* newPosition) {
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(m_fd, static_cast<off_t>(distance), whence);
    if (r < 0) return Fail();
    if (newPosition) *newPosition = static_cast<uint64_t>(r);
    return true;
}

bool File::Size(uint64_t* size) const {
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return Fail();
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::SetEnd() {
    uint64_t pos = 0;
    if (!Seek(0, SeekOrigin::Current, &pos)) return false;
    if (::ftruncate(m_fd, static_cast<off_t>(pos)) != 0) return Fail();
    return true;
}

bool File::Flush() {
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (::fdatasync(m_fd) != 0) return Fail();
    return true;
}

bool DeleteFile(const std::u16string& path) {
    std::string p = Os(path);
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (::unlink(p.c_str()) != 0) return Fail();
    return true;
}

bool CopyFile(const std::u16string& from, const std::u16string& to, bool failIfExists) {
    File in;
    if (!in.Open(from, FileAccess::Read, FileCreation::OpenExisting, ShareReadWrite)) return false;
    // Copy into a temporary beside the target and rename it over, so that a
    // failed copy never leaves a half-written target.
    if (failIfExists && PathExists(to)) {
        SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    std::u16string tmp = to + u".tqtmp";
    File out;
    if (!out.Open(tmp, FileAccess::Write, FileCreation::CreateAlways, ShareNone)) return false;
    std::vector<char> buf(1 << 16);
    for (;;) {
        uint32_t got = 0;
        if (!in.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got)) {
            DWORD e = GetLastError();
            out.Close();
            ::unlink(Os(tmp).c_str());
            SetLastError(e);
            return false;
        }
        if (got == 0) break;
        if (!out.Write(buf.data(), got, nullptr)) {
            DWORD e = GetLastError();
            out.Close();
            ::unlink(Os(tmp).c_str());
            SetLastError(e);
            return false;
        }
    }
    if (!out.Flush()) {
        DWORD e = GetLastError();
        out.Close();
        ::unlink(Os(tmp).c_str());
        SetLastError(e);
        return false;
    }
    out.Close();
    if (::rename(Os(tmp).c_str(), Os(to).c_str()) != 0) {
        int err = errno;
        ::unlink(Os(tmp).c_str());
        SetLastErrorFromErrno(err);
        return false;
    }
    return true;
}

bool MoveFile(const std::u16string& from, const std::u16string& to) {
    if (::rename(Os(from).c_str(), Os(to).c_str()) != 0) return Fail();
    return true;
}

bool MoveFileNoReplace(const std::u16string& from, const std::u16string& to) {
    const std::string f = Os(from), t = Os(to);
    if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without the flag: a hard link fails on an existing
        // target just the same.
        if (::link(f.c_str(), t.c_str()) != 0) {
            err = errno;
        } else {
            ::unlink(f.c_str());
            return true;
        }
    }
    if (err == EEXIST) {
        SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    SetLastErrorFromErrno(err);
    return false;
}

bool FlushFolderOf(const std::u16string& path) {
    std::u16string dir = DirName(path);
    std::string p = dir.empty() ? std::string(".") : Os(dir);
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail();
    bool ok = ::fsync(fd) == 0;
    int err = errno;
    ::close(fd);
    if (!ok) {
        SetLastErrorFromErrno(err);
        return false;
    }
    return true;
}

bool CreateDirectory(const std::u16string& path) {
    if (::mkdir(Os(path).c_str(), 0700) != 0) return Fail();
    return true;
}

bool RemoveDirectory(const std::u16string& path) {
    if (::rmdir(Os(path).c_str()) != 0) return Fail();
    return true;
}

namespace {

// Deletes 'name' under the open folder parentFd; 'path' is its full path,
// for the failure sink.
bool DeleteTreeAt(int parentFd, const char* name, const std::string& path, const DeleteFailureSink& onFailure) {
    auto failed = [&](bool isFolder) {
        SetLastErrorFromErrno();
        if (onFailure) onFailure(ToUtf16(path), isFolder, GetLastError());
        return false;
    };
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return failed(false);
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentFd, name, 0) != 0) return failed(false);
        return true;
    }
    int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failed(true);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return failed(true);
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    for (const std::string& n : names)
        if (!DeleteTreeAt(::dirfd(dir), n.c_str(), path + "/" + n, onFailure)) ok = false;
    DWORD err = GetLastError();
    ::closedir(dir);
    if (!ok) {
        SetLastError(err);
        if (onFailure) onFailure(ToUtf16(path), true, err);
        return false;
    }
    if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0) return failed(true);
    return true;
}

}  // namespace

bool DeleteFolderRecursive(const std::u16string& path, const DeleteFailureSink& onFailure) {
    std::string p = Os(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) return Fail();
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return DeleteTreeAt(AT_FDCWD, p.c_str(), p, onFailure);
}

bool CreateDirectoryRecursive(const std::u16string& path) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (IsDirectory(path)) return true;
    // Each level in turn, from the top; one that exists already (as a folder
    // or not) is gone past, and the end tells whether the path is a folder.
    for (size_t sep = path.find(kPathSeparator, 1);; sep = path.find(kPathSeparator, sep + 1)) {
        const std::u16string prefix = sep == std::u16string::npos ? path : path.substr(0, sep + 1);
        if (!CreateDirectory(prefix) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        if (sep == std::u16string::npos || sep + 1 >= path.size()) break;
    }
    if (!IsDirectory(path)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return true;
}

bool PathExists(const std::u16string& path) {
    struct stat st;
    return ::stat(Os(path).c_str(), &st) == 0;
}

bool EntryExists(const std::u16string& path) {
    struct stat st;
    return ::lstat(Os(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::u16string& path) {
    struct stat st;
    return ::stat(Os(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::u16string& path) {
    struct stat st;
    return ::stat(Os(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsSymbolicLink(const std::u16string& path) {
    std::string p = Os(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool GetFileSize(const std::u16string& path, uint64_t* size) {
    struct stat st;
    if (::stat(Os(path).c_str(), &st) != 0) return Fail();
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ListDirectory(const std::u16string& path, std::vector<DirEntry>* entries) {
    if (!entries) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    entries->clear();
    std::string p = Os(path);
    DIR* dir = ::opendir(p.c_str());
    if (!dir) return Fail();
    while (dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        DirEntry entry;
        entry.name = ToUtf16(n);
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = static_cast<uint64_t>(st.st_size);
        }
        entries->push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

bool GetDiskFreeSpace(const std::u16string& path, uint64_t* freeBytes, uint64_t* totalBytes) {
    struct statvfs s;
    if (::statvfs(Os(path).c_str(), &s) != 0) return Fail();
    if (freeBytes) *freeBytes = static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
    if (totalBytes) *totalBytes = static_cast<uint64_t>(s.f_blocks) * s.f_frsize;
    return true;
}

std::u16string GetModulePath() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        SetLastErrorFromErrno();
        return std::u16string();
    }
    buf.resize(static_cast<size_t>(n));
    return ToUtf16(buf);
}

std::u16string GetModuleDir() { return DirName(GetModulePath()); }

std::u16string GetTempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    return WithTrailingSeparator(ToUtf16(dir));
}

namespace {

// An XDG base folder: $variable when set, else $HOME/fallback (no trailing
// separator); empty when neither is known.
std::string XdgHome(const char* variable, const char* fallback) {
    std::string dir;
    if (const char* x = std::getenv(variable); x && *x) {
        dir = x;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !*home) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return std::string();
        }
        dir = std::string(home) + fallback;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

}  // namespace

std::string UserDataHome() { return XdgHome("XDG_DATA_HOME", "/.local/share"); }
std::string UserStateHome() { return XdgHome("XDG_STATE_HOME", "/.local/state"); }

bool GetAppDataRoot(std::u16string* path) {
    std::string dir;
    if (const char* d = std::getenv("TONQUIL_DATA_DIR"); d && *d) {
        dir = d;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    } else {
        dir = UserDataHome();
        if (dir.empty()) return false;
    }
    if (!CreateDirectoryRecursive(ToUtf16(dir))) return false;
    if (path) *path = ToUtf16(dir);
    return true;
}

std::u16string JoinPath(const std::u16string& a, const std::u16string& b) {
    if (a.empty()) return b;
    std::u16string r = WithTrailingSeparator(a);
    size_t skip = 0;
    while (skip < b.size() && b[skip] == kPathSeparator) ++skip;
    return r + b.substr(skip);
}

std::u16string WithTrailingSeparator(const std::u16string& path) {
    if (!path.empty() && path.back() == kPathSeparator) return path;
    return path + kPathSeparator;
}

std::u16string DirName(const std::u16string& path) {
    size_t pos = path.rfind(kPathSeparator);
    if (pos == std::u16string::npos) return std::u16string();
    return path.substr(0, pos + 1);
}

}  // namespace plat
